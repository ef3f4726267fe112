/* The bench's reference: about the least a service host can be that keeps the
   service contract, to measure kavo against. Registered as
       reference_host.exe PROGRAM [OPTIONS...]
   it starts the rest of its command line as the program and then reports
   RUNNING once the program is ready for input (WaitForInputIdle, as kavo
   does: RUNNING means the program runs and is ready), waits for the program
   and reports STOPPED with its exit code. Its control handler
   only records a stop and reports STOP_PENDING; the main function sends
   WM_CLOSE to the program's unowned top-level windows, and STOPPED follows the
   program's end (as kavo's does). No dialog, no settings file, no instance
   guard, no check of who may change the program, no job, no bound. */
#include <windows.h>

static SERVICE_STATUS_HANDLE statusHandle;
static PROCESS_INFORMATION child;
static HANDLE stopEvent;

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
    if (control != SERVICE_CONTROL_STOP || WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0)
        return;
    Report(SERVICE_STOP_PENDING, 0);
    SetEvent(stopEvent);
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
    HANDLE events[2];
    (void)argc;
    (void)argv;
    statusHandle = RegisterServiceCtrlHandlerA("", Handler);
    if (!statusHandle)
        return;
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, ProgramCommandLine(), NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        Report(SERVICE_STOPPED, GetLastError());
        return;
    }
    WaitForInputIdle(child.hProcess, 15000);
    Report(SERVICE_RUNNING, 0);
    events[0] = child.hProcess;
    events[1] = stopEvent;
    if (WaitForMultipleObjects(2, events, FALSE, INFINITE) == WAIT_OBJECT_0 + 1) {
        EnumWindows(CloseWindowOfChild, 0);
        WaitForSingleObject(child.hProcess, INFINITE);
    }
    GetExitCodeProcess(child.hProcess, &exitCode);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);
    /* A requested stop is no failure. */
    Report(SERVICE_STOPPED, WaitForSingleObject(stopEvent, 0) == WAIT_OBJECT_0 ? 0 : exitCode);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    SERVICE_TABLE_ENTRYA table[] = {{(LPSTR) "", ServiceMain}, {NULL, NULL}};
    (void)instance;
    (void)previous;
    (void)commandLine;
    (void)show;
    stopEvent = CreateEventA(NULL, TRUE, FALSE, NULL);
    StartServiceCtrlDispatcherA(table);
    return 0;
}
