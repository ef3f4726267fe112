// kavo.exe as a user starts it: the platform check and the choice of mode.
#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// "Windows NT/2000 で起動してください。" in code page 932.
const char kNeedsNtText[] =
    "Windows NT/2000 \x82\xc5\x8b\x4e\x93\xae\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";

// What kavo says in the system or the Windows folder, in code page 932: the
// text before the folder, "kavo.exe は、このフォルダー（",
const char kSystemFolderBefore[] =
    "\x6b\x61\x76\x6f\x2e\x65\x78\x65\x20\x82\xcd\x81\x41\x82\xb1\x82"
    "\xcc\x83\x74\x83\x48\x83\x8b\x83\x5f\x81\x5b\x81\x69";
// and after it, "）では使えません。\nサービスは Windows フォルダーかシステム フォルダーで起動されるため、
// ここではサービスとして起動されたのか、人が起動したのかを区別できません。\nkavo.exe を専用のフォルダー
// （例: C:\Program Files\kavo\サービス名）にコピーして、そこから起動してください。"
const char kSystemFolderAfter[] =
    "\x81\x6a\x82\xc5\x82\xcd\x8e\x67\x82\xa6\x82\xdc\x82\xb9\x82\xf1"
    "\x81\x42\x0a\x83\x54\x81\x5b\x83\x72\x83\x58\x82\xcd\x20\x57\x69"
    "\x6e\x64\x6f\x77\x73\x20\x83\x74\x83\x48\x83\x8b\x83\x5f\x81\x5b"
    "\x82\xa9\x83\x56\x83\x58\x83\x65\x83\x80\x20\x83\x74\x83\x48\x83"
    "\x8b\x83\x5f\x81\x5b\x82\xc5\x8b\x4e\x93\xae\x82\xb3\x82\xea\x82"
    "\xe9\x82\xbd\x82\xdf\x81\x41\x82\xb1\x82\xb1\x82\xc5\x82\xcd\x83"
    "\x54\x81\x5b\x83\x72\x83\x58\x82\xc6\x82\xb5\x82\xc4\x8b\x4e\x93"
    "\xae\x82\xb3\x82\xea\x82\xbd\x82\xcc\x82\xa9\x81\x41\x90\x6c\x82"
    "\xaa\x8b\x4e\x93\xae\x82\xb5\x82\xbd\x82\xcc\x82\xa9\x82\xf0\x8b"
    "\xe6\x95\xca\x82\xc5\x82\xab\x82\xdc\x82\xb9\x82\xf1\x81\x42\x0a"
    "\x6b\x61\x76\x6f\x2e\x65\x78\x65\x20\x82\xf0\x90\xea\x97\x70\x82"
    "\xcc\x83\x74\x83\x48\x83\x8b\x83\x5f\x81\x5b\x81\x69\x97\xe1\x3a"
    "\x20\x43\x3a\x5c\x50\x72\x6f\x67\x72\x61\x6d\x20\x46\x69\x6c\x65"
    "\x73\x5c\x6b\x61\x76\x6f\x5c\x83\x54\x81\x5b\x83\x72\x83\x58\x96"
    "\xbc\x81\x6a\x82\xc9\x83\x52\x83\x73\x81\x5b\x82\xb5\x82\xc4\x81"
    "\x41\x82\xbb\x82\xb1\x82\xa9\x82\xe7\x8b\x4e\x93\xae\x82\xb5\x82"
    "\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";

// Wine reports a Windows 9x platform to one program file when asked to.
struct PretendWindows98 {
    std::string key;
    explicit PretendWindows98(const std::string& fileName)
        : key("Software\\Wine\\AppDefaults\\" + fileName)
    {
        HKEY handle;
        if (RegCreateKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, NULL, 0, KEY_SET_VALUE, NULL, &handle, NULL) ==
            ERROR_SUCCESS) {
            RegSetValueExA(handle, "Version", 0, REG_SZ, (const BYTE*)"win98", 6);
            RegCloseKey(handle);
        }
    }
    ~PretendWindows98() { RegDeleteKeyA(HKEY_CURRENT_USER, key.c_str()); }
};

TEST(Startup, OutsideTheNtFamilyOnlyAMessageIsShown)
{
    // A copy of its own name, so that no other test's kavo.exe sees Windows 98.
    std::string dir = MakeWorkDir("startup_win98");
    ASSERT_TRUE(CopyFileTo(KavoExePath(), dir + "\\kavo9x.exe"));
    PretendWindows98 windows98("kavo9x.exe");

    Program kavo;
    ASSERT_TRUE(StartProgram(kavo, "\"" + dir + "\\kavo9x.exe\"", dir));
    MessageBoxView box = WaitForMessageBox(kavo.id);
    EXPECT_EQ("Error", box.caption);
    EXPECT_EQ(kNeedsNtText, box.text) << Escaped(box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_FALSE(box.hasIcon);
    AnswerMessageBox(box, IDOK);
    EXPECT_EQ(0u, WaitForExit(kavo));
    EXPECT_FALSE(FileExists(dir + "\\kavo.ini"));
}

// A file that is removed again when the test is over.
struct FileGuard {
    std::string path;
    explicit FileGuard(const std::string& filePath) : path(filePath) {}
    ~FileGuard() { DeleteFileA(path.c_str()); }
};

std::string FolderOf(UINT (WINAPI* query)(LPSTR, UINT))
{
    char folder[MAX_PATH];
    UINT length = query(folder, sizeof folder);
    return std::string(folder, length < sizeof folder ? length : 0);
}

// In the folders where services start, kavo cannot tell a person's start from
// the service control manager's: it says why and ends, from whatever folder
// it was started, and writes nothing there.
TEST(Startup, InTheWindowsOrSystemFolderItSaysWhyAndEnds)
{
    const std::string windows = FolderOf(GetWindowsDirectoryA);
    const std::string system = FolderOf(GetSystemDirectoryA);
    const struct {
        std::string folder;
        std::string currentDir;
    } cases[] = {{windows, windows}, {system, system}, {windows, BuildDir()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.folder + " started in " + c.currentDir);
        ASSERT_FALSE(FileExists(c.folder + "\\kavo.ini"));
        FileGuard exe(c.folder + "\\kavo.exe");
        ASSERT_TRUE(CopyFileTo(KavoExePath(), exe.path));
        Program kavo;
        ASSERT_TRUE(StartProgram(kavo, "\"" + exe.path + "\"", c.currentDir));
        MessageBoxView box = WaitForMessageBox(kavo.id);
        EXPECT_EQ("kavo", box.caption);
        EXPECT_EQ(kSystemFolderBefore + c.folder + kSystemFolderAfter, box.text) << Escaped(box.text);
        EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
        EXPECT_FALSE(box.hasIcon);
        EXPECT_TRUE(box.owner == NULL) << "a box over the desktop, owned by no window of kavo";
        AnswerMessageBox(box, IDOK);
        EXPECT_EQ(0u, WaitForExit(kavo));
        EXPECT_FALSE(FileExists(c.folder + "\\kavo.ini"));
    }
}

TEST(Startup, FromAnotherDirectoryWithoutServiceManagerItEndsSilently)
{
    std::string dir = MakeWorkDir("startup_elsewhere");
    ASSERT_TRUE(CopyFileTo(KavoExePath(), dir + "\\kavo.exe"));
    Program kavo;
    ASSERT_TRUE(StartProgram(kavo, "\"" + dir + "\\kavo.exe\"", BuildDir()));
    EXPECT_EQ(0u, WaitForExit(kavo));
    EXPECT_TRUE(WindowsOfProcess(kavo.id, NULL).empty());
    EXPECT_FALSE(FileExists(dir + "\\kavo.ini"));
}

// The rows under other code pages mean nothing if their prefix fell back to 932.
TEST(CodePageBench, RunsUnderTheCodePageOfItsLocale)
{
    const char* locale = getenv("KAVO_WINE_LOCALE");
    std::string name = locale ? locale : "ja_JP.UTF-8";
    UINT wanted = name == "en_US.UTF-8" ? 1252 : name == "zh_CN.UTF-8" ? 936 : name == "hi_IN.UTF-8" ? 65001 : 932;
    EXPECT_EQ(wanted, GetACP()) << name;
}

}  // namespace
