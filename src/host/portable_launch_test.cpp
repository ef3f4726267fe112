#include "host/portable_launch.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

// 表 in Shift-JIS: its second byte is a backslash.
#define HYO "\x95\x5c"

namespace {

enum { kTextSize = 260 };

struct LaunchCase {
    const char* programPath;
    const char* options;
    const char* commandLine;
    const char* programFile;   // what kavo checks and names to the system, before it is made full ("": nothing)
};

TEST(ChildLaunch, CommandLineAndProgramFile)
{
    const LaunchCase cases[] = {
        {"C:\\Tools\\MyServer.exe", "-quiet", "C:\\Tools\\MyServer.exe -quiet", "C:\\Tools\\MyServer.exe"},
        {"C:\\Tools\\MyServer.exe", "", "C:\\Tools\\MyServer.exe ", "C:\\Tools\\MyServer.exe"},
        {"C:\\app.exe", "a b", "C:\\app.exe a b", "C:\\app.exe"},
        {"app.exe", "", "app.exe ", "app.exe"},
        {"C:\\dir with space\\app.exe", "-x", "\"C:\\dir with space\\app.exe\" -x", "C:\\dir with space\\app.exe"},
        {"C:\\dir with space\\app.exe", "", "\"C:\\dir with space\\app.exe\" ", "C:\\dir with space\\app.exe"},
        // Already quoted by the user: left as typed.
        {"\"C:\\dir with space\\app.exe\"", "-x", "\"C:\\dir with space\\app.exe\" -x",
         "C:\\dir with space\\app.exe"},
        {"C:\\" HYO "\\app.exe", "\"quoted\" opt", "C:\\" HYO "\\app.exe \"quoted\" opt", "C:\\" HYO "\\app.exe"},
        {"C:\\" HYO " x\\app.exe", "", "\"C:\\" HYO " x\\app.exe\" ", "C:\\" HYO " x\\app.exe"},
        {"", "", " ", ""},
        // The system adds ".exe" to a name without an extension, and splits
        // an unquoted line at a tab: kavo names the file that would start.
        {"C:\\Tools\\app", "", "C:\\Tools\\app ", "C:\\Tools\\app.exe"},
        {"C:\\a.b\\" HYO, "", "C:\\a.b\\" HYO " ", "C:\\a.b\\" HYO ".exe"},
        {"C:\\Tools\\app.", "", "C:\\Tools\\app. ", "C:\\Tools\\app."},
        {"C:\\x\ty\\app.exe", "", "C:\\x\ty\\app.exe ", "C:\\x.exe"},
        // A slash ends a component as a backslash does.
        {"C:\\a.b/app", "", "C:\\a.b/app ", "C:\\a.b/app.exe"},
        {"C:\\a.b\\\x95/app", "", "C:\\a.b\\\x95/app ", "C:\\a.b\\\x95/app.exe"},   // after a lone lead byte
    };
    for (const LaunchCase& c : cases) {
        char commandLine[COMMAND_LINE_SIZE];
        char programFile[kTextSize];
        EXPECT_EQ(1, BuildChildLaunch(c.programPath, c.options, commandLine, sizeof commandLine)) << c.programPath;
        EXPECT_STREQ(c.commandLine, commandLine) << c.programPath;
        EXPECT_EQ(c.programFile[0] ? 1 : 0, FormProgramFile(commandLine, programFile, sizeof programFile));
        EXPECT_STREQ(c.programFile, programFile) << c.programPath;
    }
}

// The longest fields, 259 bytes each, with a space in the path: nothing is cut.
TEST(ChildLaunch, LongestFieldsFitWhole)
{
    std::string path = "C:\\dir with space\\" + std::string(259 - 18 - 4, 'p') + ".exe";
    std::string options(259, 'o');
    ASSERT_EQ(259u, path.size());
    char commandLine[COMMAND_LINE_SIZE];
    ASSERT_EQ(1, BuildChildLaunch(path.c_str(), options.c_str(), commandLine, sizeof commandLine));
    EXPECT_EQ("\"" + path + "\" " + options, std::string(commandLine));
}

// Destinations too small for the result: refused, empty, nothing written past
// it (the guard bytes after the buffer stay as they were); an exact fit is taken.
TEST(ChildLaunch, TooLongIsRefusedNeverCut)
{
    const struct {
        const char* programPath;
        const char* options;
        size_t commandLineSize;
        const char* formed;   // NULL: refused
    } cases[] = {
        {"C:\\a.exe", "-x", 11, NULL},   // needs 12
        {"C:\\a b.exe", "", 13, NULL},   // quoted, needs 14
        {"C:\\a.exe", "", 0, NULL},
        {"C:\\a.exe", "-x", 12, "C:\\a.exe -x"},
        {"C:\\a b.exe", "", 14, "\"C:\\a b.exe\" "},
    };
    for (const auto& c : cases) {
        char commandLine[64];
        memset(commandLine, '#', sizeof commandLine);
        EXPECT_EQ(c.formed ? 1 : 0, BuildChildLaunch(c.programPath, c.options, commandLine, c.commandLineSize))
            << c.programPath << " " << c.commandLineSize;
        if (c.commandLineSize)
            EXPECT_STREQ(c.formed ? c.formed : "", commandLine);
        for (size_t i = c.commandLineSize; i < sizeof commandLine; ++i)
            ASSERT_EQ('#', commandLine[i]) << c.programPath << " byte " << i;
    }
}

TEST(MutexName, FormedFromTheServiceName)
{
    char name[260];
    ASSERT_EQ(1, FormMutexName(name, sizeof name, "MyServer"));
    EXPECT_STREQ("$$kavo$$MyServer$$", name);
    ASSERT_EQ(1, FormMutexName(name, sizeof name, ""));
    EXPECT_STREQ("$$kavo$$$$", name);

    // 249 bytes is the longest name that fits 260 bytes with the fixed 10.
    std::string longest(249, 'n');
    ASSERT_EQ(1, FormMutexName(name, sizeof name, longest.c_str()));
    EXPECT_EQ("$$kavo$$" + longest + "$$", std::string(name));
}

TEST(MutexName, TooLongIsRefusedNeverWrittenPast)
{
    std::string tooLong(250, 'n');
    char name[270];
    memset(name, '#', sizeof name);
    EXPECT_EQ(0, FormMutexName(name, 260, tooLong.c_str()));
    EXPECT_EQ('\0', name[0]);
    for (size_t i = 260; i < sizeof name; ++i)
        ASSERT_EQ('#', name[i]) << "byte " << i;
    EXPECT_EQ(0, FormMutexName(name, 0, "x"));
}

// Only a kavo serving the name can have made a mutex that SYSTEM, the
// Administrators group or the service's own account owns: no other account
// may give an object such an owner.
TEST(MutexName, WhoseMutexCountsAsAnotherKavo)
{
    const AccountId user = {5, 5, {21, 1, 2, 3, 1001}};
    const AccountId service = {5, 1, {19}};   // Local Service
    const AccountId tooLong = {5, ACCOUNT_ID_MAX_SUB_AUTHORITIES + 1, {21}};
    const struct {
        const char* what;
        AccountId owner;
        const AccountId* ownAccount;
        int kavo;
    } cases[] = {
        {"SYSTEM", {5, 1, {18}}, &service, 1},
        {"Administrators", {5, 2, {32, 544}}, NULL, 1},
        {"the service's own account", service, &service, 1},
        {"a user who runs the service", user, &user, 1},
        {"another user", user, &service, 0},
        {"Users", {5, 2, {32, 545}}, &service, 0},
        {"Everyone", {1, 1, {0}}, &service, 0},
        {"Administrators of another authority", {1, 2, {32, 544}}, &service, 0},
        {"an id that starts as SYSTEM's", {5, 2, {18, 0}}, &service, 0},
        {"an own account that could not be read", user, NULL, 0},
        {"an id longer than any", tooLong, &tooLong, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.kavo, IsInstanceGuardOwner(&c.owner, c.ownAccount)) << c.what;
    EXPECT_EQ(0, IsInstanceGuardOwner(NULL, &service)) << "no owner";
}

}  // namespace
