#include "entry/console.h"

#include "entry/display.h"
#include "entry/load_proc.h"
#include "resources/messages.h"

static struct {
    HANDLE Handle;    // NULL: nowhere to write
    int IsConsole;    // written with WriteConsoleW, else as UTF-8 bytes
    int Opened;       // CONOUT$, opened here
} Output;

void OpenCommandOutput()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (out && out != INVALID_HANDLE_VALUE && GetFileType(out) != FILE_TYPE_UNKNOWN) {
        Output.Handle = out;
        Output.IsConsole = GetConsoleMode(out, &mode) != 0;
        return;
    }
    // Looked up: Windows 2000 has no AttachConsole.
    BOOL(WINAPI * attachConsole)(DWORD);
    LoadProc(&attachConsole, GetModuleHandleA("kernel32.dll"), "AttachConsole");
    if (!attachConsole || !attachConsole(ATTACH_PARENT_PROCESS))
        return;
    out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                      OPEN_EXISTING, 0, NULL);
    if (out == INVALID_HANDLE_VALUE)
        return;
    Output.Handle = out;
    Output.IsConsole = 1;
    Output.Opened = 1;
}

void CloseCommandOutput()
{
    if (Output.Opened)
        CloseHandle(Output.Handle);
    Output.Handle = NULL;
}

void SayWide(const char* text, const WCHAR* value)
{
    if (!Output.Handle)
        return;
    WCHAR pieces[2][MESSAGE_SIZE];
    if (!ConvertKavoText(text, pieces[0], MESSAGE_SIZE))
        pieces[0][0] = 0;
    lstrcpynW(pieces[1], value ? value : L"", MESSAGE_SIZE);
    // Each line break of a text as CR LF, for a file as for the console.
    WCHAR line[4 * MESSAGE_SIZE + 2];
    int length = 0;
    for (const WCHAR* piece : pieces)
        for (const WCHAR* p = piece; *p; ++p) {
            if (*p == L'\n')
                line[length++] = L'\r';
            line[length++] = *p;
        }
    line[length++] = L'\r';
    line[length++] = L'\n';
    DWORD written = 0;
    if (Output.IsConsole) {
        WriteConsoleW(Output.Handle, line, length, &written, NULL);
        return;
    }
    char bytes[3 * (sizeof line / sizeof line[0])];
    int size = WideCharToMultiByte(CP_UTF8, 0, line, length, bytes, sizeof bytes, NULL, NULL);
    if (size > 0)
        WriteFile(Output.Handle, bytes, size, &written, NULL);
}

void Say(const char* text, const char* value)
{
    WCHAR wide[MESSAGE_SIZE];
    SayWide(text, value && ConvertAnsiText(value, wide, MESSAGE_SIZE) ? wide : NULL);
}
