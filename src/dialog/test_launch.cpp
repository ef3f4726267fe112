#include "dialog/test_launch.h"

#include "dialog/dialog.h"
#include "entry/context.h"
#include "entry/display.h"
#include "host/launch.h"
#include "host/program_checks.h"
#include "host/write_access.h"
#include "resources/messages.h"

// A program that never becomes idle must not keep the dialog blocked for good:
// after this long the user is told all the same.
static const DWORD kIdleWaitLimit = 30000;

// How long a closing program is watched after its windows were asked to close;
// one that takes longer is left to the user, as the message told them.
static const DWORD kCloseWaitLimit = 30000;

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
    if (!LaunchSuspendedChild(program, child))
        return 0;
    if (CheckImageIsHeld(child->hProcess, program) != kImageIsAnotherFile && ResumeThread(child->hThread) != (DWORD)-1)
        return 1;
    TerminateProcess(child->hProcess, 1);
    WaitForChild(child->hProcess, kCloseWaitLimit);
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

    ProgramContext.ChildProcessId = (LONG)child.dwProcessId;
    CloseChildWindows(exitMethod);
    // Counted from here: the time the user spends on the program's own close
    // question is not part of the limit.
    WaitForChild(child.hProcess, kCloseWaitLimit);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
}
