#include "text/sjis_path.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

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
        EXPECT_EQ(lead ? 1 : 0, IsLeadByte((unsigned char)byte)) << "byte " << byte;
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

// Which folder kavo is in and whose program file a service runs: the
// comparisons behind the choice of mode and behind "is this service ours".
TEST(SjisPath, FolderAndProgramComparisons)
{
    enum Rule { kFolder, kProgram };
    const struct {
        Rule rule;
        const char* registered;   // the folder, or the service's registered path
        const char* ours;         // the other folder, or kavo's own program file
        int same;
    } cases[] = {
        {kFolder, "D:", "D:\\", 1},                 // a drive's root folder, as each side writes it
        {kFolder, "C:\\Tools\\", "c:\\tools", 1},
        {kFolder, "C:\\Tools\\\\", "C:\\Tools", 1},
        {kFolder, "\\\\server\\share", "\\\\SERVER\\share\\", 1},
        {kFolder, "C:\\Tools", "C:\\Tool", 0},
        {kFolder, "C:\\Tools", "C:\\Tools\\x", 0},
        {kFolder, "C:\\Tools", "C:/Tools", 0},
        {kFolder, "C:\\" HYO, "C:\\" HYO "\\", 1},
        {kFolder, "C:\\" HYO, "C:\\\x95", 0},        // 表's 0x5C is no trailing backslash
        {kFolder, "C:\\\x83\x41", "C:\\\x83\x61", 0},  // ア and ヂ differ in a byte that looks like A/a
        {kFolder, "C:\\x\x83\x41", "C:\\X\x83\x41", 1},
        {kProgram, "C:\\kavo\\kavo.exe", "C:\\kavo\\kavo.exe", 1},
        {kProgram, "\"C:\\Program Files\\kavo\\kavo.exe\"", "C:\\Program Files\\kavo\\kavo.exe", 1},
        {kProgram, "  \"C:\\kavo\\KAVO.EXE\" ", "c:\\kavo\\kavo.exe", 1},
        {kProgram, "\"C:\\kavo\\kavo.exe", "C:\\kavo\\kavo.exe", 1},
        {kProgram, "C:\\Program Files\\kavo\\kavo.exe", "C:\\Program Files\\kavo\\kavo.exe", 1},
        {kProgram, "C:\\" HYO "\\kavo.exe", "C:\\" HYO "\\kavo.exe", 1},
        {kProgram, "C:\\kavo copy\\kavo.exe", "C:\\kavo\\kavo.exe", 0},   // a copied folder's kavo
        {kProgram, "C:\\WINDOWS\\system32\\spoolsv.exe", "C:\\kavo\\kavo.exe", 0},
        {kProgram, "\"C:\\kavo\\kavo.exe\" -x", "C:\\kavo\\kavo.exe", 0},
        {kProgram, "C:\\kavo\\kavo.exe -x", "C:\\kavo\\kavo.exe", 0},
        {kProgram, "C:\\kavo\\kavo.exe\\", "C:\\kavo\\kavo.exe", 0},
        {kProgram, "C:\\\x83\x41\\kavo.exe", "C:\\\x83\x61\\kavo.exe", 0},
        {kProgram, "", "C:\\kavo\\kavo.exe", 0},
        {kProgram, "\"\"", "C:\\kavo\\kavo.exe", 0},
    };
    for (const auto& c : cases) {
        if (c.rule == kFolder) {
            EXPECT_EQ(c.same, IsSameFolder(c.registered, c.ours)) << c.registered << " | " << c.ours;
            EXPECT_EQ(c.same, IsSameFolder(c.ours, c.registered)) << c.ours << " | " << c.registered;
        } else {
            EXPECT_EQ(c.same, IsPathOfProgram(c.registered, c.ours)) << c.registered << " | " << c.ours;
        }
    }
}

// The folders whose rights the write check reads for a file: its own, then
// each one above it up to a drive's or a share's root.
TEST(SjisPath, FolderOfPathAndTheFoldersAbove)
{
    const struct {
        const char* path;
        std::vector<std::string> folders;
    } cases[] = {
        {"C:\\Program Files\\kavo\\NAME\\kavo.exe",
         {"C:\\Program Files\\kavo\\NAME\\", "C:\\Program Files\\kavo\\", "C:\\Program Files\\", "C:\\"}},
        {"D:\\app.exe", {"D:\\"}},
        {"\\\\server\\share\\dir\\app.exe", {"\\\\server\\share\\dir\\", "\\\\server\\share\\"}},
        {"C:\\" HYO "\\app.exe", {"C:\\" HYO "\\", "C:\\"}},
        {"C:\\dir\\" HYO, {"C:\\dir\\", "C:\\"}},
        {"C:\\a\\\\b.exe", {"C:\\a\\\\", "C:\\"}},
        {"tools\\app.exe", {"tools\\"}},
        {"app.exe", {}},
    };
    for (const auto& c : cases) {
        std::vector<std::string> folders;
        char folder[260];
        if (FormFolderOfPath(folder, sizeof folder, c.path))
            do
                folders.push_back(folder);
            while (CutToFolderAbove(folder));
        EXPECT_EQ(c.folders, folders) << c.path;
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
