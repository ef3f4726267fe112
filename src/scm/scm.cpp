#include "scm/scm.h"

#include <windows.h>

#include "entry/context.h"
#include "entry/load_proc.h"
#include "host/event_log.h"
#include "resources/messages.h"
#include "text/sjis_path.h"
#include "text/text.h"

// A stopping service is given this long to go before the next step; the
// manager is not polled.
static const DWORD kStopPauseMs = 500;

// QueryServiceConfigA never needs more than 8 KB for a service's configuration.
static const DWORD kServiceConfigSize = 8192;

// The recovery settings, as install.cmd makes them: a service that fails is
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
        if (status.dwCurrentState != SERVICE_STOPPED)
            ProgramContext.WasRunning = 1;
        // Asked even when already stopped: the pause is the same either way.
        ControlService(service, SERVICE_CONTROL_STOP, &status);
        Sleep(kStopPauseMs);
    } else {
        MessageBoxA(GetDesktopWindow(), kTextCannotStopService, kCaptionKavo, MB_OK);
    }
    if (service)
        CloseServiceHandle(service);
    if (manager)
        CloseServiceHandle(manager);
}

int RegisterAsService()
{
    char binaryPath[TEXT_SIZE + 2];
    if (!FormServiceBinaryPath(binaryPath, sizeof binaryPath))
        return 0;
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return 0;
    const char* name = ProgramContext.Config.serviceName;
    SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, binaryPath, NULL, NULL, NULL,
                                       NULL, NULL);
    int registered = service != NULL;
    if (service)
        CloseServiceHandle(service);
    CloseServiceHandle(manager);
    if (registered)
        InstallEventSource(name);
    return registered;
}

int SetRestartOnFailure()
{
    // Looked up: Windows NT 4 has no recovery settings, nor this function.
    BOOL(WINAPI * changeConfig)(SC_HANDLE, DWORD, LPVOID);
    LoadProc(&changeConfig, GetModuleHandleA("advapi32.dll"), "ChangeServiceConfig2A");
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

int RemoveService()
{
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return 0;
    int removed = 0;
    SC_HANDLE service = OpenOwnService(manager);
    if (service) {
        SERVICE_STATUS status;
        if (QueryServiceStatus(service, &status) && status.dwCurrentState != SERVICE_STOPPED &&
            ControlService(service, SERVICE_CONTROL_STOP, &status))
            Sleep(kStopPauseMs);
        // Asked even when the stop failed: the manager then removes it once it stops.
        removed = DeleteService(service) != 0;
        CloseServiceHandle(service);
    }
    CloseServiceHandle(manager);
    if (removed)
        RemoveEventSource(ProgramContext.Config.serviceName);
    return removed;
}
