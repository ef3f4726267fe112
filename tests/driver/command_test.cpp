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
        {Wide("/install " + n + q + "/stoptimeout:111"), 2, "/stoptimeout: |not allowed", false},
        {Wide("/install " + n + q + "/stoptimeout:0"), 2, "/stoptimeout: |not allowed", false},
        {Wide("/install " + n + q + Quoted("/option:" + std::string(257, 'o') + "\t" HYO)), 2, "/option: |at most 259", false},
        {Wide("/install " + n + q + "/folder:" + Quoted(SystemFolder(true))), 2, "not this folder", false},
        {Wide("/install " + n + q + "/folder:" + Quoted(SystemFolder(false) + "\\\\")), 2, "not this folder", false},
        {Wide("/install " + n + q + "/folder:C:\\"), 2, "not this folder: C:\\", false},
        {Wide("/install " + n + q + "/folder:\\\\server\\share\\kavo"), 2, "not this folder", false},
        {Wide("/install " + n + q + "/folder:R:\\kavo"), 2, "a removable drive: R:\\kavo", false},
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
        if (bar != std::string::npos) {
            EXPECT_EQ(0u, output.find(c.says.substr(0, bar))) << output;
        }
        EXPECT_NE(std::string::npos, output.find(Utf8(c.says.substr(bar == std::string::npos ? 0 : bar + 1))))
            << output;
        EXPECT_EQ("", TakeMarkers(dir)) << output;
        EXPECT_FALSE(FileExists(folder)) << output;
        EXPECT_FALSE(ReadServiceRegistration(fresh.name).found) << output;
    }
    EXPECT_TRUE(ReadServiceRegistration(other.name).found) << "/uninstall removed a service that is not kavo's";
    EXPECT_EQ("[kavo]\r\nname=another\r\n", ReadFileBytes(withIni + "\\kavo.ini"));
}

// What one install is given, and what it must leave.
struct Install {
    const char* what;
    std::wstring arguments;
    bool throughCmd;
    std::string name;
    std::string folder;        // where kavo.exe and kavo.ini must land
    std::string ini;           // kavo.ini's bytes
    std::string log;           // where the hosted program logs
    std::string commandLine;   // as the hosted program receives it
    std::string currentDirectory;
    const char* close;         // the hosted program's close line on uninstall
};

// Installs, checks what the service control manager, kavo.ini and the hosted
// program show, and removes again.
void InstallRunAndRemoveAt(Where where, const Install& install, const std::string& dir)
{
    SCOPED_TRACE(::testing::Message() << install.what << " (" << where.file << ":" << where.line << ")");
    ServiceGuard guard(install.name);
    std::string output;
    size_t mark = EventLogMark();
    // Wine's service manager keeps no failure flag: the restarts are set.
    EXPECT_EQ(0u, RunKavo(install.arguments, dir, &output, install.throughCmd)) << output;
    EXPECT_NE(std::string::npos, output.find(Utf8("installed and running: " + install.name))) << output;
    EXPECT_NE(std::string::npos, output.find(u8"登録して起動した")) << output;
    EXPECT_EQ(install.ini, ReadFileBytes(install.folder + "\\kavo.ini"));
    EXPECT_TRUE(ReadFileBytes(KavoExePath()) == ReadFileBytes(install.folder + "\\kavo.exe")) << "kavo.exe copied";
    EXPECT_EQ("", TakeMarkers(dir)) << output;

    ServiceRegistration registration = ReadServiceRegistration(install.name);
    ASSERT_TRUE(registration.found) << output;
    EXPECT_EQ(Quoted(install.folder + "\\kavo.exe"), registration.binaryPath);
    EXPECT_EQ((DWORD)SERVICE_AUTO_START, registration.startType);
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, registration.serviceType);
    ExpectRestartOnFailure(install.name, true, mark);
    EXPECT_EQ("EventMessageFile=" + install.folder + "\\kavo.exe; TypesSupported=7; kavo=1",
              DescribeEventSource(install.name));

    // A result only once the service runs.
    SERVICE_STATUS status = {};
    EXPECT_TRUE(QueryServiceState(install.name, &status));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, status.dwCurrentState);
    WatchServiceOf(install.name, install.log);
    EXPECT_EQ("command-line " + install.commandLine, WaitForLogLine(install.log, "command-line "));
    EXPECT_EQ("current-directory " + install.currentDirectory, WaitForLogLine(install.log, "current-directory "));
    WaitForLogLine(install.log, "ready");
    // The start's entry names the program, not its options (kavo.ini has them).
    std::vector<EventEntry> entries = EventEntriesSince(mark, install.name);
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(100u, entries[0].id);
    EXPECT_EQ("", entries[0].strings.size() > 1 ? entries[0].strings[1] : "missing");

    // A handle the test holds would keep the deleted service registered.
    ForgetServiceOf(install.name);
    EXPECT_EQ(0u, RunKavo(Wide("/uninstall " + Quoted(install.name)), dir, &output)) << output;
    EXPECT_NE(std::string::npos, output.find(Utf8("removed: " + install.name))) << output;
    EXPECT_FALSE(ReadServiceRegistration(install.name).found);
    EXPECT_EQ("missing", DescribeEventSource(install.name));
    EXPECT_EQ(install.close, WaitForLogLine(install.log, "close "));
    EXPECT_EQ("exit 0", WaitForLogLine(install.log, "exit "));
    // The folder stays with kavo.exe and kavo.ini, as the dialog leaves them.
    EXPECT_TRUE(FileExists(install.folder + "\\kavo.ini"));
}
#define InstallRunAndRemove(...) InstallRunAndRemoveAt(HERE, __VA_ARGS__)

TEST(Command, InstallRunAndRemoveServices)
{
    std::string dir = MakeWorkDir("command_install");
    std::string programDir = dir + "\\R&D (x86) " HYO;
    std::string program = programDir + "\\app.exe";
    ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    std::string logDir = dir + "\\" HYO;
    ASSERT_TRUE(CreateDirectoryA(logDir.c_str(), NULL));

    // Paths and options in Japanese and with spaces; FOLDER and a folder above
    // it made, administrators-only, from the top.
    std::string name = "kavo command typed";
    std::string folder = dir + "\\made " HYO "\\service " HYO;
    std::string log = logDir + "\\typed.log";
    InstallRunAndRemove(Install{"typed", Wide("/install " + Quoted(name) + " " + Quoted(program) + " /option:" +
                                              Quoted(log) + " /end:1 /folder:" + Quoted(folder)),
                                false, name, folder, KavoIni(program, log, name, "1"), log,
                                Quoted(program) + " " + log, programDir, "close SC_CLOSE main1 unowned visible"},
                        dir);

    // The README's example of options with quotes, typed at cmd: the hosted
    // program gets -config "C:\R&D (x86)\app.ini" and logs there. A name with a
    // space in front is written in quotes, as the dialog does; the folder is
    // the default one; a relative program is taken from the current folder;
    // the stop timeout is written when given.
    std::string readmeDir = "C:\\R&D (x86)";
    bool madeReadmeDir = CreateDirectoryA(readmeDir.c_str(), NULL) != 0;
    std::string readmeLog = readmeDir + "\\app.ini";
    DeleteFileA(readmeLog.c_str());
    char programFiles[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ProgramW6432", programFiles, sizeof programFiles);
    if (length == 0 || length >= sizeof programFiles)
        length = GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    ASSERT_TRUE(length > 0 && length < sizeof programFiles);
    std::string spaced = " kavo command readme";
    std::string defaultFolder = std::string(programFiles) + "\\kavo\\" + spaced;
    bool hadKavoFolder = FileExists(std::string(programFiles) + "\\kavo");
    InstallRunAndRemove(
        Install{"the README's options",
                Wide("/install " + Quoted(spaced) + " \"R&D (x86) " HYO "\\app.exe\" \"/option:-config \"\"" +
                     readmeLog + "\"\"\" /stoptimeout:45"),
                true, spaced, defaultFolder,
                "[kavo]\r\nexe=" + program + "\r\noption=-config \"" + readmeLog + "\"\r\nname=\"" + spaced +
                    "\"\r\nend=0\r\nstoptimeout=45\r\n",
                readmeLog, Quoted(program) + " -config \"" + readmeLog + "\"", programDir,
                "close WM_CLOSE main1 unowned visible"},
        dir);
    DeleteFileA((defaultFolder + "\\kavo.exe").c_str());
    DeleteFileA((defaultFolder + "\\kavo.ini").c_str());
    RemoveDirectoryA(defaultFolder.c_str());
    if (!hadKavoFolder)
        RemoveDirectoryA((std::string(programFiles) + "\\kavo").c_str());
    DeleteFileA(readmeLog.c_str());
    if (madeReadmeDir)
        RemoveDirectoryA(readmeDir.c_str());

    // Values the profile functions would read back changed: options that
    // start with a tab and hold what cmd would run, a name wholly in single
    // quotes. Both are written in one more pair of quotes.
    std::string quotedName = "'kavo command q'";
    std::string tabbedLog = dir + "\\tabbed.log";
    std::string options = "\t" + tabbedLog + " -x \"a&type nul>pwn1.txt&rem \"";
    folder = dir + "\\service q";
    InstallRunAndRemove(Install{"options and a name that need quotes",
                                Wide("/install " + Quoted(quotedName) + " " + Quoted(program) + " \"/option:\t" + tabbedLog +
                                     " -x \"\"a&type nul>pwn1.txt&rem \"\"\" /end:1 /folder:" + Quoted(folder)),
                                true, quotedName, folder,
                                KavoIni(program, Quoted(options), Quoted(quotedName), "1"), tabbedLog,
                                Quoted(program) + " " + options, programDir, "close SC_CLOSE main1 unowned visible"},
                        dir);
}

// A start that fails (the program ends at once): the service and kavo.ini go
// again; kavo.exe and the event source stay, so that the entries that explain
// the failure can be read, and /uninstall then removes the source.
TEST(Command, FailedStartIsUndoneAndExplained)
{
    std::string dir = MakeWorkDir("command_failed");
    std::string program = dir + "\\app.exe";
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    ServiceGuard failing("kavo command failing");
    std::string folder = dir + "\\made\\service";
    std::string output;
    EXPECT_EQ(3u, RunKavo(Wide("/install " + Quoted(failing.name) + " " + Quoted(program) +
                               " \"/option:-no-window -exit-after=0 -exit-code=3 " + dir + "\\failing.log\"" +
                               " /folder:" + Quoted(folder)),
                          dir, &output))
        << output;
    EXPECT_NE(std::string::npos, output.find("not RUNNING: 1, 1066, 3")) << output;
    EXPECT_NE(std::string::npos, output.find("kept for the event log: " + folder + "\\kavo.exe")) << output;
    EXPECT_NE(std::string::npos, output.find("kept for the event log: kavo command failing")) << output;
    EXPECT_EQ(std::string::npos, output.find("left behind")) << output;
    EXPECT_FALSE(ReadServiceRegistration(failing.name).found) << output;
    EXPECT_FALSE(FileExists(folder + "\\kavo.ini")) << output;
    EXPECT_EQ("EventMessageFile=" + folder + "\\kavo.exe; TypesSupported=7; kavo=1",
              DescribeEventSource(failing.name));

    EXPECT_EQ(0u, RunKavo(Wide("/uninstall " + Quoted(failing.name)), dir, &output)) << output;
    EXPECT_NE(std::string::npos, output.find("removed: kavo command failing")) << output;
    EXPECT_EQ("missing", DescribeEventSource(failing.name));
    // Nothing else is there to remove.
    EXPECT_EQ(2u, RunKavo(Wide("/uninstall " + Quoted(failing.name)), dir, &output)) << output;

    // A name that is another service's display name: refused by the
    // registration, and the folders made for it go again.
    ServiceGuard named("kavo command named");
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE service = manager ? CreateServiceA(manager, named.name.c_str(), "kavo command shown",
                                                 SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START,
                                                 SERVICE_ERROR_NORMAL, Quoted(program).c_str(), NULL, NULL, NULL,
                                                 NULL, NULL)
                                : NULL;
    ASSERT_TRUE(service != NULL) << GetLastError();
    CloseServiceHandle(service);
    CloseServiceHandle(manager);
    ServiceGuard shown("kavo command shown");
    std::string made = dir + "\\shown";
    EXPECT_EQ(3u, RunKavo(Wide("/install \"kavo command shown\" " + Quoted(program) + " /folder:" +
                               Quoted(made + "\\deeper")),
                          dir, &output))
        << output;
    EXPECT_NE(std::string::npos, output.find("failed: CreateService (1078)")) << output;
    EXPECT_NE(std::string::npos, output.find("nothing left behind")) << output;
    EXPECT_FALSE(FileExists(made)) << output;
    EXPECT_EQ("missing", DescribeEventSource("kavo command shown"));
}

}  // namespace
