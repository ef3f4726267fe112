#include "host/event_log.h"

#include <string.h>

#include "entry/context.h"
#include "entry/display.h"
#include "event_messages.h"
#include "resources/messages.h"
#include "text/text.h"

// Where the logs are registered, each with its sources below it, and the log
// kavo writes to.
static const char kLogsKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog";
static const char kSourcesKey[] = "SYSTEM\\CurrentControlSet\\Services\\EventLog\\Application\\";
static const char kApplicationLog[] = "Application";
// The value that makes a source kavo's; any other source is another program's.
static const char kMarkValue[] = "kavo";
// The source kavo writes under when another program has the service's name.
static const char kStandInSuffix[] = " (kavo)";
// The longest window caption an entry names: the entry lists windows, not texts.
enum { CAPTION_SHOWN_SIZE = 64 };

enum SourceOwner { kSourceMissing, kSourceOurs, kSourceOthers };

// Whether another log has a source of that name, or is named so: the event
// log finds a source in whichever log holds it, and takes a log's name for
// the log itself.
static int IsNameOfOtherLog(const char* name)
{
    HKEY logs;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kLogsKey, 0, KEY_ENUMERATE_SUB_KEYS, &logs) != ERROR_SUCCESS)
        return 0;
    int taken = 0;
    char log[TEXT_SIZE];
    DWORD size = sizeof log;
    for (DWORD i = 0; !taken && RegEnumKeyExA(logs, i, log, &size, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
         ++i, size = sizeof log) {
        if (lstrcmpiA(log, kApplicationLog) == 0)
            continue;
        char key[2 * TEXT_SIZE];
        HKEY source;
        if (lstrcmpiA(log, name) == 0) {
            taken = 1;
        } else if (FormPathInDirectory(key, sizeof key, log, name) &&
                   RegOpenKeyExA(logs, key, 0, KEY_QUERY_VALUE, &source) == ERROR_SUCCESS) {
            RegCloseKey(source);
            taken = 1;
        }
    }
    RegCloseKey(logs);
    return taken;
}

static SourceOwner ReadSourceOwner(const char* name, const char* key)
{
    HKEY opened;
    LONG error = RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE, &opened);
    if (error == ERROR_FILE_NOT_FOUND)
        return IsNameOfOtherLog(name) ? kSourceOthers : kSourceMissing;
    // One that cannot be read may be anyone's.
    if (error != ERROR_SUCCESS)
        return kSourceOthers;
    int ours = RegQueryValueExA(opened, kMarkValue, NULL, NULL, NULL, NULL) == ERROR_SUCCESS;
    RegCloseKey(opened);
    return ours ? kSourceOurs : kSourceOthers;
}

// The source's texts are this program file's; it is marked as kavo's.
static void WriteSource(const char* key)
{
    HKEY created;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, key, 0, NULL, 0, KEY_SET_VALUE, NULL, &created, NULL) != ERROR_SUCCESS)
        return;
    const DWORD types = EVENTLOG_ERROR_TYPE | EVENTLOG_WARNING_TYPE | EVENTLOG_INFORMATION_TYPE;
    const DWORD mark = 1;
    const char* file = ProgramContext.ModulePath;
    RegSetValueExA(created, "EventMessageFile", 0, REG_EXPAND_SZ, (const BYTE*)file, (DWORD)strlen(file) + 1);
    RegSetValueExA(created, "TypesSupported", 0, REG_DWORD, (const BYTE*)&types, sizeof types);
    RegSetValueExA(created, kMarkValue, 0, REG_DWORD, (const BYTE*)&mark, sizeof mark);
    RegCloseKey(created);
}

// The service's source (standIn 0) or its stand-in (1), its name and its key;
// 0 for an empty service name, or when either does not fit.
static int FormSource(const char* serviceName, int standIn, char* name, size_t nameSize, char* key,
                      size_t keySize)
{
    return serviceName[0] != '\0' && CopyText(name, nameSize, serviceName) &&
           (!standIn || AppendText(name, nameSize, kStandInSuffix)) && CopyText(key, keySize, kSourcesKey) &&
           AppendText(key, keySize, name);
}

void InstallEventSource(const char* serviceName)
{
    ProgramContext.EventSource[0] = '\0';
    for (int standIn = 0; standIn < 2; ++standIn) {
        char name[sizeof ProgramContext.EventSource];
        char key[sizeof kSourcesKey + sizeof name];
        if (!FormSource(serviceName, standIn, name, sizeof name, key, sizeof key))
            return;
        SourceOwner owner = ReadSourceOwner(name, key);
        // A source of that name that another program has since made in
        // another log would take the entries, wherever kavo's key is.
        if (owner == kSourceOthers || (owner == kSourceOurs && IsNameOfOtherLog(name)))
            continue;
        // Written even when it is right already: a write costs less than comparing.
        WriteSource(key);
        CopyText(ProgramContext.EventSource, sizeof ProgramContext.EventSource, name);
        return;
    }
}

int RemoveEventSource(const char* serviceName)
{
    int removed = 0;
    for (int standIn = 0; standIn < 2; ++standIn) {
        char name[sizeof ProgramContext.EventSource];
        char key[sizeof kSourcesKey + sizeof name];
        if (FormSource(serviceName, standIn, name, sizeof name, key, sizeof key) &&
            ReadSourceOwner(name, key) == kSourceOurs)
            removed |= RegDeleteKeyA(HKEY_LOCAL_MACHINE, key) == ERROR_SUCCESS;
    }
    return removed;
}

void NoteWindowAsked(HWND window)
{
    ++ProgramContext.AskedWindowCount;
    // Neither call waits for the window: the caption of another process's
    // window is read without a message.
    char className[CAPTION_SHOWN_SIZE] = "";
    char caption[TEXT_SIZE] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, caption, sizeof caption);
    char shownCaption[CAPTION_SHOWN_SIZE];
    CopyText(shownCaption, sizeof shownCaption, caption);
    char piece[2 * CAPTION_SHOWN_SIZE + 8];
    wsprintfA(piece, "%s%s \"%s\"", ProgramContext.AskedWindows[0] ? ", " : "", className, shownCaption);
    // When the list is full the count still says how many there were.
    AppendText(ProgramContext.AskedWindows, sizeof ProgramContext.AskedWindows, piece);
}

// Reports the entry under the service's source; nothing when there is none or
// the log cannot be reached.
static void WriteEntry(WORD type, DWORD id, const char** strings, WORD count)
{
    if (ProgramContext.EventSource[0] == '\0')
        return;
    HANDLE source = RegisterEventSourceA(NULL, ProgramContext.EventSource);
    if (!source)
        return;
    ReportEventA(source, type, 0, id, NULL, count, 0, strings, NULL);
    DeregisterEventSource(source);
}

// The same, for strings that hold kavo's own texts where those are shown
// converted (entry/display.h).
static void WriteWideEntry(WORD type, DWORD id, const WCHAR** strings, WORD count)
{
    if (ProgramContext.EventSource[0] == '\0')
        return;
    HANDLE source = RegisterEventSourceA(NULL, ProgramContext.EventSource);
    if (!source)
        return;
    ReportEventW(source, type, 0, id, NULL, count, 0, strings, NULL);
    DeregisterEventSource(source);
}

// Room for a 32-bit number in decimal or hexadecimal.
enum { NUMBER_SIZE = 16 };

static const char* ExitMessageName()
{
    return ProgramContext.Config.exitMethod == 1 ? kExitMethodSysCommand : kExitMethodClose;
}

void LogProgramStarted(DWORD processId, DWORD jobError)
{
    const ServiceConfig& config = ProgramContext.Config;
    char id[NUMBER_SIZE];
    char bound[NUMBER_SIZE];
    char job[NUMBER_SIZE];
    wsprintfA(id, "%lu", processId);
    wsprintfA(bound, "%d", config.stopTimeout);
    wsprintfA(job, "%lu", jobError);
    // The options may hold a password, and users may read the Application
    // log: they stay in kavo.ini, which only administrators read. The second
    // string stays, empty, so that the entry keeps its layout.
    const char* strings[] = {config.programPath, "", id, bound, ExitMessageName(), job};
    WriteEntry(EVENTLOG_INFORMATION_TYPE, EVENT_PROGRAM_STARTED, strings, 6);
}

// Whole seconds in a span of file time, which counts 100 ns, modulo 2^32. The
// division goes 8 bits at a time, in 32-bit numbers: a 64-bit one would take a
// helper routine in the 32-bit program.
static DWORD SecondsOfFileTimeSpan(ULONGLONG span)
{
    const DWORD kUnitsPerSecond = 10000000;
    DWORD low = (DWORD)span;
    DWORD rest = (DWORD)(span >> 32) % kUnitsPerSecond;
    DWORD seconds = 0;
    for (int shift = 24; shift >= 0; shift -= 8) {
        // rest < 2^24, so rest << 8 with the next byte fits in 32 bits.
        DWORD part = rest << 8 | (low >> shift & 0xFF);
        seconds = seconds << 8 | part / kUnitsPerSecond;
        rest = part % kUnitsPerSecond;
    }
    return seconds;
}

void LogProgramEnded(HANDLE process, int atStop)
{
    DWORD exitCode = 0;
    GetExitCodeProcess(process, &exitCode);
    char seconds[NUMBER_SIZE] = "?";
    FILETIME created, exited, kernel, user;
    if (GetProcessTimes(process, &created, &exited, &kernel, &user)) {
        ULONGLONG start = (ULONGLONG)created.dwHighDateTime << 32 | created.dwLowDateTime;
        ULONGLONG end = (ULONGLONG)exited.dwHighDateTime << 32 | exited.dwLowDateTime;
        wsprintfA(seconds, "%lu", SecondsOfFileTimeSpan(end - start));
    }
    const char* program = ProgramContext.Config.programPath;
    if (exitCode == 0) {
        const char* strings[] = {program, seconds};
        WriteEntry(EVENTLOG_INFORMATION_TYPE, EVENT_PROGRAM_ENDED, strings, 2);
        return;
    }
    char decimal[NUMBER_SIZE];
    char hexadecimal[NUMBER_SIZE];
    wsprintfA(decimal, "%lu", exitCode);
    wsprintfA(hexadecimal, "0x%08lX", exitCode);
    const char* strings[] = {program, decimal, hexadecimal, seconds};
    if (atStop)
        WriteEntry(EVENTLOG_WARNING_TYPE, EVENT_PROGRAM_ENDED_AT_STOP, strings, 4);
    else
        WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_PROGRAM_FAILED, strings, 4);
}

// The entries of a stop: the first string, the windows asked, and the last
// when there is one.
static void WriteStopEntry(WORD type, DWORD id, const char* first, const char* last)
{
    char count[NUMBER_SIZE];
    wsprintfA(count, "%d", ProgramContext.AskedWindowCount);
    const char* strings[] = {first, count, ExitMessageName(), ProgramContext.AskedWindows, last};
    WriteEntry(type, id, strings, last ? 5 : 4);
}

void LogProgramClosed(DWORD exitCode)
{
    char elapsed[NUMBER_SIZE];
    char code[NUMBER_SIZE];
    wsprintfA(elapsed, "%lu", GetTickCount() - ProgramContext.StopRequestedAt);
    wsprintfA(code, "%lu", exitCode);
    WriteStopEntry(EVENTLOG_INFORMATION_TYPE, EVENT_PROGRAM_CLOSED, elapsed, code);
}

void LogProgramEndedByForce()
{
    char bound[NUMBER_SIZE];
    wsprintfA(bound, "%d", ProgramContext.Config.stopTimeout);
    WriteStopEntry(EVENTLOG_WARNING_TYPE, EVENT_PROGRAM_ENDED_BY_FORCE, bound, NULL);
}

void LogProgramNotEnded(DWORD processId, DWORD waitedMs)
{
    char id[NUMBER_SIZE];
    char waited[NUMBER_SIZE];
    wsprintfA(id, "%lu", processId);
    wsprintfA(waited, "%lu", waitedMs);
    const char* strings[] = {ProgramContext.Config.programPath, id, waited};
    WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_PROGRAM_NOT_ENDED, strings, 3);
}

void LogLaunchFailed(DWORD error)
{
    if (ProgramContext.Config.programPath[0] == '\0') {
        const char* strings[] = {ProgramContext.IniPath};
        WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_NOTHING_TO_START, strings, 1);
        return;
    }
    char code[NUMBER_SIZE];
    char text[TEXT_SIZE] = "";
    wsprintfA(code, "%lu", error);
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, NULL, error, 0, text,
                                  sizeof text, NULL);
    // The system's texts end in a line break.
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' '))
        text[--length] = '\0';
    const char* strings[] = {ProgramContext.Config.programPath, code, text};
    WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_LAUNCH_FAILED, strings, 3);
}

void LogStartRefused(const char* path, const char* account, const char* note)
{
    if (!ProgramContext.ConvertsKavoTexts) {
        char writer[TEXT_SIZE];
        CopyText(writer, sizeof writer, account);
        AppendText(writer, sizeof writer, note);
        const char* strings[] = {path, writer};
        WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_START_REFUSED, strings, 2);
        return;
    }
    // The note is one of kavo's texts: stored as UTF-16, it reads as Japanese
    // whatever the system's code page.
    WCHAR widePath[TEXT_SIZE];
    WCHAR writer[2 * TEXT_SIZE];
    ConvertAnsiText(path, widePath, TEXT_SIZE);
    ConvertAnsiText(account, writer, TEXT_SIZE);
    int used = lstrlenW(writer);
    ConvertKavoText(note, writer + used, 2 * TEXT_SIZE - used);
    const WCHAR* strings[] = {widePath, writer};
    WriteWideEntry(EVENTLOG_ERROR_TYPE, EVENT_START_REFUSED, strings, 2);
}

void LogPathNotInCodePage(const char* path)
{
    char codePage[NUMBER_SIZE];
    wsprintfA(codePage, "%u", ProgramContext.AnsiCodePage);
    const char* strings[] = {path, codePage};
    WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_PATH_NOT_IN_CODE_PAGE, strings, 2);
}

void LogScriptRefused(const char* path)
{
    const char* strings[] = {path};
    WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_SCRIPT_REFUSED, strings, 1);
}

void LogDriveRefused(const char* path)
{
    const char* strings[] = {path, ProgramContext.IniPath};
    WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_DRIVE_REFUSED, strings, 2);
}

void LogImageNotCheckedFile()
{
    const char* strings[] = {ProgramContext.Config.programPath};
    WriteEntry(EVENTLOG_ERROR_TYPE, EVENT_IMAGE_NOT_CHECKED_FILE, strings, 1);
}
