#include "dialog/test_launch.h"

#include "dialog/dialog.h"
#include "entry/context.h"
#include "entry/display.h"
#include "host/launch.h"
#include "host/write_access.h"
#include "resources/messages.h"
#include "settings/portable_stop_timeout.h"

// A program that never becomes idle must not keep the dialog blocked for good:
// after this long the user is told all the same.
static const DWORD kIdleWaitLimit = 30000;

void TestLaunch(HWND dialog, const char* programPath, const char* options, ExitMethod exitMethod)
{
    // Held from before the check, so that what the user was asked about is what starts.
    HeldProgram program;
    HoldProgram(&program, programPath, options);
    char writablePath[TEXT_SIZE];
    char writer[TEXT_SIZE];
    const char* writerNote;
    PROCESS_INFORMATION child;
    int launched = (!FindProgramPathWritableByOthers(program.file, writablePath, sizeof writablePath, writer,
                                                     sizeof writer, &writerNote) ||
                    AskAboutWritablePath(dialog, kTextTestWritableByOthers, writablePath, writer, writerNote)) &&
                   LaunchChild(&program, &child);
    ReleaseProgram(&program);
    if (!launched)
        return;
    WaitForInputIdle(child.hProcess, kIdleWaitLimit);
    SetForegroundWindow(dialog);
    ShowMessage(dialog, kTextTestStarted, kCaptionKavo, MB_OK);

    // Closed as a service stop closes it, within the same bound (kavo.ini's
    // stoptimeout) counted from OK: a window that does not handle its message
    // in time is no longer waited for, and the dialog answers again at the
    // bound whatever the program does. One that takes longer is left to the
    // user, as the message told them.
    ProgramContext.ChildProcessId = (LONG)child.dwProcessId;
    const DWORD start = GetTickCount();
    const DWORD bound = (DWORD)ProgramContext.Config.stopTimeout * 1000;
    AskedWindows asked;
    asked.count = 0;
    CloseNewChildWindowsWithin(&asked, exitMethod, start, bound);
    WaitForChild(child.hProcess, MillisecondsLeft(start, GetTickCount(), bound));
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}
