// kavo.exe as the service control manager runs it: the hosted program's command
// line and folder, the close messages a stop sends, and what the service reports.
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <algorithm>

#include "support/kavo_service.h"
#include "support/support.h"

namespace {

// 表 in code page 932: its second byte is a backslash.
#define HYO "\x95\x5c"

// The desktop where Wine runs services, kavo's and so its program's.
const char kServiceDesktopName[] = "__wineservice_winstation\\Default";

std::string KavoIni(const std::string& exe, const std::string& options, const std::string& name, int exitMethod)
{
    return "[kavo]\r\nexe=" + exe + "\r\noption=" + options + "\r\nname=" + name + "\r\nend=" +
           std::to_string(exitMethod) + "\r\n";
}

TEST(HostService, CommandLineAndWorkingDirectory)
{
    const struct {
        const char* folder;   // holds the hosted program, under the test's folder
        const char* options;
    } cases[] = {
        {"prog", "-x \"quoted arg\""},
        {"prog", ""},   // the line then ends in a space
        {"dir with space", "-x"},
        {"jp" HYO "dir", "-x"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Escaped(c.folder) + " " + c.options);
        KavoService service("kavo_cmdline", "service_cmdline");
        std::string programDir = service.dir + "\\" + c.folder;
        ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
        std::string program = programDir + "\\hosted_child.exe";
        ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
        // Unquoted, "...\dir with space\hosted_child.exe" would start "...\dir.exe".
        ASSERT_TRUE(CopyFileTo(HostedChildPath(), service.dir + "\\dir.exe"));
        std::string options = service.log + (*c.options ? " " : "") + c.options;
        ASSERT_TRUE(RegisterKavo(service, KavoIni(program, options, service.guard.name, 0)));

        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForLogLine(service.log, "ready");
        EXPECT_EQ("command-line " + QuotedPath(program) + " " + options, WaitForLogLine(service.log, "command-line "));
        EXPECT_EQ("current-directory " + programDir, WaitForLogLine(service.log, "current-directory "));
        // Its start-up information is its own: nothing of kavo's but the desktop.
        EXPECT_EQ("startup-info flags=0 show=0 reserved2=0 desktop=" + std::string(kServiceDesktopName),
                  WaitForLogLine(service.log, "startup-info "));
        EXPECT_EQ(1u, LogLinesStartingWith(service.log, "start ").size());
        // dir.exe, had it been started, would have taken "with" for its log.
        EXPECT_FALSE(FileExists(programDir + "\\with"));
        // RUNNING once the program is ready, a moment after its "ready" line.
        SERVICE_STATUS status;
        ASSERT_TRUE(WaitForServiceState(service.guard.name, SERVICE_RUNNING, &status));
        EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, status.dwServiceType);
        // Wine says it is Windows 10: preshutdown too.
        EXPECT_EQ((DWORD)(SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN | SERVICE_ACCEPT_PRESHUTDOWN),
                  status.dwControlsAccepted);
        EXPECT_EQ(3000u, status.dwWaitHint);

        ASSERT_TRUE(StopServiceNow(service.guard.name));
        WaitForServiceState(service.guard.name, SERVICE_STOPPED);
        WaitForLogLine(service.log, "exit ");
    }
}

// The longest fields, a 259-byte program path with a space and 259 bytes of
// options, reach the child whole.
TEST(HostService, LongestFieldsReachTheChildWhole)
{
    KavoService service("kavo_longest", "service_longest");
    // A folder may take at most 247 bytes (room for an 8.3 name within MAX_PATH).
    std::string programDir = service.dir + "\\long dir ";
    programDir += std::string(247 - programDir.size(), 'd');
    ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL)) << GetLastError();
    std::string program = programDir + "\\hosted_.exe";
    ASSERT_EQ(259u, program.size());
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
    std::string options = service.log + " -pad=";
    options += std::string(259 - options.size(), 'o');
    ASSERT_TRUE(RegisterKavo(service, KavoIni(program, options, service.guard.name, 0)));

    ASSERT_TRUE(StartServiceNow(service.guard.name));
    EXPECT_EQ("command-line \"" + program + "\" " + options, WaitForLogLine(service.log, "command-line "));
    EXPECT_EQ("current-directory " + programDir, WaitForLogLine(service.log, "current-directory "));
    WaitForLogLine(service.log, "ready");
    ASSERT_TRUE(StopServiceNow(service.guard.name));
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
}

// A stop sends one message to every unowned top-level window of the child,
// hidden ones too, and none to an owned window: also to windows the child makes
// only after the stop request, each once. STOPPED comes only once the child
// has ended, also when it takes a while after its windows closed.
TEST(HostService, StopClosesEveryUnownedWindow)
{
    const struct {
        int exitMethod;
        const char* message;
        const char* options;
        bool late;   // the windows are made only after the stop request
    } cases[] = {
        {1, "SC_CLOSE", "", false},
        {0, "WM_CLOSE", "", false},
        {-1, "WM_CLOSE", "", false},
        {7, "WM_CLOSE", "", false},
        {0, "WM_CLOSE", " -linger=1500", false},
        {1, "SC_CLOSE", "", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("exit method " + std::to_string(c.exitMethod) + c.options + (c.late ? " late windows" : ""));
        KavoService service("kavo_close", "service_close");
        std::string go = service.dir + "\\go";
        std::string options = std::string("-windows=2 -hidden -owned") + c.options;
        ASSERT_TRUE(RegisterHosting(service, options + (c.late ? " -window-when=" + go : ""), c.exitMethod));
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, ChildIdOf(service));
        ASSERT_TRUE(child != NULL);
        if (c.late) {
            WaitForServiceState(service.guard.name, SERVICE_RUNNING);
        } else {
            WaitForLogLine(service.log, "ready");
        }
        StateReportWatch watch(service.guard.name);
        ASSERT_TRUE(StopServiceNow(service.guard.name));
        if (c.late) {
            EXPECT_TRUE(LogLinesStartingWith(service.log, "ready").empty());
            ASSERT_TRUE(WriteFileBytes(go, ""));
        }
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(watch.WaitAt(HERE, &reported));
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(child, 0)) << "STOPPED while the child runs";
        CloseHandle(child);
        EXPECT_EQ(0u, reported.dwWin32ExitCode);
        EXPECT_EQ(0u, reported.dwServiceSpecificExitCode);
        EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));

        std::string m = c.message;
        for (const char* window : {"main1 unowned visible", "main2 unowned visible", "hidden unowned hidden"})
            EXPECT_EQ(1u, LogLinesStartingWith(service.log, "close " + m + " " + window).size()) << window;
        EXPECT_TRUE(LogLinesStartingWith(service.log, "close " + m + " owned").empty());
        EXPECT_TRUE(LogLinesStartingWith(service.log, "close WM_CLOSE owned").empty());
        if (c.exitMethod != 1) {
            EXPECT_TRUE(LogLinesStartingWith(service.log, "close SC_CLOSE").empty());
        } else {   // each SC_CLOSE becomes that window's own WM_CLOSE, nothing more
            EXPECT_EQ(3u, LogLinesStartingWith(service.log, "close WM_CLOSE").size());
        }
    }
}

// A child that does not close on the stop (it has no window, or ignores the
// message) is ended when the stop's bound runs out. Until then the service
// reports STOP_PENDING with rising check points, the first with a wait hint of
// the bound and a margin of 3 s, each covering the time to the next; STOPPED
// comes only once the child has ended, with Win32 exit code 0 (a requested
// stop is no failure) and ERROR_SERVICE_REQUEST_TIMEOUT as the service's own
// code, which says force was needed.
TEST(HostService, ChildThatDoesNotCloseIsEndedAtTheBound)
{
    const struct {
        const char* options;
        int exitMethod;
        const char* received;   // the close line it logs, if any
    } cases[] = {
        {"-no-window", 0, NULL},
        {"-ignore-sc-close", 1, "close SC_CLOSE main1 unowned visible"},
        {"-ignore-close", 0, "close WM_CLOSE main1 unowned visible"},
    };
    // stoptimeout, seconds: long enough for reports between the request and the forced end.
    const char bound[] = "3";
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        KavoService service("kavo_stubborn", "service_stubborn");
        ASSERT_TRUE(RegisterHosting(service, c.options, c.exitMethod, bound));
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForLogLine(service.log, "ready");
        DWORD childId = ChildIdOf(service);
        HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, childId);
        ASSERT_TRUE(child != NULL);
        StateReportWatch watch(service.guard.name);
        StateReportWatch stopping(service.guard.name, SERVICE_STOP_PENDING);
        ASSERT_TRUE(StopServiceNow(service.guard.name));
        SERVICE_STATUS_PROCESS first = {};
        ASSERT_TRUE(stopping.WaitAt(HERE, &first));
        EXPECT_EQ(1u, first.dwCheckPoint);
        EXPECT_EQ(3000u + 3000u, first.dwWaitHint);

        // What sc query shows meanwhile: STOP_PENDING, until the child has ended.
        std::vector<SERVICE_STATUS> pending;
        SERVICE_STATUS status = {};
        bool left = PollUntil(
            [&] {
                if (!QueryServiceState(service.guard.name, &status) || status.dwCurrentState != SERVICE_STOP_PENDING)
                    return true;
                pending.push_back(status);
                return false;
            },
            kExitDeadline);
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(watch.WaitAt(HERE, &reported));
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(child, 0)) << "STOPPED while the child runs";
        EXPECT_TRUE(left);
        EXPECT_EQ(0u, reported.dwWin32ExitCode);
        EXPECT_EQ((DWORD)ERROR_SERVICE_REQUEST_TIMEOUT, reported.dwServiceSpecificExitCode);
        ASSERT_FALSE(pending.empty());
        for (size_t i = 1; i < pending.size(); ++i)
            EXPECT_LE(pending[i - 1].dwCheckPoint, pending[i].dwCheckPoint);
        EXPECT_LT(pending.front().dwCheckPoint, pending.back().dwCheckPoint) << "no progress reported";
        // The first report's hint covers the close messages, which may take the whole bound.
        for (const SERVICE_STATUS& seen : pending)
            EXPECT_GE(seen.dwWaitHint, seen.dwCheckPoint == 1 ? 3000u : 1u) << "check point " << seen.dwCheckPoint;

        if (c.received) {
            EXPECT_EQ(c.received, WaitForLogLine(service.log, "close "));
        } else {
            EXPECT_TRUE(LogLinesStartingWith(service.log, "close ").empty());
        }
        EXPECT_TRUE(LogLinesStartingWith(service.log, "exit ").empty());
        CloseHandle(child);
    }
}

// A child that ends by itself ends the service; an exit code other than 0
// comes back as the service's own error. One that ends by itself while a stop
// is under way (it ignores the close message) ends a requested stop, which is
// no failure: its code comes as the service-specific code, and in the entry.
TEST(HostService, ChildThatEndsEndsTheService)
{
    const struct {
        int exitCode;
        bool duringStop;
        DWORD win32ExitCode;
        DWORD serviceSpecificExitCode;
        const char* entries;
    } cases[] = {
        {0, false, 0, 0, "100 information, 101 information"},
        {3, false, ERROR_SERVICE_SPECIFIC_ERROR, 3, "100 information, 102 error"},
        {1, true, 0, 1, "100 information, 103 information"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE("exit code " + std::to_string(c.exitCode) + (c.duringStop ? " during a stop" : ""));
        KavoService service("kavo_ends", "service_ends");
        std::string go = service.dir + "\\go";
        std::string ends = c.duringStop ? "-ignore-close -exit-when=" + go : "-exit-after=300";
        ASSERT_TRUE(RegisterHosting(service, ends + " -exit-code=" + std::to_string(c.exitCode), 0));
        size_t mark = EventLogMark();
        SERVICE_STATUS_PROCESS reported = {};
        if (c.duringStop) {
            StateReportWatch watch(service.guard.name);
            ASSERT_TRUE(StartServiceNow(service.guard.name));
            WaitForServiceState(service.guard.name, SERVICE_RUNNING);
            ASSERT_TRUE(StopServiceNow(service.guard.name));
            WaitForLogLine(service.log, "close ");
            ASSERT_TRUE(WriteFileBytes(go, ""));
            ASSERT_TRUE(watch.WaitAt(HERE, &reported));
        } else {
            ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
            EXPECT_TRUE(LogLinesStartingWith(service.log, "close ").empty());
        }
        EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
        EXPECT_EQ(c.win32ExitCode, reported.dwWin32ExitCode);
        EXPECT_EQ(c.serviceSpecificExitCode, reported.dwServiceSpecificExitCode);
        EXPECT_EQ("exit " + std::to_string(c.exitCode), WaitForLogLine(service.log, "exit "));
        std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
        EXPECT_EQ(c.entries, BriefOf(entries));
        if (c.duringStop && entries.size() == 2 && entries[1].strings.size() == 5) {
            EXPECT_EQ(std::to_string(c.exitCode), entries[1].strings[4]);
        }
    }
}

// The preshutdown allowance the service gives the service control manager at
// each start follows stoptimeout: the bound, the forced end's 10 s, the 3 s
// margin; a bound past the limit is taken as the limit, 110 s.
TEST(HostService, PreshutdownAllowanceFollowsTheBound)
{
    const struct {
        const char* bound;
        DWORD allowanceMs;
    } cases[] = {{"", 33000}, {"7", 20000}, {"500", 123000}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string("stoptimeout ") + c.bound);
        KavoService service("kavo_preshutdown", "service_preshutdown");
        ASSERT_TRUE(RegisterHosting(service, "", 0, c.bound));
        EXPECT_NE(c.allowanceMs, ReadPreshutdownTimeout(service.guard.name));
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForServiceState(service.guard.name, SERVICE_RUNNING);
        // Set before the stop can be handled.
        ASSERT_TRUE(StopServiceNow(service.guard.name));
        WaitForServiceState(service.guard.name, SERVICE_STOPPED);
        EXPECT_EQ(c.allowanceMs, ReadPreshutdownTimeout(service.guard.name));
    }
}

// Nothing to host: the service goes from START_PENDING to STOPPED, never
// RUNNING, with the launch's error, not as a success.
TEST(HostService, FailedLaunchIsReported)
{
    const struct {
        const char* what;
        bool withIni;
    } cases[] = {{"no kavo.ini", false}, {"a program that is not there", true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KavoService service("kavo_nolaunch", "service_nolaunch");
        std::string ini = c.withIni ? KavoIni(service.dir + "\\missing.exe", "", service.guard.name, 0) : "";
        ASSERT_TRUE(RegisterKavo(service, ini));
        StateReportWatch running(service.guard.name, SERVICE_RUNNING);
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
        EXPECT_FALSE(running.Seen());
        EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
        EXPECT_NE(0u, reported.dwWin32ExitCode);
        EXPECT_NE((DWORD)ERROR_PROCESS_ABORTED, reported.dwWin32ExitCode);
        if (c.withIni) {
            EXPECT_EQ((DWORD)ERROR_FILE_NOT_FOUND, reported.dwWin32ExitCode);
        }
        EXPECT_EQ(0u, reported.dwServiceSpecificExitCode);
    }
}

// kavo.exe ended by force (a crash, taskkill /f) takes the program with it:
// nothing would watch it, and a restart would start a second copy beside it.
TEST(HostService, ProgramEndsWithKavo)
{
    KavoService service("kavo_killed", "service_killed");
    ASSERT_TRUE(RegisterHosting(service, "", 0));
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    WaitForLogLine(service.log, "ready");
    HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, ChildIdOf(service));
    ASSERT_TRUE(child != NULL);
    DWORD kavo = ServiceProcessId(service.guard.name);
    ASSERT_NE(0u, kavo);
    EndProcessById(kavo);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(child, kExitDeadline));
    CloseHandle(child);
    EXPECT_TRUE(LogLinesStartingWith(service.log, "close ").empty());
}

// While the service runs, its instance guard is the mutex "$$kavo$$<name>$$".
// A second kavo.exe in service mode for the same name ends at once with 0,
// and the service goes on.
TEST(HostService, SecondInstanceEndsAtOnce)
{
    KavoService service("kavo_second", "service_second");
    ASSERT_TRUE(RegisterHosting(service, "", 0));
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    WaitForLogLine(service.log, "ready");

    Program second;
    ASSERT_TRUE(StartProgram(second, QuotedPath(service.dir + "\\kavo.exe"), BuildDir()));
    // Past the guard, Wine's dispatcher would wait this long on the running
    // service's control pipe before it gives up.
    const DWORD kUnguardedDispatcherWait = 10000;
    EXPECT_EQ(0u, WaitForExit(second, kUnguardedDispatcherWait / 2));
    EXPECT_TRUE(WindowsOfProcess(second.id, NULL).empty());

    SERVICE_STATUS status;
    ASSERT_TRUE(QueryServiceState(service.guard.name, &status));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, status.dwCurrentState);
    EXPECT_EQ(1u, LogLinesStartingWith(service.log, "start ").size());
    ASSERT_TRUE(StopServiceNow(service.guard.name));
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
}

// Where the instance guard cannot be had the service runs without it: a name
// too long for the guard's, or a name someone took first. Another account's
// mutex (open to all, or to no one) or another kind of object of that name is
// no kavo's: only SYSTEM, administrators and the service's own account can own
// a kavo's mutex. (Under Wine every process runs as one account, which may
// give a mutex any owner: "another user" is an id of no account there.)
TEST(HostService, WithoutTheGuardTheServiceStillRuns)
{
    const struct {
        const char* what;
        std::string name;
        const char* taken;   // the name made first: a mutex with this security (SDDL), or "event"
    } cases[] = {
        {"a name too long for the guard", std::string(250, 'k'), NULL},
        {"another user's mutex, open to all", "kavo_squatted", "O:S-1-5-21-0-0-0-1001D:(A;;GA;;;WD)"},
        {"another user's mutex, open to no one", "kavo_squatted", "O:S-1-5-21-0-0-0-1001D:"},
        {"an event", "kavo_squatted", "event"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        KavoService service(c.name, "service_guard");
        ASSERT_TRUE(RegisterHosting(service, "", 1));
        std::string name = "$$kavo$$" + c.name + "$$";
        PSECURITY_DESCRIPTOR descriptor = NULL;
        SECURITY_ATTRIBUTES attributes = {sizeof attributes, NULL, FALSE};
        HANDLE taken = NULL;
        if (c.taken && std::string(c.taken) == "event") {
            taken = CreateEventA(NULL, TRUE, FALSE, name.c_str());
        } else if (c.taken) {
            ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA(c.taken, SDDL_REVISION_1, &descriptor,
                                                                             NULL));
            attributes.lpSecurityDescriptor = descriptor;
            taken = CreateMutexA(&attributes, FALSE, name.c_str());
            LocalFree(descriptor);
        }
        EXPECT_EQ(c.taken != NULL, taken != NULL) << GetLastError();
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForLogLine(service.log, "ready");
        WaitForServiceState(service.guard.name, SERVICE_RUNNING);
        ASSERT_TRUE(StopServiceNow(service.guard.name));
        WaitForServiceState(service.guard.name, SERVICE_STOPPED);
        EXPECT_EQ("close SC_CLOSE main1 unowned visible", WaitForLogLine(service.log, "close "));
        if (taken)
            CloseHandle(taken);
    }
}

// The running service process has loaded none of the DLLs that only the
// dialog needs: every hosted service would pay for them as long as it runs.
TEST(HostService, ServiceProcessLoadsNoDialogLibraries)
{
    KavoService service("kavo_modules", "service_modules");
    ASSERT_TRUE(RegisterHosting(service, "", 0));
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    WaitForLogLine(service.log, "ready");
    std::vector<std::string> modules;
    for (const std::string& path : ModulesOfProcess(ServiceProcessId(service.guard.name)))
        modules.push_back(path.substr(path.rfind('\\') + 1));
    auto loaded = [&](const char* name) { return std::find(modules.begin(), modules.end(), name) != modules.end(); };
    ASSERT_TRUE(loaded("kavo.exe") && loaded("advapi32.dll")) << "the service process's modules were not read";
    for (const char* dll : {"shell32.dll", "comdlg32.dll", "comctl32.dll", "shlwapi.dll", "shcore.dll", "uxtheme.dll",
                            "compstui.dll"})
        EXPECT_FALSE(loaded(dll)) << dll;
    ASSERT_TRUE(StopServiceNow(service.guard.name));
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
}

// The same through Wine's sc: registered by "sc create", started and stopped by sc.
TEST(HostService, RegisteredStartedAndStoppedWithSc)
{
    KavoService service("kavo_sc", "service_sc");
    ASSERT_TRUE(WriteFileBytes(service.IniPath(), KavoIni(HostedChildPath(), service.log, service.guard.name, 1)));
    auto sc = [&](const std::string& arguments) {
        Program program;
        if (!StartProgram(program, "sc " + arguments, service.dir))
            return (DWORD)STILL_ACTIVE;
        return WaitForExit(program);
    };
    ASSERT_EQ(0u, sc("create " + service.guard.name + " binpath= " + QuotedPath(service.ExePath())));
    EXPECT_EQ(QuotedPath(service.ExePath()), ReadServiceRegistration(service.guard.name).binaryPath);
    ASSERT_EQ(0u, sc("start " + service.guard.name));
    WaitForLogLine(service.log, "ready");
    WaitForServiceState(service.guard.name, SERVICE_RUNNING);
    // Its answer is not looked at: under Wine a stop that is carried out may
    // still come back as a broken pipe (see StopServiceNow).
    sc("stop " + service.guard.name);
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    EXPECT_EQ("close SC_CLOSE main1 unowned visible", WaitForLogLine(service.log, "close "));
    EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
}

}  // namespace
