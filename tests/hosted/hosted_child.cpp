// The hosted test program: a stand-in for any program kavo hosts. It writes
// what happened to it into a log file, one event per line, each line written
// through at once (another process reads the file while this one runs):
//
//   start <process id>
//   command-line <the command line as received>
//   current-directory <the current directory>
//   startup-info flags=<dwFlags> show=<wShowWindow> reserved2=<cbReserved2> desktop=<lpDesktop or (none)>
//   ready                                  windows made (in the message loop with -window-when)
//   close <WM_CLOSE|SC_CLOSE> <window> <owned|unowned> <visible|hidden>
//   question / answer <yes|no|cancel>     the unsaved-changes question on close
//   grandchild <process id>
//   linger                                 windows closed, ending -linger ms later
//   exit <exit code>
//
// Windows are named main1, main2..., hidden and owned.
//
// Arguments: the log file's path (the first argument not starting with "-";
// later ones are ignored), and any of
//   -windows=N          N unowned visible windows (default 1)
//   -hidden             one more unowned window, never shown
//   -owned              one more window, owned by main1
//   -ignore-sc-close    WM_SYSCOMMAND/SC_CLOSE does nothing
//   -ignore-close       WM_CLOSE and SC_CLOSE both do nothing
//   -hang-on-close      WM_CLOSE and SC_CLOSE never return (the thread sleeps)
//   -ask                close asks "Save changes?" (Yes/No close, Cancel stays)
//   -exit-after=MS      ends by itself MS ms after it is ready
//   -exit-code=N        the exit code of that end (default 0)
//   -exit-when=PATH     ends by itself once the file PATH exists (looked for every 50 ms)
//   -crash              crashes at once
//   -no-window          makes no window (with -exit-after, still ends)
//   -grandchild=LOG     starts another copy of itself logging to LOG, then ends
//   -stay               with -grandchild: goes on with its windows instead of ending
//   -busy=MS            computes MS ms before its message loop; 0: forever
//   -sleep=MS           sleeps MS ms before its message loop (not idle, no CPU)
//   -window-when=PATH   makes its windows only once the file PATH exists (looked
//                       for every 50 ms from its message loop)
//   -linger=MS          once its windows are closed, takes MS ms more to end
#include <windows.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

namespace {

struct Options {
    const char* logPath = NULL;
    int windows = 1;
    bool hidden = false;
    bool owned = false;
    bool ignoreScClose = false;
    bool ignoreClose = false;
    bool hangOnClose = false;
    bool ask = false;
    int exitAfterMs = -1;
    int exitCode = 0;
    const char* exitWhen = NULL;
    bool crash = false;
    bool noWindow = false;
    const char* grandchildLog = NULL;
    bool stay = false;
    int busyMs = -1;
    int sleepMs = -1;
    const char* windowWhen = NULL;
    int lingerMs = 0;
};

Options options;
HANDLE logFile = INVALID_HANDLE_VALUE;
int unownedAlive = 0;
UINT_PTR exitTimer = 0;
UINT_PTR windowTimer = 0;
UINT_PTR exitWhenTimer = 0;

void Log(const char* format, ...)
{
    char line[2048];
    va_list arguments;
    va_start(arguments, format);
    int length = vsnprintf(line, sizeof line - 1, format, arguments);
    va_end(arguments);
    if (length < 0 || length > (int)sizeof line - 2)
        length = (int)sizeof line - 2;
    line[length++] = '\n';
    if (logFile == INVALID_HANDLE_VALUE)
        return;
    // Appending with one write keeps lines whole when several processes share the file.
    DWORD written = 0;
    WriteFile(logFile, line, (DWORD)length, &written, NULL);
    FlushFileBuffers(logFile);
}

const char* Value(const char* argument, const char* name)
{
    size_t length = strlen(name);
    if (strncmp(argument, name, length) == 0 && argument[length] == '=')
        return argument + length + 1;
    return NULL;
}

void ParseArguments(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        const char* a = argv[i];
        const char* v;
        if (a[0] != '-') {
            if (!options.logPath)
                options.logPath = a;
        }
        else if ((v = Value(a, "-windows")))
            options.windows = atoi(v);
        else if (strcmp(a, "-hidden") == 0)
            options.hidden = true;
        else if (strcmp(a, "-owned") == 0)
            options.owned = true;
        else if (strcmp(a, "-ignore-sc-close") == 0)
            options.ignoreScClose = true;
        else if (strcmp(a, "-ignore-close") == 0)
            options.ignoreClose = true;
        else if (strcmp(a, "-hang-on-close") == 0)
            options.hangOnClose = true;
        else if (strcmp(a, "-ask") == 0)
            options.ask = true;
        else if ((v = Value(a, "-exit-after")))
            options.exitAfterMs = atoi(v);
        else if ((v = Value(a, "-exit-code")))
            options.exitCode = atoi(v);
        else if ((v = Value(a, "-exit-when")))
            options.exitWhen = v;
        else if (strcmp(a, "-crash") == 0)
            options.crash = true;
        else if (strcmp(a, "-no-window") == 0)
            options.noWindow = true;
        else if ((v = Value(a, "-grandchild")))
            options.grandchildLog = v;
        else if (strcmp(a, "-stay") == 0)
            options.stay = true;
        else if ((v = Value(a, "-busy")))
            options.busyMs = atoi(v);
        else if ((v = Value(a, "-sleep")))
            options.sleepMs = atoi(v);
        else if ((v = Value(a, "-window-when")))
            options.windowWhen = v;
        else if ((v = Value(a, "-linger")))
            options.lingerMs = atoi(v);
    }
}

void Exit(int code)
{
    Log("exit %d", code);
    if (logFile != INVALID_HANDLE_VALUE)
        CloseHandle(logFile);
    ExitProcess(code);
}

void LogClose(HWND window, const char* message)
{
    char name[64];
    GetWindowTextA(window, name, sizeof name);
    Log("close %s %s %s %s", message, name, GetWindow(window, GW_OWNER) ? "owned" : "unowned",
        IsWindowVisible(window) ? "visible" : "hidden");
    if (options.hangOnClose)
        Sleep(INFINITE);
}

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) {
            LogClose(window, "SC_CLOSE");
            if (options.ignoreScClose || options.ignoreClose)
                return 0;
        }
        break;
    case WM_CLOSE:
        LogClose(window, "WM_CLOSE");
        if (options.ignoreClose)
            return 0;
        if (options.ask) {
            Log("question");
            int answer = MessageBoxA(window, "Save changes?", "hosted_child", MB_YESNOCANCEL);
            Log("answer %s", answer == IDYES ? "yes" : answer == IDNO ? "no" : "cancel");
            if (answer != IDYES && answer != IDNO)
                return 0;
        }
        DestroyWindow(window);
        return 0;
    case WM_DESTROY:
        if (!GetWindow(window, GW_OWNER) && --unownedAlive == 0)
            PostQuitMessage(0);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND MakeWindow(const char* name, HWND owner, bool visible)
{
    HWND window = CreateWindowExA(0, "hosted_child", name, WS_OVERLAPPEDWINDOW | (visible ? WS_VISIBLE : 0),
                                  CW_USEDEFAULT, CW_USEDEFAULT, 200, 100, owner, NULL, GetModuleHandleA(NULL),
                                  NULL);
    if (window && !owner)
        ++unownedAlive;
    return window;
}

void MakeWindows()
{
    HWND first = NULL;
    for (int i = 1; i <= options.windows; ++i) {
        char name[16];
        snprintf(name, sizeof name, "main%d", i);
        HWND window = MakeWindow(name, NULL, true);
        if (!first)
            first = window;
    }
    if (options.hidden)
        MakeWindow("hidden", NULL, false);
    if (options.owned && first)
        MakeWindow("owned", first, true);
}

void StartGrandchild()
{
    char path[MAX_PATH];
    GetModuleFileNameA(NULL, path, sizeof path);
    char commandLine[2 * MAX_PATH + 16];
    snprintf(commandLine, sizeof commandLine, "\"%s\" \"%s\"", path, options.grandchildLog);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    if (CreateProcessA(NULL, commandLine, NULL, NULL, FALSE, 0, NULL, NULL, &startup, &child)) {
        Log("grandchild %lu", child.dwProcessId);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    } else {
        Log("grandchild failed %lu", GetLastError());
    }
}

}  // namespace

int main(int argc, char** argv)
{
    ParseArguments(argc, argv);
    if (options.logPath)
        logFile = CreateFileA(options.logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              NULL, OPEN_ALWAYS, 0, NULL);
    Log("start %lu", GetCurrentProcessId());
    Log("command-line %s", GetCommandLineA());
    char directory[MAX_PATH];
    DWORD length = GetCurrentDirectoryA(sizeof directory, directory);
    Log("current-directory %s", length && length < sizeof directory ? directory : "?");
    STARTUPINFOA startup = {};
    GetStartupInfoA(&startup);
    Log("startup-info flags=%lu show=%u reserved2=%u desktop=%s", startup.dwFlags, startup.wShowWindow,
        startup.cbReserved2, startup.lpDesktop && *startup.lpDesktop ? startup.lpDesktop : "(none)");

    if (options.crash) {
        Log("crash");
        *(volatile int*)0 = 1;
    }
    if (options.grandchildLog) {
        StartGrandchild();
        if (!options.stay)
            Exit(options.exitCode);
    }

    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleA(NULL);
    windowClass.lpszClassName = "hosted_child";
    RegisterClassA(&windowClass);

    // The exit timer belongs to the thread, so it works without windows too.
    if (options.windowWhen)
        windowTimer = SetTimer(NULL, 0, 50, NULL);
    else if (!options.noWindow)
        MakeWindows();
    if (options.exitAfterMs >= 0)
        exitTimer = SetTimer(NULL, 0, options.exitAfterMs, NULL);
    if (options.exitWhen)
        exitWhenTimer = SetTimer(NULL, 0, 50, NULL);

    if (options.busyMs >= 0) {
        DWORD start = GetTickCount();
        while (options.busyMs == 0 || GetTickCount() - start < (DWORD)options.busyMs) {
        }
    }
    if (options.sleepMs >= 0)
        Sleep(options.sleepMs);
    if (!options.windowWhen)
        Log("ready");

    MSG message;
    while (GetMessageA(&message, NULL, 0, 0) > 0) {
        // The thread timers' messages have no window.
        if (!message.hwnd && message.message == WM_TIMER && message.wParam == exitTimer)
            Exit(options.exitCode);
        if (!message.hwnd && message.message == WM_TIMER && message.wParam == exitWhenTimer &&
            GetFileAttributesA(options.exitWhen) != INVALID_FILE_ATTRIBUTES)
            Exit(options.exitCode);
        if (options.windowWhen && !message.hwnd && message.message == WM_TIMER && message.wParam == windowTimer &&
            GetFileAttributesA(options.windowWhen) != INVALID_FILE_ATTRIBUTES) {
            KillTimer(NULL, windowTimer);
            MakeWindows();
            Log("ready");
        }
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    if (options.lingerMs > 0) {
        Log("linger");
        Sleep(options.lingerMs);
    }
    Exit(options.exitCode);
    return 0;
}
