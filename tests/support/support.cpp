#include "support.h"

#include <gtest/gtest.h>
#include <ctype.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <memory>

std::string BuildDir()
{
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(NULL, path, sizeof path);
    std::string dir(path, length);
    return dir.substr(0, dir.find_last_of('\\'));
}

std::string KavoExePath()
{
    return BuildDir() + "\\kavo.exe";
}

std::string ExaminedExePath()
{
    char path[MAX_PATH];
    DWORD length = GetEnvironmentVariableA("KAVO_EXAMINED_EXE", path, sizeof path);
    if (length > 0 && length < sizeof path)
        return std::string(path, length);
    return KavoExePath();
}

std::string HostedChildPath()
{
    return BuildDir() + "\\hosted_child.exe";
}

static void DeleteTree(const std::string& dir)
{
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((dir + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            std::string name = found.cFileName;
            if (name == "." || name == "..")
                continue;
            std::string path = dir + "\\" + name;
            if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                DeleteTree(path);
            else {
                SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA(path.c_str());
            }
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    RemoveDirectoryA(dir.c_str());
}

std::string CodePageLetters()
{
    switch (GetACP()) {
    case 932:
        return "\x83\x65\x83\x58\x83\x67";
    case 65001:
        return "\xe3\x83\x86\xe3\x82\xb9\xe3\x83\x88";
    case 1252:
        return "Caf\xe9";
    case 936:
        return "\xb7\xfe\xce\xf1\xc6\xf7";
    default:
        return "cp";
    }
}

std::string MakeWorkDir(const std::string& name)
{
    // BuildDir\wine is the test prefix's root, and BuildDir\wine-1252 and the
    // like those of the prefixes under other code pages, where the same suites
    // run again, maybe at the same time: each prefix has work folders of its own.
    // The bench runs with a prefix elsewhere.
    UINT codePage = GetACP();
    std::string prefixRoot = BuildDir() + "\\wine" + (codePage == 932 ? "" : "-" + std::to_string(codePage));
    CreateDirectoryA(prefixRoot.c_str(), NULL);
    std::string root = prefixRoot + "\\work";
    CreateDirectoryA(root.c_str(), NULL);
    std::string dir = root + "\\" + name;
    DeleteTree(dir);
    CreateDirectoryA(dir.c_str(), NULL);
    return dir;
}

bool CopyFileTo(const std::string& source, const std::string& destination)
{
    return CopyFileA(source.c_str(), destination.c_str(), FALSE) != 0;
}

std::string ReadFileBytes(const std::string& path)
{
    std::string bytes;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    char chunk[4096];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, NULL) && got > 0)
        bytes.append(chunk, got);
    CloseHandle(file);
    return bytes;
}

bool WriteFileBytes(const std::string& path, const std::string& bytes)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, bytes.data(), (DWORD)bytes.size(), &written, NULL);
    CloseHandle(file);
    return ok && written == bytes.size();
}

bool FileExists(const std::string& path)
{
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Wine's own call for the Unix path behind a Windows path; the result is
// freed with HeapFree. Empty when there is none.
static std::string UnixPathOf(const std::string& path)
{
    typedef char*(CDECL * UnixFileNameCall)(const WCHAR*);
    UnixFileNameCall call =
        (UnixFileNameCall)(void*)GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name");
    WCHAR wide[MAX_PATH];
    if (!call || !MultiByteToWideChar(CP_ACP, 0, path.c_str(), -1, wide, MAX_PATH))
        return "";
    char* unixPath = call(wide);
    if (!unixPath)
        return "";
    std::string result = unixPath;
    HeapFree(GetProcessHeap(), 0, unixPath);
    return result;
}

// Starts a Unix program (its command line in UTF-8, as Unix paths are here).
// Wine runs it without giving back a handle to wait on: the caller waits for
// what it does.
static bool StartUnixCommand(const std::string& commandLine)
{
    std::vector<WCHAR> line(commandLine.size() + 1);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started = {};
    if (!MultiByteToWideChar(CP_UTF8, 0, commandLine.c_str(), -1, line.data(), (int)line.size()) ||
        !CreateProcessW(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &started))
        return false;
    if (started.hThread)
        CloseHandle(started.hThread);
    if (started.hProcess)
        CloseHandle(started.hProcess);
    return true;
}

bool AllowOthersToWriteAt(Where where, const std::string& path)
{
    static int made = 0;
    std::string status = BuildDir() + "\\wine\\chmod-" + std::to_string(GetCurrentProcessId()) + "-" +
                         std::to_string(++made);
    std::string unixPath = UnixPathOf(path);
    std::string unixStatus = UnixPathOf(status);
    if (unixPath.empty() || unixStatus.empty()) {
        ADD_FAILURE_AT(where.file, where.line) << "no Unix path for " << path << " or " << status;
        return false;
    }
    // Wine starts a Unix program named by its Unix path, but gives no handle
    // to wait on: the command tells its end through a file of its own.
    std::string command = "/bin/sh -c \"/bin/chmod o+w '" + unixPath + "'; echo $? > '" + unixStatus +
                          ".part'; /bin/mv '" + unixStatus + ".part' '" + unixStatus + "'\"";
    if (!StartUnixCommand(command)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot run " << command << ": error " << GetLastError();
        return false;
    }
    bool ended = PollUntil([&] { return FileExists(status); }, kExitDeadline);
    std::string result = ReadFileBytes(status);
    DeleteFileA(status.c_str());
    if (!ended || result != "0\n") {
        ADD_FAILURE_AT(where.file, where.line)
            << command << (ended ? " ended with " + Escaped(result) : " did not end in time");
        return false;
    }
    return true;
}

Program::~Program()
{
    if (process) {
        if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
            TerminateProcess(process, 1);
        CloseHandle(process);
    }
}

bool StartProgramAt(Where where, Program& program, const std::string& commandLine,
                    const std::string& currentDirectory)
{
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessA(NULL, line.data(), NULL, NULL, FALSE, 0, NULL, currentDirectory.c_str(), &startup,
                        &info)) {
        ADD_FAILURE_AT(where.file, where.line)
            << "cannot start " << commandLine << " in " << currentDirectory << ": error " << GetLastError();
        return false;
    }
    CloseHandle(info.hThread);
    program.process = info.hProcess;
    program.id = info.dwProcessId;
    return true;
}

DWORD WaitForExitAt(Where where, Program& program, DWORD deadlineMs)
{
    if (!program.process) {
        ADD_FAILURE_AT(where.file, where.line) << "no program to wait for";
        return STILL_ACTIVE;
    }
    if (WaitForSingleObject(program.process, deadlineMs) != WAIT_OBJECT_0) {
        ADD_FAILURE_AT(where.file, where.line) << "program " << program.id << " did not end within "
                                               << deadlineMs << " ms; ended it";
        TerminateProcess(program.process, 1);
        WaitForSingleObject(program.process, kExitDeadline);
        return STILL_ACTIVE;
    }
    DWORD code = STILL_ACTIVE;
    GetExitCodeProcess(program.process, &code);
    return code;
}

namespace {
struct WindowSearch {
    DWORD processId;
    const char* className;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM parameter)
{
    WindowSearch* search = (WindowSearch*)parameter;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId)
        return TRUE;
    if (search->className) {
        char name[64];
        GetClassNameA(window, name, sizeof name);
        if (lstrcmpiA(name, search->className) != 0)
            return TRUE;
    }
    search->found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<std::string> ModulesOfProcess(DWORD processId)
{
    std::vector<std::string> paths;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, processId);
    if (snapshot == INVALID_HANDLE_VALUE)
        return paths;
    MODULEENTRY32 module;
    module.dwSize = sizeof module;
    for (BOOL more = Module32First(snapshot, &module); more; more = Module32Next(snapshot, &module)) {
        std::string path = module.szExePath;
        std::transform(path.begin(), path.end(), path.begin(), ::tolower);
        paths.push_back(path);
    }
    CloseHandle(snapshot);
    return paths;
}

std::vector<HWND> WindowsOfProcess(DWORD processId, const char* className)
{
    WindowSearch search = {processId, className, {}};
    EnumWindows(CollectWindow, (LPARAM)&search);
    return search.found;
}

std::string WindowText(HWND window)
{
    char text[4096];
    int length = GetWindowTextA(window, text, sizeof text);
    return std::string(text, length > 0 ? length : 0);
}

std::wstring WideWindowText(HWND window)
{
    wchar_t text[4096];
    int length = GetWindowTextW(window, text, sizeof text / sizeof text[0]);
    return std::wstring(text, length > 0 ? length : 0);
}

std::wstring FromCodePage(UINT codePage, const std::string& bytes)
{
    std::wstring text(bytes.size(), L'\0');
    text.resize(MultiByteToWideChar(codePage, 0, bytes.data(), (int)bytes.size(), &text[0], (int)text.size()));
    return text;
}

std::string ToCodePage(UINT codePage, const std::wstring& text)
{
    std::string bytes(text.size() * 4, '\0');
    bytes.resize(WideCharToMultiByte(codePage, 0, text.data(), (int)text.size(), &bytes[0], (int)bytes.size(),
                                     NULL, NULL));
    return bytes;
}

HWND WaitForWindowAt(Where where, DWORD processId, const char* className, const char* caption,
                     DWORD deadlineMs)
{
    HWND window = NULL;
    bool found = PollUntil(
        [&] {
            for (HWND candidate : WindowsOfProcess(processId, className)) {
                if (!IsWindowVisible(candidate))
                    continue;
                if (caption && WindowText(candidate) != caption)
                    continue;
                window = candidate;
                return true;
            }
            return false;
        },
        deadlineMs);
    if (!found)
        ADD_FAILURE_AT(where.file, where.line)
            << "no window of class " << (className ? className : "(any)") << " with caption "
            << (caption ? Escaped(caption) : "(any)") << " in process " << processId << " after "
            << deadlineMs << " ms";
    return window;
}

MessageBoxView ReadMessageBox(HWND box)
{
    MessageBoxView view;
    view.window = box;
    view.owner = GetWindow(box, GW_OWNER);
    view.caption = WindowText(box);
    // The message text is the static control with id 0xFFFF.
    view.text = WindowText(GetDlgItem(box, 0xFFFF));
    view.wideCaption = WideWindowText(box);
    view.wideText = WideWindowText(GetDlgItem(box, 0xFFFF));
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32];
        GetClassNameA(child, name, sizeof name);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(name, "Button") == 0 && (style & WS_VISIBLE)) {
            view.buttons.push_back(GetDlgCtrlID(child));
            if ((style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
                view.defaultButton = GetDlgCtrlID(child);
        }
        if (lstrcmpiA(name, "Static") == 0 && (style & SS_TYPEMASK) == SS_ICON && (style & WS_VISIBLE) &&
            SendMessageA(child, STM_GETICON, 0, 0))
            view.hasIcon = true;
    }
    std::sort(view.buttons.begin(), view.buttons.end());
    return view;
}

MessageBoxView WaitForMessageBoxAt(Where where, DWORD processId, DWORD deadlineMs)
{
    HWND box = WaitForWindowAt(where, processId, "#32770", NULL, deadlineMs);
    return box ? ReadMessageBox(box) : MessageBoxView();
}

void AnswerMessageBoxAt(Where where, const MessageBoxView& box, int buttonId)
{
    if (!box.window) {
        ADD_FAILURE_AT(where.file, where.line) << "no message box to answer";
        return;
    }
    HWND button = GetDlgItem(box.window, buttonId);
    if (!button) {
        ADD_FAILURE_AT(where.file, where.line) << "the message box has no button " << buttonId;
        return;
    }
    PostMessageA(box.window, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), (LPARAM)button);
    if (!PollUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, kWindowDeadline))
        ADD_FAILURE_AT(where.file, where.line) << "the message box stayed after button " << buttonId;
}

std::string Escaped(const std::string& bytes)
{
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '"' && c != '\\') {
            out += (char)c;
        } else {
            char hex[8];
            wsprintfA(hex, "\\x%02x", c);
            out += hex;
        }
    }
    return out + "\"";
}

// How long a stopping service is given before it is deleted anyway.
static const DWORD kServiceStopDeadline = 10000;

bool QueryServiceState(const std::string& name, SERVICE_STATUS* status)
{
    bool ok = false;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (manager) {
        SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
        if (service) {
            ok = QueryServiceStatus(service, status) != 0;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    return ok;
}

bool DeleteServiceNow(const std::string& name)
{
    bool deleted = false;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_ALL_ACCESS);
    if (manager) {
        SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_ALL_ACCESS);
        if (service) {
            SERVICE_STATUS status;
            if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED) {
                ControlService(service, SERVICE_CONTROL_STOP, &status);
                PollUntil([&] { return QueryServiceStatus(service, &status) &&
                                       status.dwCurrentState == SERVICE_STOPPED; },
                          kServiceStopDeadline);
            }
            deleted = DeleteService(service) != 0;
            CloseServiceHandle(service);
        }
        CloseServiceHandle(manager);
    }
    return deleted;
}

// A deleted service stays "marked for deletion" (and its name cannot be
// registered again) until its process has ended and every handle to it is
// closed: wait for that before the name is used again.
static bool ServiceIsGone(const std::string& name)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return false;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS);
    DWORD error = service ? 0 : GetLastError();
    // A name the manager refuses (a backslash in it) was never there.
    bool gone = error == ERROR_SERVICE_DOES_NOT_EXIST || error == ERROR_INVALID_NAME;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return gone;
}

static const char kEventLogs[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\";

static void DeleteEventSources(const std::string& name)
{
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kEventLogs + std::string("Application\\") + name).c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kEventLogs + std::string("Application\\") + name + " (kavo)").c_str());
}

ServiceGuard::ServiceGuard(const std::string& serviceName) : name(serviceName)
{
    DeleteServiceNow(name);
    DeleteEventSources(name);
    if (!PollUntil([&] { return ServiceIsGone(name); }, kServiceStopDeadline))
        ADD_FAILURE() << "service " << name << " is still there after its deletion";
}

ServiceGuard::~ServiceGuard()
{
    ForgetServiceOf(name);
    DeleteServiceNow(name);
    DeleteEventSources(name);
}

bool WaitForServiceStateAt(Where where, const std::string& name, DWORD state, SERVICE_STATUS* last,
                           DWORD deadlineMs)
{
    SERVICE_STATUS status = {};
    bool reached = PollUntil([&] { return QueryServiceState(name, &status) && status.dwCurrentState == state; },
                             deadlineMs);
    if (!reached)
        ADD_FAILURE_AT(where.file, where.line) << "service " << name << " did not reach state " << state
                                               << " within " << deadlineMs << " ms\n" << DescribeService(name);
    if (last)
        *last = status;
    return reached;
}

ServiceRegistration ReadServiceRegistration(const std::string& name)
{
    ServiceRegistration registration;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return registration;
    SC_HANDLE service = OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG);
    if (service) {
        char buffer[8192];
        QUERY_SERVICE_CONFIGA* config = (QUERY_SERVICE_CONFIGA*)buffer;
        DWORD needed = 0;
        if (QueryServiceConfigA(service, config, sizeof buffer, &needed)) {
            auto text = [](const char* value) { return std::string(value ? value : ""); };
            registration.found = true;
            registration.serviceType = config->dwServiceType;
            registration.startType = config->dwStartType;
            registration.errorControl = config->dwErrorControl;
            registration.tagId = config->dwTagId;
            registration.binaryPath = text(config->lpBinaryPathName);
            registration.loadOrderGroup = text(config->lpLoadOrderGroup);
            registration.dependencies = text(config->lpDependencies);
            registration.account = text(config->lpServiceStartName);
            registration.displayName = text(config->lpDisplayName);
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return registration;
}

DWORD ReadPreshutdownTimeout(const std::string& name)
{
    DWORD timeout = 0;
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_CONFIG) : NULL;
    SERVICE_PRESHUTDOWN_INFO info;
    DWORD needed = 0;
    if (service && QueryServiceConfig2A(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, (BYTE*)&info, sizeof info, &needed))
        timeout = info.dwPreshutdownTimeout;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    return timeout;
}

bool CreateServiceAt(Where where, const std::string& name, const std::string& binaryPath)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
    SC_HANDLE service = NULL;
    if (manager)
        service = CreateServiceA(manager, name.c_str(), name.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                 SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binaryPath.c_str(), NULL, NULL, NULL,
                                 NULL, NULL);
    DWORD error = GetLastError();
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    if (!service)
        ADD_FAILURE_AT(where.file, where.line) << "cannot register " << name << " for " << binaryPath << ": error "
                                               << error;
    return service != NULL;
}

// A start or stop request; its error, without failing the test.
static bool RequestService(const std::string& name, bool start, DWORD* errorCode)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_START | SERVICE_STOP) : NULL;
    BOOL done = FALSE;
    if (service) {
        SERVICE_STATUS status;
        done = start ? StartServiceA(service, 0, NULL) : ControlService(service, SERVICE_CONTROL_STOP, &status);
    }
    DWORD error = GetLastError();
    // Wine calls the control handler on a thread of its own: a service that
    // reports STOPPED in its handler may end before that thread has answered,
    // and the stop, delivered and carried out, comes back as a broken pipe.
    if (!start && !done && error == ERROR_BROKEN_PIPE)
        done = TRUE;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
    *errorCode = error;
    return done != FALSE;
}

static bool ServiceRequestAt(Where where, const std::string& name, bool start)
{
    DWORD error = 0;
    bool done = RequestService(name, start, &error);
    if (!done)
        ADD_FAILURE_AT(where.file, where.line) << "cannot " << (start ? "start " : "stop ") << name << ": error "
                                               << error;
    return done != FALSE;
}

bool StartServiceAt(Where where, const std::string& name)
{
    return ServiceRequestAt(where, name, true);
}

bool StopServiceAt(Where where, const std::string& name)
{
    // kavo takes no control while it starts, and reports RUNNING once its
    // program is ready, a moment after the program's "ready" line.
    SERVICE_STATUS status;
    PollUntil([&] { return !QueryServiceState(name, &status) || status.dwCurrentState != SERVICE_START_PENDING; },
              kExitDeadline);
    return ServiceRequestAt(where, name, false);
}

// One armed notification. Wine's notification thread may still write into it
// after the service handle has gone, so one that never fired is not freed.
struct Notification {
    SERVICE_NOTIFYW notify = {};
    volatile LONG fired = 0;
};

static void CALLBACK NotificationFired(void* parameter)
{
    SERVICE_NOTIFYW* notify = (SERVICE_NOTIFYW*)parameter;
    InterlockedExchange(&((Notification*)notify->pContext)->fired, 1);
}

// A notification of the service's next entry into state (SERVICE_STOPPED...).
static Notification* ArmNotification(SC_HANDLE service, DWORD state)
{
    Notification* notification = new Notification;
    notification->notify.dwVersion = SERVICE_NOTIFY_STATUS_CHANGE;
    notification->notify.pfnNotifyCallback = (PFN_SC_NOTIFY_CALLBACK)NotificationFired;
    notification->notify.pContext = notification;
    if (NotifyServiceStatusChangeW(service, 1u << (state - 1), &notification->notify) != ERROR_SUCCESS) {
        delete notification;
        return NULL;
    }
    return notification;
}

// The callback runs as an APC on the thread that armed the notification.
static bool WaitForNotification(Notification* notification, DWORD deadlineMs)
{
    DWORD start = GetTickCount();
    while (!notification->fired) {
        if (GetTickCount() - start >= deadlineMs)
            return false;
        SleepEx(kPollInterval, TRUE);
    }
    return true;
}

// How long a notification for a state the service is in already takes to come.
static const DWORD kImmediateNotificationDeadline = 5000;

StateReportWatch::StateReportWatch(const std::string& serviceName, DWORD watchedState)
    : name(serviceName), state(watchedState)
{
    manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : NULL;
    if (!service)
        return;
    pending = ArmNotification(service, state);
    SERVICE_STATUS status;
    // A service in the state already answers a fresh handle at once with its
    // present record; the next notification is then the next report.
    if (pending && QueryServiceStatus(service, &status) && status.dwCurrentState == state &&
        WaitForNotification(pending, kImmediateNotificationDeadline)) {
        delete pending;
        pending = ArmNotification(service, state);
    }
}

StateReportWatch::~StateReportWatch()
{
    if (pending && pending->fired)
        delete pending;
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

bool StateReportWatch::WaitAt(Where where, SERVICE_STATUS_PROCESS* reported, DWORD deadlineMs)
{
    if (!pending) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot watch service " << name << " for state " << state;
        return false;
    }
    if (!WaitForNotification(pending, deadlineMs)) {
        ADD_FAILURE_AT(where.file, where.line) << "service " << name << " reported no state " << state << " within "
                                               << deadlineMs << " ms\n" << DescribeService(name);
        return false;
    }
    *reported = pending->notify.ServiceStatus;
    return true;
}

bool StateReportWatch::Seen()
{
    // A notification that came meanwhile is delivered now.
    SleepEx(0, TRUE);
    return pending && pending->fired;
}

namespace {
// A service tied to its hosted program's log, and the watch that keeps its
// first STOPPED report.
struct WatchedService {
    std::string log;
    std::unique_ptr<StateReportWatch> stopped;
};
std::map<std::string, WatchedService> watchedServices;

const char* StateName(DWORD state)
{
    static const char* const names[] = {"?",        "STOPPED",          "START_PENDING", "STOP_PENDING",
                                        "RUNNING", "CONTINUE_PENDING", "PAUSE_PENDING", "PAUSED"};
    return state < sizeof names / sizeof names[0] ? names[state] : "?";
}

// A process by its id: running, or how it ended while a handle could still be had.
std::string DescribeProcess(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | SYNCHRONIZE, FALSE, processId);
    if (!process)
        return "process " + std::to_string(processId) + " is gone";
    DWORD code = 0;
    std::string text = "process " + std::to_string(processId);
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT)
        text += " runs";
    else if (GetExitCodeProcess(process, &code))
        text += " ended with code " + std::to_string(code);
    CloseHandle(process);
    return text;
}

std::string ChildrenOf(DWORD parentId)
{
    std::string text;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return "(processes cannot be listed)";
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (entry.th32ParentProcessID == parentId)
            text += std::string(text.empty() ? "" : ", ") + entry.szExeFile + " " +
                    DescribeProcess(entry.th32ProcessID);
    CloseHandle(snapshot);
    return text.empty() ? "none" : text;
}
}  // namespace

void WatchServiceOf(const std::string& name, const std::string& log)
{
    WatchedService& watched = watchedServices[name];
    watched.log = log;
    watched.stopped.reset(new StateReportWatch(name));
}

void ForgetServiceOf(const std::string& name)
{
    watchedServices.erase(name);
}

std::string DescribeService(const std::string& name)
{
    // A report that came meanwhile is delivered now.
    SleepEx(0, TRUE);
    std::string text = "service " + name + ": ";
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    SC_HANDLE service = manager ? OpenServiceA(manager, name.c_str(), SERVICE_QUERY_STATUS) : NULL;
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (service && QueryServiceStatusEx(service, SC_STATUS_PROCESS_INFO, (BYTE*)&status, sizeof status, &needed))
        text += std::string("state ") + StateName(status.dwCurrentState) + ", exit codes " +
                std::to_string(status.dwWin32ExitCode) + "/" + std::to_string(status.dwServiceSpecificExitCode) +
                ", process " + std::to_string(status.dwProcessId);
    else
        text += "status cannot be read (error " + std::to_string(GetLastError()) + ")";
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);

    auto watched = watchedServices.find(name);
    if (watched == watchedServices.end())
        return text;
    Notification* report = watched->second.stopped ? watched->second.stopped->pending : NULL;
    if (report && report->fired)
        text += "; it reported STOPPED with exit codes " + std::to_string(report->notify.ServiceStatus.dwWin32ExitCode) +
                "/" + std::to_string(report->notify.ServiceStatus.dwServiceSpecificExitCode);
    else
        text += "; no STOPPED report caught";
    std::vector<std::string> started = LogLinesStartingWith(watched->second.log, "start ");
    if (!started.empty())
        text += "; hosted program " + DescribeProcess(strtoul(started.front().c_str() + 6, NULL, 10));
    else if (status.dwProcessId)
        text += "; the log has no start line; the service process's children: " + ChildrenOf(status.dwProcessId);
    else
        text += "; the log has no start line and no service process runs";
    return text;
}

std::vector<std::string> ReadLogLines(const std::string& path)
{
    std::vector<std::string> lines;
    std::string bytes = ReadFileBytes(path);
    size_t start = 0;
    while (start < bytes.size()) {
        size_t end = bytes.find('\n', start);
        if (end == std::string::npos)
            break;   // a line still being written
        lines.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> LogLinesStartingWith(const std::string& path, const std::string& prefix)
{
    std::vector<std::string> found;
    for (const std::string& line : ReadLogLines(path))
        if (line.compare(0, prefix.size(), prefix) == 0)
            found.push_back(line);
    return found;
}

// The description of the service whose hosted program writes that log, if any.
static std::string ServiceOfLog(const std::string& path)
{
    for (const auto& watched : watchedServices)
        if (watched.second.log == path)
            return "\n" + DescribeService(watched.first);
    return "";
}

std::string WaitForLogLineAt(Where where, const std::string& path, const std::string& prefix, DWORD deadlineMs)
{
    std::string line;
    bool found = PollUntil(
        [&] {
            std::vector<std::string> lines = LogLinesStartingWith(path, prefix);
            if (lines.empty())
                return false;
            line = lines.front();
            return true;
        },
        deadlineMs);
    if (!found)
        ADD_FAILURE_AT(where.file, where.line) << "no line starting with " << Escaped(prefix) << " in " << path
                                               << " after " << deadlineMs << " ms; it holds "
                                               << Escaped(ReadFileBytes(path)) << ServiceOfLog(path);
    return line;
}

// The service processes' debug output, where the bench sends it: in the root
// of the prefix the test runs in, beside the build tree's own "wine" (the rows
// under other code pages run in "wine-1252" and the like, KAVO_WINE_ROOT).
static std::string ServicesDebugLog()
{
    const char* root = getenv("KAVO_WINE_ROOT");
    std::string name = root ? root : "wine";
    return BuildDir() + "\\" + name.substr(name.find_last_of('/') + 1) + "\\services.log";
}

size_t EventLogMark()
{
    return ReadFileBytes(ServicesDebugLog()).size();
}

// A string as Wine's debug output writes it, L"..." with C escapes and \xxxx
// (hexadecimal) for any other character; *cut when Wine cut it ("...").
static std::wstring WineDebugString(const std::string& text, size_t start, bool* cut)
{
    std::wstring wide;
    size_t i = start + 2;
    for (; i < text.size() && text[i] != '"'; ++i) {
        wchar_t c = (unsigned char)text[i];
        if (c == '\\' && isxdigit((unsigned char)text[i + 1])) {
            c = (wchar_t)strtoul(text.substr(i + 1, 4).c_str(), NULL, 16);
            i += 4;
        } else if (c == '\\') {
            c = text[++i] == 'n' ? '\n' : text[i] == 'r' ? '\r' : text[i] == 't' ? '\t' : text[i];
        }
        wide += c;
    }
    *cut = text.compare(i, 4, "\"...") == 0;
    return wide;
}

static std::string AnsiOf(const std::wstring& wide, bool cut)
{
    std::string ansi(wide.size() * 2, '\0');
    ansi.resize(
        WideCharToMultiByte(CP_ACP, 0, wide.data(), (int)wide.size(), &ansi[0], (int)ansi.size(), NULL, NULL));
    return cut ? ansi + "..." : ansi;
}

// A thread that reports an entry writes, one line each, its source
//   TTTT:fixme:advapi:RegisterEventSourceW (L"",L"source"): stub
// then its type, id and count of strings
//   TTTT:fixme:advapi:ReportEventW (handle,type,category,id,sid,count,...): stub
// and the strings: TTTT:err|warn|trace:eventlog:ReportEventW L"...".
std::vector<EventEntry> EventEntriesSince(size_t mark, const std::string& source)
{
    struct Thread {
        std::string source;
        EventEntry entry;
        unsigned count = 0;
    };
    std::map<std::string, Thread> threads;
    std::vector<EventEntry> entries;
    std::string log = ReadFileBytes(ServicesDebugLog());
    for (size_t start = mark, end; (end = log.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string line = log.substr(start, end - start);
        size_t colon = line.find(':');
        Thread& thread = threads[line.substr(0, colon)];
        std::string what = colon == std::string::npos ? "" : line.substr(colon + 1);
        unsigned type = 0;
        if (what.compare(0, 35, "fixme:advapi:RegisterEventSourceW (") == 0 && what.find(",L\"") != std::string::npos) {
            bool cut = false;
            thread.source = AnsiOf(WineDebugString(what, what.find(",L\"") + 1, &cut), cut);
        } else if (sscanf(what.c_str(), "fixme:advapi:ReportEventW (%*[^,],%x,%*[^,],%lx,%*[^,],%x", &type,
                          &thread.entry.id, &thread.count) == 3) {
            thread.entry.type = (WORD)type;
            thread.entry.strings.clear();
            thread.entry.wideStrings.clear();
        } else if (thread.count > 0 && what.find(":eventlog:ReportEventW L\"") != std::string::npos) {
            bool cut = false;
            std::wstring wide = WineDebugString(what, what.find("L\""), &cut);
            thread.entry.strings.push_back(AnsiOf(wide, cut));
            thread.entry.wideStrings.push_back(cut ? wide + L"..." : wide);
            thread.count--;
        } else {
            continue;
        }
        if (thread.count == 0 && thread.entry.id != 0 && thread.source == source) {
            entries.push_back(thread.entry);
            thread.entry.id = 0;
        }
    }
    return entries;
}

std::string BriefOf(const std::vector<EventEntry>& entries)
{
    std::string brief;
    for (const EventEntry& entry : entries)
        brief += (brief.empty() ? "" : ", ") + std::to_string(entry.id) +
                 (entry.type == EVENTLOG_ERROR_TYPE     ? " error"
                  : entry.type == EVENTLOG_WARNING_TYPE ? " warning"
                                                        : " information");
    return brief;
}

std::string DescribeEventSource(const std::string& source, const std::string& log)
{
    std::string description;
    for (const char* name : {"EventMessageFile", "TypesSupported", "kavo"}) {
        char data[MAX_PATH * 2] = {};
        DWORD type = 0, size = sizeof data - 1;
        if (RegGetValueA(HKEY_LOCAL_MACHINE, (kEventLogs + log + "\\" + source).c_str(), name,
                         RRF_RT_ANY | RRF_NOEXPAND, &type, data, &size))
            continue;
        description += (description.empty() ? "" : "; ") + std::string(name) + "=" +
                       (type == REG_DWORD ? std::to_string(*(DWORD*)data) : std::string(data));
    }
    return description.empty() ? "missing" : description;
}

void ExpectRestartOnFailureAt(Where where, const std::string& name, bool flag, size_t mark)
{
    SCOPED_TRACE(testing::Message() << where.file << ":" << where.line);
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
        printf("Wine's service manager keeps no failure actions (error %lu): only the reset period is checked\n",
               GetLastError());
        const char given[] = "SERVICE_CONFIG_FAILURE_ACTIONS not implemented: period 86400 msg (null) cmd (null)";
        EXPECT_NE(std::string::npos, ReadFileBytes(ServicesDebugLog()).find(given, mark));
    }
    if (service && flag) {
        if (QueryServiceConfig2A(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, buffer, sizeof buffer, &needed))
            EXPECT_TRUE(((const SERVICE_FAILURE_ACTIONS_FLAG*)buffer)->fFailureActionsOnNonCrashFailures);
        else
            printf("Wine's service manager keeps no failure flag (error %lu): not checked\n", GetLastError());
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

void EndProcessById(DWORD processId)
{
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId);
    if (!process)
        return;
    if (WaitForSingleObject(process, 0) == WAIT_TIMEOUT) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, kExitDeadline);
    }
    CloseHandle(process);
}

bool StartUntilStoppedAt(Where where, const std::string& name, SERVICE_STATUS_PROCESS* reported)
{
    StateReportWatch watch(name);
    DWORD error = 0;
    if (RequestService(name, true, &error))
        return watch.WaitAt(where, reported);
    // Wine's service manager looks at a started service's state only when it
    // gets round to it; a service that has reported STOPPED by then makes the
    // start request come back with 1053, although it started and reported its
    // end (Windows answers such a start with success). Its report tells; the
    // caller judges its exit codes.
    if (error == ERROR_SERVICE_REQUEST_TIMEOUT) {
        if (watch.WaitAt(where, reported))
            return true;
        ADD_FAILURE_AT(where.file, where.line) << "the start of " << name << " came back with 1053";
        return false;
    }
    ADD_FAILURE_AT(where.file, where.line) << "cannot start " << name << ": error " << error << "\n"
                                           << DescribeService(name);
    return false;
}

static bool DriveAnswers(const std::string& root)
{
    DWORD attributes = GetFileAttributesA(root.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MapDriveAt(Where where, MappedDrive& drive, char letter, const std::string& folder)
{
    // The Unix name of C:\ is the prefix's dosdevices/c:/.
    std::string dosDevices = UnixPathOf("C:\\");
    std::string target = UnixPathOf(folder);
    size_t cut = dosDevices.rfind("/c:");
    if (cut == std::string::npos || target.empty()) {
        ADD_FAILURE_AT(where.file, where.line) << "no dosdevices folder for drive " << letter << ": "
                                               << dosDevices;
        return false;
    }
    drive.link = dosDevices.substr(0, cut) + "/" + (char)tolower(letter) + ":";
    drive.root = std::string(1, letter) + ":\\";
    if (!StartUnixCommand("/bin/ln -sfn \"" + target + "\" \"" + drive.link + "\"") ||
        !PollUntil([&] { return DriveAnswers(drive.root); }, kWindowDeadline)) {
        ADD_FAILURE_AT(where.file, where.line) << "drive " << drive.root << " did not come up for " << folder;
        return false;
    }
    return true;
}

MappedDrive::~MappedDrive()
{
    if (link.empty())
        return;
    if (!StartUnixCommand("/bin/rm -f \"" + link + "\"") ||
        !PollUntil([&] { return !DriveAnswers(root); }, kWindowDeadline))
        ADD_FAILURE() << "drive " << root << " is still mapped";
}
