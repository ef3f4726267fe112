#include "text/text.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "text/portable_fill_in.h"

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

// kavo's texts with their insertions, as wsprintf would fill them, in bytes
// and in UTF-16 units; 932 bytes whose second half is a letter stay whole.
TEST(Text, FillInTextReplacesConversionsInOrder)
{
    const char* insertions[] = {"C:\\a", NULL, "x%sy"};
    const struct {
        const char* format;
        size_t size;
        const char* filled;
        int whole;
    } cases[] = {
        {"%s / %lu / %d", 64, "C:\\a /  / x%sy", 1},
        {"\x83" "s%s%\x83" "d", 64, "\x83" "sC:\\a%\x83" "d", 1},   // ピ and ド: second bytes, no conversions
        {"100%% %ld %s %s %s", 64, "100% C:\\a  x%sy ", 1},           // a fourth has nothing
        {"%x %l %", 64, "%x %l %", 1},
        {"%s", 4, "C:\\", 0},
        {"abc", 3, "ab", 0},
        {"", 1, "", 1},
    };
    for (const auto& c : cases) {
        char destination[64];
        EXPECT_EQ(c.whole, FillInText(destination, c.size, c.format, insertions, 3)) << c.format;
        EXPECT_STREQ(c.filled, destination) << c.format;
    }
    char16_t wide[16];
    const char16_t* wideInsertions[] = {u"\u30c6\u30b9\u30c8"};
    EXPECT_EQ(1, FillInText(wide, 16, u"\u300c%s\u300d", wideInsertions, 1));
    EXPECT_EQ(std::u16string(u"\u300c\u30c6\u30b9\u30c8\u300d"), std::u16string(wide));
    char none[1] = {'x'};
    EXPECT_EQ(0, FillInText(none, 0, "a", insertions, 0));
    EXPECT_EQ('x', none[0]);
}

}  // namespace
