// kavo.exe as a user starts it: the platform check and the choice of mode.
#include <gtest/gtest.h>

#include "support/support.h"

namespace {

// "Windows NT/2000 で起動してください。" in code page 932.
const char kNeedsNtText[] =
    "Windows NT/2000 \x82\xc5\x8b\x4e\x93\xae\x82\xb5\x82\xc4\x82\xad\x82\xbe\x82\xb3\x82\xa2\x81\x42";

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

}  // namespace
