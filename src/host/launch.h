// Starting the hosted program, asking it to close through its windows, and
// ending it when it does not.
#pragma once

#include <windows.h>

#include "host/portable_launch.h"
#include "settings/settings.h"

// The launch of a program: its command line (BuildChildLaunch), its program
// file (FormProgramFile, made a full path by GetFullPathNameA) and that file's
// folder as working directory ("C:\Tools\", "C:\"), and that file held open
// from its check until the process has been made from it.
struct HeldProgram {
    char commandLine[COMMAND_LINE_SIZE];
    char workingDirectory[TEXT_SIZE];
    char file[TEXT_SIZE];   // the file checked and started; empty when none could be formed
    HANDLE handle;          // the file, open for reading without write or delete sharing
    DWORD error;            // why handle is INVALID_HANDLE_VALUE, when it is
};

// Forms the launch of programPath with options, without holding anything;
// 1 when it has a program file.
int FormLaunch(HeldProgram* program, const char* programPath, const char* options);

// Forms the launch of programPath with options and opens its program file so
// that no one can write, replace, rename or delete it while it is held. The
// caller releases it with ReleaseProgram.
void HoldProgram(HeldProgram* program, const char* programPath, const char* options);
void ReleaseProgram(HeldProgram* program);

// Starts the held program file as a child process, with its command line and
// working directory, its first thread suspended: the program runs nothing
// until the caller resumes it (ResumeThread), or it is ended before it ever
// ran. On success fills child (the caller closes the thread handle, then the
// process handle) and returns 1; on failure returns 0 with the system's error
// code left for GetLastError (that of the hold when the file could not be held).
int LaunchChild(const HeldProgram* program, PROCESS_INFORMATION* child);

// As LaunchChild, for the service. Before Windows 8 it is started outside the job
// kavo may run in, where that job allows it, so that it can have one of
// kavo's own (PutInNewJob).
int LaunchSuspendedChild(const HeldProgram* program, PROCESS_INFORMATION* child);

// A new job object holding the process, so that every process it starts from
// then on is held too, and all of them end when kavo's process ends, however it ends (the job's
// last handle is then closed); the caller closes it with CloseJob. NULL, with
// the reason in *error, where the system has no job objects (before Windows
// 2000) or refuses (a process already in another job, before Windows 8): the
// process is then ended alone, and outlives kavo.
HANDLE PutInNewJob(HANDLE process, DWORD* error);

// Closes the job. With leaveWhatIsLeft, the processes still in it go on, as
// they would without the job; otherwise they end with it.
void CloseJob(HANDLE job, int leaveWhatIsLeft);

// Ends the process at once, and with it every process of its job when it has
// one. The end is only begun: wait for the process.
void EndChildByForce(HANDLE process, HANDLE job);

enum ChildWait {
    kChildEnded,
    kChildRuns,
    kChildWaitFailed,   // nothing is known of the child
};

// Waits for the child process to end, at most timeoutMs (INFINITE: no limit).
ChildWait WaitForChild(HANDLE process, DWORD timeoutMs);

// The windows a stop has sent the close message to: a second message can
// bring up a second question. Beyond this many, no window is sent anything
// more.
enum { ASKED_WINDOWS_SIZE = 256 };
struct AskedWindows {
    HWND windows[ASKED_WINDOWS_SIZE];
    int count;
};

// Sends the close message of exitMethod to the unowned top-level windows of
// ProgramContext.ChildProcessId not in *asked (each is added), one after
// another, each handled before the next, within boundMs counted from startTick: a window that has not handled
// its message by then (it hangs, or asks a question nobody answers) is no
// longer waited for, and once the time is out no further window is sent
// anything. Called again, it asks the windows the child has made since.
void CloseNewChildWindowsWithin(AskedWindows* asked, ExitMethod exitMethod, DWORD startTick, DWORD boundMs);
