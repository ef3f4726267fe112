#include "dialog/test_launch.h"

#include "dialog/dialog.h"
#include "entry/context.h"
#include "entry/display.h"
#include "host/launch.h"
#include "host/program_checks.h"
#include "host/write_access.h"
#include "resources/messages.h"
#include "settings/portable_stop_timeout.h"

// A program that never becomes idle must not keep the dialog blocked for good:
// after this long the user is told all the same.
static const DWORD kIdleWaitLimit = 30000;

// A batch file is refused; a program on a share or a removable drive, or one
// that others may change, is started only on the user's Yes.
static int AcceptTestProgram(HWND dialog, const HeldProgram* program)
{
    char finalPath[TEXT_SIZE];
    int finalPathRead = ReadFinalPath(program, finalPath, sizeof finalPath);
    char path[TEXT_SIZE];
    char writer[TEXT_SIZE];
    const char* note;
    PlaceFinding place =
        CheckProgramPlace(program, finalPath, 0, ProgramContext.Config.anyDrive, path, sizeof path);
    if (place == kPlaceScript) {
        ShowScriptRefused(dialog, path);
        return 0;
    }
    return (place != kPlaceNotLocal || AskAboutNotLocalPath(dialog, kTextTestNotLocalDrive, path)) &&
           (!FindProgramPathWritableByOthers(program->file, finalPathRead < 0 ? NULL : finalPath, path,
                                             sizeof path, writer, sizeof writer, &note) ||
            AskAboutWritablePath(dialog, kTextTestWritableByOthers, path, writer, note));
}

// The program is started suspended and runs only when its process was made
// from the held file; otherwise it is ended before it ran, and the user told.
static int StartHeldProgram(HWND dialog, const HeldProgram* program, PROCESS_INFORMATION* child)
{
    if (!LaunchChild(program, child))
        return 0;
    if (CheckImageIsHeld(child->hProcess, program) != kImageIsAnotherFile && ResumeThread(child->hThread) != (DWORD)-1)
        return 1;
    TerminateProcess(child->hProcess, 1);
    WaitForChild(child->hProcess, FORCED_END_WAIT_MS);
    CloseHandle(child->hThread);
    CloseHandle(child->hProcess);
    const TextInsertion insertion = {program->file, NULL};
    ShowFormattedMessage(dialog, kTextTestImageNotChecked, &insertion, 1, kCaptionKavo, MB_OK);
    return 0;
}

void TestLaunch(HWND dialog, const char* programPath, const char* options, ExitMethod exitMethod)
{
    // Held from before the check, so that what the user was asked about is what starts.
    HeldProgram program;
    HoldProgram(&program, programPath, options);
    PROCESS_INFORMATION child;
    int launched = AcceptTestProgram(dialog, &program) && StartHeldProgram(dialog, &program, &child);
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
