// The release's example scripts, run by cmd as an administrator runs them from
// the unpacked zip: install.cmd copies kavo.exe, writes kavo.ini, registers the
// service to start at boot and to be restarted on failure, and starts it;
// uninstall.cmd stops the service and removes it.
#include <gtest/gtest.h>
#include <stdio.h>

#include "support/dialog_driver.h"
#include "support/support.h"

namespace {

// 表 in code page 932: its second byte is a backslash.
#define HYO "\x95\x5c"

// uninstall.cmd waits up to a minute for the registration to go (under Wine
// it goes some 20 s after the stop); the wait for it allows that and room for
// a loaded machine, which runs each of the script's steps slowly.
const DWORD kUninstallDeadline = 120000;

// Runs a command line under cmd, its output kept in outputFile in dir; cmd's exit code.
DWORD RunUnderCmdAt(Where where, const std::string& commandLine, const std::string& dir,
                    const std::string& outputFile, std::string* output, DWORD deadlineMs = kExitDeadline)
{
    std::string outputPath = dir + "\\" + outputFile;
    Program cmd;
    // cmd /c drops the first and the last quotation mark of what follows it.
    if (!StartProgramAt(where, cmd, "cmd.exe /c \"" + commandLine + " > \"" + outputPath + "\" 2>&1\"", dir))
        return STILL_ACTIVE;
    DWORD code = WaitForExitAt(where, cmd, deadlineMs);
    *output = ReadFileBytes(outputPath);
    return code;
}
#define RunUnderCmd(...) RunUnderCmdAt(HERE, __VA_ARGS__)

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

TEST(ExampleScripts, InstallRunAndRemoveAService)
{
    ServiceGuard guard("kavo scripts " HYO);
    const std::string& name = guard.name;
    std::string dir = MakeWorkDir("example_scripts");
    std::string release = dir + "\\release " HYO;   // the unpacked zip
    std::string programDir = dir + "\\program " HYO;
    std::string folder = dir + "\\service " HYO;    // where install.cmd puts kavo.exe and kavo.ini
    std::string logDir = dir + "\\" HYO;
    std::string log = logDir + "\\child.log";
    std::string program = programDir + "\\hosted_child.exe";
    ASSERT_TRUE(CreateDirectoryA(release.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(programDir.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(logDir.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(KavoExePath(), release + "\\kavo.exe"));
    ASSERT_TRUE(CopyFileTo(BuildDir() + "\\examples\\install.cmd", release + "\\install.cmd"));
    ASSERT_TRUE(CopyFileTo(BuildDir() + "\\examples\\uninstall.cmd", release + "\\uninstall.cmd"));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));

    std::string output;
    DWORD code = RunUnderCmd(Quoted(release + "\\install.cmd") + " " + Quoted(name) + " " + Quoted(program) + " " +
                                 Quoted(log) + " 1 " + Quoted(folder),
                             dir, "install.txt", &output);

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
        EXPECT_NE(0u, RunUnderCmd(std::string("sc ") + r.subcommand + " " + Quoted(name) + " " + r.arguments, dir,
                                  "probe.txt", &probe))
            << "install.cmd says sc " << r.subcommand << " was refused, but sc accepts it:\n" << output;
        printf("Wine's sc lacks \"sc %s\": install.cmd reported it and went on; that setting is not checked\n",
               r.subcommand);
    }
    EXPECT_EQ(anyRefused ? 2u : 0u, code) << output;

    EXPECT_EQ(KavoIni(program, log, name, "1"), ReadFileBytes(folder + "\\kavo.ini"));
    ServiceRegistration registration = ReadServiceRegistration(name);
    ASSERT_TRUE(registration.found) << output;
    EXPECT_EQ(Quoted(folder + "\\kavo.exe"), registration.binaryPath);
    EXPECT_EQ((DWORD)SERVICE_AUTO_START, registration.startType);
    EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, registration.serviceType);

    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : NULL;
    EXPECT_TRUE(service != NULL);
    BYTE buffer[1024];
    DWORD needed = 0;
    if (service && QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS, buffer, sizeof buffer, &needed)) {
        const SERVICE_FAILURE_ACTIONSA* actions = (const SERVICE_FAILURE_ACTIONSA*)buffer;
        const DWORD delays[] = {5000, 10000, 60000};
        EXPECT_EQ(86400u, actions->dwResetPeriod);
        EXPECT_EQ(3u, actions->cActions);
        for (DWORD i = 0; i < actions->cActions && i < 3; ++i) {
            EXPECT_EQ(SC_ACTION_RESTART, actions->lpsaActions[i].Type);
            EXPECT_EQ(delays[i], actions->lpsaActions[i].Delay);
        }
    } else if (service) {
        printf("Wine's service manager keeps no failure actions (error %lu): the restarts are not checked\n",
               GetLastError());
    }
    if (service && !flagRefused) {
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, buffer, sizeof buffer, &needed))
            EXPECT_TRUE(((const SERVICE_FAILURE_ACTIONS_FLAG*)buffer)->fFailureActionsOnNonCrashFailures);
        else
            printf("Wine's service manager keeps no failure flag (error %lu): not checked\n", GetLastError());
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);

    WaitForServiceState(name, SERVICE_RUNNING);
    EXPECT_EQ("command-line " + Quoted(program) + " " + log, WaitForLogLine(log, "command-line "));
    EXPECT_EQ("current-directory " + programDir, WaitForLogLine(log, "current-directory "));
    WaitForLogLine(log, "ready");

    EXPECT_EQ(0u, RunUnderCmd(Quoted(release + "\\uninstall.cmd") + " " + Quoted(name), dir, "uninstall.txt", &output,
                              kUninstallDeadline))
        << output;
    EXPECT_FALSE(ReadServiceRegistration(name).found);
    EXPECT_EQ("close SC_CLOSE main1 unowned visible", WaitForLogLine(log, "close "));
    EXPECT_EQ("exit 0", WaitForLogLine(log, "exit "));
}

}  // namespace
