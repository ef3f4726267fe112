#include "text/sjis_path.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

// 表 in Shift-JIS: its second byte is a backslash.
#define HYO "\x95\x5c"

namespace {

// The lead-byte ranges each code page's CPINFO gives (a single-byte code page
// and 65001 give none).
struct CodePageRanges {
    int codePage;
    unsigned char ranges[LEAD_BYTE_RANGES_SIZE];
};
const CodePageRanges kCodePages[] = {
    {932, {0x81, 0x9F, 0xE0, 0xFC}}, {936, {0x81, 0xFE}}, {949, {0x81, 0xFE}},
    {950, {0x81, 0xFE}},             {1252, {0}},         {65001, {0}},
};

// Uses the code page's lead bytes for the scope, then 932's again.
struct UseCodePage {
    explicit UseCodePage(int codePage)
    {
        for (const CodePageRanges& page : kCodePages)
            if (page.codePage == codePage)
                SetLeadByteRanges(page.ranges, sizeof page.ranges);
    }
    ~UseCodePage() { SetLeadByteRanges(kCodePages[0].ranges, sizeof kCodePages[0].ranges); }
};

struct PathCase {
    const char* path;
    const char* expected;
    int codePage = 932;
};

TEST(SjisPath, LeadBytesFollowTheCodePage)
{
    for (int byte = 0; byte < 256; ++byte) {
        bool lead = (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
        EXPECT_EQ(lead ? 1 : 0, IsLeadByte((unsigned char)byte)) << "932 before any is set, byte " << byte;
    }
    for (const CodePageRanges& page : kCodePages) {
        UseCodePage use(page.codePage);
        for (int byte = 0; byte < 256; ++byte) {
            bool lead = page.codePage == 932   ? (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC)
                        : page.ranges[0] != 0 ? byte >= 0x81 && byte <= 0xFE
                                               : false;
            EXPECT_EQ(lead ? 1 : 0, IsLeadByte((unsigned char)byte)) << page.codePage << ", byte " << byte;
        }
    }
    // Six full pairs, none ended by zeros; a pair the wrong way round holds
    // nothing; the terminator is never a lead byte; nothing after an empty pair counts.
    const unsigned char full[LEAD_BYTE_RANGES_SIZE] = {0x00, 0x01, 0x90, 0x80, 0xA0, 0xA0,
                                                       0xB0, 0xB1, 0xC0, 0xC0, 0xF0, 0xFF};
    SetLeadByteRanges(full, sizeof full);
    for (int byte : {0x00, 0x02, 0x85, 0x90, 0xA1, 0xB2})
        EXPECT_EQ(0, IsLeadByte((unsigned char)byte)) << byte;
    for (int byte : {0x01, 0xA0, 0xB0, 0xB1, 0xC0, 0xF0, 0xFF})
        EXPECT_EQ(1, IsLeadByte((unsigned char)byte)) << byte;
    const unsigned char ended[] = {0x81, 0x81, 0x00, 0x00, 0x82, 0x82};
    SetLeadByteRanges(ended, sizeof ended);
    EXPECT_EQ(1, IsLeadByte(0x81));
    EXPECT_EQ(0, IsLeadByte(0x82));
    SetLeadByteRanges(ended, 1);   // half a pair: none
    EXPECT_EQ(0, IsLeadByte(0x81));
    SetLeadByteRanges(kCodePages[0].ranges, sizeof kCodePages[0].ranges);
}

// Folder names that end in a letter of each code page, in its bytes: Café
// (1252), テスト (932 and UTF-8), 服务器 (936), 서버 (949), 許 (950, whose second
// byte is 0x5C).
#define CAFE "Caf\xe9"
#define TESUTO_UTF8 "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88"
#define FUWUQI "\xb7\xfe\xce\xf1\xc6\xf7"
#define SEOBEO "\xbc\xad\xb9\xf6"
#define XU "\xb3\x5c"

TEST(SjisPath, CutLastPathComponent)
{
    const PathCase cases[] = {
        {"C:\\Tools\\app.exe", "C:\\Tools"},
        {"C:\\app.exe", "C:"},
        {"app.exe", "app.exe"},
        {"C:\\dir\\", "C:\\dir"},
        {"C:/Tools/app.exe", "C:/Tools"},              // a slash counts as a backslash
        {"C:\\Tools\\app/app.exe", "C:\\Tools\\app"},
        {"C:app.exe", "C:app.exe"},                    // a colon does not
        {"C:\\" HYO "\\a.exe", "C:\\" HYO},            // 0x5C inside 表 is no separator
        {"C:\\" HYO HYO, "C:"},
        {"C:\\dir\\" HYO, "C:\\dir"},
        {"C:\\dir\\\x95", "C:\\dir"},                  // lead byte right before the terminator
        {"dir\x95\\x", "dir\x95\\x"},                  // the lead byte swallows the backslash
        {"", ""},
        // Each code page's own lead bytes: a folder's last letter never takes the backslash after it.
        {"C:\\cp\\" CAFE "\\kavo.exe", "C:\\cp", 932},   // é is a lead byte of 932
        {"C:\\cp\\" CAFE "\\kavo.exe", "C:\\cp\\" CAFE, 1252},
        {"C:\\cp\\" TESUTO_UTF8 "\\kavo.exe", "C:\\cp\\" TESUTO_UTF8, 65001},
        {"C:\\cp\\" FUWUQI "\\probe.exe", "C:\\cp\\" FUWUQI, 936},
        {"C:\\cp\\" FUWUQI "\\probe.exe", "C:\\cp", 932},
        {"C:\\cp\\" SEOBEO "\\probe.exe", "C:\\cp\\" SEOBEO, 949},
        {"C:\\cp\\" XU "\\probe.exe", "C:\\cp\\" XU, 950},
        {"C:\\cp\\" XU, "C:\\cp", 950},                 // 許's 0x5C is no separator
        {"C:\\cp\\" XU, "C:\\cp\\\xb3", 1252},
        {"C:\\cp\\\x81/x", "C:\\cp", 936},      // after a lead byte, a slash is a second byte
    };
    for (const PathCase& c : cases) {
        UseCodePage use(c.codePage);
        char path[260];
        strcpy(path, c.path);
        CutLastPathComponent(path);
        EXPECT_STREQ(c.expected, path) << "path " << c.path << ", code page " << c.codePage;
    }
}

TEST(SjisPath, GetBaseNameNoExt)
{
    const PathCase cases[] = {
        {"C:\\Tools\\MyServer.exe", "MyServer"},
        {"D:setup.beta.exe", "setup"},
        {"C:\\Tools\\noext", "noext"},
        {"C:\\dir\\", ""},
        {"C:/Tools/app.exe", "app"},
        {"C:\\cp\\" XU "\\" XU ".exe", XU, 950},
        {"C:\\cp\\" SEOBEO ".exe", SEOBEO, 949},
        {"C:\\" CAFE "\\" CAFE ".exe", CAFE, 1252},
        {"C:\\tools\\" HYO HYO ".exe", HYO HYO},
        {"C:\\" HYO "\\" HYO "x.exe", HYO "x"},
        {"name.", "name"},
        {"\x95", "\x95"},
    };
    for (const PathCase& c : cases) {
        UseCodePage use(c.codePage);
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
        {"a." HYO, HYO},              // 表's second byte is no separator
        {"a." HYO, "", 1252},         // a backslash on 1252
        {"C:\\a.b/c", ""},
        {"C:\\" XU ".exe", "exe", 950},
        {HYO "exe", HYO "exe"},       // all extension: the first character is never looked at
        {"C:\\" HYO "\\a.exe", "exe"},
        {"a/b", ""},
        {"a:b", ""},
        {"x", "x"},
        {"a.", ""},
    };
    for (const PathCase& c : cases) {
        UseCodePage use(c.codePage);
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
        int codePage = 932;
    } cases[] = {
        {kFolder, "D:", "D:\\", 1},                 // a drive's root folder, as each side writes it
        {kFolder, "C:\\Tools\\", "c:\\tools", 1},
        {kFolder, "C:\\Tools\\\\", "C:\\Tools", 1},
        {kFolder, "\\\\server\\share", "\\\\SERVER\\share\\", 1},
        {kFolder, "C:\\Tools", "C:\\Tool", 0},
        {kFolder, "C:\\Tools", "C:\\Tools\\x", 0},
        {kFolder, "C:\\Tools", "C:/Tools/", 1},
        {kFolder, "C:\\" XU, "C:\\\xb3", 0, 950},
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
        {kProgram, "C:/kavo/kavo.exe", "C:\\kavo\\kavo.exe", 1},
        {kProgram, "C:\\" CAFE "\\kavo.exe", "C:\\caf\xe9\\kavo.exe", 1, 1252},   // é folds as itself only
        {kProgram, "C:\\" CAFE "\\kavo.exe", "C:\\CAF\xe9\\kavo.exe", 1, 1252},
        {kProgram, "C:\\" CAFE "\\kavo.exe", "C:\\Caf\xc9\\kavo.exe", 0, 1252},
    };
    for (const auto& c : cases) {
        UseCodePage use(c.codePage);
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
        int codePage = 932;
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
        // The write check's walk on each code page: José's own folder is judged.
        {"C:\\Users\\Jos\xe9\\Tools\\app.exe",
         {"C:\\Users\\Jos\xe9\\Tools\\", "C:\\Users\\Jos\xe9\\", "C:\\Users\\", "C:\\"}, 1252},
        {"C:\\cp\\" FUWUQI "\\probe.exe", {"C:\\cp\\" FUWUQI "\\", "C:\\cp\\", "C:\\"}, 936},
        {"C:\\cp\\" XU "\\" XU "\\probe.exe", {"C:\\cp\\" XU "\\" XU "\\", "C:\\cp\\" XU "\\", "C:\\cp\\", "C:\\"}, 950},
        {"C:\\cp\\" TESUTO_UTF8 "\\probe.exe", {"C:\\cp\\" TESUTO_UTF8 "\\", "C:\\cp\\", "C:\\"}, 65001},
        // A slash is a separator of the walk, also at a share's root.
        {"C:\\Tools\\app/app.exe", {"C:\\Tools\\app\\", "C:\\Tools\\", "C:\\"}},
        {"//server/share/dir/app.exe", {"//server/share/dir\\", "//server/share/"}},
    };
    for (const auto& c : cases) {
        UseCodePage use(c.codePage);
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
