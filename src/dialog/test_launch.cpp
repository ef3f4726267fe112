#include "dialog/test_launch.h"

#include "dialog/dialog.h"
#include "entry/context.h"
#include "entry/display.h"
#include "host/launch.h"
#include "host/write_access.h"
#include "resources/messages.h"

// A program that never becomes idle must not keep the dialog blocked for good:
// after this long the user is told all the same.
static const DWORD kIdleWaitLimit = 30000;

// How long a closing program is watched after its windows were asked to close;
// one that takes longer is left to the user, as the message told them.
static const DWORD kCloseWaitLimit = 30000;

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

    ProgramContext.ChildProcessId = (LONG)child.dwProcessId;
    CloseChildWindows(exitMethod);
    // Counted from here: the time the user spends on the program's own close
    // question is not part of the limit.
    WaitForChild(child.hProcess, kCloseWaitLimit);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}
