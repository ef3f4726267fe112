// The dialog with Wine's service control manager behind it: registering and
// starting from OK, the registered face, a running service stopped for the
// time of the dialog and started again, deleting.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "dialog_texts.h"
#include "resources/resource.h"
#include "support/dialog_driver.h"

namespace {

// kavo.exe in a folder of its own whose kavo.ini hosts the hosted test program
// under a service name of the test's own; registered and started on request,
// and its dialog.
struct ServiceDialog {
    ServiceGuard guard;
    KavoDialog kavo;
    std::string log;
    std::string options;   // for the hosted program, after its log

    ServiceDialog(const std::string& name) : guard(name) {}

    bool PrepareAt(Where where, const std::string& exitMethod = "0")
    {
        kavo.dir = MakeWorkDir("dialog_" + guard.name);
        log = kavo.dir + "\\child.log";
        if (!CopyFileTo(KavoExePath(), kavo.dir + "\\kavo.exe") ||
            !WriteFileBytes(kavo.IniPath(), Ini(exitMethod))) {
            ADD_FAILURE_AT(where.file, where.line) << "cannot prepare " << kavo.dir;
            return false;
        }
        return true;
    }
    std::string Ini(const std::string& exitMethod) const
    {
        return KavoIni(HostedChildPath(), log + options, guard.name, exitMethod);
    }
    bool RegisterAt(Where where) { return CreateServiceAt(where, guard.name, kavo.dir + "\\kavo.exe"); }
    // Started, and the hosted program up.
    bool StartAt(Where where)
    {
        return StartServiceAt(where, guard.name) && WaitForServiceStateAt(where, guard.name, SERVICE_RUNNING) &&
               WaitForLogLineAt(where, log, "ready") != "";
    }
    ~ServiceDialog()
    {
        // The service first: a program ended under a running service would race
        // the stop request with the service's own end.
        DeleteServiceNow(guard.name);
        for (const std::string& line : LogLinesStartingWith(log, "start "))
            EndProcessById(strtoul(line.c_str() + 6, NULL, 10));
    }
};

#define Prepare(dialog, ...) (dialog).PrepareAt(HERE, ##__VA_ARGS__)
#define Register(dialog) (dialog).RegisterAt(HERE)
#define Start(dialog) (dialog).StartAt(HERE)

// The process that serves a running service, to wait for its end.
bool OpenServiceProcess(const std::string& name, Program& program)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof status, &needed)) {
        program.id = status.dwProcessId;
        program.process = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE | PROCESS_QUERY_INFORMATION, FALSE,
                                      status.dwProcessId);
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return program.process != NULL;
}

// As services.msc does when an administrator disables it (Wine's sc config cannot).
bool DisableService(const std::string& name)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_CHANGE_CONFIG) : NULL;
    bool done = service && ChangeServiceConfigA(service, SERVICE_NO_CHANGE, SERVICE_DISABLED, SERVICE_NO_CHANGE,
                                                NULL, NULL, NULL, NULL, NULL, NULL, NULL);
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return done;
}

DWORD ServiceState(const std::string& name)
{
    SERVICE_STATUS status = {};
    return QueryServiceState(name, &status) ? status.dwCurrentState : 0;
}

bool WaitForLogLineCountAt(Where where, const std::string& log, const std::string& prefix, size_t count)
{
    if (PollUntil([&] { return LogLinesStartingWith(log, prefix).size() >= count; }, kExitDeadline))
        return true;
    ADD_FAILURE_AT(where.file, where.line) << "fewer than " << count << " lines " << Escaped(prefix) << " in "
                                           << Escaped(ReadFileBytes(log));
    return false;
}
#define WaitForLogLineCount(...) WaitForLogLineCountAt(HERE, __VA_ARGS__)

void ExpectRegisteredFace(Where where, HWND dialog, bool registered)
{
    SCOPED_TRACE(testing::Message() << where.file << ":" << where.line);
    for (int id : {IDC_PROGRAM, IDC_OPTIONS, IDC_SERVICE_NAME, IDC_EXIT_METHOD, IDC_BROWSE})
        EXPECT_EQ(!registered, IsControlEnabled(dialog, id)) << "control " << id;
    for (int id : {IDOK, IDCANCEL, IDC_TEST_DELETE})
        EXPECT_TRUE(IsControlEnabled(dialog, id)) << "control " << id;
    EXPECT_EQ(registered ? kRemoveButton : kTestStartButton, ControlText(dialog, IDC_TEST_DELETE));
}

// OK, "register?" Yes: registered as the service manager's own process, on
// demand, local system, kavo.exe itself, restarted on failure, with its event
// source; then started only on Yes.
TEST(DialogService, OkRegistersAndStartsOnYes)
{
    for (bool start : {false, true}) {
        SCOPED_TRACE(start ? "start: Yes" : "start: No");
        ServiceDialog test(start ? "kavo_dlg_yes_yes" : "kavo_dlg_yes_no");
        ASSERT_TRUE(Prepare(test));
        ASSERT_TRUE(WriteFileBytes(test.kavo.IniPath(), ""));
        size_t mark = EventLogMark();
        ASSERT_TRUE(StartKavoDialog(test.kavo));
        SetControlText(test.kavo.window, IDC_PROGRAM, HostedChildPath());
        SetControlText(test.kavo.window, IDC_OPTIONS, test.log);
        SetControlText(test.kavo.window, IDC_SERVICE_NAME, test.guard.name);
        SelectComboItem(test.kavo.window, IDC_EXIT_METHOD, 1);
        ClickButton(test.kavo.window, IDOK);
        AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", kAskRegister, MB_YESNO, IDYES);
        AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", kAskStart, MB_YESNO,
                            start ? IDYES : IDNO);
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));

        EXPECT_EQ(test.Ini("1"), ReadFileBytes(test.kavo.IniPath()));
        ServiceRegistration registration = ReadServiceRegistration(test.guard.name);
        ASSERT_TRUE(registration.found);
        EXPECT_EQ((DWORD)SERVICE_WIN32_OWN_PROCESS, registration.serviceType);
        EXPECT_EQ((DWORD)SERVICE_DEMAND_START, registration.startType);
        EXPECT_EQ((DWORD)SERVICE_ERROR_NORMAL, registration.errorControl);
        EXPECT_EQ(test.kavo.dir + "\\kavo.exe", registration.binaryPath);
        EXPECT_EQ("LocalSystem", registration.account);
        EXPECT_EQ(test.guard.name, registration.displayName);
        // Restarted on failure as install.cmd sets it, and its event source
        // made, before the service ever ran.
        ExpectRestartOnFailure(test.guard.name, true, mark);
        // A shutdown gives the program the whole default bound of 20 s, the
        // forced end's 10 s and the margin.
        EXPECT_EQ(33000u, ReadPreshutdownTimeout(test.guard.name));
        EXPECT_EQ("EventMessageFile=" + test.kavo.dir + "\\kavo.exe; TypesSupported=7; kavo=1",
                  DescribeEventSource(test.guard.name));
        if (start) {
            EXPECT_TRUE(WaitForServiceState(test.guard.name, SERVICE_RUNNING));
            EXPECT_NE("", WaitForLogLine(test.log, "ready"));
        } else {
            EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(test.guard.name));
            EXPECT_FALSE(FileExists(test.log));
        }
    }
}

// The service's event source when the service starts: mended when it is
// kavo's but names another kavo.exe, never taken from another program, in the
// Application log or another (kavo then writes under "NAME (kavo)"); deleting
// the service (削除) removes kavo's sources and leaves the other program's.
TEST(DialogService, EventSourceAtStartAndDeletion)
{
    const char before[] = "C:\\other\\kavo.exe";   // the EventMessageFile of a source there already
    const struct {
        const char* name;
        const char* log;   // where that source is
        bool ours;
    } cases[] = {{"another kavo.exe's", "Application", true},
                 {"another program's", "Application", false},
                 {"another log's", "System", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ServiceDialog test("kavo_dlg_source");
        ASSERT_TRUE(Prepare(test));
        ASSERT_TRUE(Register(test));
        std::string key = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\" + std::string(c.log) + "\\" +
                          test.guard.name;
        const DWORD kavos = 1;
        ASSERT_EQ(0, RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "EventMessageFile", REG_SZ, before,
                                     sizeof before));
        ASSERT_EQ(0, c.ours ? RegSetKeyValueA(HKEY_LOCAL_MACHINE, key.c_str(), "kavo", REG_DWORD, &kavos, sizeof kavos)
                            : 0);
        std::string source = test.guard.name + (c.ours ? "" : " (kavo)");
        size_t mark = EventLogMark();
        ASSERT_TRUE(Start(test));
        EXPECT_EQ("EventMessageFile=" + test.kavo.dir + "\\kavo.exe; TypesSupported=7; kavo=1",
                  DescribeEventSource(source));

        ASSERT_TRUE(StartKavoDialog(test.kavo));
        ClickButton(test.kavo.window, IDC_TEST_DELETE);
        AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", kAskRemove, MB_YESNO, IDYES);
        AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", kRemoved, MB_OK, IDOK);
        ClickButton(test.kavo.window, IDCANCEL);
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));
        EXPECT_EQ("missing", DescribeEventSource(source));
        EXPECT_EQ(c.ours ? "missing" : "EventMessageFile=" + std::string(before),
                  DescribeEventSource(test.guard.name, c.log));
        EXPECT_EQ("100 information, 103 information", BriefOf(EventEntriesSince(mark, source)));
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    }
}

// A name the service manager refuses: the failure message, the dialog closes,
// the settings are saved all the same.
TEST(DialogService, RegistrationFailure)
{
    const std::string name = "kavo_dlg\\slash";
    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_register_fails", ""));
    SetControlText(kavo.window, IDC_PROGRAM, "C:\\Tools\\app.exe");
    SetControlText(kavo.window, IDC_SERVICE_NAME, name);
    ClickButton(kavo.window, IDOK);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRegister, MB_YESNO, IDYES);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kRegisterFailed, MB_OK, IDOK);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
    EXPECT_EQ(KavoIni("C:\\Tools\\app.exe", "", name, "0"), ReadFileBytes(kavo.IniPath()));
}

// kavo.ini names a running service of another program file (a kavo copied
// with its folder, name unchanged): kavo says whose it is, leaves it running,
// offers no deletion, and OK refuses the name without saving or registering.
TEST(DialogService, AnotherProgramsServiceIsLeftAlone)
{
    ServiceDialog other("kavo_dlg_others");
    ASSERT_TRUE(Prepare(other));
    ASSERT_TRUE(Register(other));
    ASSERT_TRUE(Start(other));
    Program serving;
    ASSERT_TRUE(OpenServiceProcess(other.guard.name, serving));
    const std::string otherExe = other.kavo.dir + "\\kavo.exe";

    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_others_name", other.Ini("0")));
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", OtherServiceAtOpen(other.guard.name, otherExe),
                        MB_OK, IDOK);
    ASSERT_TRUE(WaitUntilResponding(kavo.window));
    ExpectRegisteredFace(HERE, kavo.window, false);

    ClickButton(kavo.window, IDOK);
    AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", OtherServiceAtOk(other.guard.name, otherExe), MB_OK,
                        IDOK);
    ASSERT_TRUE(WaitUntilResponding(kavo.window));
    EXPECT_TRUE(IsWindowVisible(kavo.window));
    ClickButton(kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo.program));

    // The same process still serves it: never stopped, nor started again.
    EXPECT_EQ((DWORD)SERVICE_RUNNING, ServiceState(other.guard.name));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(serving.process, 0));
    EXPECT_TRUE(LogLinesStartingWith(other.log, "close ").empty()) << Escaped(ReadFileBytes(other.log));
    EXPECT_EQ(otherExe, ReadServiceRegistration(other.guard.name).binaryPath);
    EXPECT_EQ(other.Ini("0"), ReadFileBytes(kavo.IniPath()));
    // Stopped by its own manager, it ends as it always does.
    EXPECT_TRUE(StopServiceNow(other.guard.name));
    EXPECT_EQ(0u, WaitForExit(serving));
}

// Registered and stopped: the fields are locked, the fourth button deletes,
// OK saves nothing and starts nothing.
TEST(DialogService, RegisteredFace)
{
    ServiceDialog test("kavo_dlg_face");
    ASSERT_TRUE(Prepare(test, "1"));
    ASSERT_TRUE(Register(test));
    ASSERT_TRUE(StartKavoDialog(test.kavo));
    ExpectRegisteredFace(HERE, test.kavo.window, true);
    EXPECT_EQ(HostedChildPath(), ControlText(test.kavo.window, IDC_PROGRAM));
    EXPECT_EQ(test.log, ControlText(test.kavo.window, IDC_OPTIONS));
    EXPECT_EQ(test.guard.name, ControlText(test.kavo.window, IDC_SERVICE_NAME));
    EXPECT_EQ(1, ComboSelection(test.kavo.window, IDC_EXIT_METHOD));

    // Changed behind the locks, OK still reads nothing.
    SetControlText(test.kavo.window, IDC_SERVICE_NAME, "");
    SetControlText(test.kavo.window, IDC_PROGRAM, "C:\\other.exe");
    SelectComboItem(test.kavo.window, IDC_EXIT_METHOD, 0);
    ClickButton(test.kavo.window, IDOK);
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
    EXPECT_EQ(test.Ini("1"), ReadFileBytes(test.kavo.IniPath()));
    EXPECT_TRUE(ReadServiceRegistration(test.guard.name).found);
    EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(test.guard.name));
    EXPECT_FALSE(FileExists(test.log));
}

// A service running when the dialog opens is asked to stop (its program gets
// the chosen close message); the dialog shows once it has stopped, also when
// its program takes a while to end, and the service is started again when the
// dialog closes. A start refused then is said, with the system's error.
TEST(DialogService, RunningServiceStopsForTheDialog)
{
    for (bool refused : {false, true}) {
        SCOPED_TRACE(refused ? "start refused at close" : "started again");
        ServiceDialog test("kavo_dlg_running");
        test.options = " -linger=1500";
        ASSERT_TRUE(Prepare(test, "1"));
        ASSERT_TRUE(Register(test));
        ASSERT_TRUE(Start(test));

        ASSERT_TRUE(StartKavoDialog(test.kavo));
        EXPECT_EQ("close SC_CLOSE main1 unowned visible", WaitForLogLine(test.log, "close "));
        ExpectRegisteredFace(HERE, test.kavo.window, true);
        if (refused) {
            ASSERT_TRUE(DisableService(test.guard.name));
        }
        ClickButton(test.kavo.window, IDCANCEL);
        if (refused) {
            MessageBoxView box = WaitForMessageBoxBesides(test.kavo.program.id, test.kavo.window);
            EXPECT_EQ("kavo", box.caption);
            // Then the system's text for the error, as the system gives it.
            std::string said = kStartFailedBefore + std::to_string(ERROR_SERVICE_DISABLED) + kStartFailedAfter;
            EXPECT_EQ(said, box.text.substr(0, said.size())) << Escaped(box.text);
            EXPECT_GT(box.text.size(), said.size()) << "no text for the error";
            EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
            EXPECT_TRUE(box.owner == NULL) << "the dialog is gone: a box over the desktop";
            AnswerMessageBox(box, IDOK);
        }
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));
        EXPECT_EQ("exit 0", WaitForLogLine(test.log, "exit "));
        if (refused) {
            EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(test.guard.name));
            EXPECT_EQ(1u, LogLinesStartingWith(test.log, "ready").size());
        } else {
            EXPECT_TRUE(WaitForServiceState(test.guard.name, SERVICE_RUNNING));
            EXPECT_TRUE(WaitForLogLineCount(test.log, "ready", 2));
        }
    }
}

// Deleting: No changes nothing; Yes deletes (a running service once it has
// stopped, even when its program takes a while to end), says so, and the
// dialog turns to its unregistered face, where OK validates and offers
// registration again, under the same name at once.
TEST(DialogService, Deletion)
{
    for (bool running : {false, true}) {
        SCOPED_TRACE(running ? "running when deleted" : "stopped when deleted");
        ServiceDialog test("kavo_dlg_delete");
        test.options = " -linger=1500";
        ASSERT_TRUE(Prepare(test));
        ASSERT_TRUE(Register(test));
        ASSERT_TRUE(StartKavoDialog(test.kavo));
        HWND dialog = test.kavo.window;
        DWORD kavo = test.kavo.program.id;

        ClickButton(dialog, IDC_TEST_DELETE);
        AnswerDialogMessage(kavo, dialog, "kavo", kAskRemove, MB_YESNO, IDNO);
        ASSERT_TRUE(WaitUntilResponding(dialog));
        EXPECT_TRUE(ReadServiceRegistration(test.guard.name).found);
        ExpectRegisteredFace(HERE, dialog, true);

        // Started by someone else while the dialog is open.
        if (running) {
            ASSERT_TRUE(Start(test));
        }
        ClickButton(dialog, IDC_TEST_DELETE);
        AnswerDialogMessage(kavo, dialog, "kavo", kAskRemove, MB_YESNO, IDYES);
        AnswerDialogMessage(kavo, dialog, "kavo", kRemoved, MB_OK, IDOK);
        ASSERT_TRUE(WaitUntilResponding(dialog));
        EXPECT_FALSE(ReadServiceRegistration(test.guard.name).found);
        ExpectRegisteredFace(HERE, dialog, false);
        if (running) {
            EXPECT_EQ("exit 0", WaitForLogLine(test.log, "exit "));
        }

        SetControlText(dialog, IDC_SERVICE_NAME, "");
        ClickButton(dialog, IDOK);
        AnswerDialogMessage(kavo, dialog, "Error", kSetServiceName, MB_OK, IDOK);
        SetControlText(dialog, IDC_SERVICE_NAME, test.guard.name);
        ClickButton(dialog, IDOK);
        AnswerDialogMessage(kavo, dialog, "kavo", kAskRegister, MB_YESNO, running ? IDYES : IDNO);
        if (running) {
            AnswerDialogMessage(kavo, dialog, "kavo", kAskStart, MB_YESNO, IDNO);
        }
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));
        EXPECT_EQ(running, ReadServiceRegistration(test.guard.name).found);
        EXPECT_EQ(test.Ini("0"), ReadFileBytes(test.kavo.IniPath()));
    }
}

// Deleted by someone else while the dialog was open: the deletion fails with
// its message and the registered face stays.
TEST(DialogService, DeletionFailure)
{
    ServiceDialog test("kavo_dlg_delete_fails");
    ASSERT_TRUE(Prepare(test));
    ASSERT_TRUE(Register(test));
    ASSERT_TRUE(StartKavoDialog(test.kavo));
    ASSERT_TRUE(DeleteServiceNow(test.guard.name));
    ClickButton(test.kavo.window, IDC_TEST_DELETE);
    AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", kAskRemove, MB_YESNO, IDYES);
    AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", kRemoveFailed, MB_OK, IDOK);
    ASSERT_TRUE(WaitUntilResponding(test.kavo.window));
    ExpectRegisteredFace(HERE, test.kavo.window, true);
    ClickButton(test.kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
}

// Running when the dialog opened, then deleted: the start request at close
// goes to whatever name the settings hold by then, and starts it only when
// that service is this kavo.exe's own.
TEST(DialogService, StartAtCloseAfterDeletion)
{
    enum Then { kCancel, kRegisterAgainStartNo, kRegisterAgainStartYes, kOtherNameThenCancel };
    for (Then then : {kCancel, kRegisterAgainStartNo, kRegisterAgainStartYes, kOtherNameThenCancel}) {
        SCOPED_TRACE(then);
        ServiceDialog test("kavo_dlg_rerun");
        ServiceDialog other("kavo_dlg_rerun_other");
        ASSERT_TRUE(Prepare(test));
        ASSERT_TRUE(Register(test));
        ASSERT_TRUE(Start(test));
        ASSERT_TRUE(Prepare(other));
        ASSERT_TRUE(Register(other));
        Program serving;
        ASSERT_TRUE(OpenServiceProcess(test.guard.name, serving));

        ASSERT_TRUE(StartKavoDialog(test.kavo));
        HWND dialog = test.kavo.window;
        DWORD kavo = test.kavo.program.id;
        EXPECT_TRUE(WaitForServiceState(test.guard.name, SERVICE_STOPPED));
        EXPECT_EQ(0u, WaitForExit(serving));
        ClickButton(dialog, IDC_TEST_DELETE);
        AnswerDialogMessage(kavo, dialog, "kavo", kAskRemove, MB_YESNO, IDYES);
        AnswerDialogMessage(kavo, dialog, "kavo", kRemoved, MB_OK, IDOK);
        ASSERT_TRUE(WaitUntilResponding(dialog));

        if (then == kCancel) {
            // The deleted name: the request fails and nothing is shown.
            ClickButton(dialog, IDCANCEL);
        } else if (then == kRegisterAgainStartNo || then == kRegisterAgainStartYes) {
            ClickButton(dialog, IDOK);
            AnswerDialogMessage(kavo, dialog, "kavo", kAskRegister, MB_YESNO, IDYES);
            // On Yes it runs by the close: the close starts nothing and says nothing.
            AnswerDialogMessage(kavo, dialog, "kavo", kAskStart, MB_YESNO,
                                then == kRegisterAgainStartYes ? IDYES : IDNO);
        } else {
            // OK copies the typed name before the program check fails; that
            // name's service runs another kavo.exe.
            SetControlText(dialog, IDC_SERVICE_NAME, other.guard.name);
            SetControlText(dialog, IDC_PROGRAM, "");
            ClickButton(dialog, IDOK);
            AnswerDialogMessage(kavo, dialog, "Error", kSetProgramName, MB_OK, IDOK);
            ClickButton(dialog, IDCANCEL);
        }
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));
        switch (then) {
        case kCancel:
            EXPECT_FALSE(ReadServiceRegistration(test.guard.name).found);
            EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(other.guard.name));
            break;
        case kRegisterAgainStartNo:
        case kRegisterAgainStartYes:
            // Started by the close, although the user said No.
            EXPECT_TRUE(WaitForServiceState(test.guard.name, SERVICE_RUNNING));
            EXPECT_TRUE(WaitForLogLineCount(test.log, "ready", 2));
            break;
        case kOtherNameThenCancel:
            // A start would have left it start pending at least by now.
            EXPECT_EQ((DWORD)SERVICE_STOPPED, ServiceState(other.guard.name));
            break;
        }
    }
}

}  // namespace
