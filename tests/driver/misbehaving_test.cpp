// Hosted programs that misbehave, under the service control manager: one that
// crashes at start, one that answers the close message with a question, one
// that hangs, one that starts a grandchild and ends. For each: what the service reports, what
// is left running, and that nothing waits longer than its bound.
//
// Programs that never make a window or ignore every close message are in
// service_test.cpp (HostService.ChildThatDoesNotCloseIsLeftRunning); one that
// never becomes idle is a matter of the test start (DialogTestStart).
#include <gtest/gtest.h>

#include "support/kavo_service.h"

namespace {

// The wait hint the service gives with each pending report: the service
// control manager expects the next report within it, so a stop that has
// nothing to wait for is reported STOPPED within it too, and the service's
// process ends once STOPPED is reported.
const DWORD kWaitHint = 3000;

// Ends a process the test may leave behind, on every path.
struct EndsWithTest {
    DWORD processId = 0;
    ~EndsWithTest() { EndProcessById(processId); }
};

bool ProcessEndsWithin(DWORD processId, DWORD deadlineMs)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    if (!process)
        return true;   // gone already
    bool ended = WaitForSingleObject(process, deadlineMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}

bool ProcessRuns(DWORD processId)
{
    return !ProcessEndsWithin(processId, 0);
}

// A program that crashes at once ends the service as a program that ends by
// itself does: STOPPED with the crash's code as the service's own error, and
// nothing left running. (No crash dialog holds it: the child is started with
// the default error mode, and the bench has no debugger.)
TEST(MisbehavingService, ProgramThatCrashesAtStart)
{
    KavoService service("kavo_crash", "misbehaving_crash");
    ASSERT_TRUE(RegisterHosting(service, "-crash", 0));
    StateReportWatch watch(service.guard.name);
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    DWORD servicePid = ServiceProcessId(service.guard.name);
    EndsWithTest child;
    child.processId = ChildIdOf(service);
    WaitForLogLine(service.log, "crash");

    SERVICE_STATUS_PROCESS reported = {};
    ASSERT_TRUE(watch.WaitAt(HERE, &reported));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
    EXPECT_EQ((DWORD)ERROR_SERVICE_SPECIFIC_ERROR, reported.dwWin32ExitCode);
    EXPECT_EQ((DWORD)EXCEPTION_ACCESS_VIOLATION, reported.dwServiceSpecificExitCode);
    EXPECT_TRUE(LogLinesStartingWith(service.log, "exit ").empty());
    EXPECT_TRUE(ProcessEndsWithin(child.processId, 0));
    if (servicePid) {   // 0 when the service had stopped before it could be asked
        EXPECT_TRUE(ProcessEndsWithin(servicePid, kWaitHint));
    }
    // Nothing holds the service: it starts again.
    WaitForServiceState(service.guard.name, SERVICE_STOPPED);
    StateReportWatch again(service.guard.name);
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    ASSERT_TRUE(again.WaitAt(HERE, &reported));
    EXPECT_EQ(2u, LogLinesStartingWith(service.log, "crash").size());
}

// The question the hosted program asks on the service's desktop, answered there.
struct Answer {
    DWORD childPid;
    int button;
    bool answered;
};

void AnswerTheQuestion(void* context)
{
    Answer* answer = (Answer*)context;
    MessageBoxView box = WaitForMessageBox(answer->childPid);
    if (!box.window)
        return;
    EXPECT_EQ("Save changes?", box.text);
    AnswerMessageBox(box, answer->button);
    answer->answered = true;
}

// A stop request made on a thread of its own: the service control manager
// answers it only once the service's control handler has returned.
struct StopRequest {
    std::string name;
    BOOL accepted = FALSE;
    DWORD error = 0;
    HANDLE thread = NULL;
};

DWORD WINAPI RequestStop(void* parameter)
{
    StopRequest* request = (StopRequest*)parameter;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, request->name.c_str(), SERVICE_STOP) : NULL;
    SERVICE_STATUS status;
    if (service)
        request->accepted = ControlService(service, SERVICE_CONTROL_STOP, &status);
    request->error = GetLastError();
    // A stop carried out may come back as a broken pipe (see StopServiceNow).
    if (!request->accepted && request->error == ERROR_BROKEN_PIPE)
        request->accepted = TRUE;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return 0;
}

// A program that answers the close message with a question: the control
// handler waits inside the close message for as long as the question is open
// (the program's own question has no bound), the service stays STOP_PENDING,
// and the stop request itself is not answered; once the question is
// answered, the request is and STOPPED follows at once. Yes or No close the
// program; Cancel keeps it, and it is left running.
TEST(MisbehavingService, ProgramThatAsksOnClose)
{
    const struct {
        int button;
        const char* answer;
        bool closes;
    } cases[] = {{IDNO, "answer no", true}, {IDCANCEL, "answer cancel", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        KavoService service("kavo_asks", "misbehaving_asks");
        ASSERT_TRUE(RegisterHosting(service, "-ask", 0));
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForLogLine(service.log, "ready");
        EndsWithTest child;
        child.processId = ChildIdOf(service);
        DWORD servicePid = ServiceProcessId(service.guard.name);
        ASSERT_NE(0u, servicePid);

        StateReportWatch watch(service.guard.name);
        StopRequest stop;
        stop.name = service.guard.name;
        stop.thread = CreateThread(NULL, 0, RequestStop, &stop, 0, NULL);
        ASSERT_TRUE(stop.thread != NULL);
        WaitForLogLine(service.log, "question");
        SERVICE_STATUS status;
        ASSERT_TRUE(QueryServiceState(service.guard.name, &status));
        EXPECT_EQ((DWORD)SERVICE_STOP_PENDING, status.dwCurrentState);
        EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(stop.thread, 0)) << "the stop request came back early";
        EXPECT_TRUE(ProcessRuns(servicePid));

        Answer answer = {child.processId, c.button, false};
        bool switched = OnServiceDesktop(AnswerTheQuestion, &answer);
        EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(stop.thread, kExitDeadline));
        CloseHandle(stop.thread);
        ASSERT_TRUE(switched && answer.answered);
        EXPECT_TRUE(stop.accepted) << "error " << stop.error;
        EXPECT_EQ(c.answer, WaitForLogLine(service.log, "answer "));
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(watch.WaitAt(HERE, &reported, kWaitHint));
        EXPECT_EQ(0u, reported.dwWin32ExitCode);
        EXPECT_TRUE(ProcessEndsWithin(servicePid, kWaitHint));
        if (c.closes) {
            EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
        } else {
            EXPECT_TRUE(ProcessRuns(child.processId));
            EXPECT_TRUE(LogLinesStartingWith(service.log, "exit ").empty());
        }
    }
}

void WaitForTheChildsWindow(void* childPid)
{
    WaitForWindow(*(DWORD*)childPid, "hosted_child", NULL);
}

// A program that hangs, its window answering no message: the stop waits in the
// close message with no bound, STOP_PENDING, and the stop request is not
// answered. Ended by hand, the stop completes at once.
TEST(MisbehavingService, ProgramThatHangs)
{
    KavoService service("kavo_hangs", "misbehaving_hangs");
    // Sleeps with its window made, before its message loop.
    ASSERT_TRUE(RegisterHosting(service, "-sleep=600000", 0));
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    EndsWithTest child;
    child.processId = ChildIdOf(service);
    DWORD servicePid = ServiceProcessId(service.guard.name);
    ASSERT_NE(0u, servicePid);
    ASSERT_TRUE(OnServiceDesktop(WaitForTheChildsWindow, &child.processId));

    StateReportWatch watch(service.guard.name);
    StopRequest stop;
    stop.name = service.guard.name;
    stop.thread = CreateThread(NULL, 0, RequestStop, &stop, 0, NULL);
    ASSERT_TRUE(stop.thread != NULL);
    SERVICE_STATUS status = {};
    EXPECT_TRUE(PollUntil([&] { return QueryServiceState(service.guard.name, &status) &&
                                       status.dwCurrentState == SERVICE_STOP_PENDING; },
                          kWindowDeadline));
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(stop.thread, 0)) << "the stop request came back early";
    EXPECT_TRUE(ProcessRuns(servicePid));

    EndProcessById(child.processId);
    EXPECT_EQ((DWORD)WAIT_OBJECT_0, WaitForSingleObject(stop.thread, kExitDeadline));
    CloseHandle(stop.thread);
    EXPECT_TRUE(stop.accepted) << "error " << stop.error;
    SERVICE_STATUS_PROCESS reported = {};
    ASSERT_TRUE(watch.WaitAt(HERE, &reported, kWaitHint));
    EXPECT_TRUE(ProcessEndsWithin(servicePid, kWaitHint));
    EXPECT_TRUE(LogLinesStartingWith(service.log, "ready").empty());
}

// A program that starts a grandchild and ends: the service ends with it,
// STOPPED with exit code 0; the grandchild is not the service's and is left
// running, never sent a close message.
TEST(MisbehavingService, ProgramThatStartsAGrandchildAndEnds)
{
    KavoService service("kavo_grandchild", "misbehaving_grandchild");
    std::string grandchildLog = service.dir + "\\grandchild.log";
    ASSERT_TRUE(RegisterHosting(service, "-grandchild=" + grandchildLog, 0));
    SERVICE_STATUS_PROCESS reported = {};
    ASSERT_TRUE(StartUntilStopped(service.guard.name, &reported));
    EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
    EXPECT_EQ(0u, reported.dwWin32ExitCode);
    EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));

    std::string line = WaitForLogLine(service.log, "grandchild ");
    EndsWithTest grandchild;
    grandchild.processId = strtoul(line.c_str() + 11, NULL, 10);
    ASSERT_NE(0u, grandchild.processId) << line;
    WaitForLogLine(grandchildLog, "ready");
    EXPECT_TRUE(ProcessRuns(grandchild.processId));
    EXPECT_TRUE(LogLinesStartingWith(grandchildLog, "close ").empty());
}

}  // namespace
