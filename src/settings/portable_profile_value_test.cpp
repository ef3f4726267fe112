#include "settings/portable_profile_value.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

// 表 in Shift-JIS: its second byte is a backslash; and the ideographic space.
#define HYO "\x95\x5c"
#define WIDE_SPACE "\x81\x40"

TEST(ProfileValue, OnlyWhatReadingWouldChangeIsQuoted)
{
    const struct {
        const char* value;
        const char* written;
    } cases[] = {
        {"", ""},
        {"C:\\Tools\\MyServer.exe", "C:\\Tools\\MyServer.exe"},
        {"-x \"a b\"", "-x \"a b\""},        // not enclosed whole
        {"\"a b\" -x", "\"a b\" -x"},
        {"\"", "\""},                        // one mark encloses nothing
        {"'", "'"},
        {"\"a'", "\"a'"},
        {"\"C:\\My Files\\data.txt\"", "\"\"C:\\My Files\\data.txt\"\""},
        {"'a b'", "\"'a b'\""},
        {"\"a\" \"b\"", "\"\"a\" \"b\"\""},
        {"\"\"", "\"\"\"\""},
        {" -x", "\" -x\""},
        {"-x ", "\"-x \""},
        {"\t", "\"\t\""},
        {"a\x1a", "\"a\x1a\""},
        {WIDE_SPACE "a", "\"" WIDE_SPACE "a\""},
        {"a" WIDE_SPACE, "\"a" WIDE_SPACE "\""},
        {HYO, HYO},                          // its second byte is no space or quote
        {"a\x81", "a\x81"},                  // a lead byte alone at the end
        {"\x81\x40\x40", "\"\x81\x40\x40\""},
        {"\x81\x81\x40", "\x81\x81\x40"},    // 0x81 0x40 is not a character here
    };
    for (const auto& c : cases) {
        char written[PROFILE_VALUE_SIZE];
        memset(written, 'x', sizeof written);
        EXPECT_EQ(1, FormProfileValue(written, sizeof written, c.value)) << c.value;
        EXPECT_STREQ(c.written, written) << c.value;
    }
}

TEST(ProfileValue, TheLongestValueFitsQuotedAndNothingIsWrittenPastTheDestination)
{
    std::string value = "\"" + std::string(257, 'q') + "\"";
    char written[PROFILE_VALUE_SIZE + 4];
    memset(written, 'x', sizeof written);
    EXPECT_EQ(1, FormProfileValue(written, PROFILE_VALUE_SIZE, value.c_str()));
    EXPECT_EQ("\"" + value + "\"", std::string(written));
    EXPECT_EQ(0, FormProfileValue(written, PROFILE_VALUE_SIZE - 1, value.c_str()));
    EXPECT_STREQ("", written);
    EXPECT_EQ(std::string(4, 'x'), std::string(written + PROFILE_VALUE_SIZE, 4));
    EXPECT_EQ(0, FormProfileValue(written, 0, "a"));
}

}  // namespace
