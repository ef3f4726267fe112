#include "settings/portable_stop_timeout.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(StopTimeout, ReadDefaultedAndLimited)
{
    const struct {
        std::string text;
        int seconds;
    } cases[] = {
        {"", 20},
        {"5", 5},
        {"05", 5},
        {"1", 1},
        {"0", 1},   // raised: a program is always asked first
        {"000", 1},
        {"110", 110},
        {"111", 110},   // the longest stop must fit the Services tool's 125 s
        {"120", 110},
        {"4294967297", 110},   // past 32 bits, not wrapped
        {std::string(259, '9'), 110},
        {"-5", 20},
        {"+5", 20},
        {" 5", 20},
        {"5 ", 20},
        {"5s", 20},
        {"5.5", 20},
        {"0x10", 20},
        {"abc", 20},
        {"\x82\x54", 20},   // a full-width digit in code page 932
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.seconds, ParseStopTimeout(c.text.c_str())) << "\"" << c.text << "\"";
}

TEST(StopTimeout, TimeLeftAcrossTheTickCounterWrap)
{
    const struct {
        uint32_t start, now, bound, left;
    } cases[] = {
        {1000, 1000, 3000, 3000},
        {1000, 2500, 3000, 1500},
        {1000, 3999, 3000, 1},
        {1000, 4000, 3000, 0},
        {1000, 900000, 3000, 0},
        {0xFFFFFF00u, 0xFFFFFF00u + 1000u, 3000, 2000},   // wraps to 0x2E8
        {0xFFFFFF00u, 0x00000B00u, 3000, 0},
        {5000, 5000, 0, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.left, MillisecondsLeft(c.start, c.now, c.bound)) << c.start << " " << c.now << " " << c.bound;
}

// The first stop report announces the bound and the margin; the whole stop
// may take the wait after the forced end too.
TEST(StopTimeout, WhatAStopAnnouncesAndItsLongest)
{
    const struct {
        int seconds;
        uint32_t hint, limit;
    } cases[] = {{1, 4000, 14000}, {20, 23000, 33000}, {110, 113000, 123000}};
    for (const auto& c : cases) {
        EXPECT_EQ(c.hint, StopWaitHintMs(c.seconds)) << c.seconds;
        EXPECT_EQ(c.limit, StopWaitLimitMs(c.seconds)) << c.seconds;
    }
}

}  // namespace
