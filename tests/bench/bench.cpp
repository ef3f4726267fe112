// Measurements of kavo.exe as a service under Wine, beside the reference host
// (reference_host.c) in the same run with the same hosted program (make bench;
// not a test): how soon a start request turns into RUNNING, a child's end into
// STOPPED, and a stop request into the child's end and STOPPED; how soon
// kavo.exe started by a person has a dialog that answers, with its service
// stopped and with it running (the dialog stops it first); then an idle
// service of each host for scripts/bench.sh to watch from outside. Each figure
// is printed as a line
//     measure KEY HOST MEDIAN MIN MAX RUNS
// for scripts/bench.sh to put in its table.
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "support/dialog_driver.h"
#include "support/kavo_service.h"
#include "support/support.h"

namespace {

// Rounds of each timing; kavo and the reference take turns within a round,
// and which goes first alternates, so that a drift of the machine hits both.
const int kRounds = 101;
// Rounds of the dialog's start, each with its service stopped and running.
const int kDialogRounds = 31;
// How long the hosted program idles for the outside watch: scripts/bench.sh
// samples it for 8 s once it has found its process, which can take seconds on
// a busy machine.
const DWORD kIdleMs = 30000;

const char* const kHosts[] = {"kavo", "reference"};

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// A service in a folder of its own hosting the hosted test program: kavo.exe
// with its kavo.ini, or the reference host with the program on its command line.
struct BenchService : KavoService {
    BenchService(const std::string& name, const std::string& host, const std::string& options)
        : KavoService(name, name + "_" + host)
    {
        if (host == "kavo") {
            RegisterHosting(*this, options, 0);
            return;
        }
        std::string exe = dir + "\\reference_host.exe";
        EXPECT_TRUE(CopyFileTo(BuildDir() + "\\reference_host.exe", exe));
        CreateServiceFor(guard.name, QuotedPath(exe) + " " + QuotedPath(HostedChildPath()) + " " + log +
                                         (options.empty() ? "" : " " + options));
    }
    std::string ProgramFile(const std::string& host) const
    {
        return host == "kavo" ? ExePath() : dir + "\\reference_host.exe";
    }
};

struct ChildEnd {
    HANDLE process;
    double at;
};

DWORD WINAPI WaitForChildEnd(void* parameter)
{
    ChildEnd* end = (ChildEnd*)parameter;
    WaitForSingleObject(end->process, kExitDeadline);
    end->at = Now();
    return 0;
}

// Start request -> RUNNING, then stop request -> STOPPED, which both hosts
// report once the child has closed.
void MeasureStartAndStop(const std::string& host, std::vector<double>* start, std::vector<double>* stop)
{
    BenchService service("kavo_bench_run", host, "");
    SERVICE_STATUS_PROCESS reported;
    {
        StateReportWatch running(service.guard.name, SERVICE_RUNNING);
        double requestedAt = Now();
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        ASSERT_TRUE(running.WaitAt(HERE, &reported));
        start->push_back(Now() - requestedAt);
    }

    WaitForLogLine(service.log, "ready");
    StateReportWatch watch(service.guard.name);
    double requestedAt = Now();
    ASSERT_TRUE(StopServiceNow(service.guard.name));
    ASSERT_TRUE(watch.WaitAt(HERE, &reported));
    stop->push_back(Now() - requestedAt);
    WaitForLogLine(service.log, "exit ");
}

// The child ends by itself once it has been idle a moment: its end -> STOPPED.
void MeasureChildEnd(const std::string& host, std::vector<double>* childEnd)
{
    BenchService service("kavo_bench_end", host, "-exit-after=100");
    StateReportWatch watch(service.guard.name);
    ASSERT_TRUE(StartServiceNow(service.guard.name));
    ChildEnd end = {OpenProcess(SYNCHRONIZE, FALSE, ChildIdOf(service)), 0};
    ASSERT_TRUE(end.process != NULL);
    HANDLE waiter = CreateThread(NULL, 0, WaitForChildEnd, &end, 0, NULL);
    SERVICE_STATUS_PROCESS reported;
    bool stopped = watch.WaitAt(HERE, &reported);
    double stoppedAt = Now();
    WaitForSingleObject(waiter, kExitDeadline);
    CloseHandle(waiter);
    CloseHandle(end.process);
    ASSERT_TRUE(stopped);
    childEnd->push_back(stoppedAt - end.at);
}

struct DialogSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindKavoDialog(HWND window, LPARAM parameter)
{
    DialogSearch* search = (DialogSearch*)parameter;
    DWORD processId = 0;
    char className[16];
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window) ||
        !GetClassNameA(window, className, sizeof className) || strcmp(className, "#32770") != 0 ||
        WindowText(window) != kKavoDialogCaption)
        return TRUE;
    search->found = window;
    return FALSE;
}

// kavo.exe started by a person, from its own folder, as its service is stopped
// or runs: the start -> its dialog shows and answers a message. The dialog is
// then cancelled, which starts a service that ran again.
void MeasureDialog(bool serviceRunning, std::vector<double>* usable)
{
    BenchService service("kavo_bench_dialog", "kavo", "");
    if (serviceRunning) {
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForLogLine(service.log, "ready");
    }
    Program kavo;
    double startedAt = Now();
    ASSERT_TRUE(StartProgram(kavo, QuotedPath(service.ExePath()), service.dir));
    // Looked for every millisecond: the figure is a few hundred.
    DialogSearch search = {kavo.id, NULL};
    double deadline = startedAt + kWindowDeadline;
    while (!search.found && Now() < deadline) {
        EnumWindows(FindKavoDialog, (LPARAM)&search);
        if (!search.found)
            Sleep(1);
    }
    ASSERT_TRUE(search.found != NULL) << "no dialog";
    ASSERT_TRUE(IsResponding(search.found, kWindowDeadline));
    usable->push_back(Now() - startedAt);
    PostMessageA(search.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    EXPECT_EQ(0u, WaitForExit(kavo));
    if (serviceRunning)
        WaitForServiceState(service.guard.name, SERVICE_RUNNING);
}

void PrintMeasure(const char* key, const std::string& host, std::vector<double> ms)
{
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    printf("measure %s %s %.1f %.1f %.1f %d\nsamples %s %s", key, host.c_str(), ms[ms.size() / 2], ms.front(),
           ms.back(), (int)ms.size(), key, host.c_str());
    for (double value : ms)
        printf(" %.1f", value);
    printf("\n");
    fflush(stdout);
}

TEST(Bench, ServiceTimings)
{
    std::map<std::string, std::vector<double>> start, stop, childEnd;
    for (int round = 0; round < kRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            const std::string host = kHosts[(round + turn) % 2];
            MeasureStartAndStop(host, &start[host], &stop[host]);
            MeasureChildEnd(host, &childEnd[host]);
        }
    }
    for (const std::string host : kHosts) {
        PrintMeasure("start", host, start[host]);
        PrintMeasure("child-end", host, childEnd[host]);
        PrintMeasure("stop", host, stop[host]);
    }

    // Wine's desktop process ends a second after the last window on it, and
    // starts again with the next: a window of the bench's own keeps it, so that
    // each round's dialog finds it as a person's finds it.
    HWND keepsDesktop = CreateWindowExA(0, "STATIC", "kavo_bench", WS_POPUP, 0, 0, 1, 1, NULL, NULL, NULL, NULL);
    std::vector<double> dialogStopped, dialogRunning;
    for (int round = 0; round < kDialogRounds; ++round) {
        for (int turn = 0; turn < 2; ++turn) {
            if ((round + turn) % 2)
                MeasureDialog(false, &dialogStopped);
            else
                MeasureDialog(true, &dialogRunning);
        }
    }
    if (keepsDesktop)
        DestroyWindow(keepsDesktop);
    PrintMeasure("dialog-stopped", "kavo", dialogStopped);
    PrintMeasure("dialog-running", "kavo", dialogRunning);

    // An idle service of each for the outside watch; the marker names its program file.
    for (const std::string host : kHosts) {
        BenchService idle("kavo_bench_idle", host, "");
        ASSERT_TRUE(StartServiceNow(idle.guard.name));
        WaitForLogLine(idle.log, "ready");
        printf("idle-service %s %s\n", host.c_str(), idle.ProgramFile(host).c_str());
        fflush(stdout);
        Sleep(kIdleMs);
        printf("idle-service-end %s\n", host.c_str());
        fflush(stdout);
        ASSERT_TRUE(StopServiceNow(idle.guard.name));
        WaitForServiceState(idle.guard.name, SERVICE_STOPPED);
    }
}

}  // namespace
