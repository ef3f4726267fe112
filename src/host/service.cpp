#include "host/service.h"

#include <aclapi.h>

#include "entry/context.h"
#include "host/event_log.h"
#include "host/launch.h"
#include "host/portable_launch.h"
#include "host/write_access.h"
#include "settings/portable_stop_timeout.h"
#include "text/text.h"

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
    // A stop request's first report may be followed by the next only once the
    // close messages have been handled, which may take the whole bound.
    status.dwWaitHint = state == SERVICE_STOP_PENDING && checkPoint == 1
                            ? (DWORD)ProgramContext.Config.stopTimeout * 1000 + kWaitHintMs
                            : kWaitHintMs;
    SetServiceStatus(ProgramContext.StatusHandle, &status);
}

// Room for an account id of the largest size there is, aligned as ids must be.
typedef DWORD AccountIdBuffer[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];

// The account this process runs as; 0 when it cannot be read.
static int ReadOwnAccount(AccountIdBuffer account)
{
    HANDLE token = NULL;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token))
        return 0;
    union {
        TOKEN_USER user;
        BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
    } buffer;
    DWORD needed = 0;
    int read = GetTokenInformation(token, TokenUser, &buffer, sizeof buffer, &needed) &&
               CopySid(sizeof(AccountIdBuffer), account, buffer.user.User.Sid);
    CloseHandle(token);
    return read;
}

// S-1-5-first or S-1-5-first-second.
static int FormNtAccountId(AccountIdBuffer account, BYTE count, DWORD first, DWORD second)
{
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    if (!InitializeSid(account, &ntAuthority, count))
        return 0;
    *GetSidSubAuthority(account, 0) = first;
    if (count > 1)
        *GetSidSubAuthority(account, 1) = second;
    return 1;
}

// The security of the service's mutex: owned by the account the service runs
// as, and open to that account, SYSTEM and Administrators alone, so that no
// other user can hold it open to keep the service from starting.
struct GuardSecurity {
    SECURITY_DESCRIPTOR Descriptor;
    AccountIdBuffer System;
    AccountIdBuffer Administrators;
    DWORD Dacl[(sizeof(ACL) + 3 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)) / sizeof(DWORD)];
};

static int BuildGuardSecurity(GuardSecurity* security, AccountIdBuffer ownAccount)
{
    PACL dacl = (PACL)security->Dacl;
    return FormNtAccountId(security->System, 1, SECURITY_LOCAL_SYSTEM_RID, 0) &&
           FormNtAccountId(security->Administrators, 2, SECURITY_BUILTIN_DOMAIN_RID, DOMAIN_ALIAS_RID_ADMINS) &&
           InitializeAcl(dacl, sizeof security->Dacl, ACL_REVISION) &&
           AddAccessAllowedAce(dacl, ACL_REVISION, MUTEX_ALL_ACCESS, security->System) &&
           AddAccessAllowedAce(dacl, ACL_REVISION, MUTEX_ALL_ACCESS, security->Administrators) &&
           (EqualSid(ownAccount, security->System) ||
            AddAccessAllowedAce(dacl, ACL_REVISION, MUTEX_ALL_ACCESS, ownAccount)) &&
           InitializeSecurityDescriptor(&security->Descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&security->Descriptor, ownAccount, FALSE) &&
           SetSecurityDescriptorDacl(&security->Descriptor, TRUE, dacl, FALSE);
}

// Whether an existing mutex of the name was made by a kavo that serves it
// (see IsInstanceGuardOwner); ownAccount is NULL when it could not be read.
static int IsGuardOfAnotherKavo(HANDLE mutex, PSID ownAccount)
{
    PSID ownerSid = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    int kavo = 0;
    if (GetSecurityInfo(mutex, SE_KERNEL_OBJECT, OWNER_SECURITY_INFORMATION, &ownerSid, NULL, NULL, NULL,
                        &descriptor) == ERROR_SUCCESS) {
        AccountId owner, own;
        int hasOwner = ownerSid && ReadAccountId(ownerSid, SECURITY_MAX_SID_SIZE, &owner);
        int hasOwn = ownAccount && ReadAccountId(ownAccount, SECURITY_MAX_SID_SIZE, &own);
        kavo = IsInstanceGuardOwner(hasOwner ? &owner : NULL, hasOwn ? &own : NULL);
    }
    if (descriptor)
        LocalFree(descriptor);
    return kavo;
}

// The name carries no Global\ prefix: a service runs in session 0, whose
// namespace is the global one, on every Windows. Anyone may make a mutex
// there, so one that exists already counts only when its owner shows that a
// kavo made it; a name someone else took leaves this service without the
// guard, as does a name too long for it or a mutex that cannot be made.
int InstanceAlreadyRunning()
{
    ProgramContext.InstanceMutex = NULL;
    char name[TEXT_SIZE];
    if (!FormMutexName(name, sizeof name, ProgramContext.Config.serviceName))
        return 0;
    AccountIdBuffer ownAccount;
    GuardSecurity security;
    int knowsOwnAccount = ReadOwnAccount(ownAccount);
    SECURITY_ATTRIBUTES attributes;
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor =
        knowsOwnAccount && BuildGuardSecurity(&security, ownAccount) ? &security.Descriptor : NULL;
    attributes.bInheritHandle = TRUE;
    SetLastError(NO_ERROR);
    HANDLE mutex = CreateMutexA(&attributes, FALSE, name);
    if (mutex && GetLastError() != ERROR_ALREADY_EXISTS) {
        ProgramContext.InstanceMutex = mutex;
        return 0;
    }
    // Made before: by another kavo, or by someone who took the name. A mutex
    // this process may not open, or another kind of object, is no kavo's.
    if (mutex && IsGuardOfAnotherKavo(mutex, knowsOwnAccount ? ownAccount : NULL)) {
        ProgramContext.InstanceMutex = mutex;
        return 1;
    }
    if (mutex)
        CloseHandle(mutex);
    return 0;
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

// How often a stopping service says it is still at work: well within kWaitHintMs.
static const DWORD kStopReportIntervalMs = 1000;

// The service's own exit code for a requested stop whose program had to be
// ended by force, shown beside a Win32 exit code of 0 (a requested stop is no
// failure, so no recovery action follows): its system text says that a request
// was not answered in time.
static const DWORD kForcedEndServiceExitCode = ERROR_SERVICE_REQUEST_TIMEOUT;

// Stop and shutdown alike: the handler records the request, says the service
// is stopping, and returns at once. The main function does the stop.
static void WINAPI ServiceControlHandler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN)
        return;
    EnterCriticalSection(&ProgramContext.StatusLock);
    if (TakeStop()) {
        ProgramContext.StopRequestedAt = GetTickCount();
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, 1);
        SetEvent(ProgramContext.StopEvent);
    }
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

// Reports under the lock, so that RUNNING never follows the handler's STOP_PENDING.
static void ReportRunningUnlessStopping()
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    if (!StopTaken())
        ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0, 0);
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

// Lets the suspended program run and reports RUNNING again, unless a stop came
// first: the program then has run nothing, and is ended unseen. 1 when it runs;
// 0 with *error set when it cannot be resumed, 0 and NO_ERROR after a stop.
static int ResumeUnlessStopping(HANDLE thread, DWORD* error)
{
    *error = NO_ERROR;
    EnterCriticalSection(&ProgramContext.StatusLock);
    int resumed = 0;
    if (!StopTaken()) {
        resumed = ResumeThread(thread) != (DWORD)-1;
        if (resumed)
            ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0, 0);
        else
            *error = GetLastError();
    }
    LeaveCriticalSection(&ProgramContext.StatusLock);
    return resumed;
}

// The stop: the program's windows are asked to close, then the program is
// given what is left of the bound, counted from the stop request, while
// STOP_PENDING is reported with rising check points; when the bound runs out
// it is ended. Returns once it has ended: 1 by itself, 0 by force.
static int StopProgram(HANDLE process, HANDLE job)
{
    const DWORD start = ProgramContext.StopRequestedAt;
    const DWORD bound = (DWORD)ProgramContext.Config.stopTimeout * 1000;
    CloseChildWindowsWithin(ProgramContext.Config.exitMethod, start, bound);
    DWORD checkPoint = 1;   // the handler's report
    int forced = 0;
    for (;;) {
        DWORD left = MillisecondsLeft(start, GetTickCount(), bound);
        DWORD slice = forced || left > kStopReportIntervalMs ? kStopReportIntervalMs : left;
        if (WaitForChild(process, slice))
            return !forced;
        if (!forced && MillisecondsLeft(start, GetTickCount(), bound) == 0) {
            EndChildByForce(process, job);
            forced = 1;
        }
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, ++checkPoint);
    }
}

// Waits for the program's end or a stop request, whichever comes first, and
// gives the exit codes of the final report. A program that ends by itself ends
// the service, with its exit code as the service's own error when not 0; a
// requested stop is never a failure, even when the program had to be ended.
static void RunUntilEndOrStop(HANDLE process, HANDLE job, DWORD* exitCode, DWORD* serviceSpecificExitCode)
{
    HANDLE events[2] = {process, ProgramContext.StopEvent};
    DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    EnterCriticalSection(&ProgramContext.StatusLock);
    int endedByItself = woke != WAIT_OBJECT_0 + 1 && TakeStop();
    LeaveCriticalSection(&ProgramContext.StatusLock);
    if (endedByItself) {
        LogProgramEnded(process);
        DWORD childExitCode = 0;
        if (GetExitCodeProcess(process, &childExitCode) && childExitCode != 0) {
            *exitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            *serviceSpecificExitCode = childExitCode;
        }
        return;
    }
    if (StopProgram(process, job)) {
        LogProgramClosed();
    } else {
        LogProgramEndedByForce();
        *serviceSpecificExitCode = kForcedEndServiceExitCode;
    }
}

// The one final report; a stop request after it changes nothing.
static void ReportStopped(DWORD exitCode, DWORD serviceSpecificExitCode)
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    InterlockedExchange(&ProgramContext.Stopping, 1);
    ReportServiceStatus(SERVICE_STOPPED, exitCode, serviceSpecificExitCode, 0);
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

static void WINAPI ServiceMainProc(DWORD argumentCount, LPSTR* arguments)
{
    ProgramContext.StatusHandle =
        RegisterServiceCtrlHandlerA(ProgramContext.Config.serviceName, ServiceControlHandler);
    // Without a status handle nothing can reach the service control manager.
    if (!ProgramContext.StatusHandle)
        return;
    ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, 1);
    // The entries go under the name the service is registered under, which
    // kavo.ini may not hold.
    InstallEventSource(argumentCount > 0 ? arguments[0] : ProgramContext.Config.serviceName);
    // What others may change is not run as the local system account. The
    // program file is held from before its check until the process is made.
    HeldProgram program;
    HoldProgram(&program, ProgramContext.Config.programPath, ProgramContext.Config.options);
    char writablePath[TEXT_SIZE];
    char writer[TEXT_SIZE];
    int refused = FindPathWritableByOthers(program.file, writablePath, sizeof writablePath, writer, sizeof writer);
    if (refused)
        LogStartRefused(writablePath, writer);

    // The program is started suspended and put in a job before it runs, so
    // that every process it starts can be ended with it. A stop that comes
    // before it runs launches nothing; nor does one that was refused, which
    // never reports RUNNING.
    if (!refused)
        ReportRunningUnlessStopping();
    PROCESS_INFORMATION child = {};
    int launched = 0;
    DWORD launchError = NO_ERROR;
    if (!StopTaken() && !refused) {
        launched = LaunchSuspendedChild(&program, &child);
        if (!launched) {
            // The failure must not read as a clean stop, whatever the system said.
            launchError = GetLastError();
            if (launchError == NO_ERROR)
                launchError = ERROR_SERVICE_NOT_ACTIVE;
            LogLaunchFailed(launchError);
        }
    }
    ReleaseProgram(&program);

    DWORD exitCode = NO_ERROR;
    DWORD serviceSpecificExitCode = 0;
    if (launched) {
        HANDLE job = PutInNewJob(child.hProcess);
        InterlockedExchange(&ProgramContext.ChildProcessId, (LONG)child.dwProcessId);
        if (ResumeUnlessStopping(child.hThread, &exitCode)) {
            LogProgramStarted(child.dwProcessId);
            RunUntilEndOrStop(child.hProcess, job, &exitCode, &serviceSpecificExitCode);
        } else {
            if (exitCode != NO_ERROR)
                LogLaunchFailed(exitCode);
            EndChildByForce(child.hProcess, job);
            WaitForChild(child.hProcess, INFINITE);
        }
        if (job)
            CloseHandle(job);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    } else {
        exitCode = refused ? kExitWritableByOthers : launchError;
    }
    if (ProgramContext.InstanceMutex) {
        CloseHandle(ProgramContext.InstanceMutex);
        ProgramContext.InstanceMutex = NULL;
    }
    ReportStopped(exitCode, serviceSpecificExitCode);
}

void RunServiceDispatcher()
{
    // Neither is ever closed: the main function may still use them while the process ends.
    InitializeCriticalSection(&ProgramContext.StatusLock);
    ProgramContext.StopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    // Without it no stop could reach the program: the service does not start.
    if (!ProgramContext.StopEvent)
        return;
    SERVICE_TABLE_ENTRYA table[2];
    table[0].lpServiceName = ProgramContext.Config.serviceName;
    table[0].lpServiceProc = ServiceMainProc;
    table[1].lpServiceName = NULL;
    table[1].lpServiceProc = NULL;
    StartServiceCtrlDispatcherA(table);
}
