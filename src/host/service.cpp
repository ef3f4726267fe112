#include "host/service.h"

#include <aclapi.h>

#include "entry/code_page.h"
#include "entry/context.h"
#include "entry/load_proc.h"
#include "host/event_log.h"
#include "host/launch.h"
#include "host/portable_launch.h"
#include "host/program_checks.h"
#include "host/portable_service_control.h"
#include "host/write_access.h"
#include "scm/scm.h"
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
    // not be started. Preshutdown from Vista on (see ControlsAccepted).
    status.dwControlsAccepted = ControlsAccepted(state, ProgramContext.WindowsVersion);
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

// Stop, shutdown and preshutdown alike (DecideControl): the handler records
// the request, says the service is stopping, and returns at once. The main
// function does the stop. A request that comes once the program has ended,
// before the final report, is recorded and answered all the same.
static DWORD WINAPI ServiceControlHandlerEx(DWORD control, DWORD, LPVOID, LPVOID)
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    ControlAction action =
        DecideControl(control, StopTaken(), StopRequested(), ProgramContext.FinalReported);
    if (action == kControlBeginsStop || action == kControlJoinsEnd) {
        TakeStop();
        ProgramContext.StopRequestedAt = GetTickCount();
        SetEvent(ProgramContext.StopEvent);
        // The close messages that follow may take the whole bound; the final
        // report of a program that has ended follows at once.
        DWORD hint = action == kControlBeginsStop ? StopWaitHintMs(ProgramContext.Config.stopTimeout) : kWaitHintMs;
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, 0, 1, hint);
    }
    LeaveCriticalSection(&ProgramContext.StatusLock);
    return action == kControlNotHandled ? ERROR_CALL_NOT_IMPLEMENTED : NO_ERROR;
}

// Windows NT 4 has only the plain handler.
static void WINAPI ServiceControlHandler(DWORD control)
{
    ServiceControlHandlerEx(control, 0, NULL, NULL);
}

// The extended handler where the system has it (Windows 2000 and later; it is
// looked up, as NT 4 has none): only it can be sent the preshutdown.
static SERVICE_STATUS_HANDLE RegisterControlHandler(const char* serviceName)
{
    SERVICE_STATUS_HANDLE(WINAPI * registerEx)(LPCSTR, LPHANDLER_FUNCTION_EX, LPVOID);
    LoadProc(&registerEx, GetModuleHandleA("advapi32.dll"), "RegisterServiceCtrlHandlerExA");
    if (registerEx)
        return registerEx(serviceName, ServiceControlHandlerEx, NULL);
    return RegisterServiceCtrlHandlerA(serviceName, ServiceControlHandler);
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

// The program's exit code; 0 when it cannot be read.
static DWORD ReadExitCode(HANDLE process)
{
    DWORD exitCode = 0;
    if (!GetExitCodeProcess(process, &exitCode))
        exitCode = 0;
    return exitCode;
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
    ServiceOutcome outcome = endedByItself ? kProgramEnded : StopProgram(process, job);
    if (outcome == kProgramEnded || outcome == kStoppedProgramClosed)
        *programExitCode = ReadExitCode(process);
    return outcome;
}

// The entry of the way a launched program was stopped, or could not be
// started. That of a program that ended by itself comes with the final report
// (ReportOutcome), which alone knows whether a stop came first.
static void LogProgramOutcome(ServiceOutcome outcome, const PROCESS_INFORMATION* child, DWORD programExitCode,
                              DWORD error)
{
    switch (outcome) {
    case kLaunchFailed:
        LogLaunchFailed(error);
        break;
    case kStoppedProgramClosed:
        LogProgramClosed(programExitCode);
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
    case kProgramEnded:
    case kProgramUnwatchable:
        break;
    }
}

// How long a started program may take to be ready for input before it is
// reported RUNNING all the same: a program busy that long at its start runs,
// and a stop must be able to reach it.
static const DWORD kReadyLimitMs = 15000;
// How often a starting service says it is still at work: well within kWaitHintMs.
static const DWORD kStartReportIntervalMs = 1000;

// Waits until the resumed program is ready for input (WaitForInputIdle),
// reporting START_PENDING every second on from *checkPoint, at most
// kReadyLimitMs; kChildEnded when it ended before that. A program without a
// message queue (a console program) is ready at once: Windows answers at once
// for it.
static ChildWait WaitUntilReady(HANDLE process, DWORD* checkPoint)
{
    const DWORD start = GetTickCount();
    for (;;) {
        DWORD left = MillisecondsLeft(start, GetTickCount(), kReadyLimitMs);
        DWORD idle = WaitForInputIdle(process, left < kStartReportIntervalMs ? left : kStartReportIntervalMs);
        // Whatever it answered, a program that has ended is not ready.
        ChildWait child = WaitForChild(process, 0);
        if (child != kChildRuns || idle != WAIT_TIMEOUT || left == 0)
            return child;
        ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, ++*checkPoint, kWaitHintMs);
    }
}

// The launched program, still suspended: put in its job, resumed, reported
// RUNNING once it is ready, and watched until it ends or is stopped. One that
// ends before it is ready ends the service from START_PENDING.
static ServiceOutcome RunProgram(const PROCESS_INFORMATION* child, const char* serviceName, DWORD checkPoint,
                                 DWORD* programExitCode, DWORD* error)
{
    DWORD jobError = NO_ERROR;
    HANDLE job = PutInNewJob(child->hProcess, &jobError);
    InterlockedExchange(&ProgramContext.ChildProcessId, (LONG)child->dwProcessId);
    ServiceOutcome outcome;
    if (ResumeThread(child->hThread) == (DWORD)-1) {
        *error = GetLastError();
        EndChildByForce(child->hProcess, job);
        WaitForChild(child->hProcess, FORCED_END_WAIT_MS);
        outcome = kLaunchFailed;
    } else {
        LogProgramStarted(child->dwProcessId, jobError);
        if (WaitUntilReady(child->hProcess, &checkPoint) == kChildEnded) {
            EnterCriticalSection(&ProgramContext.StatusLock);
            TakeStop();
            LeaveCriticalSection(&ProgramContext.StatusLock);
            *programExitCode = ReadExitCode(child->hProcess);
            outcome = kProgramEnded;
        } else {
            ReportRunningUnlessStopping();
            // After RUNNING, so that it costs the start nothing; a bound
            // changed since the registration counts from this start on.
            SetPreshutdownTimeout(serviceName);
            outcome = WatchProgram(child->hProcess, job, programExitCode, error);
        }
    }
    LogProgramOutcome(outcome, child, *programExitCode, *error);
    // What a program that closed or ended by itself leaves behind goes on;
    // anything left of one that was ended goes with the job.
    CloseJob(job, outcome == kProgramEnded || outcome == kStoppedProgramClosed);
    return outcome;
}

// The one final report, with the exit codes of each way to end. A program's
// own exit code other than 0 comes as the service's own error. A requested
// stop is never a failure, whatever raced it: an error then goes into the
// service-specific code, beside a Win32 exit code of 0; so does the exit code
// of a program that closed on the stop. Decided under the lock, with the
// entry of a program that ended by itself: a stop the handler takes before
// the report counts, and one after it changes nothing. process: the program's
// (NULL when none was started).
static void ReportOutcome(ServiceOutcome outcome, HANDLE process, DWORD programExitCode, DWORD error)
{
    EnterCriticalSection(&ProgramContext.StatusLock);
    InterlockedExchange(&ProgramContext.Stopping, 1);
    ProgramContext.FinalReported = 1;
    int stopRequested = StopRequested();
    if (outcome == kProgramEnded)
        LogProgramEnded(process, stopRequested);
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
        serviceSpecificExitCode = programExitCode;
        break;
    case kStoppedProgramEndedByForce:
        serviceSpecificExitCode = kForcedEndServiceExitCode;
        break;
    case kStoppedProgramCouldNotBeEnded:
        serviceSpecificExitCode = kNotEndedServiceExitCode;
        break;
    }
    if (exitCode != NO_ERROR && stopRequested) {
        if (exitCode != ERROR_SERVICE_SPECIFIC_ERROR)
            serviceSpecificExitCode = exitCode;
        exitCode = NO_ERROR;
    }
    ReportServiceStatus(SERVICE_STOPPED, exitCode, serviceSpecificExitCode, 0, kWaitHintMs);
    LeaveCriticalSection(&ProgramContext.StatusLock);
}

// The steps before the program runs, which can each block for tens of
// seconds (a program on a share whose server is down, the membership of a
// domain account with the domain controller out of reach): the hold and the
// check of the program file, the launch. They run on a
// thread of their own while the main function reports START_PENDING every
// second, at most kStartStepsLimitMs. Together with kReadyLimitMs a start
// stays within the minute the install command waits for RUNNING.
static const DWORD kStartStepsLimitMs = 40000;

struct ProgramStart {
    ServiceOutcome outcome;    // a refusal or kLaunchFailed, unless launched
    int launched;
    PROCESS_INFORMATION child;
    DWORD error;
    // Set by the main function when the steps took longer than they may, by
    // the steps when they are done: whoever comes second frees the record
    // (and the steps, a program they started too late).
    volatile LONG finished;
};

// What may not be started at all, whoever may change it: a path the code
// page does not hold, a batch file, or (unless kavo.ini allows every drive) a
// program or kavo.exe on a share or a removable drive. Logged; kLaunchFailed
// when the start may go on.
static ServiceOutcome RefusePlace(const HeldProgram* program, const char* finalPath)
{
    // A path the code page does not hold names no file, or another one.
    const char* unheldPath = !IsValidAnsiText(ProgramContext.ModulePath)            ? ProgramContext.ModulePath
                             : !IsValidAnsiText(ProgramContext.Config.programPath) ? ProgramContext.Config.programPath
                                                                                   : NULL;
    if (unheldPath) {
        LogPathNotInCodePage(unheldPath);
        return kRefusedPathNotInCodePage;
    }
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

// What others may change is not run as the local system account. The program
// file is held from before its check until its process has been made and
// found to be that very file. Started suspended, to be put in a job before it
// runs, so that every process it starts can be ended with it.
static DWORD WINAPI RunStartSteps(void* parameter)
{
    ProgramStart* start = (ProgramStart*)parameter;
    HeldProgram program;
    HoldProgram(&program, ProgramContext.Config.programPath, ProgramContext.Config.options);
    char finalPath[TEXT_SIZE];
    int finalPathRead = ReadFinalPath(&program, finalPath, sizeof finalPath);
    start->outcome = RefusePlace(&program, finalPath);
    char writablePath[TEXT_SIZE];
    char writer[TEXT_SIZE];
    const char* writerNote;
    if (start->outcome != kLaunchFailed) {
        // Refused, and logged.
    } else if (FindPathWritableByOthers(program.file, finalPathRead < 0 ? NULL : finalPath, writablePath,
                                        sizeof writablePath, writer, sizeof writer, &writerNote)) {
        LogStartRefused(writablePath, writer, writerNote);
        start->outcome = kRefusedWritableByOthers;
    } else {
        start->launched = LaunchSuspendedChild(&program, &start->child);
        if (!start->launched) {
            // The failure must not read as a clean stop, whatever the system said.
            start->error = GetLastError();
            if (start->error == NO_ERROR)
                start->error = ERROR_SERVICE_NOT_ACTIVE;
            LogLaunchFailed(start->error);
        } else if (!KeepIfHeldImage(&start->child, &program)) {
            start->launched = 0;
            start->outcome = kRefusedImageNotCheckedFile;
        }
    }
    ReleaseProgram(&program);
    // Too late: the service has given up. The program never ran.
    if (InterlockedExchange(&start->finished, 1)) {
        if (start->launched) {
            TerminateProcess(start->child.hProcess, ERROR_SERVICE_REQUEST_TIMEOUT);
            CloseHandle(start->child.hThread);
            CloseHandle(start->child.hProcess);
        }
        LocalFree(start);
    }
    return 0;
}

// Runs the start steps, reporting START_PENDING every second on from
// *checkPoint; 0 when they took longer than they may (they are then left to
// end on their own, and start is theirs to free).
static int RunStartStepsReporting(ProgramStart* start, DWORD* checkPoint)
{
    HANDLE steps = CreateThread(NULL, 0, RunStartSteps, start, 0, NULL);
    if (!steps) {
        // Without a thread they run here: the record stays the caller's.
        RunStartSteps(start);
        return 1;
    }
    const DWORD begin = GetTickCount();
    int done = 0;
    for (;;) {
        DWORD left = MillisecondsLeft(begin, GetTickCount(), kStartStepsLimitMs);
        if (WaitForSingleObject(steps, left < kStartReportIntervalMs ? left : kStartReportIntervalMs) ==
            WAIT_OBJECT_0) {
            done = 1;
            break;
        }
        if (left == 0)
            break;
        ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, ++*checkPoint, kWaitHintMs);
    }
    // The steps may have ended just now: then they are done after all.
    if (!done && InterlockedExchange(&start->finished, 1))
        done = 1;
    CloseHandle(steps);
    return done;
}

// START_PENDING with rising check points while kavo is at work, RUNNING only
// once the program is ready, STOPPED once it has ended or could not be started.
static void WINAPI ServiceMainProc(DWORD argumentCount, LPSTR* arguments)
{
    const char* serviceName = argumentCount > 0 ? arguments[0] : ProgramContext.Config.serviceName;
    ProgramContext.StatusHandle = RegisterControlHandler(ProgramContext.Config.serviceName);
    // Without a status handle nothing can reach the service control manager.
    if (!ProgramContext.StatusHandle)
        return;
    DWORD checkPoint = 1;
    ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, 0, checkPoint, kWaitHintMs);
    // The entries go under the name the service is registered under, which
    // kavo.ini may not hold. The local registry alone: it takes moments.
    InstallEventSource(serviceName);

    ServiceOutcome outcome = kLaunchFailed;
    DWORD programExitCode = 0;
    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    HANDLE process = NULL;
    ProgramStart* start = (ProgramStart*)LocalAlloc(LPTR, sizeof(ProgramStart));
    if (!start) {
        LogLaunchFailed(error);
    } else if (!RunStartStepsReporting(start, &checkPoint)) {
        error = ERROR_SERVICE_REQUEST_TIMEOUT;
        LogLaunchFailed(error);
        start = NULL;
    } else if (start->launched) {
        outcome = RunProgram(&start->child, serviceName, checkPoint, &programExitCode, &error);
        CloseHandle(start->child.hThread);
        process = start->child.hProcess;
    } else {
        outcome = start->outcome;
        error = start->error;
    }
    if (start)
        LocalFree(start);
    if (ProgramContext.InstanceMutex) {
        CloseHandle(ProgramContext.InstanceMutex);
        ProgramContext.InstanceMutex = NULL;
    }
    ReportOutcome(outcome, process, programExitCode, error);
    if (process)
        CloseHandle(process);
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
