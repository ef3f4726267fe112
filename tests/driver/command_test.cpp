// kavo.exe's commands, run as an administrator runs them from the unpacked
// zip: /install checks every value, makes FOLDER administrators-only, puts
// kavo.exe and kavo.ini in it, registers the service to start with Windows and
// to be restarted on failure, with its event source, and starts it;
// /uninstall stops a kavo service and removes it with its event source. What
// they say is read as a script reads it: from a file the output went to.
#include <gtest/gtest.h>

#include "support/dialog_driver.h"
#include "support/support.h"

namespace {

// 表 in code page 932: its second byte is a backslash.
#define HYO "\x95\x5c"

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// A command line in the ANSI code page, with wide (when given) put after it
// as UTF-16 as it stands.
std::wstring Wide(const std::string& ansi, const std::wstring& wide = L"")
{
    wchar_t text[8192];
    int length = MultiByteToWideChar(CP_ACP, 0, ansi.c_str(), -1, text, 8192);
    return std::wstring(text, length > 0 ? length - 1 : 0) + wide;
}

// An ANSI text as the output holds it.
std::string Utf8(const std::string& ansi)
{
    std::wstring wide = Wide(ansi);
    char text[8192];
    int length = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, text, sizeof text, NULL, NULL);
    return std::string(text, length > 0 ? length - 1 : 0);
}

// Runs kavo.exe (or the command line as given when it starts with cmd) in
// dir, its output sent to a file; the exit code, and the output in *output.
DWORD RunKavoAt(Where where, const std::wstring& arguments, const std::string& dir, std::string* output,
                bool throughCmd = false)
{
    std::string outputPath = dir + "\\output.txt";
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, NULL, TRUE};
    HANDLE file = CreateFileA(outputPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    std::wstring kavo = Wide(Quoted(KavoExePath()));
    // cmd /c drops the first and the last quotation mark of what follows it.
    std::wstring line = throughCmd ? L"cmd.exe /c \"" + kavo + L" " + arguments + L"\"" : kavo + L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = file;
    startup.hStdError = file;
    PROCESS_INFORMATION started = {};
    std::wstring directory = Wide(dir);
    BOOL made = file != INVALID_HANDLE_VALUE && CreateProcessW(NULL, &line[0], NULL, NULL, TRUE, 0, NULL,
                                                               directory.c_str(), &startup, &started);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    if (!made) {
        ADD_FAILURE_AT(where.file, where.line) << "kavo.exe could not be started: " << GetLastError();
        return STILL_ACTIVE;
    }
    CloseHandle(started.hThread);
    Program program;
    program.process = started.hProcess;
    program.id = started.dwProcessId;
    // An install may wait for RUNNING and then undo a start that failed.
    DWORD code = WaitForExitAt(where, program, 120000);
    *output = ReadFileBytes(outputPath);
    return code;
}
#define RunKavo(...) RunKavoAt(HERE, __VA_ARGS__)

// Files left by a command that ran from an argument: pwn*.txt in dir, taken
// away so that the next run starts clean.
std::string TakeMarkers(const std::string& dir)
{
    std::string found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((dir + "\\pwn*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            found += std::string(data.cFileName) + " ";
            DeleteFileA((dir + "\\" + data.cFileName).c_str());
        } while (FindNextFileA(search, &data));
        FindClose(search);
    }
    return found;
}

std::string SystemFolder(bool windows)
{
    char path[MAX_PATH];
    UINT length = windows ? GetWindowsDirectoryA(path, sizeof path) : GetSystemDirectoryA(path, sizeof path);
    return std::string(path, length);
}

// Arguments kavo.exe may not act on. Each refusal makes nothing (no folder, no
// service) and runs nothing an argument holds.
TEST(Command, RefusesWhatCannotBeServedAndChangesNothing)
{
    std::string dir = MakeWorkDir("command_refused");
    std::string program = dir + "\\app.exe";
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    std::string folder = dir + "\\svc";   // FOLDER where a row gives one: never made
    std::string withIni = dir + "\\has ini";
    ASSERT_TRUE(CreateDirectoryA(withIni.c_str(), NULL));
    ASSERT_TRUE(WriteFileBytes(withIni + "\\kavo.ini", "[kavo]\r\nname=another\r\n"));
    std::string aFile = dir + "\\a file";
    ASSERT_TRUE(WriteFileBytes(aFile, "not a folder\r\n"));
    ASSERT_TRUE(CreateDirectoryA((dir + "\\folder.exe").c_str(), NULL));
    std::string openDir = dir + "\\open";   // a program folder everyone may change
    ASSERT_TRUE(CreateDirectoryA(openDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), openDir + "\\app.exe"));
    ASSERT_TRUE(AllowOthersToWrite(openDir));

    ServiceGuard other("kavo command other");   // a service that is not kavo's
    ASSERT_TRUE(CreateServiceFor(other.name, Quoted(program)));
    ServiceGuard japanese("kavo command " HYO);
    ASSERT_TRUE(CreateServiceFor(japanese.name, Quoted(program)));
    ServiceGuard fresh("kavo command fresh");   // a name no row may leave registered

    const std::string n = Quoted(fresh.name) + " ";
    const std::string q = Quoted(program) + " ";
    const std::string f = " /folder:" + Quoted(folder);
    std::string hyo150;
    for (int i = 0; i < 150; ++i)
        hyo150 += HYO;
    const struct {
        std::wstring arguments;
        DWORD code;
        std::string says;   // a piece of the English text (in the ANSI code page)
        bool throughCmd;
    } cases[] = {
        {L"/?", 0, "kavo.exe /install NAME PROGRAM", false},
        {L"/install", 1, "kavo.exe /uninstall NAME", false},
        {L"install x y", 1, "exit code: 0", false},
        {Wide("/install ..\\..\\..\\trav " + q), 2, "NAME: |not allowed: ..\\..\\..\\trav", false},
        {Wide("/install " + std::string(257, 'n') + " " + q + f), 2, "NAME: |not allowed: nnnn", false},
        {Wide("/install " + hyo150 + " " + q + f), 2, "NAME: |at most 259 bytes", false},
        {Wide("/install ") + L"caf\u00e9 " + Wide(q + f), 2, "NAME: |not in the ANSI code page", false},
        {Wide("/install \"x\"\"&type nul>pwn1.txt&\"\"y\" " + q), 2, "give /folder: x\"&type nul>pwn1.txt&\"y", true},
        {Wide("/install " + n + Quoted(dir)), 2, "PROGRAM: |not allowed: " + dir, false},
        {Wide("/install " + n + Quoted(dir + "\\folder.exe")), 2, "no such program: " + dir + "\\folder.exe", false},
        {Wide("/install " + n + Quoted(dir + "\\none.exe")), 2, "no such program: " + dir + "\\none.exe", false},
        {Wide("/install " + n + Quoted(dir + "\\app*.exe")), 2, "PROGRAM: |not allowed: " + dir + "\\app*.exe", false},
        {Wide("/install " + n + q + "/end:2"), 2, "/end: |not allowed", false},
        {Wide("/install " + n + q + "\"/end:0&type nul>pwn2.txt\""), 2, "/end: |not allowed", true},
        {Wide("/install " + n + q + "/stoptimeout:121"), 2, "/stoptimeout: |not allowed", false},
        {Wide("/install " + n + q + "/stoptimeout:0"), 2, "/stoptimeout: |not allowed", false},
        {Wide("/install " + n + q + Quoted("/option:" + std::string(257, 'o') + "\t" HYO)), 2, "/option: |at most 259", false},
        {Wide("/install " + n + q + "/folder:" + Quoted(SystemFolder(true))), 2, "not this folder", false},
        {Wide("/install " + n + q + "/folder:" + Quoted(SystemFolder(false) + "\\\\")), 2, "not this folder", false},
        {Wide("/install " + n + q + "/folder:C:\\"), 2, "not this folder: C:\\", false},
        {Wide("/install " + n + q + "/folder:\\\\server\\share\\kavo"), 2, "not this folder", false},
        {Wide("/install " + n + q + "/folder:" + Quoted(withIni)), 2, "kavo.ini exists: " + withIni, false},
        // A folder that cannot be made or used: a file on its path.
        {Wide("/install " + n + q + "/folder:" + Quoted(aFile + "\\deeper")), 2, "a link or a file: " + aFile, false},
        {Wide("/install " + n + Quoted(openDir + "\\app.exe") + f), 2, "others can change: " + openDir, false},
        // The README's quoting, and quotes that leave & and > outside them for
        // cmd: every value checked (nothing in them run) before the name is
        // found registered.
        {Wide("/install " + Quoted(other.name) + " " + q + "\"/option:-x \"\"a&type nul>pwn3.txt&rem \"\"\"" + f), 2,
         "registered already: kavo command other", true},
        {Wide("/install " + Quoted(other.name) + " " + q + "\"/option:x\\\"&type nul>pwn4.txt&\\\"y\"" + f), 2,
         "file: \"" + program + "\"", false},
        // A name whose second byte in code page 932 is a backslash passes every check of the name.
        {Wide("/install " + Quoted(japanese.name) + " " + q), 2, "registered already: kavo command " HYO, false},
        {L"/uninstall", 1, "kavo.exe /uninstall NAME", false},
        {Wide("/uninstall " + Quoted(fresh.name)), 2, "not installed: kavo command fresh", false},
        {Wide("/uninstall \"a&type nul>pwn5.txt\""), 2, "not installed: a&type nul>pwn5.txt", false},
        {Wide("/uninstall " + Quoted(other.name)), 2, "not kavo's: kavo command other", false},
        {Wide("/uninstall \"x\\\"&type nul>pwn6.txt&\\\"y\""), 2, "not installed: x\"&type nul>pwn6.txt&\"y", false},
    };
    for (const auto& c : cases) {
        std::string label(c.arguments.begin(), c.arguments.end());
        SCOPED_TRACE(label.substr(0, 160) + (c.throughCmd ? " (through cmd)" : ""));
        std::string output;
        EXPECT_EQ(c.code, RunKavo(c.arguments, dir, &output, c.throughCmd)) << output;
        // "LABEL: |piece": the line starts with the label, and the piece follows.
        size_t bar = c.says.find('|');
        if (bar != std::string::npos)
            EXPECT_EQ(0u, output.find(c.says.substr(0, bar))) << output;
        EXPECT_NE(std::string::npos, output.find(Utf8(c.says.substr(bar == std::string::npos ? 0 : bar + 1))))
            << output;
        EXPECT_EQ("", TakeMarkers(dir)) << output;
        EXPECT_FALSE(FileExists(folder)) << output;
        EXPECT_FALSE(ReadServiceRegistration(fresh.name).found) << output;
    }
    EXPECT_TRUE(ReadServiceRegistration(other.name).found) << "/uninstall removed a service that is not kavo's";
    EXPECT_EQ("[kavo]\r\nname=another\r\n", ReadFileBytes(withIni + "\\kavo.ini"));
}

}  // namespace
