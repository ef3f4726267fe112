#include "host/launch.h"

#include "entry/context.h"
#include "entry/load_proc.h"
#include "host/event_log.h"
#include "host/portable_launch.h"
#include "host/portable_service_control.h"
#include "settings/portable_stop_timeout.h"
#include "text/sjis_path.h"
#include "text/text.h"

// The exit code of a program ended by force: not 0, since it did not end by itself.
static const UINT kForcedEndExitCode = 1;

int FormLaunch(HeldProgram* program, const char* programPath, const char* options)
{
    program->file[0] = '\0';
    program->workingDirectory[0] = '\0';
    program->handle = INVALID_HANDLE_VALUE;
    program->error = ERROR_FILENAME_EXCED_RANGE;
    if (!BuildChildLaunch(programPath, options, program->commandLine, sizeof program->commandLine))
        return 0;
    // No name, or one too long for any path: no such file.
    char named[TEXT_SIZE];
    program->error = ERROR_FILE_NOT_FOUND;
    if (!FormProgramFile(program->commandLine, named, sizeof named))
        return 0;
    // One path is judged, held and started, and its folder is where it runs:
    // the file as the system reads the name (a slash is a backslash, "." and
    // ".." are resolved, a relative name is in the current folder, kavo's own).
    DWORD length = GetFullPathNameA(named, sizeof program->file, program->file, NULL);
    if (length == 0 || length >= sizeof program->file ||
        !FormFolderOfPath(program->workingDirectory, sizeof program->workingDirectory, program->file)) {
        program->error = length == 0 ? ERROR_INVALID_NAME : ERROR_FILENAME_EXCED_RANGE;
        program->file[0] = '\0';
        return 0;
    }
    return 1;
}

void HoldProgram(HeldProgram* program, const char* programPath, const char* options)
{
    if (!FormLaunch(program, programPath, options))
        return;
    // Reading shares with the system's own opening of the file to run it.
    program->handle = CreateFileA(program->file, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    program->error = program->handle == INVALID_HANDLE_VALUE ? GetLastError() : NO_ERROR;
}

void ReleaseProgram(HeldProgram* program)
{
    if (program->handle != INVALID_HANDLE_VALUE)
        CloseHandle(program->handle);
    program->handle = INVALID_HANDLE_VALUE;
}

static int StartChild(const HeldProgram* program, DWORD creationFlags, PROCESS_INFORMATION* child)
{
    if (program->handle == INVALID_HANDLE_VALUE) {
        SetLastError(program->error);
        return 0;
    }
    // The program's start-up information is its own: kavo's flags, title,
    // window placement and the C runtime's handle table (lpReserved2) would
    // tell it of handles it never inherited. Only the desktop is kavo's.
    STARTUPINFOA own;
    GetStartupInfoA(&own);
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    startup.lpDesktop = own.lpDesktop;
    // The file is named: the system neither searches for it nor adds to its name.
    char commandLine[COMMAND_LINE_SIZE];
    CopyText(commandLine, sizeof commandLine, program->commandLine);
    return CreateProcessA(program->file, commandLine, NULL, NULL, FALSE, creationFlags, NULL,
                          program->workingDirectory, &startup, child) != 0;
}

int LaunchChild(const HeldProgram* program, PROCESS_INFORMATION* child)
{
    return StartChild(program, CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED, child);
}

int LaunchSuspendedChild(const HeldProgram* program, PROCESS_INFORMATION* child)
{
    const DWORD flags = CREATE_DEFAULT_ERROR_MODE | CREATE_SUSPENDED;
    // Before Windows 8 a process is in one job at most: a kavo that runs in a
    // job of someone else's could give the program none of its own. It is
    // started outside that job where the job allows it (the system refuses
    // with ERROR_ACCESS_DENIED where it does not). From Windows 8 on, the
    // program is in both.
    if (!NestsJobs(ProgramContext.WindowsVersion) && StartChild(program, flags | CREATE_BREAKAWAY_FROM_JOB, child))
        return 1;
    return StartChild(program, flags, child);
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

// The limits of kavo's job: a program that starts a process outside any job
// on purpose (CREATE_BREAKAWAY_FROM_JOB) may still do so, as it may on a
// desktop. Before Windows 8, where a process is in one job at most, that is
// how a program puts the processes it starts in a job of its own, as it must
// under any job (on Vista and 7 the Program Compatibility Assistant's, for
// one); one that assigns a process of kavo's job to another job is refused
// there (ERROR_ACCESS_DENIED).
static const DWORD kJobLimits = JOB_OBJECT_LIMIT_BREAKAWAY_OK;

HANDLE PutInNewJob(HANDLE process, DWORD* error)
{
    *error = ERROR_CALL_NOT_IMPLEMENTED;
    if (!LoadJobFunctions())
        return NULL;
    HANDLE job = JobFunctions.CreateJobObjectA(NULL, NULL);
    if (!job) {
        *error = GetLastError();
        return NULL;
    }
    // The job is not inheritable: only kavo's own handle keeps it open.
    SetJobLimits(job, kJobLimits | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE);
    if (!JobFunctions.AssignProcessToJobObject(job, process)) {
        *error = GetLastError();
        CloseHandle(job);
        return NULL;
    }
    *error = NO_ERROR;
    return job;
}

void CloseJob(HANDLE job, int leaveWhatIsLeft)
{
    if (!job)
        return;
    if (leaveWhatIsLeft)
        SetJobLimits(job, kJobLimits);
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
    AskedWindows* asked;
    DWORD startTick;       // the bound's start and length
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
    DWORD left = MillisecondsLeft(request->startTick, GetTickCount(), request->boundMs);
    if (left == 0)
        return FALSE;
    if (!RecordFirstAsk(request->asked, window))
        return TRUE;
    NoteWindowAsked(window);
    DWORD_PTR result;
    SendMessageTimeoutA(window, message, wParam, 0, SMTO_NORMAL, left, &result);
    return TRUE;
}

void CloseNewChildWindowsWithin(AskedWindows* asked, ExitMethod exitMethod, DWORD startTick, DWORD boundMs)
{
    if (MillisecondsLeft(startTick, GetTickCount(), boundMs) == 0)
        return;
    CloseRequest request = {exitMethod, asked, startTick, boundMs};
    EnumWindows(CloseChildWindowsProc, (LPARAM)&request);
}
