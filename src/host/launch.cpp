#include "host/launch.h"

#include "entry/context.h"
#include "entry/load_proc.h"
#include "host/portable_launch.h"
#include "settings/portable_stop_timeout.h"

// The exit code of a program ended by force: not 0, since it did not end by itself.
static const UINT kForcedEndExitCode = 1;

static int StartChild(const char* programPath, const char* options, DWORD creationFlags,
                      PROCESS_INFORMATION* child)
{
    STARTUPINFOA startup;
    GetStartupInfoA(&startup);
    char commandLine[COMMAND_LINE_SIZE];
    char workingDirectory[TEXT_SIZE];
    if (!BuildChildLaunch(programPath, options, commandLine, sizeof commandLine, workingDirectory,
                          sizeof workingDirectory)) {
        SetLastError(ERROR_FILENAME_EXCED_RANGE);
        return 0;
    }
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, creationFlags, NULL, workingDirectory, &startup,
                        child))
        return 0;
    return 1;
}

int LaunchChild(const char* programPath, const char* options, PROCESS_INFORMATION* child)
{
    return StartChild(programPath, options, CREATE_DEFAULT_ERROR_MODE, child);
}

int LaunchSuspendedChild(const char* programPath, const char* options, PROCESS_INFORMATION* child)
{
    return StartChild(programPath, options, CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED, child);
}

// The job functions, looked up rather than imported: Windows NT 4 has none,
// and kavo.exe must still load there.
static struct {
    HANDLE(WINAPI* CreateJobObjectA)(LPSECURITY_ATTRIBUTES, LPCSTR);
    BOOL(WINAPI* AssignProcessToJobObject)(HANDLE, HANDLE);
    BOOL(WINAPI* SetInformationJobObject)(HANDLE, JOBOBJECTINFOCLASS, LPVOID, DWORD);
    BOOL(WINAPI* TerminateJobObject)(HANDLE, UINT);
} JobFunctions;

static int LoadJobFunctions()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    LoadProc(&JobFunctions.CreateJobObjectA, kernel, "CreateJobObjectA");
    LoadProc(&JobFunctions.AssignProcessToJobObject, kernel, "AssignProcessToJobObject");
    LoadProc(&JobFunctions.SetInformationJobObject, kernel, "SetInformationJobObject");
    LoadProc(&JobFunctions.TerminateJobObject, kernel, "TerminateJobObject");
    return JobFunctions.CreateJobObjectA && JobFunctions.AssignProcessToJobObject &&
           JobFunctions.SetInformationJobObject && JobFunctions.TerminateJobObject;
}

static void SetJobLimits(HANDLE job, DWORD limitFlags)
{
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits;
    ZeroMemory(&limits, sizeof limits);
    limits.BasicLimitInformation.LimitFlags = limitFlags;
    JobFunctions.SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits);
}

HANDLE PutInNewJob(HANDLE process)
{
    if (!LoadJobFunctions())
        return NULL;
    HANDLE job = JobFunctions.CreateJobObjectA(NULL, NULL);
    if (!job)
        return NULL;
    // A program that starts a process outside any job on purpose
    // (CREATE_BREAKAWAY_FROM_JOB) may still do so, as it may on a desktop.
    // The job is not inheritable: only kavo's own handle keeps it open.
    SetJobLimits(job, JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE);
    if (!JobFunctions.AssignProcessToJobObject(job, process)) {
        CloseHandle(job);
        return NULL;
    }
    return job;
}

void CloseJob(HANDLE job, int leaveWhatIsLeft)
{
    if (!job)
        return;
    if (leaveWhatIsLeft)
        SetJobLimits(job, JOB_OBJECT_LIMIT_BREAKAWAY_OK);
    CloseHandle(job);
}

void EndChildByForce(HANDLE process, HANDLE job)
{
    if (!job || !JobFunctions.TerminateJobObject(job, kForcedEndExitCode))
        TerminateProcess(process, kForcedEndExitCode);
}

ChildWait WaitForChild(HANDLE process, DWORD timeoutMs)
{
    switch (WaitForSingleObject(process, timeoutMs)) {
    case WAIT_OBJECT_0:
        return kChildEnded;
    case WAIT_TIMEOUT:
        return kChildRuns;
    default:
        return kChildWaitFailed;
    }
}

struct CloseRequest {
    ExitMethod exitMethod;
    AskedWindows* asked;   // NULL: every window is asked, each waited for however long it takes
    DWORD startTick;       // the bound's start and length, with asked
    DWORD boundMs;
};

// Adds the window to the list; 0 when it is there already, or there is no room
// left (a window not listed may then have been asked before).
static int RecordFirstAsk(AskedWindows* asked, HWND window)
{
    for (int i = 0; i < asked->count; ++i)
        if (asked->windows[i] == window)
            return 0;
    if (asked->count == ASKED_WINDOWS_SIZE)
        return 0;
    asked->windows[asked->count++] = window;
    return 1;
}

// Owned windows (dialog boxes and the like) are left to their owners; windows
// of every other process, the child's own children included, are never addressed.
static BOOL CALLBACK CloseChildWindowsProc(HWND window, LPARAM parameter)
{
    const CloseRequest* request = (const CloseRequest*)parameter;
    if (GetWindow(window, GW_OWNER))
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != (DWORD)ProgramContext.ChildProcessId)
        return TRUE;
    UINT message = WM_CLOSE;
    WPARAM wParam = 0;
    if (request->exitMethod == 1) {
        message = WM_SYSCOMMAND;
        wParam = SC_CLOSE;
    }
    if (!request->asked) {
        SendMessageA(window, message, wParam, 0);
        return TRUE;
    }
    DWORD left = MillisecondsLeft(request->startTick, GetTickCount(), request->boundMs);
    if (left == 0)
        return FALSE;
    if (!RecordFirstAsk(request->asked, window))
        return TRUE;
    DWORD_PTR result;
    SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, left, &result);
    return TRUE;
}

void CloseChildWindows(ExitMethod exitMethod)
{
    CloseRequest request = {exitMethod, NULL, 0, 0};
    EnumWindows(CloseChildWindowsProc, (LPARAM)&request);
}

void CloseNewChildWindowsWithin(AskedWindows* asked, ExitMethod exitMethod, DWORD startTick, DWORD boundMs)
{
    if (MillisecondsLeft(startTick, GetTickCount(), boundMs) == 0)
        return;
    CloseRequest request = {exitMethod, asked, startTick, boundMs};
    EnumWindows(CloseChildWindowsProc, (LPARAM)&request);
}
