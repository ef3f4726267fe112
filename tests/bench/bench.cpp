// Measurements of kavo.exe as a service under Wine (make bench; not a test):
// how soon a child's end and a stop request turn into STOPPED, and an idle
// service for scripts/bench.sh to watch from outside.
#include <gtest/gtest.h>
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "support/kavo_service.h"
#include "support/support.h"

namespace {

// Runs of each timing; the table shows their median and range.
const int kRuns = 10;
// How long the hosted program idles for the outside watch (scripts/bench.sh samples it).
const DWORD kIdleMs = 10000;

double Now()
{
    LARGE_INTEGER count, frequency;
    QueryPerformanceCounter(&count);
    QueryPerformanceFrequency(&frequency);
    return (double)count.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

void PrintRow(const char* label, const std::string& value)
{
    printf("%-52s %s\n", label, value.c_str());
    fflush(stdout);
}

void PrintTimings(const char* label, std::vector<double> ms)
{
    if (ms.empty()) {
        PrintRow(label, "no data");
        return;
    }
    std::sort(ms.begin(), ms.end());
    char value[96];
    snprintf(value, sizeof value, "%.1f ms (median; min %.1f, max %.1f, %d runs)", ms[ms.size() / 2], ms.front(),
             ms.back(), (int)ms.size());
    PrintRow(label, value);
}

// kavo.exe in a folder of its own hosting the hosted test program, registered.
struct BenchService : KavoService {
    BenchService(const std::string& name, const std::string& options) : KavoService(name, name)
    {
        RegisterHosting(*this, options, 0);
    }
    HANDLE OpenChild() { return OpenProcess(SYNCHRONIZE, FALSE, ChildIdOf(*this)); }
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

TEST(Bench, ServiceTimings)
{
    std::vector<double> childEndToStopped, stopToStopped;
    for (int run = 0; run < kRuns; ++run) {
        // The child ends by itself once it has been idle a moment.
        BenchService service("kavo_bench_end", "-exit-after=300");
        StoppedReportWatch watch(service.guard.name);
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        ChildEnd end = {service.OpenChild(), 0};
        ASSERT_TRUE(end.process != NULL);
        HANDLE waiter = CreateThread(NULL, 0, WaitForChildEnd, &end, 0, NULL);
        SERVICE_STATUS_PROCESS reported;
        ASSERT_TRUE(watch.WaitAt(HERE, &reported));
        double stoppedAt = Now();
        WaitForSingleObject(waiter, kExitDeadline);
        CloseHandle(waiter);
        CloseHandle(end.process);
        childEndToStopped.push_back(stoppedAt - end.at);
    }
    for (int run = 0; run < kRuns; ++run) {
        BenchService service("kavo_bench_stop", "");
        ASSERT_TRUE(StartServiceNow(service.guard.name));
        WaitForLogLine(service.log, "ready");
        StoppedReportWatch watch(service.guard.name);
        double requestedAt = Now();
        ASSERT_TRUE(StopServiceNow(service.guard.name));
        SERVICE_STATUS_PROCESS reported;
        ASSERT_TRUE(watch.WaitAt(HERE, &reported));
        stopToStopped.push_back(Now() - requestedAt);
        WaitForLogLine(service.log, "exit ");
    }
    PrintTimings("child's end -> STOPPED reported", childEndToStopped);
    PrintTimings("stop request -> STOPPED reported (child closes)", stopToStopped);

    HANDLE file = CreateFileA(KavoExePath().c_str(), GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_TRUE(file != INVALID_HANDLE_VALUE);
    PrintRow("kavo.exe size", std::to_string(GetFileSize(file, NULL)) + " bytes");
    CloseHandle(file);

    // An idle service for the outside watch; the marker names its program file.
    BenchService idle("kavo_bench_idle", "");
    ASSERT_TRUE(StartServiceNow(idle.guard.name));
    WaitForLogLine(idle.log, "ready");
    printf("idle-service %lu %s\\kavo.exe\n", kIdleMs, idle.dir.c_str());
    fflush(stdout);
    Sleep(kIdleMs);
    printf("idle-service-end\n");
    fflush(stdout);
    ASSERT_TRUE(StopServiceNow(idle.guard.name));
    WaitForServiceState(idle.guard.name, SERVICE_STOPPED);
}

}  // namespace
