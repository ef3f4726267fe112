#include "host/service.h"

#include <aclapi.h>

#include "entry/code_page.h"
#include "entry/context.h"
#include "host/event_log.h"
#include "host/launch.h"
#include "host/portable_launch.h"
#include "host/program_checks.h"
#include "host/write_access.h"
#include "settings/portable_stop_timeout.h"
#include "text/text.h"

// How long the service control manager should allow between two reports of a
// pending state before it thinks the service hung.
static const DWORD kWaitHintMs = STOP_WAIT_MARGIN_MS;

// The exit code of a service that will not start a program users other than
// administrators may change. The system's text for it, "The access control
// list (ACL) structure is invalid.", sends an administrator to the ACLs, and
// no launch failure or ending program gives it (a program's own exit code
// comes as a service-specific error).
static const DWORD kExitWritableByOthers = ERROR_INVALID_ACL;

// The exit code of a service whose program path, or kavo's own, is no text of
// the system's ANSI code page (see IsValidAnsiText): bytes kavo.ini was saved
// with under another code page, or a character a conversion left as '?'. The
// system's text: "No mapping for the Unicode character exists in the target
// multi-byte code page."
static const DWORD kExitPathNotInCodePage = ERROR_NO_UNICODE_TRANSLATION;
// The exit code of a service that will not start a batch file: cmd.exe would
// run it, reading its path's & | < > ^ and % as commands. No launch of a
// program file gives it.
static const DWORD kExitScript = ERROR_NOT_SUPPORTED;
// The exit code of a service that will not start a program (or run as a
// kavo.exe) on a share or a removable drive, which anyDrive=1 in kavo.ini
// allows. The system's text: "This program is blocked by group policy. For
// more information, contact your system administrator."
static const DWORD kExitNotLocalDrive = ERROR_ACCESS_DISABLED_BY_POLICY;
// The exit code of a start whose process was not made from the file kavo
// checked and held. The system's text: "The volume for a file has been
// externally altered so that the opened file is no longer valid."
static const DWORD kExitImageNotCheckedFile = ERROR_FILE_INVALID;

// The service-specific exit codes of a requested stop, shown beside a Win32
// exit code of 0 (a requested stop is no failure, so no recovery action
// follows). The program had to be ended by force: the system's text of this
// code says that a request was not answered in time.
static const DWORD kForcedEndServiceExitCode = ERROR_SERVICE_REQUEST_TIMEOUT;
// The program could not be ended: its process was still there
// FORCED_END_WAIT_MS after the forced end. The system's text of this code:
// "The wait operation timed out."
static const DWORD kNotEndedServiceExitCode = WAIT_TIMEOUT;

static void ReportServiceStatus(DWORD state, DWORD exitCode, DWORD serviceSpecificExitCode, DWORD checkPoint,
                                DWORD waitHint)
{
    SERVICE_STATUS status;
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    // No control while starting, as Microsoft asks (its manager sends none to a
    // starting service anyway): a stop waits until the program runs or could
    // not be started, which takes moments.
    status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN;
    status.dwWin32ExitCode = exitCode;
    status.dwServiceSpecificExitCode = serviceSpecificExitCode;
    status.dwCheckPoint = checkPoint;
    status.dwWaitHint = waitHint;
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

// Whether the service control manager asked for the stop (the handler took it).
static int StopRequested()
{
    return WaitForSingleObject(ProgramContext.StopEvent, 0) == WAIT_OBJECT_0;
}

// How often a stopping service says it is still at work, and looks for windows
// the program has made since: well within kWaitHintMs.
static const DWORD kStopReportIntervalMs = 1000;

// Stop and shutdown alike: the handler records the request, says the service
// is stopping, and returns at once. The main function does the stop.
static void WINAPI ServiceControlHandler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP && control != SERVICE_CONTROL_SHUTDOWN)
        return;
    EnterCriticalSection(&ProgramContext.StatusLock);
    if (TakeStop()) {
        ProgramContext.StopRequestedAt = GetTickCount();
        // The close messages that follow may take the whole bound.
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, 1, StopWaitHintMs(ProgramContext.Config.stopTimeout));
        SetEvent(ProgramContext.StopEvent);
    }
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

// Reports under the lock, so that RUNNING never follows the handler's STOP_PENDING.
static void ReportRunningUnlessStopping()
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    if (!StopTaken())
        ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0, 0, kWaitHintMs);
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

// How the service ends. Each way has its own final report (ReportOutcome).
enum ServiceOutcome {
    kRefusedWritableByOthers,        // nothing started: others may change what would run
    kRefusedPathNotInCodePage,       // nothing started: a path the code page does not hold
    kRefusedScript,                  // nothing started: the program is a batch file
    kRefusedNotLocalDrive,           // nothing started: a share or a removable drive
    kRefusedImageNotCheckedFile,     // the process was not the file checked; ended before it ran
    kLaunchFailed,                   // the program could not be started
    kProgramEnded,                   // the program ended by itself
    kProgramUnwatchable,             // the wait for the program failed; it was ended
    kStoppedProgramClosed,           // a stop: the program closed when asked
    kStoppedProgramEndedByForce,     // a stop: the program was ended at the bound
    kStoppedProgramCouldNotBeEnded,  // a stop: the program was still there after the forced end
};

// The forced end, then a bounded wait for the process to go, reporting
// STOP_PENDING every second on from checkPoint. A wait that fails tells
// nothing of the program: it counts as not ended.
static ServiceOutcome EndProgramByForce(HANDLE process, HANDLE job, DWORD checkPoint)
{
    EndChildByForce(process, job);
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = MillisecondsLeft(start, GetTickCount(), FORCED_END_WAIT_MS);
        ChildWait wait = WaitForChild(process, left < kStopReportIntervalMs ? left : kStopReportIntervalMs);
        if (wait == kChildEnded)
            return kStoppedProgramEndedByForce;
        if (wait == kChildWaitFailed || left == 0)
            return kStoppedProgramCouldNotBeEnded;
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, ++checkPoint, kWaitHintMs);
    }
}

// The stop: the program's windows are asked to close, and about every second
// the windows it has made since, each window once; the program is given what
// is left of the bound, counted from the stop request, while STOP_PENDING is
// reported with rising check points, each report's wait hint covering a close
// message that may take the rest of the bound. At the bound it is ended.
static ServiceOutcome StopProgram(HANDLE process, HANDLE job)
{
    const DWORD start = ProgramContext.StopRequestedAt;
    const DWORD bound = (DWORD)ProgramContext.Config.stopTimeout * 1000;
    AskedWindows asked;
    asked.count = 0;
    DWORD checkPoint = 1;   // the handler's report
    for (;;) {
        CloseNewChildWindowsWithin(&asked, ProgramContext.Config.exitMethod, start, bound);
        DWORD left = MillisecondsLeft(start, GetTickCount(), bound);
        if (left == 0)
            break;
        ChildWait wait = WaitForChild(process, left < kStopReportIntervalMs ? left : kStopReportIntervalMs);
        if (wait == kChildEnded)
            return kStoppedProgramClosed;
        if (wait == kChildWaitFailed)
            break;
        left = MillisecondsLeft(start, GetTickCount(), bound);
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, ++checkPoint, left + kWaitHintMs);
    }
    return EndProgramByForce(process, job, checkPoint);
}

// Waits for the program's end or a stop request, whichever comes first. A
// program that ends just as a stop is requested counts as stopped.
static ServiceOutcome WatchProgram(HANDLE process, HANDLE job, DWORD* programExitCode, DWORD* error)
{
    HANDLE events[2] = {process, ProgramContext.StopEvent};
    DWORD woke = WaitForMultipleObjects(2, events, FALSE, INFINITE);
    if (woke == WAIT_FAILED) {
        // Nothing would watch it: it is ended, and the service fails.
        *error = GetLastError();
        EndChildByForce(process, job);
        WaitForChild(process, FORCED_END_WAIT_MS);
        return kProgramUnwatchable;
    }
    EnterCriticalSection(&ProgramContext.StatusLock);
    int endedByItself = woke == WAIT_OBJECT_0 && TakeStop();
    LeaveCriticalSection(&ProgramContext.StatusLock);
    if (!endedByItself)
        return StopProgram(process, job);
    if (!GetExitCodeProcess(process, programExitCode))
        *programExitCode = 0;
    return kProgramEnded;
}

// The entry of the way a launched program ended, or could not be started.
static void LogProgramOutcome(ServiceOutcome outcome, const PROCESS_INFORMATION* child, DWORD error)
{
    switch (outcome) {
    case kLaunchFailed:
        LogLaunchFailed(error);
        break;
    case kProgramEnded:
        LogProgramEnded(child->hProcess);
        break;
    case kStoppedProgramClosed:
        LogProgramClosed();
        break;
    case kStoppedProgramEndedByForce:
        LogProgramEndedByForce();
        break;
    case kStoppedProgramCouldNotBeEnded:
        LogProgramNotEnded(child->dwProcessId, FORCED_END_WAIT_MS);
        break;
    case kRefusedWritableByOthers:
    case kRefusedPathNotInCodePage:
    case kRefusedScript:
    case kRefusedNotLocalDrive:
    case kRefusedImageNotCheckedFile:
    case kProgramUnwatchable:
        break;
    }
}

// The launched program, still suspended: put in its job, resumed, reported
// RUNNING, and watched until it ends or is stopped.
static ServiceOutcome RunProgram(const PROCESS_INFORMATION* child, DWORD* programExitCode, DWORD* error)
{
    HANDLE job = PutInNewJob(child->hProcess);
    InterlockedExchange(&ProgramContext.ChildProcessId, (LONG)child->dwProcessId);
    ServiceOutcome outcome;
    if (ResumeThread(child->hThread) == (DWORD)-1) {
        *error = GetLastError();
        EndChildByForce(child->hProcess, job);
        WaitForChild(child->hProcess, FORCED_END_WAIT_MS);
        outcome = kLaunchFailed;
    } else {
        ReportRunningUnlessStopping();
        LogProgramStarted(child->dwProcessId);
        outcome = WatchProgram(child->hProcess, job, programExitCode, error);
    }
    LogProgramOutcome(outcome, child, *error);
    // What a program that closed or ended by itself leaves behind goes on;
    // anything left of one that was ended goes with the job.
    CloseJob(job, outcome == kProgramEnded || outcome == kStoppedProgramClosed);
    return outcome;
}

// The one final report; a stop request after it changes nothing.
static void ReportStopped(DWORD exitCode, DWORD serviceSpecificExitCode)
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    InterlockedExchange(&ProgramContext.Stopping, 1);
    ReportServiceStatus(SERVICE_STOPPED, exitCode, serviceSpecificExitCode, 0, kWaitHintMs);
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

// The exit codes of each way to end. A program's own exit code other than 0
// comes as the service's own error. A requested stop is never a failure,
// whatever raced it: an error then goes into the service-specific code,
// beside a Win32 exit code of 0.
static void ReportOutcome(ServiceOutcome outcome, DWORD programExitCode, DWORD error)
{
    DWORD exitCode = NO_ERROR;
    DWORD serviceSpecificExitCode = 0;
    switch (outcome) {
    case kRefusedWritableByOthers:
        exitCode = kExitWritableByOthers;
        break;
    case kRefusedScript:
        exitCode = kExitScript;
        break;
    case kRefusedNotLocalDrive:
        exitCode = kExitNotLocalDrive;
        break;
    case kRefusedImageNotCheckedFile:
        exitCode = kExitImageNotCheckedFile;
        break;
    case kRefusedPathNotInCodePage:
        exitCode = kExitPathNotInCodePage;
        break;
    case kLaunchFailed:
    case kProgramUnwatchable:
        exitCode = error;
        break;
    case kProgramEnded:
        if (programExitCode != 0) {
            exitCode = ERROR_SERVICE_SPECIFIC_ERROR;
            serviceSpecificExitCode = programExitCode;
        }
        break;
    case kStoppedProgramClosed:
        break;
    case kStoppedProgramEndedByForce:
        serviceSpecificExitCode = kForcedEndServiceExitCode;
        break;
    case kStoppedProgramCouldNotBeEnded:
        serviceSpecificExitCode = kNotEndedServiceExitCode;
        break;
    }
    if (exitCode != NO_ERROR && StopRequested()) {
        if (exitCode != ERROR_SERVICE_SPECIFIC_ERROR)
            serviceSpecificExitCode = exitCode;
        exitCode = NO_ERROR;
    }
    ReportStopped(exitCode, serviceSpecificExitCode);
}

// What may not be started at all, whoever may change it: a batch file, or
// (unless kavo.ini allows every drive) a program or kavo.exe on a share or a
// removable drive. Logged; kLaunchFailed when the start may go on.
static ServiceOutcome RefusePlace(const HeldProgram* program, const char* finalPath)
{
    char refused[TEXT_SIZE];
    switch (CheckProgramPlace(program, finalPath, 1, ProgramContext.Config.anyDrive, refused, sizeof refused)) {
    case kPlaceScript:
        LogScriptRefused(refused);
        return kRefusedScript;
    case kPlaceNotLocal:
        LogDriveRefused(refused);
        return kRefusedNotLocalDrive;
    default:
        return kLaunchFailed;
    }
}

// The suspended process, unless it was made from the held file: it is then
// ended before it ran, and its handles closed. 1 when it may run.
static int KeepIfHeldImage(PROCESS_INFORMATION* child, const HeldProgram* program)
{
    if (CheckImageIsHeld(child->hProcess, program) != kImageIsAnotherFile)
        return 1;
    TerminateProcess(child->hProcess, 1);
    WaitForChild(child->hProcess, FORCED_END_WAIT_MS);
    CloseHandle(child->hThread);
    CloseHandle(child->hProcess);
    LogImageNotCheckedFile();
    return 0;
}

// START_PENDING with a check point for each step, RUNNING only once the
// program runs, STOPPED once it has ended or could not be started.
static void WINAPI ServiceMainProc(DWORD argumentCount, LPSTR* arguments)
{
    ProgramContext.StatusHandle =
        RegisterServiceCtrlHandlerA(ProgramContext.Config.serviceName, ServiceControlHandler);
    // Without a status handle nothing can reach the service control manager.
    if (!ProgramContext.StatusHandle)
        return;
    ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, 1, kWaitHintMs);
    // The entries go under the name the service is registered under, which
    // kavo.ini may not hold.
    InstallEventSource(argumentCount > 0 ? arguments[0] : ProgramContext.Config.serviceName);
    // A path the code page does not hold names no file, or another one.
    const char* unheldPath = !IsValidAnsiText(ProgramContext.ModulePath)            ? ProgramContext.ModulePath
                             : !IsValidAnsiText(ProgramContext.Config.programPath) ? ProgramContext.Config.programPath
                                                                                   : NULL;
    if (unheldPath)
        LogPathNotInCodePage(unheldPath);
    // What others may change is not run as the local system account. The
    // program file is held from before its check until the process is made.
    HeldProgram program;
    HoldProgram(&program, ProgramContext.Config.programPath, ProgramContext.Config.options);
    char finalPath[TEXT_SIZE];
    int finalPathRead = ReadFinalPath(&program, finalPath, sizeof finalPath);
    ServiceOutcome outcome = unheldPath ? kRefusedPathNotInCodePage : RefusePlace(&program, finalPath);
    int refused = outcome != kLaunchFailed;
    char writablePath[TEXT_SIZE];
    char writer[TEXT_SIZE];
    const char* writerNote;
    if (!refused && FindPathWritableByOthers(program.file, finalPathRead < 0 ? NULL : finalPath, writablePath,
                                             sizeof writablePath, writer, sizeof writer, &writerNote)) {
        LogStartRefused(writablePath, writer, writerNote);
        outcome = kRefusedWritableByOthers;
        refused = 1;
    }

    DWORD programExitCode = 0;
    DWORD error = NO_ERROR;
    if (!refused) {
        ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, 2, kWaitHintMs);
        // Started suspended and put in a job before it runs, so that every
        // process it starts can be ended with it.
        PROCESS_INFORMATION child;
        int launched = LaunchSuspendedChild(&program, &child);
        if (!launched) {
            // The failure must not read as a clean stop, whatever the system said.
            error = GetLastError();
            if (error == NO_ERROR)
                error = ERROR_SERVICE_NOT_ACTIVE;
        }
        int held = launched && KeepIfHeldImage(&child, &program);
        ReleaseProgram(&program);
        if (launched && !held) {
            outcome = kRefusedImageNotCheckedFile;
        } else if (launched) {
            outcome = RunProgram(&child, &programExitCode, &error);
            CloseHandle(child.hThread);
            CloseHandle(child.hProcess);
        } else {
            outcome = kLaunchFailed;
            LogLaunchFailed(error);
        }
    } else {
        ReleaseProgram(&program);
    }
    if (ProgramContext.InstanceMutex) {
        CloseHandle(ProgramContext.InstanceMutex);
        ProgramContext.InstanceMutex = NULL;
    }
    ReportOutcome(outcome, programExitCode, error);
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
