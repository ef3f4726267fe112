// The settings file through the real profile functions.
#include <gtest/gtest.h>
#include <string.h>

#include "entry/context.h"
#include "settings/settings.h"
#include "support/support.h"

namespace {

// Points kavo's paths at a program file in a fresh folder.
std::string UseFolder(const std::string& name)
{
    std::string dir = MakeWorkDir(name);
    SetProgramPaths((dir + "\\kavo.exe").c_str());
    return dir;
}

void SetConfig(const char* program, const char* options, const char* service, int exitMethod)
{
    ServiceConfig& config = ProgramContext.Config;
    strcpy(config.programPath, program);
    strcpy(config.options, options);
    strcpy(config.serviceName, service);
    config.exitMethod = exitMethod;
}

// Forgets what the profile functions cached of a file another writer changed.
void FlushProfileCache()
{
    WritePrivateProfileStringA(NULL, NULL, NULL, ProgramContext.IniPath);
}

TEST(Settings, SaveWritesTheFiveLineFile)
{
    std::string dir = UseFolder("settings_five_lines");
    EXPECT_EQ(dir + "\\kavo.ini", ProgramContext.IniPath);
    SetConfig("C:\\Tools\\MyServer.exe", "-quiet", "MyServer", 1);
    SaveSettings();
    FlushProfileCache();
    EXPECT_EQ("[kavo]\r\nexe=C:\\Tools\\MyServer.exe\r\noption=-quiet\r\nname=MyServer\r\nend=1\r\n",
              ReadFileBytes(ProgramContext.IniPath));
}

TEST(Settings, WhatIsSavedIsReadBack)
{
    const struct {
        const char* program;
        const char* options;
        const char* service;
        int exitMethod;
    } cases[] = {
        {"C:\\Tools\\MyServer.exe", "-quiet", "MyServer", 1},
        {"C:\\\x95\x5c\\app.exe", "", "\x95\x5c", -1},   // 表, nothing selected
        {"", "", "", 0},
        {"C:\\dir with space\\a b.exe", "-x \"y z\" 'w'", "name with space", 7},
    };
    int index = 0;
    for (const auto& c : cases) {
        UseFolder("settings_round_trip_" + std::to_string(index++));
        SetConfig(c.program, c.options, c.service, c.exitMethod);
        SaveSettings();
        SetConfig("stale", "stale", "stale", 99);
        FlushProfileCache();
        LoadSettings();
        const ServiceConfig& config = ProgramContext.Config;
        EXPECT_STREQ(c.program, config.programPath);
        EXPECT_STREQ(c.options, config.options);
        EXPECT_STREQ(c.service, config.serviceName);
        EXPECT_EQ(c.exitMethod, config.exitMethod);
    }
}

TEST(Settings, HandWrittenFiles)
{
    const std::string long300(300, 'v');
    const struct {
        const char* name;
        std::string file;   // empty: no file at all
        std::string program;
        int exitMethod;
    } cases[] = {
        {"missing", "", "", 0},
        {"end_abc", "[kavo]\r\nexe=a.exe\r\nend=abc\r\n", "a.exe", 0},
        {"end_7", "[kavo]\r\nexe=a.exe\r\nend=7\r\n", "a.exe", 7},
        {"long_value", "[kavo]\r\nexe=" + long300 + "\r\nend=1\r\n", long300.substr(0, 259), 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        UseFolder(std::string("settings_file_") + c.name);
        if (!c.file.empty()) {
            ASSERT_TRUE(WriteFileBytes(ProgramContext.IniPath, c.file));
        }
        SetConfig("stale", "stale", "stale", 99);
        LoadSettings();
        EXPECT_EQ(c.program, ProgramContext.Config.programPath);
        EXPECT_STREQ("", ProgramContext.Config.options);
        EXPECT_STREQ("", ProgramContext.Config.serviceName);
        EXPECT_EQ(c.exitMethod, ProgramContext.Config.exitMethod);
    }
}

TEST(Settings, AnIniPathThatDoesNotFitIsRefused)
{
    // A 259-byte program path whose folder leaves no room for "\kavo.ini".
    std::string dir = MakeWorkDir("settings_deep");
    std::string modulePath = dir + "\\" + std::string(259 - dir.size() - 1 - 4, 'k') + ".exe";
    ASSERT_EQ(259u, modulePath.size());
    // A folder of 251 bytes: "\kavo.ini" would need 261 bytes with the terminator.
    std::string deepDir = dir + "\\" + std::string(251 - dir.size() - 1, 'd');
    ASSERT_TRUE(CreateDirectoryA(deepDir.c_str(), NULL));

    SetProgramPaths(modulePath.c_str());
    EXPECT_EQ(modulePath, ProgramContext.ModulePath);
    EXPECT_EQ(dir + "\\kavo.ini", ProgramContext.IniPath);

    SetProgramPaths((deepDir + "\\k.exe").c_str());
    EXPECT_EQ(deepDir, ProgramContext.ModuleDir);
    EXPECT_STREQ("", ProgramContext.IniPath);
    SetConfig("C:\\x.exe", "o", "refused", 1);
    EXPECT_EQ(0, SaveSettings()) << "a save that wrote nothing must say so";
    LoadSettings();
    EXPECT_STREQ("", ProgramContext.Config.serviceName);
    EXPECT_EQ(0, ProgramContext.Config.exitMethod);
    // Nothing went to a file of a cut name in the folder, nor to the Windows profile.
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((deepDir + "\\kavo*").c_str(), &found);
    EXPECT_EQ(INVALID_HANDLE_VALUE, search) << found.cFileName;
    if (search != INVALID_HANDLE_VALUE)
        FindClose(search);
    char value[16];
    GetProfileStringA("kavo", "name", "", value, sizeof value);
    EXPECT_STREQ("", value);
}

TEST(Settings, TheLongestModulePathStaysInItsBuffers)
{
    std::string longest = "C:\\" + std::string(255, 'd') + "\\x";   // 260 bytes: one too many
    SetProgramPaths(longest.c_str());
    EXPECT_EQ(259u, strlen(ProgramContext.ModulePath));
    EXPECT_EQ(longest.substr(0, 258), ProgramContext.ModuleDir);
    EXPECT_STREQ("", ProgramContext.IniPath);
}

}  // namespace
