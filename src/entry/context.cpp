#include "entry/context.h"

#include "scm/scm.h"
#include "text/sjis_path.h"
#include "text/text.h"

ProgramContextRecord ProgramContext;

static const char kIniFileName[] = "kavo.ini";

void SetProgramPaths(const char* modulePath)
{
    CopyText(ProgramContext.ModulePath, sizeof ProgramContext.ModulePath, modulePath);
    CopyText(ProgramContext.ModuleDir, sizeof ProgramContext.ModuleDir, ProgramContext.ModulePath);
    CutLastPathComponent(ProgramContext.ModuleDir);
    // A path that does not fit is refused, never cut into the name of another file.
    FormPathInDirectory(ProgramContext.IniPath, sizeof ProgramContext.IniPath, ProgramContext.ModuleDir,
                        kIniFileName);
}

// The service control manager starts every service with the system folder as
// current folder (Wine: the Windows folder). A program file in one of them
// cannot tell from the current folder who started it.
int IsSystemOrWindowsFolder(const char* folder)
{
    char systemFolder[TEXT_SIZE];
    char windowsFolder[TEXT_SIZE];
    UINT length = GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    if (length > 0 && length < sizeof systemFolder && IsSameFolder(folder, systemFolder))
        return 1;
    length = GetWindowsDirectoryA(windowsFolder, sizeof windowsFolder);
    return length > 0 && length < sizeof windowsFolder && IsSameFolder(folder, windowsFolder);
}

DWORD ReadWindowsNTVersion()
{
    OSVERSIONINFOA version = {};
    version.dwOSVersionInfoSize = sizeof version;
    if (!GetVersionExA(&version) || version.dwPlatformId != VER_PLATFORM_WIN32_NT)
        return 0;
    return version.dwMajorVersion * 256 + version.dwMinorVersion;
}

int ProbeEnvironment()
{
    ProgramContext.IsWindowsNT = 0;
    ProgramContext.InSystemFolder = 0;
    ProgramContext.IsRegistered = 0;
    ProgramContext.WasRunning = 0;
    ProgramContext.NameOwner = kNoService;
    ProgramContext.NameOwnerPath[0] = '\0';

    ProgramContext.WindowsVersion = ReadWindowsNTVersion();
    if (!ProgramContext.WindowsVersion)
        return 0;
    ProgramContext.IsWindowsNT = 1;

    // Checked before the mode, since there the current folder cannot decide it.
    if (IsSystemOrWindowsFolder(ProgramContext.ModuleDir)) {
        ProgramContext.InSystemFolder = 1;
        return 0;
    }

    char currentDir[TEXT_SIZE];
    DWORD length = GetCurrentDirectoryA(sizeof currentDir, currentDir);
    if (length == 0 || length >= sizeof currentDir)
        currentDir[0] = '\0';
    // Explorer gives a drive's root folder as "D:\", while ModuleDir is "D:".
    if (!IsSameFolder(ProgramContext.ModuleDir, currentDir)) {
        // Started by the service control manager: from now on relative paths
        // resolve against the program's own directory.
        SetCurrentDirectoryA(ProgramContext.ModuleDir);
        return 1;
    }
    ProbeRegisteredService();
    return 0;
}
