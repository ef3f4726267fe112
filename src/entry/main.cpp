// Entry point: one program file, two jobs. Started from its own directory it is
// the configuration dialog; started elsewhere (by the service control manager)
// it is the service that hosts the configured program.
#include <windows.h>

#include "dialog/dialog.h"
#include "entry/context.h"
#include "host/service.h"
#include "resources/messages.h"
#include "settings/settings.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    char modulePath[TEXT_SIZE];
    DWORD length = GetModuleFileNameA(NULL, modulePath, sizeof modulePath);
    if (length >= sizeof modulePath)
        length = sizeof modulePath - 1;
    modulePath[length] = '\0';
    SetProgramPaths(modulePath);
    LoadSettings();
    ProgramContext.ServiceMode = ProbeEnvironment();

    if (!ProgramContext.IsWindowsNT) {
        MessageBoxA(GetDesktopWindow(), kTextNeedsWindowsNT, kCaptionError, MB_OK);
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
