// Starting the hosted program and asking it to close through its windows.
#pragma once

#include <windows.h>

#include "settings/settings.h"

// Starts programPath with options as a child process, working directory the
// program's own folder. On success fills child (the caller closes the thread
// handle, then the process handle) and returns 1; on failure returns 0 with
// the system's error code left for GetLastError.
int LaunchChild(const char* programPath, const char* options, PROCESS_INFORMATION* child);

// Waits for the child process to end, at most timeoutMs (INFINITE: no limit).
// 1 when it has ended (or the wait failed), 0 when it still runs.
int WaitForChild(HANDLE process, DWORD timeoutMs);

// Sends the close message of exitMethod to every unowned top-level window of
// ProgramContext.ChildProcessId, one after another, each handled before the next.
void CloseChildWindows(ExitMethod exitMethod);
