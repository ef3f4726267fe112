// Starting the hosted program, asking it to close through its windows, and
// ending it when it does not.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// Starts programPath with options as a child process, working directory the
// program's own folder. On success fills child (the caller closes the thread
// handle, then the process handle) and returns 1; on failure returns 0 with
// the system's error code left for GetLastError.
int LaunchChild(const char* programPath, const char* options, PROCESS_INFORMATION* child);

// As LaunchChild, but the child's first thread is created suspended: the
// program runs nothing until the caller resumes it (ResumeThread), or it is
// ended before it ever ran.
int LaunchSuspendedChild(const char* programPath, const char* options, PROCESS_INFORMATION* child);

// A new job object holding the process, so that every process it starts from
// then on is held too; the caller closes it. NULL where the system has no job
// objects (before Windows 2000) or refuses (a process already in another job,
// before Windows 8): the process is then ended alone.
HANDLE PutInNewJob(HANDLE process);

// Ends the process at once, and with it every process of its job when it has one.
void EndChildByForce(HANDLE process, HANDLE job);

// Waits for the child process to end, at most timeoutMs (INFINITE: no limit).
// 1 when it has ended (or the wait failed), 0 when it still runs.
int WaitForChild(HANDLE process, DWORD timeoutMs);

// Sends the close message of exitMethod to every unowned top-level window of
// ProgramContext.ChildProcessId, one after another, each handled before the
// next, however long that takes.
void CloseChildWindows(ExitMethod exitMethod);

// As CloseChildWindows, but within boundMs counted from startTick: a window
// that has not handled its message by then (it hangs, or asks a question
// nobody answers) is no longer waited for, and once the time is out no
// further window is sent anything.
void CloseChildWindowsWithin(ExitMethod exitMethod, DWORD startTick, DWORD boundMs);
