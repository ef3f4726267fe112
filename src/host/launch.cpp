#include "host/launch.h"

#include "entry/context.h"
#include "host/portable_launch.h"

int LaunchChild(const char* programPath, const char* options, PROCESS_INFORMATION* child)
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
    if (!CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL, workingDirectory,
                        &startup, child))
        return 0;
    return 1;
}

int WaitForChild(HANDLE process, DWORD timeoutMs)
{
    return WaitForSingleObject(process, timeoutMs) != WAIT_TIMEOUT;
}

// Owned windows (dialog boxes and the like) are left to their owners; windows
// of every other process, the child's own children included, are never addressed.
static BOOL CALLBACK CloseChildWindowsProc(HWND window, LPARAM exitMethod)
{
    if (GetWindow(window, GW_OWNER))
        return TRUE;
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId == (DWORD)ProgramContext.ChildProcessId) {
        if ((ExitMethod)exitMethod == 1)
            SendMessageA(window, WM_SYSCOMMAND, SC_CLOSE, 0);
        else
            SendMessageA(window, WM_CLOSE, 0, 0);
    }
    return TRUE;
}

void CloseChildWindows(ExitMethod exitMethod)
{
    EnumWindows(CloseChildWindowsProc, (LPARAM)exitMethod);
}
