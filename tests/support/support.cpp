#include "support.h"

#include <gtest/gtest.h>
#include <shellapi.h>

#include <algorithm>

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

std::string MakeWorkDir(const std::string& name)
{
    std::string root = BuildDir() + "\\wine\\work";
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
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        char name[32];
        GetClassNameA(child, name, sizeof name);
        LONG style = GetWindowLongA(child, GWL_STYLE);
        if (lstrcmpiA(name, "Button") == 0 && (style & WS_VISIBLE))
            view.buttons.push_back(GetDlgCtrlID(child));
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

ServiceGuard::ServiceGuard(const std::string& serviceName) : name(serviceName)
{
    DeleteServiceNow(name);
}

ServiceGuard::~ServiceGuard()
{
    DeleteServiceNow(name);
}

bool WaitForServiceStateAt(Where where, const std::string& name, DWORD state, SERVICE_STATUS* last,
                           DWORD deadlineMs)
{
    SERVICE_STATUS status = {};
    bool reached = PollUntil([&] { return QueryServiceState(name, &status) && status.dwCurrentState == state; },
                             deadlineMs);
    if (!reached)
        ADD_FAILURE_AT(where.file, where.line) << "service " << name << " did not reach state " << state
                                               << " within " << deadlineMs << " ms; last state "
                                               << status.dwCurrentState;
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
