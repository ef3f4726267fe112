#include "text/sjis_path.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

// 表 in Shift-JIS: its second byte is a backslash.
#define HYO "\x95\x5c"

namespace {

struct PathCase {
    const char* path;
    const char* expected;
};

TEST(SjisPath, LeadByteRangesAreFixed)
{
    for (int byte = 0; byte < 256; ++byte) {
        bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        EXPECT_EQ(lead ? 1 : 0, IsSjisLeadByte((unsigned char)byte)) << "byte " << byte;
    }
}

TEST(SjisPath, CutLastPathComponent)
{
    const PathCase cases[] = {
        {"C:\\Tools\\app.exe", "C:\\Tools"},
        {"C:\\app.exe", "C:"},
        {"app.exe", "app.exe"},
        {"C:\\dir\\", "C:\\dir"},
        {"C:/Tools/app.exe", "C:/Tools/app.exe"},      // only a backslash counts
        {"C:app.exe", "C:app.exe"},                    // a colon does not
        {"C:\\" HYO "\\a.exe", "C:\\" HYO},            // 0x5C inside 表 is no separator
        {"C:\\" HYO HYO, "C:"},
        {"C:\\dir\\" HYO, "C:\\dir"},
        {"C:\\dir\\\x95", "C:\\dir"},                  // lead byte right before the terminator
        {"dir\x95\\x", "dir\x95\\x"},                  // the lead byte swallows the backslash
        {"", ""},
    };
    for (const PathCase& c : cases) {
        char path[260];
        strcpy(path, c.path);
        CutLastPathComponent(path);
        EXPECT_STREQ(c.expected, path) << "path " << c.path;
    }
}

TEST(SjisPath, GetBaseNameNoExt)
{
    const PathCase cases[] = {
        {"C:\\Tools\\MyServer.exe", "MyServer"},
        {"D:setup.beta.exe", "setup"},
        {"C:\\Tools\\noext", "noext"},
        {"C:\\dir\\", ""},
        {"C:/Tools/app.exe", "/Tools/app"},
        {"C:\\tools\\" HYO HYO ".exe", HYO HYO},
        {"C:\\" HYO "\\" HYO "x.exe", HYO "x"},
        {"name.", "name"},
        {"\x95", "\x95"},
    };
    for (const PathCase& c : cases) {
        char name[260];
        memset(name, 'z', sizeof name);
        GetBaseNameNoExt(name, sizeof name, c.path);
        EXPECT_STREQ(c.expected, name) << "path " << c.path;
    }
}

TEST(SjisPath, GetBaseNameNoExtStaysInsideItsDestination)
{
    std::string longName(259, 'n');
    char name[16];
    char guard[8];
    memset(guard, 'g', sizeof guard);
    GetBaseNameNoExt(name, sizeof name, ("C:\\" + longName).c_str());
    EXPECT_EQ(std::string(15, 'n'), name);
    EXPECT_EQ(std::string(8, 'g'), std::string(guard, 8));
}

TEST(SjisPath, GetExtension)
{
    const PathCase cases[] = {
        {"C:\\a\\b.EXE", "EXE"},
        {"C:\\a.b\\c", ""},
        {"a.exe", "exe"},
        {"exe", "exe"},
        {".exe", ".exe"},             // the first byte is never looked at
        {"a." HYO, ""},               // 表's second byte reads as a backslash here
        {"C:\\" HYO "\\a.exe", "exe"},
        {"a/b", ""},
        {"a:b", ""},
        {"x", "x"},
        {"a.", ""},
    };
    for (const PathCase& c : cases) {
        const char* extension = GetExtension(c.path);
        EXPECT_STREQ(c.expected, extension) << "path " << c.path;
        EXPECT_GE(extension, c.path);
        EXPECT_LE(extension, c.path + strlen(c.path));
    }
}

TEST(SjisPath, LongestPathsAreHandledInPlace)
{
    std::string deep = "C:";
    while (deep.size() < 250)
        deep += "\\" HYO "dir";
    deep.resize(259);
    char path[260];
    strcpy(path, deep.c_str());
    size_t before = strlen(path);
    CutLastPathComponent(path);
    EXPECT_LT(strlen(path), before);
    EXPECT_EQ(0, deep.compare(0, strlen(path), path));
}

}  // namespace
