#include "text/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

namespace {

TEST(Text, ParseDecimalFollowsAtoi)
{
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"", 0}, {"abc", 0}, {"7", 7}, {"1", 1}, {"-1", -1}, {"+12", 12},
        {" \t\n\v\f\r42", 42}, {"12abc", 12}, {"- 1", 0}, {"--1", 0}, {"0x10", 0},
        {"2147483647", 2147483647}, {"-2147483648", (-2147483647 - 1)},
        {"2147483648", (-2147483647 - 1)},  // wraps in 32 bits
        {"4294967297", 1},
        {"99999999999999999999", 1661992959},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.value, ParseDecimal(c.text)) << "text \"" << c.text << "\"";
}

TEST(Text, CopyTextIsBoundedAndKeepsCharactersWhole)
{
    char buffer[8];
    char guard[4];
    memset(guard, 'g', sizeof guard);

    EXPECT_EQ(1, CopyText(buffer, sizeof buffer, "1234567"));
    EXPECT_STREQ("1234567", buffer);
    EXPECT_EQ(0, CopyText(buffer, sizeof buffer, "12345678"));
    EXPECT_STREQ("1234567", buffer);
    // A double-byte character that would straddle the end is left out whole.
    EXPECT_EQ(0, CopyText(buffer, sizeof buffer, "123456\x95\x5c"));
    EXPECT_STREQ("123456", buffer);
    EXPECT_EQ(1, CopyText(buffer, sizeof buffer, "12345\x95\x5c"));
    EXPECT_STREQ("12345\x95\x5c", buffer);
    EXPECT_EQ(0, CopyText(buffer, 0, "x"));
    EXPECT_EQ(std::string(4, 'g'), std::string(guard, 4));
}

TEST(Text, AppendTextRefusesWhatDoesNotFit)
{
    char buffer[8] = "abc";
    EXPECT_EQ(1, AppendText(buffer, sizeof buffer, "defg"));
    EXPECT_STREQ("abcdefg", buffer);
    EXPECT_EQ(0, AppendText(buffer, sizeof buffer, "h"));
    EXPECT_STREQ("abcdefg", buffer);
}

TEST(Text, IniPathIsRefusedWhenItDoesNotFit)
{
    char path[260];
    const struct {
        size_t directoryLength;
        bool fits;
    } cases[] = {{1, true}, {250, true}, {251, false}, {259, false}};
    for (const auto& c : cases) {
        std::string directory = "C:" + std::string(c.directoryLength - 1, 'd');
        directory.resize(c.directoryLength);
        memset(path, 'x', sizeof path);
        EXPECT_EQ(c.fits ? 1 : 0, FormPathInDirectory(path, sizeof path, directory.c_str(), "kavo.ini"))
            << c.directoryLength;
        EXPECT_EQ(c.fits ? directory + "\\kavo.ini" : std::string(), path);
    }
}

}  // namespace
