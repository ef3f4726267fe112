/* The bench's reference: about the least a service host can be, to measure
   kavo against. Registered as
       reference_host.exe PROGRAM [OPTIONS...]
   it reports RUNNING and starts the rest of its command line as the program
   (in the order kavo does both), waits for the program and reports STOPPED
   with its exit code; a stop reports STOP_PENDING, sends WM_CLOSE to the
   program's unowned top-level windows, and STOPPED follows the program's end
   (as kavo's does). No dialog, no settings file, no instance guard, no bound. */
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static PROCESS_INFORMATION child;
static volatile LONG stopRequested;

static void Report(DWORD state, DWORD exitCode)
{
    SERVICE_STATUS status = {0};
    status.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    status.dwCurrentState = state;
    status.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    status.dwWin32ExitCode = exitCode == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    status.dwServiceSpecificExitCode = exitCode;
    status.dwWaitHint = state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : 3000;
    SetServiceStatus(statusHandle, &status);
}

static BOOL CALLBACK CloseWindowOfChild(HWND window, LPARAM unused)
{
    DWORD processId = 0;
    (void)unused;
    GetWindowThreadProcessId(window, &processId);
    if (processId == child.dwProcessId && !GetWindow(window, GW_OWNER))
        SendMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

static void WINAPI Handler(DWORD control)
{
    if (control != SERVICE_CONTROL_STOP || InterlockedExchange(&stopRequested, 1))
        return;
    Report(SERVICE_STOP_PENDING, 0);
    EnumWindows(CloseWindowOfChild, 0);
}

/* The command line after this program's own path, quoted or not. */
static char* ProgramCommandLine(void)
{
    char* line = GetCommandLineA();
    if (*line == '"') {
        for (++line; *line && *line != '"'; ++line)
            ;
        if (*line)
            ++line;
    } else {
        while (*line && *line != ' ' && *line != '\t')
            ++line;
    }
    while (*line == ' ' || *line == '\t')
        ++line;
    return line;
}

static void WINAPI ServiceMain(DWORD argc, LPSTR* argv)
{
    STARTUPINFOA startup = {0};
    DWORD exitCode = 0;
    (void)argc;
    (void)argv;
    statusHandle = RegisterServiceCtrlHandlerA("", Handler);
    if (!statusHandle)
        return;
    startup.cb = sizeof startup;
    Report(SERVICE_RUNNING, 0);
    if (!CreateProcessA(NULL, ProgramCommandLine(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        Report(SERVICE_STOPPED, GetLastError());
        return;
    }
    WaitForSingleObject(child.hProcess, INFINITE);
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    /* A requested stop is no failure. */
    Report(SERVICE_STOPPED, InterlockedExchange(&stopRequested, 1) ? 0 : exitCode);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "", ServiceMain}, {NULL, NULL}};
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    StartServiceCtrlDispatcherA(table);
    return 0;
}
