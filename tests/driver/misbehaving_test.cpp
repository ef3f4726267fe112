// Hosted programs that misbehave, under the service control manager: one that
// crashes at start, one that answers the close message with a question, one
// that hangs, one that starts a grandchild. For each: what the service reports
// and writes to the event log, what is left running, and that a stop ends
// within its bound (stoptimeout).
//
// Programs that never make a window or ignore every close message are in
// service_test.cpp (HostService.ChildThatDoesNotCloseIsEndedAtTheBound); one
// that never becomes idle is a matter of the test start (DialogTestStart).
#include <gtest/gtest.h>

#include "support/kavo_service.h"

namespace {

// The wait hint the service gives with each pending report: the service
// control manager expects the next report within it, so a stop that has
// nothing to wait for is reported STOPPED within it too, and the service's
// process ends once STOPPED is reported.
const DWORD kWaitHint = 3000;

// The bound these tests give a stop (stoptimeout, in seconds): short, so that
// no test waits long for a program that does not close.
const char kShortBound[] = "2";
// A stop ended by the short bound is reported STOPPED within this, well before
// the default bound of 20 s would have ended it.
const DWORD kWithinShortBound = 15000;
// The control handler only records the stop: the request comes back within
// this, whatever the program does with its close message.
const DWORD kStopAnswered = 1000;
// The service-specific exit code that says the program had to be ended.
const DWORD kEndedByForce = ERROR_SERVICE_REQUEST_TIMEOUT;
// How the stop's entry names the hosted program's window.
const char kWindowAsked[] = "hosted_child \"main1\"";

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
// nothing left running. It was never ready: the service never read RUNNING.
// (No crash dialog holds it: the child is started with the default error
// mode, and the bench has no debugger.)
TEST(MisbehavingService, ProgramThatCrashesAtStart)
{
    KavoService service("kavo_crash", "misbehaving_crash");
    ASSERT_TRUE(RegisterHosting(service, "-crash", 0));
    size_t mark = EventLogMark();
    StateReportWatch watch(service.guard.name);
    StateReportWatch running(service.guard.name, SERVICE_RUNNING);
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    DWORD servicePid = ServiceProcessId(service.guard.name);
    EndsWithTest child;
    child.processId = ChildIdOf(service);
    WaitForLogLine(service.log, "crash");

    SERVICE_STATUS_PROCESS reported = {};
    ASSERT_TRUE(watch.WaitAt(HERE, &reported));
    EXPECT_FALSE(running.Seen());
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
    std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
    EXPECT_EQ("100 information, 102 error, 100 information, 102 error", BriefOf(entries));
    if (entries.size() == 4) {
        EXPECT_EQ((std::vector<std::string>{HostedChildPath(), "3221225477", "0xC0000005"}),
                  std::vector<std::string>(entries[1].strings.begin(), entries[1].strings.begin() + 3));
    }
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
// answers it once the service's control handler has returned.
struct StopRequest {
    std::string name;
    BOOL accepted = FALSE;
    DWORD error = 0;
    HANDLE thread = NULL;
    explicit StopRequest(const std::string& serviceName);
    ~StopRequest();
    // Waits for the manager's answer; fails the test when none comes in time.
    bool AnsweredAt(Where where, DWORD deadlineMs);
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

StopRequest::StopRequest(const std::string& serviceName) : name(serviceName)
{
    thread = CreateThread(NULL, 0, RequestStop, this, 0, NULL);
    EXPECT_TRUE(thread != NULL) << "cannot request the stop: error " << GetLastError();
}

StopRequest::~StopRequest()
{
    if (thread) {
        WaitForSingleObject(thread, kExitDeadline);
        CloseHandle(thread);
    }
}

bool StopRequest::AnsweredAt(Where where, DWORD deadlineMs)
{
    if (!thread || WaitForSingleObject(thread, deadlineMs) != WAIT_OBJECT_0) {
        ADD_FAILURE_AT(where.file, where.line) << "the stop request of " << name << " was not answered within "
                                               << deadlineMs << " ms\n" << DescribeService(name);
        return false;
    }
    EXPECT_TRUE(accepted) << "error " << error;
    return true;
}
#define StopAnswered(request, deadline) (request).AnsweredAt(HERE, deadline)

// A program that answers the close message with a question: the stop request
// comes back at once all the same, and the service stays STOP_PENDING while the
// question is open. Answered in time (No closes the program), the program
// closes and STOPPED follows its end; never answered (on Windows, nobody sees
// session 0's desktop), the program is ended at the bound. Either way the stop
// is no failure; the service's own exit code says when force was needed.
TEST(MisbehavingService, ProgramThatAsksOnClose)
{
    const struct {
        const char* name;
        bool answered;
        const char* bound;   // stoptimeout; the default when empty
        const char* entries;
    } cases[] = {{"answered no", true, "", "100 information, 103 information"},
                 {"never answered", false, kShortBound, "100 information, 104 warning"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KavoService service("kavo_asks", "misbehaving_asks");
        ASSERT_TRUE(RegisterHosting(service, "-ask", 0, c.bound));
        size_t mark = EventLogMark();
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForServiceState(service.guard.name, SERVICE_RUNNING);
        EndsWithTest child;
        child.processId = ChildIdOf(service);
        DWORD servicePid = ServiceProcessId(service.guard.name);
        ASSERT_NE(0u, servicePid);

        StateReportWatch watch(service.guard.name);
        StopRequest stop(service.guard.name);
        WaitForLogLine(service.log, "question");
        EXPECT_TRUE(StopAnswered(stop, kStopAnswered));
        SERVICE_STATUS status;
        ASSERT_TRUE(QueryServiceState(service.guard.name, &status));
        EXPECT_EQ((DWORD)SERVICE_STOP_PENDING, status.dwCurrentState);
        EXPECT_TRUE(ProcessRuns(child.processId));

        Answer answer = {child.processId, IDNO, false};
        if (c.answered) {
            ASSERT_TRUE(OnServiceDesktop(AnswerTheQuestion, &answer) && answer.answered);
            EXPECT_EQ("answer no", WaitForLogLine(service.log, "answer "));
        }
        SERVICE_STATUS_PROCESS reported = {};
        ASSERT_TRUE(watch.WaitAt(HERE, &reported, kWithinShortBound));
        // Reported only once the program has ended.
        EXPECT_TRUE(ProcessEndsWithin(child.processId, 0));
        EXPECT_EQ(0u, reported.dwWin32ExitCode);
        EXPECT_TRUE(ProcessEndsWithin(servicePid, kWaitHint));
        if (c.answered) {
            EXPECT_EQ(0u, reported.dwServiceSpecificExitCode);
            EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
        } else {
            EXPECT_EQ(kEndedByForce, reported.dwServiceSpecificExitCode);
            EXPECT_TRUE(LogLinesStartingWith(service.log, "answer ").empty());
            EXPECT_TRUE(LogLinesStartingWith(service.log, "exit ").empty());
        }
        // The stop's entry names the windows asked with WM_CLOSE, the
        // program's first (Wine's IME window of the program comes after it,
        // when there was time).
        std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
        EXPECT_EQ(c.entries, BriefOf(entries));
        if (entries.size() == 2 && entries[1].strings.size() >= 4) {
            EXPECT_EQ("WM_CLOSE", entries[1].strings[2]);
            EXPECT_EQ(0u, entries[1].strings[3].find(kWindowAsked)) << entries[1].strings[3];
        }
    }
}

void WaitForTheChildsWindow(void* childPid)
{
    WaitForWindow(*(DWORD*)childPid, "hosted_child", NULL);
}

// A program that hangs, its window answering no message: it is never ready
// for input, so the service reads RUNNING only once the wait for that has run
// out (15 s). Then the stop request comes back at once, the close message is
// given up at the bound and the program ended; STOPPED follows its end.
TEST(MisbehavingService, ProgramThatHangs)
{
    KavoService service("kavo_hangs", "misbehaving_hangs");
    // Sleeps with its window made, before its message loop.
    ASSERT_TRUE(RegisterHosting(service, "-sleep=600000", 0, kShortBound));
    size_t mark = EventLogMark();
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    EndsWithTest child;
    child.processId = ChildIdOf(service);
    DWORD servicePid = ServiceProcessId(service.guard.name);
    ASSERT_NE(0u, servicePid);
    ASSERT_TRUE(OnServiceDesktop(WaitForTheChildsWindow, &child.processId));
    // Meanwhile START_PENDING, never read as hung: check points rise, each
    // report's hint covering the time to the next.
    std::vector<SERVICE_STATUS> pending;
    SERVICE_STATUS status = {};
    ASSERT_TRUE(PollUntil(
        [&] {
            if (!QueryServiceState(service.guard.name, &status) || status.dwCurrentState != SERVICE_START_PENDING)
                return true;
            pending.push_back(status);
            return false;
        },
        kExitDeadline));
    EXPECT_EQ((DWORD)SERVICE_RUNNING, status.dwCurrentState);
    ASSERT_FALSE(pending.empty());
    EXPECT_LT(pending.front().dwCheckPoint + 5, pending.back().dwCheckPoint) << "no progress reported";
    for (const SERVICE_STATUS& seen : pending)
        EXPECT_EQ(kWaitHint, seen.dwWaitHint) << "check point " << seen.dwCheckPoint;

    StateReportWatch watch(service.guard.name);
    StopRequest stop(service.guard.name);
    EXPECT_TRUE(StopAnswered(stop, kStopAnswered));

    SERVICE_STATUS_PROCESS reported = {};
    ASSERT_TRUE(watch.WaitAt(HERE, &reported, kWithinShortBound));
    EXPECT_TRUE(ProcessEndsWithin(child.processId, 0));
    EXPECT_EQ(0u, reported.dwWin32ExitCode);
    EXPECT_EQ(kEndedByForce, reported.dwServiceSpecificExitCode);
    EXPECT_TRUE(ProcessEndsWithin(servicePid, kWaitHint));
    EXPECT_TRUE(LogLinesStartingWith(service.log, "ready").empty());
    std::vector<EventEntry> entries = EventEntriesSince(mark, service.guard.name);
    EXPECT_EQ("100 information, 104 warning", BriefOf(entries));
    // It is in kavo's job: its job error is 0.
    if (!entries.empty() && entries[0].strings.size() == 6) {
        EXPECT_EQ("0", entries[0].strings[5]);
    }
}

// A program that starts a grandchild. When it ends by itself, the service ends
// with it, STOPPED with exit code 0, and the grandchild, which the program
// left behind on purpose, goes on after kavo's process has ended, never sent a
// close message. When it does not close on a stop, it is ended at the bound,
// and its grandchild with it.
TEST(MisbehavingService, ProgramThatStartsAGrandchild)
{
    const struct {
        const char* name;
        const char* options;
        bool stays;
        const char* entries;
    } cases[] = {{"ends", " -stay -exit-after=1000", false, "100 information, 101 information"},
                 {"stays", " -stay -ignore-close", true, "100 information, 104 warning"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KavoService service("kavo_grandchild", "misbehaving_grandchild");
        std::string grandchildLog = service.dir + "\\grandchild.log";
        ASSERT_TRUE(RegisterHosting(service, "-grandchild=" + grandchildLog + c.options, 0, kShortBound));
        size_t mark = EventLogMark();
        SERVICE_STATUS_PROCESS reported = {};
        StateReportWatch ends(service.guard.name);
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        DWORD servicePid = ServiceProcessId(service.guard.name);
        ASSERT_NE(0u, servicePid);
        WaitForLogLine(service.log, "ready");
        if (!c.stays) {
            ASSERT_TRUE(ends.WaitAt(HERE, &reported));
            EXPECT_EQ("exit 0", WaitForLogLine(service.log, "exit "));
        }
        std::string line = WaitForLogLine(service.log, "grandchild ");
        EndsWithTest grandchild;
        grandchild.processId = strtoul(line.c_str() + 11, NULL, 10);
        ASSERT_NE(0u, grandchild.processId) << line;
        WaitForLogLine(grandchildLog, "ready");

        if (c.stays) {
            EndsWithTest child;
            child.processId = ChildIdOf(service);
            StateReportWatch watch(service.guard.name);
            ASSERT_TRUE(StopServiceNow(service.guard.name));
            ASSERT_TRUE(watch.WaitAt(HERE, &reported, kWithinShortBound));
            EXPECT_TRUE(ProcessEndsWithin(child.processId, 0));
            EXPECT_EQ(kEndedByForce, reported.dwServiceSpecificExitCode);
            EXPECT_TRUE(ProcessEndsWithin(grandchild.processId, kExitDeadline));
            EXPECT_TRUE(LogLinesStartingWith(service.log, "exit ").empty());
            EXPECT_TRUE(LogLinesStartingWith(grandchildLog, "exit ").empty());
        } else {
            EXPECT_TRUE(ProcessEndsWithin(servicePid, kWaitHint));
            EXPECT_TRUE(ProcessRuns(grandchild.processId));
        }
        EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
        EXPECT_EQ(0u, reported.dwWin32ExitCode);
        EXPECT_TRUE(LogLinesStartingWith(grandchildLog, "close ").empty());
        EXPECT_EQ(c.entries, BriefOf(EventEntriesSince(mark, service.guard.name)));
    }
}

}  // namespace
