#include "host/service.h"

#include "entry/context.h"
#include "host/launch.h"
#include "host/portable_launch.h"
#include "host/write_access.h"

// How long the service control manager should allow between two reports of a
// pending state before it thinks the service hung.
static const DWORD kWaitHintMs = 3000;

// The exit code of a service that will not start a program users other than
// administrators may change. The system's text for it, "The access control
// list (ACL) structure is invalid.", sends an administrator to the ACLs, and
// no launch failure or ending program gives it (a program's own exit code
// comes as a service-specific error).
static const DWORD kExitWritableByOthers = ERROR_INVALID_ACL;

static void ReportServiceStatus(DWORD state, DWORD exitCode, DWORD serviceSpecificExitCode, DWORD checkPoint)
{
    SERVICE_STATUS status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = serviceSpecificExitCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = kWaitHintMs;
    SetServiceStatus(ProgramContext.StatusHandle, &status);
}

int InstanceAlreadyRunning()
{
    ProgramContext.InstanceMutex = NULL;
    char name[TEXT_SIZE];
    // A name too long for the mutex runs without the guard, as when the mutex
    // cannot be made.
    if (!FormMutexName(name, sizeof name, ProgramContext.Config.serviceName))
        return 0;
    HANDLE existing = OpenMutexA(MUTEX_ALL_ACCESS, FALSE, name);
    if (existing) {
        ProgramContext.InstanceMutex = existing;
        return 1;
    }
    // Open to every account, so that a process under another account still
    // finds it.
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = NULL;
    attributes.bInheritHandle = TRUE;
    if (InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION) &&
        SetSecurityDescriptorDacl(&descriptor, TRUE, NULL, FALSE))
        attributes.lpSecurityDescriptor = &descriptor;
    SetLastError(NO_ERROR);
    ProgramContext.InstanceMutex = CreateMutexA(&attributes, FALSE, name);
    // Made by another process between the two calls: that one serves the service.
    return ProgramContext.InstanceMutex && GetLastError() == ERROR_ALREADY_EXISTS;
}

// Takes the stop for the calling thread; 0 when the other thread has it already.
static int TakeStop()
{
    return InterlockedExchange(&ProgramContext.Stopping, 1) == 0;
}

static int StopTaken()
{
    return InterlockedCompareExchange(&ProgramContext.Stopping, 0, 0) != 0;
}

static void WINAPI ServiceControlHandler(DWORD control)
{
    // Shutdown is accepted but, like every control other than stop, does nothing.
    if (control != SERVICE_CONTROL_STOP)
        return;
    EnterCriticalSection(&ProgramContext.StatusLock);
    int taken = TakeStop();
    if (taken)
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, 1);
    LeaveCriticalSection(&ProgramContext.StatusLock);
    if (!taken)
        return;
    // Returns once every window of the child has handled its message, which
    // may wait for an answer to the child's own question.
    CloseChildWindows(ProgramContext.Config.exitMethod);
    ReportServiceStatus(SERVICE_STOPPED, NO_ERROR, 0, 0);
}

// The final report of the main function, unless the handler has made its own.
static void ReportStoppedUnlessStopping(DWORD exitCode, DWORD serviceSpecificExitCode)
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    if (TakeStop())
        ReportServiceStatus(SERVICE_STOPPED, exitCode, serviceSpecificExitCode, 0);
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

static void WINAPI ServiceMainProc(DWORD, LPSTR*)
{
    ProgramContext.StatusHandle =
        RegisterServiceCtrlHandlerA(ProgramContext.Config.serviceName, ServiceControlHandler);
    // Without a status handle nothing can reach the service control manager.
    if (!ProgramContext.StatusHandle)
        return;
    ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, 1);
    // What others may change is not run as the local system account.
    char writablePath[TEXT_SIZE];
    int refused = FindPathWritableByOthers(writablePath, sizeof writablePath);

    // The launch is made under the lock: a stop either comes before it, and
    // nothing is launched, or after ChildProcessId is set, and reaches the child.
    EnterCriticalSection(&ProgramContext.StatusLock);
    PROCESS_INFORMATION child = {};
    int launched = 0;
    DWORD launchError = NO_ERROR;
    if (!StopTaken() && !refused) {
        ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0, 0);
        launched = LaunchChild(ProgramContext.Config.programPath, ProgramContext.Config.options, &child);
        if (launched) {
            InterlockedExchange(&ProgramContext.ChildProcessId, (LONG)child.dwProcessId);
            ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0, 0);
        } else {
            // The failure must not read as a clean stop, whatever the system said.
            launchError = GetLastError();
            if (launchError == NO_ERROR)
                launchError = ERROR_SERVICE_NOT_ACTIVE;
        }
    }
    LeaveCriticalSection(&ProgramContext.StatusLock);

    DWORD exitCode = NO_ERROR;
    DWORD serviceSpecificExitCode = 0;
    if (launched) {
        // A blocking wait: the end is seen at once, and an idle service sleeps.
        WaitForChild(child.hProcess, INFINITE);
        DWORD childExitCode = 0;
        // A program that ends with an error code did not stop cleanly; say so.
        if (GetExitCodeProcess(child.hProcess, &childExitCode) && childExitCode != 0) {
            exitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            serviceSpecificExitCode = childExitCode;
        }
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    } else {
        exitCode = refused ? kExitWritableByOthers : launchError;
    }
    if (ProgramContext.InstanceMutex) {
        CloseHandle(ProgramContext.InstanceMutex);
        ProgramContext.InstanceMutex = NULL;
    }
    ReportStoppedUnlessStopping(exitCode, serviceSpecificExitCode);
}

void RunServiceDispatcher()
{
    // Never deleted: the main function may still use it while the process ends.
    InitializeCriticalSection(&ProgramContext.StatusLock);
    SERVICE_TABLE_ENTRYA table[2];
    table[0].lpServiceName = ProgramContext.Config.serviceName;
    table[0].lpServiceProc = ServiceMainProc;
    table[1].lpServiceName = NULL;
    table[1].lpServiceProc = NULL;
    StartServiceCtrlDispatcherA(table);
}
