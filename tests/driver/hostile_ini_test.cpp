// kavo.exe against kavo.ini files it did not write: what the dialog shows, what
// the service starts, and what a save from the dialog leaves behind. Each file
// goes through the real program; the values are read back with kavo's own
// LoadSettings.
#include <gtest/gtest.h>
#include <string.h>

#include "dialog_texts.h"
#include "entry/context.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "support/dialog_driver.h"
#include "support/kavo_service.h"
#include "text/text.h"

namespace {

// 表 in code page 932: its second byte is a backslash.
#define HYO "\x95\x5c"
// 表 in UTF-8.
#define HYO_UTF8 "\xe8\xa1\xa8"

// kLocked: held open, unshared, by another program while the dialog saves.
enum IniKind { kFile, kDirectory, kReadOnly, kLocked };

// One hostile kavo.ini, made in a folder of its own, and what the profile
// functions make of it: the texts the dialog must show and the service use.
struct BadIni {
    std::string name;
    std::string dir;
    IniKind kind = kFile;
    std::string bytes;
    std::string program, options, service;
    int selection = 0;   // of the exit-method list; -1 none
    // The hosted test program is started by the service.
    bool hosts = true;
    // Lines of the file that are not kavo's and must survive a save.
    std::string foreign;
    // The stop's bound read from it, in seconds.
    int stopTimeout = 20;
    // The key of a value the code page cannot read as it is: OK keeps the file.
    const char* unreadableKey = NULL;
};

std::string Ini(const std::string& section, const std::vector<std::string>& lines, const std::string& eol)
{
    std::string file = "[" + section + "]" + eol;
    for (const std::string& line : lines)
        file += line + eol;
    return file;
}

// Options that make the hosted program log to the case's folder, padded
// with an ignored argument to exactly length bytes.
std::string OptionsOfLength(const std::string& log, size_t length, const std::string& tail = "")
{
    std::string options = log + " -pad=";
    options += std::string(length - options.size() - tail.size(), 'p');
    return options + tail;
}

// Bytes that are no text, zero bytes among them: 1024 of a fixed sequence.
std::string BinaryBytes()
{
    std::string bytes;
    unsigned value = 12345;
    for (int i = 0; i < 1024; ++i) {
        value = value * 1103515245u + 12345u;
        bytes += (char)(value >> 16);
    }
    return bytes;
}

// The cases, each in a fresh folder prefix_<name>, for the service name given.
std::vector<BadIni> BadIniCases(const std::string& prefix, const std::string& serviceName)
{
    std::vector<BadIni> cases;
    auto add = [&](const std::string& name) -> BadIni& {
        cases.emplace_back();
        BadIni& c = cases.back();
        c.name = name;
        c.dir = MakeWorkDir(prefix + "_" + name);
        c.program = HostedChildPath();
        c.options = c.dir + "\\child.log -x";
        c.service = serviceName;
        c.selection = 1;
        return c;
    };
    auto lines = [](const BadIni& c) {
        return std::vector<std::string>{"exe=" + c.program, "option=" + c.options, "name=" + c.service, "end=1"};
    };

    {   // The file as kavo writes it, for comparison.
        BadIni& c = add("crlf");
        c.bytes = Ini("kavo", lines(c), "\r\n");
    }
    // The stop's bound, set by hand: read (in quotes, which the profile
    // functions drop), defaulted when empty or not a plain number, limited.
    // The dialog's save leaves it as it was.
    const struct {
        const char* name;
        const char* written;
        int seconds;
    } bounds[] = {{"stoptimeout_read", "\"3\"", 3},
                  {"stoptimeout_empty", "", 20},
                  {"stoptimeout_invalid", "-5", 20},
                  {"stoptimeout_limited", "100000", 110}};
    for (const auto& bound : bounds) {
        BadIni& c = add(bound.name);
        c.foreign = std::string("stoptimeout=") + bound.written + "\r\n";
        c.bytes = Ini("kavo", lines(c), "\r\n") + c.foreign;
        c.stopTimeout = bound.seconds;
    }
    {
        BadIni& c = add("lf");
        c.bytes = Ini("kavo", lines(c), "\n");
    }
    {   // kavo's keys under another section only: nothing is read.
        BadIni& c = add("missing_section");
        c.foreign = Ini("other", lines(c), "\r\n");
        c.bytes = c.foreign;
        c.program = c.options = c.service = "";
        c.selection = 0;
        c.hosts = false;
    }
    {   // Section and key names match without regard to case.
        BadIni& c = add("letter_case");
        c.bytes = Ini("KaVo", {"EXE=" + c.program, "Option=" + c.options, "NAME=" + c.service, "eNd=1"}, "\r\n");
    }
    {
        BadIni& c = add("value_259");
        c.options = OptionsOfLength(c.dir + "\\child.log", 259);
        c.bytes = Ini("kavo", lines(c), "\r\n");
    }
    {   // One byte too many: read cut to 259.
        BadIni& c = add("value_260");
        std::string written = OptionsOfLength(c.dir + "\\child.log", 260);
        c.bytes = Ini("kavo", {"exe=" + c.program, "option=" + written, "name=" + c.service, "end=1"}, "\r\n");
        c.options = written.substr(0, 259);
    }
    {   // A double-byte character across the cut is left out whole.
        BadIni& c = add("value_260_kanji");
        std::string written = OptionsOfLength(c.dir + "\\child.log", 260, HYO);
        c.bytes = Ini("kavo", {"exe=" + c.program, "option=" + written, "name=" + c.service, "end=1"}, "\r\n");
        c.options = written.substr(0, 258);
    }
    {   // 4000 bytes of options, and 4000 digits of exit method cut to 259
        // digits, whose value wraps to 10^258 mod 2^32 = 0.
        BadIni& c = add("value_4000");
        std::string written = OptionsOfLength(c.dir + "\\child.log", 4000);
        c.bytes = Ini("kavo", {"exe=" + c.program, "option=" + written, "name=" + c.service,
                               "end=1" + std::string(3999, '0')},
                      "\r\n");
        c.options = written.substr(0, 259);
        c.selection = 0;
    }
    {   // A program path of 4000 bytes is cut to a path that names nothing.
        BadIni& c = add("program_4000");
        std::string written = c.dir + "\\" + std::string(4000 - c.dir.size() - 5, 'e') + ".exe";
        c.bytes = Ini("kavo", {"exe=" + written, "option=" + c.options, "name=" + c.service, "end=1"}, "\r\n");
        c.program = written.substr(0, 259);
        c.hosts = false;
    }
    {   // A service name other than the one the service is registered under.
        BadIni& c = add("other_name");
        c.service = serviceName + "_other";
        c.bytes = Ini("kavo", lines(c), "\r\n");
    }
    {   // Quotation marks around a whole value are dropped on reading.
        BadIni& c = add("quoted");
        std::string programDir = c.dir + "\\with space";
        CreateDirectoryA(programDir.c_str(), NULL);
        c.program = programDir + "\\hosted_child.exe";
        CopyFileTo(HostedChildPath(), c.program);
        c.bytes = Ini("kavo", {"exe=\"" + c.program + "\"", "option=\"" + c.options + "\"", "name=" + c.service,
                               "end=\"1\""},
                      "\r\n");
    }
    {   // Double-byte characters (one with a backslash as second byte) and
        // half-width katakana, as code page 932 bytes.
        BadIni& c = add("shift_jis");
        c.options += " -j=" HYO "\x8e\xa6\xb6\xc0\xb6\xc5";
        c.bytes = Ini("kavo", lines(c), "\r\n");
    }
    {   // Lead bytes without a second byte, and bytes that are no character
        // of code page 932. The profile functions read the file through
        // UTF-16: a lead byte with no second byte (or a space after it) comes
        // back as the code page's default character, 0x81 0x45, and the
        // bytes the code page leaves undefined come back as they were.
        BadIni& c = add("broken_double_byte");
        c.bytes = Ini("kavo", {"exe=" + c.program, "option=" + c.options + " -b=\x81 \x80\xa0\xfd\xfe\xff\x81",
                               "name=" + c.service, "end=1"},
                      "\r\n");
        c.options += " -b=\x81\x45\x80\xa0\xfd\xfe\xff\x81\x45";
        c.unreadableKey = "option";
    }
    {   // Wine's profile functions read a UTF-8 file with a byte order mark as
        // UTF-8 (Windows would see the mark as part of the first line).
        BadIni& c = add("utf8_bom");
        std::string utf8Options = c.options + " -j=" HYO_UTF8;
        c.options += " -j=" HYO;
        c.bytes = "\xef\xbb\xbf" + Ini("kavo", {"exe=" + c.program, "option=" + utf8Options, "name=" + c.service,
                                                "end=1"},
                                       "\r\n");
    }
    {
        BadIni& c = add("binary");
        c.bytes = BinaryBytes();
        c.program = c.options = c.service = "";
        c.selection = 0;
        c.hosts = false;
    }
    {   // Nothing can be read from it, nor written to it.
        BadIni& c = add("directory");
        c.kind = kDirectory;
        c.program = c.options = c.service = "";
        c.selection = 0;
        c.hosts = false;
    }
    {
        BadIni& c = add("read_only");
        c.kind = kReadOnly;
        c.bytes = Ini("kavo", lines(c), "\r\n");
    }
    {
        BadIni& c = add("locked");
        c.kind = kLocked;
        c.bytes = Ini("kavo", lines(c), "\r\n");
    }
    return cases;
}

bool MakeIniAt(Where where, const BadIni& c)
{
    std::string path = c.dir + "\\kavo.ini";
    bool made = c.kind == kDirectory ? CreateDirectoryA(path.c_str(), NULL) != 0 : WriteFileBytes(path, c.bytes);
    if (made && c.kind == kReadOnly)
        made = SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY) != 0;
    if (!made)
        ADD_FAILURE_AT(where.file, where.line) << "cannot make kavo.ini for " << c.name;
    return made;
}
#define MakeIni(c) MakeIniAt(HERE, c)

// Whether the platform refuses to open a read-only file for writing (Wine
// run as root does not).
bool ReadOnlyIsEnforced(const std::string& path)
{
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
    if (file == INVALID_HANDLE_VALUE)
        return true;
    CloseHandle(file);
    return false;
}

// kavo's own reading of the file in dir.
ServiceConfig LoadSettingsIn(const std::string& dir)
{
    SetProgramPaths((dir + "\\kavo.exe").c_str());
    WritePrivateProfileStringA(NULL, NULL, NULL, ProgramContext.IniPath);
    LoadSettings();
    return ProgramContext.Config;
}

// What the dialog shows for each file; then a save from it (OK, "register?"
// answered No, or the save-failure message when the file cannot be written),
// and what kavo reads back from the file the save left.
TEST(HostileIni, DialogShowsWhatIsReadAndASaveReadsBack)
{
    const std::string service = "kavo_hostile_dialog";
    for (BadIni& c : BadIniCases("inid", service)) {
        SCOPED_TRACE(c.name);
        KavoDialog kavo;
        kavo.dir = c.dir;
        ASSERT_TRUE(CopyFileTo(KavoExePath(), c.dir + "\\kavo.exe"));
        ASSERT_TRUE(MakeIni(c));
        ASSERT_TRUE(StartKavoDialog(kavo));

        std::string program = ControlText(kavo.window, IDC_PROGRAM);
        std::string options = ControlText(kavo.window, IDC_OPTIONS);
        std::string name = ControlText(kavo.window, IDC_SERVICE_NAME);
        int selection = ComboSelection(kavo.window, IDC_EXIT_METHOD);
        EXPECT_EQ(c.program, program) << Escaped(program);
        EXPECT_EQ(c.options, options) << Escaped(options);
        EXPECT_EQ(c.service, name) << Escaped(name);
        EXPECT_EQ(c.selection, selection);
        EXPECT_LE(program.size(), 259u);
        EXPECT_LE(options.size(), 259u);

        // The user fills what OK would refuse, and saves.
        if (name.empty()) {
            name = service;
            SetControlText(kavo.window, IDC_SERVICE_NAME, name);
        }
        if (program.size() < 4 || _stricmp(program.c_str() + program.size() - 4, ".exe") != 0) {
            program = HostedChildPath();
            SetControlText(kavo.window, IDC_PROGRAM, program);
        }
        std::string before = c.kind == kDirectory ? "" : ReadFileBytes(c.dir + "\\kavo.ini");
        bool refused = c.kind == kDirectory || c.kind == kLocked ||
                       (c.kind == kReadOnly && ReadOnlyIsEnforced(c.dir + "\\kavo.ini"));
        HANDLE lock = INVALID_HANDLE_VALUE;
        if (c.kind == kLocked) {
            lock = CreateFileA((c.dir + "\\kavo.ini").c_str(), GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
            EXPECT_NE(INVALID_HANDLE_VALUE, lock);
        }
        ClickButton(kavo.window, IDOK);
        if (c.unreadableKey) {
            // Saved, the default characters would replace the bytes of the file.
            AnswerDialogMessage(kavo.program.id, kavo.window, "Error",
                                kValueUnreadableBefore + std::string(c.unreadableKey) + kValueUnreadableAfter, MB_OK,
                                IDOK);
            ClickButton(kavo.window, IDCANCEL);
            refused = true;
        } else if (refused) {
            // The user is told; the dialog keeps what was typed and offers no registration.
            AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kSaveFailed, MB_OK, IDOK);
            EXPECT_EQ(program, ControlText(kavo.window, IDC_PROGRAM));
            EXPECT_EQ(name, ControlText(kavo.window, IDC_SERVICE_NAME));
            ClickButton(kavo.window, IDCANCEL);
        } else {
            AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRegister, MB_YESNO, IDNO);
        }
        EXPECT_EQ(0u, WaitForExit(kavo.program));
        EXPECT_FALSE(ReadServiceRegistration(name).found);
        if (lock != INVALID_HANDLE_VALUE)
            CloseHandle(lock);

        ServiceConfig read = LoadSettingsIn(c.dir);
        EXPECT_EQ(c.stopTimeout, read.stopTimeout);
        if (refused) {
            // Nothing could be written: the file (or folder) is as it was.
            if (c.kind == kDirectory) {
                EXPECT_NE(0u, GetFileAttributesA((c.dir + "\\kavo.ini").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
            } else {
                EXPECT_EQ(before, ReadFileBytes(c.dir + "\\kavo.ini"));
            }
            EXPECT_EQ(c.program, read.programPath);
            EXPECT_EQ(c.service, read.serviceName);
        } else {
            EXPECT_EQ(program, read.programPath) << Escaped(read.programPath);
            EXPECT_EQ(options, read.options) << Escaped(read.options);
            EXPECT_EQ(name, read.serviceName) << Escaped(read.serviceName);
            EXPECT_EQ(selection, read.exitMethod);
            // Lines that are not kavo's stay.
            if (!c.foreign.empty()) {
                EXPECT_NE(std::string::npos, ReadFileBytes(c.dir + "\\kavo.ini").find(c.foreign));
            }
        }
        SetFileAttributesA((c.dir + "\\kavo.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// What the service starts for each file: the hosted program with the options
// as read, or, when the file gives nothing to start, nothing: the service
// then stops at once and says it failed. The name in the file need not be
// the registered one: a service of its own process answers to any, and its
// event log entries go under the registered one.
TEST(HostileIniService, WhatTheServiceStarts)
{
    const std::string name = "kavo_hostile_service";
    for (BadIni& c : BadIniCases("inis", name)) {
        SCOPED_TRACE(c.name);
        ServiceGuard guard(name);
        ASSERT_TRUE(CopyFileTo(KavoExePath(), c.dir + "\\kavo.exe"));
        ASSERT_TRUE(MakeIni(c));
        ASSERT_TRUE(CreateServiceFor(name, QuotedPath(c.dir + "\\kavo.exe")));
        std::string log = c.dir + "\\child.log";
        SERVICE_STATUS_PROCESS reported = {};
        size_t mark = EventLogMark();
        if (c.hosts) {
            StateReportWatch watch(name);
            ASSERT_TRUE(StartServiceNow(name));
            WaitForLogLine(log, "ready");
            std::string line = WaitForLogLine(log, "command-line ");
            EXPECT_EQ("command-line " + QuotedPath(c.program) + " " + c.options, line) << Escaped(line);
            ASSERT_TRUE(StopServiceNow(name));
            ASSERT_TRUE(watch.WaitAt(HERE, &reported));
        } else {
            ASSERT_TRUE(StartUntilStopped(name, &reported));
        }
        EXPECT_EQ((DWORD)SERVICE_STOPPED, reported.dwCurrentState);
        if (c.hosts) {
            EXPECT_EQ("exit 0", WaitForLogLine(log, "exit "));
        } else {
            // Nothing to start is a failure, reported by kavo itself.
            EXPECT_FALSE(FileExists(log));
            EXPECT_NE(0u, reported.dwWin32ExitCode);
            EXPECT_NE((DWORD)ERROR_PROCESS_ABORTED, reported.dwWin32ExitCode);
        }
        // Started and closed on the stop; no program named, or one that cannot start.
        std::vector<EventEntry> entries = EventEntriesSince(mark, name);
        EXPECT_EQ(c.hosts ? "100 information, 103 information" : c.program.empty() ? "110 error" : "111 error",
                  BriefOf(entries));
        if (c.program.empty() && entries.size() == 1) {
            EXPECT_EQ((std::vector<std::string>{c.dir + "\\kavo.ini"}), entries[0].strings);
        }
        SetFileAttributesA((c.dir + "\\kavo.ini").c_str(), FILE_ATTRIBUTE_NORMAL);
    }
}

// Texts typed into the fields, as OK saves them: longer than the 259 bytes
// the dialog reads (a double-byte character across the cut among them), cut
// at the front and never inside a character; wholly in quotation marks, or
// with white space around them, which the profile functions would take off
// on reading; pasted with line breaks. kavo reads back what it saved.
TEST(HostileFields, TypedTextsAreReadBackAsSaved)
{
    const struct {
        const char* name;
        std::string typed;
        size_t saved;   // bytes of the typed text that are saved
    } cases[] = {
        {"259", std::string(259, 'o'), 259},
        {"260", std::string(260, 'o'), 259},
        {"4000", std::string(4000, 'o'), 259},
        {"kanji_fits", std::string(257, 'o') + HYO, 259},
        {"kanji_across", std::string(258, 'o') + HYO, 258},
        {"kanji_after", std::string(259, 'o') + HYO, 259},
        {"double_quoted", "\"C:\\My Files\\data.txt\"", 23},
        {"single_quoted", "'a b'", 5},
        {"two_quoted", "\"a\" \"b\"", 7},
        {"only_quotes", "\"\"", 2},
        {"one_quote", "\"", 1},
        {"spaces_around", "  -x  ", 6},
        {"tabs_around", "\t-x\t", 4},
        {"quoted_259", "\"" + std::string(257, 'q') + "\"", 259},
        // A line break would end the line in the file: only the first line is kept.
        {"line_break", "a\r\nend=5\r\nx", 1},
        {"fullwidth_space", "\x81\x40-x\x81\x40", 6},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        KavoDialog kavo;
        ASSERT_TRUE(OpenKavoDialog(kavo, std::string("fields_") + c.name, ""));
        SetControlText(kavo.window, IDC_PROGRAM, "C:\\a.exe");
        SetControlText(kavo.window, IDC_OPTIONS, c.typed);
        SetControlText(kavo.window, IDC_SERVICE_NAME, c.typed);
        ClickButton(kavo.window, IDOK);
        AnswerDialogMessage(kavo.program.id, kavo.window, "kavo", kAskRegister, MB_YESNO, IDNO);
        EXPECT_EQ(0u, WaitForExit(kavo.program));
        ServiceConfig read = LoadSettingsIn(kavo.dir);
        EXPECT_EQ(c.typed.substr(0, c.saved), read.options) << Escaped(read.options);
        EXPECT_EQ(c.typed.substr(0, c.saved), read.serviceName) << Escaped(read.serviceName);
    }
}

}  // namespace
