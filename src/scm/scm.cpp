#include "scm/scm.h"

#include <windows.h>

#include "entry/context.h"
#include "resources/messages.h"
#include "text/text.h"

// A stopping service is given this long to go before the next step; the
// manager is not polled.
static const DWORD kStopPauseMs = 500;

static SC_HANDLE OpenManager()
{
    return OpenSCManagerA(NULL, NULL, SC_MANAGER_CREATE_SERVICE);
}

static SC_HANDLE OpenConfiguredService(SC_HANDLE manager)
{
    return OpenServiceA(manager, ProgramContext.Config.serviceName, SERVICE_ALL_ACCESS);
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

void ProbeRegisteredService()
{
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return;
    SC_HANDLE service = OpenConfiguredService(manager);
    if (service) {
        ProgramContext.IsRegistered = 1;
        SERVICE_STATUS status;
        if (QueryServiceStatus(service, &status)) {
            if (status.dwCurrentState != SERVICE_STOPPED)
                ProgramContext.WasRunning = 1;
            // Asked even when already stopped: the pause is the same either way.
            ControlService(service, SERVICE_CONTROL_STOP, &status);
            Sleep(kStopPauseMs);
        } else {
            MessageBoxA(GetDesktopWindow(), kTextCannotStopService, kCaptionKavo, MB_OK);
        }
        CloseServiceHandle(service);
    }
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
    return registered;
}

int StartRegisteredService()
{
    SC_HANDLE manager = OpenManager();
    if (!manager)
        return 0;
    int started = 0;
    SC_HANDLE service = OpenConfiguredService(manager);
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
    SC_HANDLE service = OpenConfiguredService(manager);
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
    return removed;
}
