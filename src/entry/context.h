// The one process-wide state record. Filled at start-up; afterwards written only
// by the service runtime (child id, mutex, status handle, stop), the dialog (settings,
// IsRegistered after a deletion) and the test start (child id).
#pragma once

#include <windows.h>

#include "settings/settings.h"

// Whose the service of a name is, as its registration says.
enum ServiceOwner {
    kNoService,          // none of that name (or the manager cannot be asked)
    kOwnService,         // its registered path names this program file
    kOtherService,       // it runs another program file
    kUnreadableService,  // it exists, but its registration may not be read
};

struct ProgramContextRecord {
    char ModulePath[TEXT_SIZE];     // full path of this program file
    char ModuleDir[TEXT_SIZE];      // its directory, no trailing backslash
    char IniPath[TEXT_SIZE];        // ModuleDir\kavo.ini; empty when that does not fit
    HINSTANCE InstanceHandle;       // interactive mode only
    int IsWindowsNT;
    UINT AnsiCodePage;              // the system's ANSI code page (GetACP), read once at start
    DWORD WindowsVersion;           // major * 256 + minor, as GetVersionExA says (KAVO_WINDOWS_VERSION)
    // How kavo's texts (code page 932) are shown (entry/display.h): converted
    // from that code page where the system has its table, else taken as ANSI
    // (CP_ACP); through the Unicode functions when the ANSI code page is not 932.
    UINT KavoTextCodePage;
    int ConvertsKavoTexts;
    int InSystemFolder;             // this file lies in the system or the Windows folder
    int IsRegistered;               // the configured name's service is this file's own
    int WasRunning;                 // it was not stopped when the program started
    ServiceOwner NameOwner;         // whose the configured name's service was at start-up
    char NameOwnerPath[TEXT_SIZE];  // its registered path, when another file's
    int ServiceMode;                // 1 service, 0 interactive
    volatile LONG ChildProcessId;   // process the close protocol addresses
    HANDLE InstanceMutex;
    SERVICE_STATUS_HANDLE StatusHandle;
    // Service mode: the stop is taken once (under StatusLock), by the control
    // handler on a stop request or by the main function when the program has
    // ended by itself or the service stops; after that the handler reports
    // nothing and the main function does not report RUNNING.
    volatile LONG Stopping;
    int FinalReported;               // the main function's final report is made (under StatusLock)
    CRITICAL_SECTION StatusLock;
    HANDLE StopEvent;                // set by the handler when it takes a stop request
    volatile DWORD StopRequestedAt;  // tick count of that request: the bound counts from it
    // Service mode: the event source kavo's entries go under (empty: none),
    // and the windows the stop asked to close, counted and named for its entry.
    char EventSource[TEXT_SIZE];
    int AskedWindowCount;
    char AskedWindows[TEXT_SIZE];
    ServiceConfig Config;
};

extern ProgramContextRecord ProgramContext;

// Fills ModulePath, ModuleDir and IniPath from the given program file path.
void SetProgramPaths(const char* modulePath);

// 1 for the system folder and the Windows folder, where the service control
// manager starts services.
int IsSystemOrWindowsFolder(const char* folder);

// The version of Windows NT, major * 256 + minor; 0 on Windows 9x, or when it
// cannot be read.
DWORD ReadWindowsNTVersion();

// Decides the mode (1 service, 0 interactive) and sets IsWindowsNT,
// InSystemFolder, IsRegistered, WasRunning and NameOwner. In the system or the
// Windows folder it asks no service anything.
int ProbeEnvironment();
