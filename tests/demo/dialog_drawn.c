/* Starts a program (kavo.exe) in the current folder and returns once its
 * dialog has been drawn, so that a screenshot taken then shows the whole
 * dialog. The program is left running.
 *   dialog_drawn PROGRAM
 * Exit code 0 when the dialog was drawn, 1 when it did not appear within the
 * deadline or the program ended, 2 when the program could not be started. */
#include <windows.h>
#include <stdio.h>

/* How long a slow machine may take to show the dialog. */
#define DIALOG_DEADLINE_MS 30000
/* How often the program's windows are looked at meanwhile. */
#define POLL_INTERVAL_MS 20

struct Search {
    DWORD processId;
    HWND found;
};

static BOOL CALLBACK FindVisibleDialog(HWND window, LPARAM parameter)
{
    struct Search* search = (struct Search*)parameter;
    DWORD processId = 0;
    char className[16];
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || !IsWindowVisible(window))
        return TRUE;
    if (!GetClassNameA(window, className, sizeof className) || lstrcmpA(className, "#32770") != 0)
        return TRUE;
    search->found = window;
    return FALSE;
}

int main(int argc, char** argv)
{
    STARTUPINFOA startup;
    PROCESS_INFORMATION program;
    struct Search search;
    DWORD start;
    DWORD_PTR answer = 0;

    if (argc != 2) {
        fprintf(stderr, "usage: dialog_drawn PROGRAM\n");
        return 2;
    }
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (!CreateProcessA(NULL, argv[1], NULL, NULL, FALSE, 0, NULL, NULL, &startup, &program)) {
        fprintf(stderr, "cannot start %s: error %lu\n", argv[1], GetLastError());
        return 2;
    }
    CloseHandle(program.hThread);
    search.processId = program.dwProcessId;
    search.found = NULL;
    start = GetTickCount();
    for (;;) {
        EnumWindows(FindVisibleDialog, (LPARAM)&search);
        if (search.found)
            break;
        if (WaitForSingleObject(program.hProcess, POLL_INTERVAL_MS) != WAIT_TIMEOUT ||
            GetTickCount() - start >= DIALOG_DEADLINE_MS) {
            fprintf(stderr, "the dialog did not appear\n");
            CloseHandle(program.hProcess);
            return 1;
        }
    }
    /* Whatever still waits to be drawn (frame, background, every control) is
     * drawn now, on the dialog's own thread, before RedrawWindow returns. The
     * message sent after it is answered only once that thread is back in its
     * message loop, which first hands what it drew to the display. */
    RedrawWindow(search.found, NULL, NULL, RDW_ERASENOW | RDW_UPDATENOW | RDW_ALLCHILDREN);
    SendMessageTimeoutA(search.found, WM_NULL, 0, 0, SMTO_BLOCK, DIALOG_DEADLINE_MS, &answer);
    CloseHandle(program.hProcess);
    return 0;
}
