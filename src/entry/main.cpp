// Entry point: one program file, two jobs. Started from its own directory it is
// the configuration dialog; started elsewhere (by the service control manager)
// it is the service that hosts the configured program. In the folders where the
// service control manager starts services it can do neither.
#include <windows.h>

#include "dialog/dialog.h"
#include "entry/code_page.h"
#include "entry/context.h"
#include "entry/display.h"
#include "entry/load_proc.h"
#include "host/service.h"
#include "resources/messages.h"
#include "scm/install.h"
#include "settings/settings.h"

// Whether this process's window station is the one a person sees. The service
// control manager runs services on one of their own, where a message box would
// wait for nobody. When it cannot be told, the answer is yes: a person then
// learns why kavo ends.
static int IsOnVisibleWindowStation()
{
    USEROBJECTFLAGS flags;
    DWORD needed = 0;
    HWINSTA station = GetProcessWindowStation();
    if (!station || !GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, &needed))
        return 1;
    return (flags.dwFlags & WSF_VISIBLE) != 0;
}

// kavo.exe in the system or the Windows folder serves nothing and configures
// nothing. Started there by the service control manager it ends at once,
// showing nothing, so that the start fails now rather than at the manager's
// timeout; started by a person, it first says why and where to put it.
static void RefuseSystemFolder()
{
    if (!IsOnVisibleWindowStation())
        return;
    TextInsertion folder = {ProgramContext.ModuleDir, NULL};
    ShowFormattedMessage(GetDesktopWindow(), kTextSystemFolder, &folder, 1, kCaptionKavo, MB_OK);
}

// A DLL that kavo or a system DLL loads by name is looked for in the system
// folder, not in the current folder nor beside kavo.exe, where whoever may
// write would have it run elevated or as SYSTEM. Windows 2000 and XP before
// SP1 have neither function, Vista and 7 the second only with update
// KB2533623. A program kavo starts inherits the first (its own folder, where
// it starts, is still searched first), not the second.
static void NarrowDllSearch()
{
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    BOOL(WINAPI* setDllDirectory)(LPCSTR);
    BOOL(WINAPI* setDefaultDllDirectories)(DWORD);
    LoadProc(&setDllDirectory, kernel, "SetDllDirectoryA");
    LoadProc(&setDefaultDllDirectories, kernel, "SetDefaultDllDirectories");
    if (setDllDirectory)
        setDllDirectory("");
    if (setDefaultDllDirectories)
        setDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    NarrowDllSearch();
    ReadSystemCodePage();
    ChooseTextDisplay();
    char modulePath[TEXT_SIZE];
    DWORD length = GetModuleFileNameA(NULL, modulePath, sizeof modulePath);
    if (length >= sizeof modulePath)
        length = sizeof modulePath - 1;
    modulePath[length] = '\0';
    SetProgramPaths(modulePath);
    // With arguments kavo.exe runs a command and is never the service: the
    // service control manager starts it without any.
    int exitCode = 0;
    if (RunCommandLine(&exitCode))
        return exitCode;
    LoadSettings();
    ProgramContext.ServiceMode = ProbeEnvironment();

    if (!ProgramContext.IsWindowsNT) {
        ShowMessage(GetDesktopWindow(), kTextNeedsWindowsNT, kCaptionError, MB_OK);
        return 0;
    }
    if (ProgramContext.InSystemFolder) {
        RefuseSystemFolder();
        return 0;
    }
    if (!ProgramContext.ServiceMode) {
        ProgramContext.InstanceHandle = instance;
        RunSettingsDialog();
        return 0;
    }
    if (InstanceAlreadyRunning())
        return 0;
    RunServiceDispatcher();
    return 0;
}

// The entry point the linker looks for in a GUI program (-mwindows). kavo is
// linked without the C runtime's start-up code (-nostartfiles): it has no
// constructors, no atexit handlers and no use for the runtime's parsing of
// the command line, and the start-up code was a sixth of the file. It calls
// WinMain and ends the process with WinMain's exit code, as that code did.
// Windows calls it with the stack aligned to 4 bytes on x86; the compiler
// keeps 16.
extern "C" __attribute__((force_align_arg_pointer)) void WinMainCRTStartup()
{
    ExitProcess(WinMain(GetModuleHandleA(NULL), NULL, NULL, SW_SHOWDEFAULT));
}
