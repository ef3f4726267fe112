#include "kavo_service.h"

#include <gtest/gtest.h>
#include <stdlib.h>

std::string QuotedPath(const std::string& path)
{
    return path.find(' ') == std::string::npos ? path : "\"" + path + "\"";
}

KavoService::KavoService(const std::string& name, const std::string& folder, const std::string& sub) : guard(name)
{
    dir = MakeWorkDir(folder);
    if (!sub.empty()) {
        dir += "\\" + sub;
        EXPECT_TRUE(CreateDirectoryA(dir.c_str(), NULL)) << dir;
    }
    log = dir + "\\child.log";
    EXPECT_FALSE(FileExists(log)) << "a hosted program left from an earlier run still holds " << log;
    EXPECT_TRUE(CopyFileTo(KavoExePath(), ExePath())) << dir;
}

bool KavoService::RegisterAt(Where where, const std::string& ini)
{
    if (!ini.empty() && !WriteFileBytes(IniPath(), ini)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot write " << IniPath();
        return false;
    }
    if (!CreateServiceAt(where, guard.name, QuotedPath(ExePath())))
        return false;
    WatchServiceOf(guard.name, log);
    return true;
}

bool KavoService::RegisterHostingAt(Where where, const std::string& options, int exitMethod,
                                   const std::string& stopTimeout)
{
    std::string ini = "[kavo]\r\nexe=" + HostedChildPath() + "\r\noption=" + log + " " + options + "\r\nname=" +
                      guard.name + "\r\nend=" + std::to_string(exitMethod) + "\r\n";
    if (!stopTimeout.empty())
        ini += "stoptimeout=" + stopTimeout + "\r\n";
    return RegisterAt(where, ini);
}

DWORD KavoService::ChildIdAt(Where where)
{
    std::string line = WaitForLogLineAt(where, log, "start ");
    return line.empty() ? 0 : strtoul(line.c_str() + 6, NULL, 10);
}

DWORD ServiceProcessId(const std::string& name)
{
    DWORD processId = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS_PROCESS status;
    DWORD needed = 0;
    if (service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof status, &needed))
        processId = status.dwProcessId;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return processId;
}

// Wine's window station for services (Windows: session 0's).
static const char kServiceWindowStation[] = "__wineservice_winstation";
static const char kServiceDesktop[] = "Default";

namespace {
struct DesktopWork {
    void (*work)(void*);
    void* context;
    bool switched;
};

DWORD WINAPI RunOnDesktop(void* parameter)
{
    DesktopWork* job = (DesktopWork*)parameter;
    // A fresh thread has no windows yet, so it may change its desktop.
    HDESK desktop = OpenDesktopA(kServiceDesktop, 0, FALSE, GENERIC_ALL);
    job->switched = desktop && SetThreadDesktop(desktop);
    if (job->switched)
        job->work(job->context);
    if (desktop)
        CloseDesktop(desktop);
    return 0;
}
}  // namespace

bool OnServiceDesktopAt(Where where, void (*work)(void* context), void* context)
{
    HWINSTA own = GetProcessWindowStation();
    HWINSTA station = OpenWindowStationA(kServiceWindowStation, FALSE, GENERIC_ALL);
    if (!station || !SetProcessWindowStation(station)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot switch to window station " << kServiceWindowStation
                                               << ": error " << GetLastError();
        if (station)
            CloseWindowStation(station);
        return false;
    }
    DesktopWork job = {work, context, false};
    HANDLE thread = CreateThread(NULL, 0, RunOnDesktop, &job, 0, NULL);
    if (thread) {
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
    }
    SetProcessWindowStation(own);
    CloseWindowStation(station);
    if (!job.switched)
        ADD_FAILURE_AT(where.file, where.line) << "cannot switch to the services' desktop";
    return job.switched;
}

std::vector<HWND> MessageOnlyWindowsOfProcess(DWORD processId)
{
    std::vector<HWND> found;
    for (HWND window = FindWindowExA(HWND_MESSAGE, NULL, NULL, NULL); window;
         window = FindWindowExA(HWND_MESSAGE, window, NULL, NULL)) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId)
            found.push_back(window);
    }
    return found;
}
