// The release's example scripts, run by cmd as an administrator runs them from
// the unpacked zip: install.cmd checks every argument, copies kavo.exe, writes
// kavo.ini, registers the service to start at boot and to be restarted on
// failure, and its event source, and starts it; uninstall.cmd stops a kavo
// service and removes it with its event source.
//
// Wine's cmd drops every quotation mark inside %~1, so a quote inside an
// argument never reaches the scripts through it; and it does not echo the
// remarks through which the scripts read their arguments on Windows. To give
// a script what Windows' %~1 to %~6 give, the test runs a copy of it that
// reads the echoed remarks from a file the test writes (kWindowsArguments).
#include <gtest/gtest.h>
#include <stdio.h>

#include "support/dialog_driver.h"
#include "support/support.h"

namespace {

// 表 in code page 932: its second byte is a backslash.
#define HYO "\x95\x5c"

// Started by a script's copy in icacls's or cacls's place (KAVO_TEST_TOOL_LOG
// set), this program appends its command line to that file and ends with 0,
// as the tool would once done: Wine's icacls and cacls do nothing at all.
const bool kStandsInForATool = [] {
    char log[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KAVO_TEST_TOOL_LOG", log, sizeof log);
    if (length == 0 || length >= sizeof log)
        return false;
    HANDLE file = CreateFileA(log, FILE_APPEND_DATA, FILE_SHARE_READ, NULL, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    // cmd leaves spaces where it took the redirections away.
    std::string line = GetCommandLineA();
    line.erase(line.find_last_not_of(' ') + 1);
    line += "\r\n";
    DWORD written = 0;
    BOOL logged = file != INVALID_HANDLE_VALUE && WriteFile(file, line.data(), (DWORD)line.size(), &written, NULL);
    if (file != INVALID_HANDLE_VALUE)
        CloseHandle(file);
    ExitProcess(logged ? 0 : 1);
}();

// What a script's copy runs after setting its tools: the stand-in above in
// icacls's or cacls's place, or tools that are not there.
const std::string kStandInForIcacls = "set \"icacls=" + BuildDir() + "\\kavo_tests.exe\"\r\n";
const std::string kStandInForCacls =
    "set \"icacls=%system%\\none.exe\"\r\nset \"cacls=" + BuildDir() + "\\kavo_tests.exe\"\r\n";
const std::string kNeitherTool = "set \"icacls=%system%\\none.exe\"\r\nset \"cacls=%system%\\none.exe\"\r\n";

// A run of install.cmd may wait a minute for RUNNING and another to remove
// what it made; under load Wine's cmd is slow besides.
const DWORD kScriptDeadline = 180000;

// Runs a command line under cmd in dir; cmd's exit code, its output in *output.
DWORD RunUnderCmdAt(Where where, const std::string& commandLine, const std::string& dir, std::string* output)
{
    std::string outputPath = dir + "\\output.txt";
    DeleteFileA(outputPath.c_str());
    Program cmd;
    // cmd /c drops the first and the last quotation mark of what follows it.
    if (!StartProgramAt(where, cmd, "cmd.exe /c \"" + commandLine + " > \"" + outputPath + "\" 2>&1\"", dir))
        return STILL_ACTIVE;
    DWORD code = WaitForExitAt(where, cmd, kScriptDeadline);
    *output = ReadFileBytes(outputPath);
    return code;
}
#define RunUnderCmd(...) RunUnderCmdAt(HERE, __VA_ARGS__)

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

// A copy of the script (in code page 932, as built) that takes the lines its
// argument block has cmd echo from a file (KAVO_TEST_ECHO) instead: Wine's
// cmd echoes nothing there. The script then reads them as on Windows.
std::string WindowsArgumentsScript(const std::string& script)
{
    const std::string start = "(\r\n    echo on\r\n";
    const std::string end = ") > \"%work%\\arguments.txt\"\r\n";
    size_t from = script.find(start);
    size_t to = script.find(end, from == std::string::npos ? 0 : from);
    if (from == std::string::npos || to == std::string::npos)
        return "";
    return script.substr(0, from) + "copy /b \"%KAVO_TEST_ECHO%\" \"%work%\\arguments.txt\" > nul\r\n" +
           script.substr(to + end.size());
}

// What Windows' cmd echoes for the block's remarks, with the prompt @: after
// an empty line, the remark with the argument as %~N gives it, and a space.
std::string EchoedArguments(const std::vector<std::string>& arguments, size_t count)
{
    std::string echoed;
    for (size_t i = 0; i < count; ++i)
        echoed += "\r\n@rem #" + std::to_string(i + 1) + "\"" + (i < arguments.size() ? arguments[i] : "") +
                  "\"# \r\n";
    return echoed;
}

// How the arguments reach the script.
enum Route {
    kTyped,              // typed after the script's name, through Wine's cmd
    kWindowsArguments,   // as Windows' %~1... gives them, echoed as Windows' cmd does
};

struct ScriptRun {
    const char* script;                // "install.cmd" or "uninstall.cmd"
    Route route;
    std::vector<std::string> arguments;   // kTyped: pieces of the command line as typed
    std::string tools = "";               // run after the script sets its tools (kStandInForIcacls...)
};

// Runs the script from the release folder with current folder dir; its exit code.
DWORD RunScriptAt(Where where, const ScriptRun& run, const std::string& release, const std::string& dir,
                  std::string* output)
{
    std::string script = run.script;
    if (!run.tools.empty()) {
        const std::string set = "set \"cacls=%system%\\cacls.exe\"\r\n";
        std::string text = ReadFileBytes(release + "\\" + script);
        size_t at = text.find(set);
        script = "tools-" + script;
        if (at == std::string::npos ||
            !WriteFileBytes(release + "\\" + script, text.insert(at + set.size(), run.tools))) {
            ADD_FAILURE_AT(where.file, where.line) << "no tools to replace in " << run.script;
            return STILL_ACTIVE;
        }
        DeleteFileA((dir + "\\tools.log").c_str());
        SetEnvironmentVariableA("KAVO_TEST_TOOL_LOG", (dir + "\\tools.log").c_str());
    }
    std::string line;
    if (run.route == kTyped) {
        line = Quoted(release + "\\" + script);
        for (const std::string& argument : run.arguments)
            line += " " + argument;
    } else {
        std::string copy = release + "\\windows-arguments-" + script;
        std::string echoed = dir + "\\echoed.txt";
        std::string text = WindowsArgumentsScript(ReadFileBytes(release + "\\" + script));
        size_t count = std::string(run.script) == "install.cmd" ? 6 : 1;
        if (text.empty() || !WriteFileBytes(copy, text) ||
            !WriteFileBytes(echoed, EchoedArguments(run.arguments, count))) {
            ADD_FAILURE_AT(where.file, where.line) << "no argument block to replace in " << run.script;
            return STILL_ACTIVE;
        }
        line = Quoted(copy);
        SetEnvironmentVariableA("KAVO_TEST_ECHO", echoed.c_str());
    }
    DWORD code = RunUnderCmdAt(where, line, dir, output);
    SetEnvironmentVariableA("KAVO_TEST_ECHO", NULL);
    SetEnvironmentVariableA("KAVO_TEST_TOOL_LOG", NULL);
    return code;
}
#define RunScript(...) RunScriptAt(HERE, __VA_ARGS__)

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

// install.cmd's working folders left in TEMP.
std::string WorkFoldersLeft()
{
    char temp[MAX_PATH];
    DWORD length = GetTempPathA(sizeof temp, temp);
    std::string found;
    if (length == 0 || length >= sizeof temp)
        return found;
    WIN32_FIND_DATAA data;
    HANDLE search = FindFirstFileA((std::string(temp) + "kavo-*install-*").c_str(), &data);
    if (search != INVALID_HANDLE_VALUE) {
        do
            found += std::string(data.cFileName) + " ";
        while (FindNextFileA(search, &data));
        FindClose(search);
    }
    return found;
}

// The release as unpacked: the scripts beside kavo.exe.
std::string MakeRelease(const std::string& dir)
{
    std::string release = dir + "\\release " HYO;
    CreateDirectoryA(release.c_str(), NULL);
    EXPECT_TRUE(CopyFileTo(KavoExePath(), release + "\\kavo.exe"));
    EXPECT_TRUE(CopyFileTo(BuildDir() + "\\examples\\install.cmd", release + "\\install.cmd"));
    EXPECT_TRUE(CopyFileTo(BuildDir() + "\\examples\\uninstall.cmd", release + "\\uninstall.cmd"));
    return release;
}

std::string SystemFolder(bool windows)
{
    char path[MAX_PATH];
    UINT length = windows ? GetWindowsDirectoryA(path, sizeof path) : GetSystemDirectoryA(path, sizeof path);
    return std::string(path, length);
}

// Arguments no script may act on. Each refusal makes nothing (no folder, no
// service, no work folder left in TEMP) and runs nothing an argument holds
// (no pwn*.txt in the current folder).
TEST(ExampleScripts, RefuseWhatCannotBeServedAndRunNothing)
{
    std::string dir = MakeWorkDir("example_scripts_refused");
    std::string release = MakeRelease(dir);
    std::string program = dir + "\\app.exe";
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    std::string folder = dir + "\\svc";   // FOLDER where a run gives one: never made
    std::string withIni = dir + "\\has ini";
    ASSERT_TRUE(CreateDirectoryA(withIni.c_str(), NULL));
    ASSERT_TRUE(WriteFileBytes(withIni + "\\kavo.ini", "[kavo]\r\nname=another\r\n"));
    std::string existing = dir + "\\existing";   // stays empty
    ASSERT_TRUE(CreateDirectoryA(existing.c_str(), NULL));

    // A service that is not kavo's, and another whose display name differs from its name.
    ServiceGuard other("kavo scripts other");
    ASSERT_TRUE(CreateServiceFor(other.name, Quoted(program)));
    ServiceGuard shown("kavo scripts named");
    std::string output;
    ASSERT_EQ(0u, RunUnderCmd("sc create " + Quoted(shown.name) + " binPath= " + Quoted(program) +
                                  " DisplayName= \"kavo scripts shown\"",
                              dir, &output))
        << output;
    ServiceGuard fresh("kavo scripts fresh");   // a name no run may leave registered
    ServiceGuard japanese("kavo scripts " HYO);
    ASSERT_TRUE(CreateServiceFor(japanese.name, Quoted(program)));

    const std::string q = Quoted(program);
    const std::string f = Quoted(folder);
    const std::string long257(257, 'n');
    std::string hyo150;
    for (int i = 0; i < 150; ++i)
        hyo150 += HYO;
    const std::string over259 = std::string(257, 'o') + "\t" HYO;   // 260 bytes
    const struct {
        ScriptRun run;
        std::string says;   // a piece of the English message
    } cases[] = {
        {{"install.cmd", kTyped, {}}, "usage: install.cmd NAME PROGRAM"},
        // The service control manager refuses \ and /: no folder is made from such a name.
        {{"install.cmd", kTyped, {"..\\..\\..\\trav", q}}, "cannot hold \\ or /"},
        {{"install.cmd", kTyped, {long257, q}}, "at most 256 characters"},
        {{"install.cmd", kTyped, {hyo150, q, "x", "0", f}}, "NAME has at most 259 bytes (300)"},
        // Wine's cmd drops the quotes: x&type nul>pwn1.txt&y, which cannot name a folder.
        {{"install.cmd", kTyped, {"x\"^&type nul^>pwn1.txt^&\"y", q}}, "the name cannot name a folder"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), Quoted(dir)}}, "a folder, not a program"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), Quoted(dir + "\\none.exe")}}, "no such program"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), Quoted(dir + "\\app*.exe")}}, "no such program"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "2"}}, "the exit method is 0 or 1"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0^&type nul^>pwn2.txt"}}, "exit method is 0 or 1"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", f, "111"}}, "1 to 110 seconds"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", f, "0"}}, "1 to 110 seconds"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", Quoted(SystemFolder(true))}},
         "not in the Windows or the system folder"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", Quoted(SystemFolder(false) + "\\")}},
         "not in the Windows or the system folder"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", Quoted(withIni)}}, "kavo.ini exists already"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", "C:\\"}}, "not in a drive's root: C:\\"},
        // Folders whose permissions cannot be set: made, then removed again; there already, left empty with
        // what was done to their permissions named.
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", Quoted(folder + "\\deeper")}, kNeitherTool},
         "cannot make it administrators-only: " + folder + "\\deeper"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, "\"\"", "0", Quoted(existing)}, kNeitherTool},
         "permissions of " + existing + " (administrators-only)"},
        {{"install.cmd", kTyped, {Quoted(fresh.name), q, Quoted(over259), "0", f}}, "OPTIONS has at most 259 bytes"},
        // Options with the README's quoting, and with quotes that leave & and >
        // outside them: checked in full (nothing in them run) before the name
        // is found registered.
        {{"install.cmd", kTyped, {Quoted(other.name), q, "\"-x \"\"a&type nul>pwn3.txt&rem \"\"\""}},
         "is registered already"},
        {{"install.cmd", kWindowsArguments, {other.name, program, "-x \"\"a&type nul>pwn4.txt&rem \"\""}},
         "is registered already"},
        {{"install.cmd", kWindowsArguments, {other.name, program, "x\"&type nul>pwn5.txt&\"y"}},
         "is registered already"},
        // A name whose second byte in code page 932 is a backslash passes every check of the name.
        {{"install.cmd", kTyped, {Quoted(japanese.name), q}}, "is registered already"},
        {{"install.cmd", kWindowsArguments, {"x\"&type nul>pwn6.txt&\"y", program}}, "NAME cannot hold a quotation"},
        {{"install.cmd", kWindowsArguments, {fresh.name, program + "\"&type nul>pwn7.txt&\""}},
         "PROGRAM cannot hold a quotation"},
        {{"install.cmd", kWindowsArguments, {fresh.name, program, "", "0\"&type nul>pwn8.txt&\""}},
         "EXIT-METHOD cannot hold a quotation"},
        {{"install.cmd", kWindowsArguments, {fresh.name, program, "", "0", folder + "\"&type nul>pwn9.txt&\""}},
         "FOLDER cannot hold a quotation"},
        {{"install.cmd", kWindowsArguments, {fresh.name, program, "", "0", "", "9\"&type nul>pwn10.txt&\""}},
         "STOP-TIMEOUT cannot hold a quotation"},
        {{"uninstall.cmd", kTyped, {}}, "usage: uninstall.cmd NAME"},
        {{"uninstall.cmd", kTyped, {Quoted(fresh.name)}}, "is not installed"},
        {{"uninstall.cmd", kTyped, {"a^&type nul^>pwn11.txt"}}, "is not installed"},
        {{"uninstall.cmd", kTyped, {Quoted(other.name)}}, "is not kavo's: it runs " + q},
        {{"uninstall.cmd", kWindowsArguments, {"x\"&type nul>pwn12.txt&\"y"}}, "cannot hold"},
    };
    for (const auto& c : cases) {
        std::string label = c.run.script;
        for (const std::string& argument : c.run.arguments)
            label += " [" + argument.substr(0, 80) + "]";
        SCOPED_TRACE(label + (c.run.route == kWindowsArguments ? " (as Windows' %~N gives them)" : ""));
        DWORD code = RunScript(c.run, release, dir, &output);
        EXPECT_EQ(1u, code) << output;
        EXPECT_NE(std::string::npos, output.find(c.says)) << output;
        EXPECT_EQ("", TakeMarkers(dir)) << output;
        EXPECT_FALSE(FileExists(folder)) << output;
        EXPECT_FALSE(ReadServiceRegistration(fresh.name).found) << output;
    }
    EXPECT_TRUE(ReadServiceRegistration(other.name).found) << "uninstall.cmd removed a service that is not kavo's";
    EXPECT_EQ("[kavo]\r\nname=another\r\n", ReadFileBytes(withIni + "\\kavo.ini"));
    EXPECT_TRUE(RemoveDirectoryA(existing.c_str())) << "install.cmd wrote into a folder it could not secure";

    // A name that is another service's display name: refused by the check
    // where sc getkeyname answers, else by sc create, and then what was made
    // is removed again.
    DWORD code = RunScript({"install.cmd", kTyped, {"\"kavo scripts shown\"", q, "\"\"", "0", f}}, release, dir,
                           &output);
    EXPECT_EQ(1u, code) << output;
    bool checked = output.find("is another service's display name") != std::string::npos;
    bool undone = output.find("failed step: sc create") != std::string::npos &&
                  output.find("nothing was left behind") != std::string::npos;
    EXPECT_TRUE(checked || undone) << output;
    EXPECT_FALSE(FileExists(folder)) << output;
    EXPECT_FALSE(ReadServiceRegistration("kavo scripts shown").found) << output;

    // A start that fails (the release's kavo.exe is no program): the service,
    // kavo.exe, kavo.ini and the two folders made for them go again.
    std::string broken = dir + "\\broken release";
    ASSERT_TRUE(CreateDirectoryA(broken.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(release + "\\install.cmd", broken + "\\install.cmd"));
    ASSERT_TRUE(WriteFileBytes(broken + "\\kavo.exe", "not a program\r\n"));
    ServiceGuard failing("kavo scripts failing");
    code = RunScript({"install.cmd", kTyped, {Quoted(failing.name), q, "\"\"", "0", Quoted(folder + "\\deeper")}},
                     broken, dir, &output);
    EXPECT_EQ(1u, code) << output;
    EXPECT_NE(std::string::npos, output.find("failed step: sc start")) << output;
    EXPECT_NE(std::string::npos, output.find("nothing was left behind")) << output;
    EXPECT_FALSE(FileExists(folder)) << output;
    EXPECT_FALSE(ReadServiceRegistration(failing.name).found) << output;
    EXPECT_EQ("", WorkFoldersLeft());
}

// What one install is given, and what it must leave.
struct Install {
    const char* what;
    ScriptRun run;
    std::string name;
    std::string folder;           // where kavo.exe and kavo.ini must land
    std::string ini;              // kavo.ini's bytes
    std::string log;              // where the hosted program logs
    std::string commandLine;      // as the hosted program receives it
    std::string currentDirectory;
    const char* close;            // the hosted program's close line on uninstall
    std::string toolCalls = "";   // as the stand-in for a tool logs them, when run.tools has one
};

// Installs, checks what the service control manager, kavo.ini and the hosted
// program show, and removes again.
void InstallRunAndRemoveAt(Where where, const Install& install, const std::string& release, const std::string& dir)
{
    SCOPED_TRACE(::testing::Message() << install.what << " (" << where.file << ":" << where.line << ")");
    ServiceGuard guard(install.name);
    std::string output;
    size_t mark = EventLogMark();
    DWORD code = RunScript(install.run, release, dir, &output);

    // A recovery setting that sc refuses is reported, the service still
    // installed and started, and the exit code says so. Wine's sc lacks some
    // of them: each refusal is checked against sc itself.
    const struct {
        const char* subcommand;
        const char* arguments;
    } recovery[] = {
        {"failure", "reset= 86400 actions= restart/5000/restart/10000/restart/60000"},
        {"failureflag", "1"},
    };
    bool flagRefused = false;
    bool anyRefused = false;
    for (const auto& r : recovery) {
        if (output.find(std::string("warning: sc ") + r.subcommand + " was refused") == std::string::npos)
            continue;
        anyRefused = true;
        flagRefused = flagRefused || std::string(r.subcommand) == "failureflag";
        std::string probe;
        EXPECT_NE(0u, RunUnderCmd(std::string("sc ") + r.subcommand + " " + Quoted(install.name) + " " + r.arguments,
                                  dir, &probe))
            << "install.cmd says sc " << r.subcommand << " was refused, but sc accepts it:\n" << output;
        printf("Wine's sc lacks \"sc %s\": install.cmd reported it and went on; that setting is not checked\n",
               r.subcommand);
    }
    EXPECT_EQ(anyRefused ? 2u : 0u, code) << output;
    EXPECT_NE(std::string::npos, output.find(anyRefused ? "is running, but it is not restarted on failure"
                                                        : "installed and running"))
        << output;
    EXPECT_EQ(install.ini, ReadFileBytes(install.folder + "\\kavo.ini"));
    if (!install.toolCalls.empty()) {
        EXPECT_EQ(install.toolCalls, ReadFileBytes(dir + "\\tools.log"));
    }
    EXPECT_EQ("", TakeMarkers(dir)) << output;

    ServiceRegistration registration = ReadServiceRegistration(install.name);
    ASSERT_TRUE(registration.found) << output;
    EXPECT_EQ(Quoted(install.folder + "\\kavo.exe"), registration.binaryPath);
    EXPECT_EQ((DWORD)SERVICE_AUTO_START, registration.startType);
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, registration.serviceType);

    ExpectRestartOnFailure(install.name, !flagRefused, mark);
    const std::string source = "EventMessageFile=" + install.folder + "\\kavo.exe; TypesSupported=7; kavo=1";
    EXPECT_EQ(source, DescribeEventSource(install.name));

    // install.cmd reports success only once the service runs.
    SERVICE_STATUS status = {};
    EXPECT_TRUE(QueryServiceState(install.name, &status));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, status.dwCurrentState);
    WatchServiceOf(install.name, install.log);
    EXPECT_EQ("command-line " + install.commandLine, WaitForLogLine(install.log, "command-line "));
    EXPECT_EQ("current-directory " + install.currentDirectory, WaitForLogLine(install.log, "current-directory "));
    WaitForLogLine(install.log, "ready");

    // A handle the test holds would keep the deleted service registered.
    ForgetServiceOf(install.name);
    EXPECT_EQ(0u, RunScript({"uninstall.cmd", kTyped, {Quoted(install.name)}}, release, dir, &output)) << output;
    EXPECT_FALSE(ReadServiceRegistration(install.name).found);
    EXPECT_EQ("missing", DescribeEventSource(install.name));
    EXPECT_EQ(install.close, WaitForLogLine(install.log, "close "));
    EXPECT_EQ("exit 0", WaitForLogLine(install.log, "exit "));
    EXPECT_EQ("", WorkFoldersLeft());
}
#define InstallRunAndRemove(...) InstallRunAndRemoveAt(HERE, __VA_ARGS__)

TEST(ExampleScripts, InstallRunAndRemoveServices)
{
    std::string dir = MakeWorkDir("example_scripts");
    std::string release = MakeRelease(dir);
    std::string programDir = dir + "\\R&D (x86) " HYO;
    std::string program = programDir + "\\app.exe";
    ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    std::string logDir = dir + "\\" HYO;
    ASSERT_TRUE(CreateDirectoryA(logDir.c_str(), NULL));
    // Wine's for /f reads a file's bytes in no code page, so the values handed
    // over as Windows would are ASCII.
    std::string asciiDir = dir + "\\R&D (x86)";
    std::string asciiProgram = asciiDir + "\\app.exe";
    ASSERT_TRUE(CreateDirectoryA(asciiDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), asciiProgram));

    // Paths and options in Japanese and with spaces, typed on cmd's command
    // line: the first test of any release. (The names of services started here
    // are ASCII: Wine's sc query prints nothing after a name outside ASCII.)
    // FOLDER is made administrators-only before anything goes in: by icacls
    // where there is one (Vista and later), else by cacls (2000 and XP).
    std::string name = "kavo scripts typed";
    std::string folder = dir + "\\service " HYO;
    std::string log = logDir + "\\typed.log";
    const std::string tool = Quoted(BuildDir() + "\\kavo_tests.exe") + " ";
    InstallRunAndRemove(Install{"typed",
                                {"install.cmd", kTyped, {Quoted(name), Quoted(program), Quoted(log), "1", Quoted(folder)},
                                 kStandInForIcacls},
                                name, folder, KavoIni(program, log, name, "1"), log,
                                Quoted(program) + " " + log, programDir, "close SC_CLOSE main1 unowned visible",
                                tool + Quoted(folder) + " /reset\r\n" + tool + Quoted(folder) +
                                    " /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F"
                                    " *S-1-5-32-545:(OI)(CI)RX\r\n" +
                                    tool + Quoted(folder) + " /setowner *S-1-5-32-544\r\n"},
                        release, dir);

    // The README's example of options with quotes, as Windows hands it over:
    // the hosted program gets -config "C:\R&D (x86)\app.ini" and logs there.
    // A name with a space in front is written in quotes, as the dialog does;
    // the folder is the default one; a relative program is taken from the
    // current folder; the stop timeout is written when given.
    std::string readmeDir = "C:\\R&D (x86)";
    bool madeReadmeDir = CreateDirectoryA(readmeDir.c_str(), NULL) != 0;
    std::string readmeLog = readmeDir + "\\app.ini";
    DeleteFileA(readmeLog.c_str());
    char programFiles[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("ProgramFiles", programFiles, sizeof programFiles);
    ASSERT_TRUE(length > 0 && length < sizeof programFiles);
    std::string spaced = " kavo scripts readme";
    std::string defaultFolder = std::string(programFiles) + "\\kavo\\" + spaced;
    bool hadKavoFolder = FileExists(std::string(programFiles) + "\\kavo");
    const std::string cacls = " /G Administrators:F SYSTEM:F Users:R\r\n";
    InstallRunAndRemove(
        Install{"the README's options",
                {"install.cmd", kWindowsArguments,
                 {spaced, "R&D (x86)\\app.exe", "-config \"\"" + readmeLog + "\"\"", "", "", "45"},
                 kStandInForCacls},
                spaced, defaultFolder,
                "[kavo]\r\nexe=" + asciiProgram + "\r\noption=-config \"" + readmeLog + "\"\r\nname=\"" + spaced +
                    "\"\r\nend=0\r\nstoptimeout=45\r\n",
                readmeLog, Quoted(asciiProgram) + " -config \"" + readmeLog + "\"", asciiDir,
                "close WM_CLOSE main1 unowned visible",
                tool + Quoted(defaultFolder) + cacls +
                    (hadKavoFolder ? "" : tool + Quoted(std::string(programFiles) + "\\kavo") + cacls)},
        release, dir);
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
    std::string quotedName = "'kavo scripts q'";
    std::string tabbedLog = dir + "\\tabbed.log";
    std::string options = "\t" + tabbedLog + " -x \"a&type nul>pwn1.txt&rem \"";
    folder = dir + "\\service q";
    InstallRunAndRemove(Install{"options and a name that need quotes",
                                {"install.cmd", kWindowsArguments,
                                 {quotedName, asciiProgram, "\t" + tabbedLog + " -x \"\"a&type nul>pwn1.txt&rem \"\"",
                                  "1", folder}},
                                quotedName, folder, KavoIni(asciiProgram, Quoted(options), Quoted(quotedName), "1"),
                                tabbedLog, Quoted(asciiProgram) + " " + options, asciiDir,
                                "close SC_CLOSE main1 unowned visible"},
                        release, dir);
}

}  // namespace
