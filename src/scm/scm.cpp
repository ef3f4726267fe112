#include "scm/scm.h"

#include <windows.h>

#include "entry/context.h"
#include "entry/display.h"
#include "entry/load_proc.h"
#include "host/event_log.h"
#include "host/portable_service_control.h"
#include "resources/messages.h"
#include "scm/portable_service_wait.h"
#include "settings/portable_stop_timeout.h"
#include "text/sjis_path.h"
#include "text/text.h"

// QueryServiceConfigA never needs more than 8 KB for a service's configuration.
static const DWORD kServiceConfigSize = 8192;

// The recovery settings, as the dialog and the install command make them: a service that fails is
// restarted after 5 s, then 10 s, then a minute each time; the count of
// failures starts again after a day without one.
static const DWORD kRestartDelaysMs[] = {5000, 10000, 60000};
static const DWORD kFailureCountResetSeconds = 86400;

static SC_HANDLE OpenManager()
{
    return OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
}

// Whose the service behind the handle (opened with SERVICE_QUERY_CONFIG) is.
// For another file's service its registered path goes to otherPath.
static ServiceOwner ReadServiceOwner(SC_HANDLE service, char* otherPath, size_t size)
{
    union {
        QUERY_SERVICE_CONFIGA config;
        BYTE bytes[kServiceConfigSize];
    } buffer;
    DWORD needed = 0;
    if (!QueryServiceConfigA(service, &buffer.config, sizeof buffer, &needed))
        return kUnreadableService;
    const char* registered = buffer.config.lpBinaryPathName ? buffer.config.lpBinaryPathName : "";
    if (IsPathOfProgram(registered, ProgramContext.ModulePath))
        return kOwnService;
    if (size > 0)
        CopyText(otherPath, size, registered);
    return kOtherService;
}

// The configured service with every right, when it is this file's own; NULL
// when it is missing, another file's, or its registration cannot be read.
static SC_HANDLE OpenOwnService(SC_HANDLE manager)
{
    SC_HANDLE service = OpenServiceA(manager, ProgramContext.Config.serviceName, SERVICE_ALL_ACCESS);
    if (service && ReadServiceOwner(service, NULL, 0) != kOwnService) {
        CloseServiceHandle(service);
        service = NULL;
    }
    return service;
}

// The path of this program file as the service control manager must run it.
// A path with a space goes in quotes: unquoted, the manager would try
// "C:\Program.exe" and the like before the real file.
static int FormServiceBinaryPath(char* destination, size_t size)
{
    const char* path = ProgramContext.ModulePath;
    int hasSpace = 0;
    for (const char* p = path; *p; ++p)
        hasSpace |= *p == ' ';
    if (!hasSpace || path[0] == '"')
        return CopyText(destination, size, path);
    destination[0] = '\0';
    return AppendText(destination, size, "\"") && AppendText(destination, size, path) &&
           AppendText(destination, size, "\"");
}

// The service's status and, where the system says it (Windows 2000 and later:
// the function is looked up, as Windows NT 4 has none), its process; 0 when
// the status cannot be read.
static int ReadServiceStatus(SC_HANDLE service, SERVICE_STATUS_PROCESS* status)
{
    BOOL(WINAPI * queryStatusEx)(SC_HANDLE, SC_STATUS_TYPE, LPBYTE, DWORD, LPDWORD);
    LoadProc(&queryStatusEx, GetModuleHandleA("advapi32.dll"), "QueryServiceStatusEx");
    DWORD needed = 0;
    if (queryStatusEx && queryStatusEx(service, SC_STATUS_PROCESS_INFO, (LPBYTE)status, sizeof *status, &needed))
        return 1;
    SERVICE_STATUS plain;
    if (!QueryServiceStatus(service, &plain))
        return 0;
    ZeroMemory(status, sizeof *status);
    status->dwServiceType = plain.dwServiceType;
    status->dwCurrentState = plain.dwCurrentState;
    status->dwControlsAccepted = plain.dwControlsAccepted;
    status->dwWin32ExitCode = plain.dwWin32ExitCode;
    status->dwServiceSpecificExitCode = plain.dwServiceSpecificExitCode;
    status->dwCheckPoint = plain.dwCheckPoint;
    status->dwWaitHint = plain.dwWaitHint;
    return 1;
}

// Waits until the service is STOPPED, for as long as it shows progress within
// the wait hints it gives, and never longer than a stop of kavo.ini's bound may
// take; then until its process has gone (a margin at most): until then a
// deleted service keeps its name. With askToStop the service is asked to stop
// once it takes the request (a starting service takes none); without, only a
// stop under way is waited for. The state last seen, 0 when it cannot be read.
static DWORD WaitUntilStopped(SC_HANDLE service, int askToStop)
{
    ServiceWait wait;
    BeginServiceWait(&wait, GetTickCount(), StopWaitLimitMs(ProgramContext.Config.stopTimeout));
    SERVICE_STATUS_PROCESS status;
    DWORD processId = 0;
    int asked = 0;
    for (;;) {
        if (!ReadServiceStatus(service, &status))
            return 0;
        DWORD state = status.dwCurrentState;
        if (state == SERVICE_STOPPED)
            break;
        if (status.dwProcessId)
            processId = status.dwProcessId;
        if (state != SERVICE_START_PENDING && state != SERVICE_STOP_PENDING && !asked) {
            if (!askToStop)
                return state;
            SERVICE_STATUS answer;
            DWORD error = ControlService(service, SERVICE_CONTROL_STOP, &answer) ? NO_ERROR : GetLastError();
            // Under Wine a stop that is carried out may come back as a broken
            // pipe, and a service that stopped or began to stop since its
            // state was read refuses the request: what it reports next tells.
            if (error != NO_ERROR && error != ERROR_BROKEN_PIPE && error != ERROR_SERVICE_NOT_ACTIVE &&
                error != ERROR_SERVICE_CANNOT_ACCEPT_CTRL)
                return state;
            asked = 1;
        }
        if (!ServiceWaitGoesOn(&wait, state, status.dwCheckPoint, status.dwWaitHint, GetTickCount()))
            return state;
        Sleep(ServiceWaitPollMs(&wait, GetTickCount()));
    }
    HANDLE process = processId ? OpenProcess(SYNCHRONIZE, FALSE, processId) : NULL;
    if (process) {
        WaitForSingleObject(process, STOP_WAIT_MARGIN_MS);
        CloseHandle(process);
    }
    return SERVICE_STOPPED;
}

ServiceOwner FindServiceOwner(const char* name, char* otherPath, size_t size)
{
    if (size > 0)
        otherPath[0] = '\0';
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return kNoService;
    ServiceOwner owner = kNoService;
    SC_HANDLE service = OpenServiceA(manager, name, SERVICE_QUERY_CONFIG);
    if (service) {
        owner = ReadServiceOwner(service, otherPath, size);
        CloseServiceHandle(service);
    } else if (GetLastError() == ERROR_ACCESS_DENIED) {
        // Refused, not missing: the service is there, but whose it is cannot be known.
        owner = kUnreadableService;
    }
    CloseServiceHandle(manager);
    return owner;
}

void ProbeRegisteredService()
{
    ProgramContext.NameOwner = FindServiceOwner(ProgramContext.Config.serviceName, ProgramContext.NameOwnerPath,
                                                sizeof ProgramContext.NameOwnerPath);
    if (ProgramContext.NameOwner != kOwnService)
        return;
    ProgramContext.IsRegistered = 1;
    SC_HANDLE manager = OpenManager();
    SC_HANDLE service = manager ? OpenOwnService(manager) : NULL;
    SERVICE_STATUS status;
    if (service && QueryServiceStatus(service, &status)) {
        // Stopped for the time of the configuration: the dialog opens once it
        // has, or has not in the time its stop may take.
        if (status.dwCurrentState != SERVICE_STOPPED) {
            ProgramContext.WasRunning = 1;
            if (WaitUntilStopped(service, 1) != SERVICE_STOPPED)
                ShowMessage(GetDesktopWindow(), kTextCannotStopService, kCaptionKavo, MB_OK);
        }
    } else {
        ShowMessage(GetDesktopWindow(), kTextCannotStopService, kCaptionKavo, MB_OK);
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

typedef BOOL(WINAPI* ChangeServiceConfig2Function)(SC_HANDLE, DWORD, LPVOID);

// ChangeServiceConfig2A, looked up: Windows NT 4 has no such function.
static ChangeServiceConfig2Function LoadChangeServiceConfig2()
{
    ChangeServiceConfig2Function changeConfig;
    LoadProc(&changeConfig, GetModuleHandleA("advapi32.dll"), "ChangeServiceConfig2A");
    return changeConfig;
}

// The preshutdown allowance for kavo.ini's bound, on the service opened with
// SERVICE_CHANGE_CONFIG. Windows before Vista has no preshutdown: nothing is
// set there.
static int ApplyPreshutdownTimeout(SC_HANDLE service)
{
    ChangeServiceConfig2Function changeConfig = LoadChangeServiceConfig2();
    if (!changeConfig || ProgramContext.WindowsVersion < KAVO_WINDOWS_VERSION(6, 0))
        return 0;
    SERVICE_PRESHUTDOWN_INFO info;
    info.dwPreshutdownTimeout = PreshutdownTimeoutMs(ProgramContext.Config.stopTimeout);
    return changeConfig(service, SERVICE_CONFIG_PRESHUTDOWN_INFO, &info) != 0;
}

int SetPreshutdownTimeout(const char* serviceName)
{
    SC_HANDLE manager = OpenSCManagerA(NULL, NULL, SC_MANAGER_CONNECT);
    if (!manager)
        return 0;
    SC_HANDLE service = OpenServiceA(manager, serviceName, SERVICE_CHANGE_CONFIG);
    int set = service && ApplyPreshutdownTimeout(service);
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    return set;
}

int RegisterAsService(DWORD startType)
{
    char binaryPath[TEXT_SIZE + 2];
    if (!FormServiceBinaryPath(binaryPath, sizeof binaryPath))
        return 0;
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return 0;
    const char* name = ProgramContext.Config.serviceName;
    SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       startType, SERVICE_ERROR_NORMAL, binaryPath, NULL, NULL, NULL,
                                       NULL, NULL);
    int registered = service != NULL;
    if (service) {
        // Not a condition of the registration: the service sets it again at each start.
        ApplyPreshutdownTimeout(service);
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    if (registered)
        InstallEventSource(name);
    return registered;
}

int SetRestartOnFailure()
{
    // Windows NT 4 has no recovery settings, nor this function.
    ChangeServiceConfig2Function changeConfig = LoadChangeServiceConfig2();
    SC_HANDLE manager = changeConfig ? OpenManager() : NULL;
    if (!manager)
        return 0;
    int set = 0;
    SC_HANDLE service = OpenOwnService(manager);
    if (service) {
        SC_ACTION actions[sizeof kRestartDelaysMs / sizeof kRestartDelaysMs[0]];
        for (size_t i = 0; i < sizeof actions / sizeof actions[0]; ++i) {
            actions[i].Type = SC_ACTION_RESTART;
            actions[i].Delay = kRestartDelaysMs[i];
        }
        SERVICE_FAILURE_ACTIONSA failureActions = {kFailureCountResetSeconds, NULL, NULL,
                                                   sizeof actions / sizeof actions[0], actions};
        set = changeConfig(service, SERVICE_CONFIG_FAILURE_ACTIONS, &failureActions) != 0;
        // The failure flag makes a stop with an error (a program that ended
        // with a code, or could not start) a failure, not only a crash of
        // kavo. Windows before Vista has no such setting and answers that the
        // level is invalid (Wine 8: the parameter): the restarts stand without it.
        SERVICE_FAILURE_ACTIONS_FLAG flag = {TRUE};
        if (set && !changeConfig(service, SERVICE_CONFIG_FAILURE_ACTIONS_FLAG, &flag)) {
            DWORD error = GetLastError();
            set = error == ERROR_INVALID_LEVEL || error == ERROR_INVALID_PARAMETER;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return set;
}

int StartRegisteredService()
{
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return 0;
    int started = 0;
    SC_HANDLE service = OpenOwnService(manager);
    if (service) {
        started = StartServiceA(service, 0, NULL) != 0;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return started;
}

DWORD StartServiceOnceStopped()
{
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return GetLastError();
    DWORD error = NO_ERROR;
    SC_HANDLE service = OpenOwnService(manager);
    if (service) {
        DWORD state = WaitUntilStopped(service, 0);
        if (state == 0) {
            error = GetLastError();
        } else if (state == SERVICE_STOP_PENDING) {
            error = ERROR_SERVICE_REQUEST_TIMEOUT;
        } else if (state == SERVICE_STOPPED && !StartServiceA(service, 0, NULL)) {
            // Started meanwhile by someone else: it runs, as asked.
            error = GetLastError();
            if (error == ERROR_SERVICE_ALREADY_RUNNING)
                error = NO_ERROR;
        }
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    return error;
}

int RemoveService()
{
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return 0;
    int removed = 0;
    SC_HANDLE service = OpenOwnService(manager);
    if (service) {
        // Deleted once stopped, so that its name is free again at once. Asked
        // even when it did not stop: the manager then removes it once it stops.
        WaitUntilStopped(service, 1);
        removed = DeleteService(service) != 0;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    if (removed)
        RemoveEventSource(ProgramContext.Config.serviceName);
    return removed;
}
