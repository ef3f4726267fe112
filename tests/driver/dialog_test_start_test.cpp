// The dialog's test start: the hosted test program started from the dialog's
// fields, the message, and the chosen close message after OK.
#include <gtest/gtest.h>

#include <stdlib.h>

#include "dialog_texts.h"
#include "resources/resource.h"
#include "support/dialog_driver.h"

namespace {

// How long a look at a dialog that should be busy waits for an answer.
const DWORD kBusyProbe = 300;

// The test start's own bound on waiting for a program to become idle, with room.
const DWORD kIdleBoundDeadline = 45000;
// A 2 s stoptimeout's close, with room (the program would hang for ever).
const DWORD kWithinTheBound = 15000;

std::string Directory(const std::string& path)
{
    return path.substr(0, path.find_last_of('\\'));
}

// The dialog with the hosted test program in its fields (not saved anywhere).
struct TestStart {
    KavoDialog kavo;
    std::string log;

    bool Open(const std::string& folder, const std::string& childOptions, const std::string& ini = "")
    {
        if (!OpenKavoDialog(kavo, folder, ini))
            return false;
        log = kavo.dir + "\\child.log";
        SetControlText(kavo.window, IDC_PROGRAM, HostedChildPath());
        SetControlText(kavo.window, IDC_OPTIONS, log + childOptions);
        return true;
    }
    // Presses the fourth button and waits for the test start's message.
    MessageBoxView Start()
    {
        ClickButton(kavo.window, IDC_TEST_DELETE);
        return WaitForMessageBoxBesides(kavo.program.id, kavo.window);
    }
    DWORD ChildId() { return strtoul(WaitForLogLine(log, "start ").c_str() + 6, NULL, 10); }
    ~TestStart()
    {
        for (const std::string& line : LogLinesStartingWith(log, "start "))
            EndProcessById(strtoul(line.c_str() + 6, NULL, 10));
    }
};

void ExpectTheTestStartMessage(Where where, const MessageBoxView& box, HWND dialog)
{
    EXPECT_EQ(dialog, box.owner) << where.file << ":" << where.line;
    EXPECT_EQ("kavo", box.caption) << where.file << ":" << where.line;
    EXPECT_EQ(kTestStarted, box.text) << where.file << ":" << where.line << " " << Escaped(box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons) << where.file << ":" << where.line;
    EXPECT_FALSE(box.hasIcon) << where.file << ":" << where.line;
}

// The program runs from the fields' texts in its own folder; after OK it gets
// the close message of the list's selection, and the dialog answers again. A
// program in a folder others may change is named first, with who may change
// it: No starts nothing, Yes starts it as any other.
TEST(DialogTestStart, ClosesWithTheChosenMessage)
{
    const std::string byWmClose = "close WM_CLOSE main1 unowned visible";
    // The program's default handling turns SC_CLOSE into WM_CLOSE.
    const std::vector<std::string> bySysCommand = {"close SC_CLOSE main1 unowned visible", byWmClose};
    const struct {
        const char* ini;
        int select;   // -2: leave the list as the settings left it
        std::vector<std::string> closeLines;
        bool inWritableFolder;
    } cases[] = {
        {"", 0, {byWmClose}, false},
        {"", 1, bySysCommand, false},
        // Nothing selected: WM_CLOSE.
        {"[kavo]\r\nexe=C:\\saved\\other.exe\r\noption=-saved\r\nname=kavo_saved\r\nend=7\r\n", -2,
         {byWmClose}, false},
        {"", 0, {byWmClose}, true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.closeLines[0] + (c.inWritableFolder ? " in a folder others may change" : ""));
        TestStart test;
        ASSERT_TRUE(test.Open("dialog_test_start_" + std::to_string(index++), " -windows=1", c.ini));
        if (c.select != -2)
            SelectComboItem(test.kavo.window, IDC_EXIT_METHOD, c.select);
        std::string program = HostedChildPath();
        MessageBoxView box;
        if (c.inWritableFolder) {
            std::string folder = test.kavo.dir + "\\tools";
            program = folder + "\\hosted_child.exe";
            ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
            ASSERT_TRUE(CopyFileTo(HostedChildPath(), program));
            ASSERT_TRUE(AllowOthersToWrite(folder));
            SetControlText(test.kavo.window, IDC_PROGRAM, program);
            std::string warning = WritableByOthersWarning(folder + "\\", "Everyone", kTestWritableByOthersAfter);
            ClickButton(test.kavo.window, IDC_TEST_DELETE);
            AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", warning, MB_YESNO | MB_DEFBUTTON2, IDNO);
            EXPECT_TRUE(WaitUntilResponding(test.kavo.window));
            EXPECT_EQ(std::vector<HWND>{test.kavo.window}, WindowsOfProcess(test.kavo.program.id, "#32770"));
            EXPECT_FALSE(FileExists(test.log));
            ClickButton(test.kavo.window, IDC_TEST_DELETE);
            AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo", warning, MB_YESNO | MB_DEFBUTTON2, IDYES);
            box = WaitForMessageBoxBesides(test.kavo.program.id, test.kavo.window);
        } else {
            box = test.Start();
        }
        ExpectTheTestStartMessage(HERE, box, test.kavo.window);
        // The program is up before the message is shown.
        EXPECT_NE("", WaitForLogLine(test.log, "ready"));
        EXPECT_EQ((std::vector<std::string>{"command-line " + program + " " + test.log + " -windows=1"}),
                  LogLinesStartingWith(test.log, "command-line "));
        EXPECT_EQ((std::vector<std::string>{"current-directory " + Directory(program)}),
                  LogLinesStartingWith(test.log, "current-directory "));
        EXPECT_TRUE(LogLinesStartingWith(test.log, "close ").empty());

        AnswerMessageBox(box, IDOK);
        EXPECT_NE("", WaitForLogLine(test.log, "exit "));
        EXPECT_TRUE(WaitUntilResponding(test.kavo.window));
        EXPECT_EQ(c.closeLines, LogLinesStartingWith(test.log, "close "));
        // A test start changes no setting.
        EXPECT_EQ(c.ini, ReadFileBytes(test.kavo.IniPath()));
        ClickButton(test.kavo.window, IDCANCEL);
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));
    }
}

// The program asks about unsaved changes: the dialog waits inside the close
// protocol until the question is answered.
TEST(DialogTestStart, WaitsForTheProgramsQuestion)
{
    TestStart test;
    ASSERT_TRUE(test.Open("dialog_test_start_ask", " -ask"));
    MessageBoxView box = test.Start();
    ExpectTheTestStartMessage(HERE, box, test.kavo.window);
    DWORD child = test.ChildId();
    AnswerMessageBox(box, IDOK);
    MessageBoxView question = WaitForMessageBox(child);
    EXPECT_EQ("Save changes?", question.text);
    // The dialog's thread waits inside SendMessageA: it still handles sent
    // messages, but a pressed button waits until the question is answered.
    ClickButton(test.kavo.window, IDCANCEL);
    EXPECT_EQ((DWORD)WAIT_TIMEOUT, WaitForSingleObject(test.kavo.program.process, kBusyProbe))
        << "the dialog closed while the program's question was open";
    AnswerMessageBox(question, IDNO);
    EXPECT_NE("", WaitForLogLine(test.log, "exit "));
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
    EXPECT_EQ((std::vector<std::string>{"close WM_CLOSE main1 unowned visible"}),
              LogLinesStartingWith(test.log, "close "));
}

// A program with no window gets nothing; the dialog waits until it ends.
// A program that ended before OK: the dialog answers again at once.
TEST(DialogTestStart, ProgramsWithoutWindows)
{
    const struct {
        const char* options;
        bool endsBeforeOk;
    } cases[] = {
        {" -no-window -exit-after=3000", false},
        {" -no-window -exit-after=0", true},
    };
    int index = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.options);
        TestStart test;
        ASSERT_TRUE(test.Open("dialog_test_start_windowless_" + std::to_string(index++), c.options));
        MessageBoxView box = test.Start();
        ExpectTheTestStartMessage(HERE, box, test.kavo.window);
        if (c.endsBeforeOk) {
            EXPECT_NE("", WaitForLogLine(test.log, "exit "));
        }
        AnswerMessageBox(box, IDOK);
        if (!c.endsBeforeOk) {
            bool answered = IsResponding(test.kavo.window, kBusyProbe);
            // Only telling while the program still runs.
            if (LogLinesStartingWith(test.log, "exit ").empty()) {
                EXPECT_FALSE(answered) << "the dialog answered while the program still ran";
            }
            EXPECT_NE("", WaitForLogLine(test.log, "exit "));
        }
        EXPECT_TRUE(WaitUntilResponding(test.kavo.window));
        EXPECT_TRUE(LogLinesStartingWith(test.log, "close ").empty());
        ClickButton(test.kavo.window, IDCANCEL);
        EXPECT_EQ(0u, WaitForExit(test.kavo.program));
    }
}

// A program whose window never returns from its close message (it hangs
// there): the close is given up at the stop's bound (stoptimeout, here 2 s)
// and the dialog answers again, the program left to the user.
TEST(DialogTestStart, ProgramThatNeverAnswersItsCloseMessage)
{
    TestStart test;
    ASSERT_TRUE(test.Open("dialog_test_start_hangs", " -hang-on-close", "[kavo]\r\nstoptimeout=2\r\n"));
    MessageBoxView box = test.Start();
    ExpectTheTestStartMessage(HERE, box, test.kavo.window);
    AnswerMessageBox(box, IDOK);
    EXPECT_EQ("close WM_CLOSE main1 unowned visible", WaitForLogLine(test.log, "close "));
    EXPECT_TRUE(WaitUntilResponding(test.kavo.window, kWithinTheBound));
    EXPECT_TRUE(LogLinesStartingWith(test.log, "exit ").empty());
    ClickButton(test.kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
}

// A program that cannot be started: no message, the dialog stays as it was.
TEST(DialogTestStart, ProgramThatCannotStart)
{
    const char* programs[] = {
        "C:\\no such folder\\app.exe",
        "hosted_child.exe",   // no backslash: the working directory is the whole text
        "",
    };
    KavoDialog kavo;
    ASSERT_TRUE(OpenKavoDialog(kavo, "dialog_test_start_fails", ""));
    for (const char* program : programs) {
        SCOPED_TRACE(program);
        SetControlText(kavo.window, IDC_PROGRAM, program);
        // Sent, not posted: it returns once the button's work is done.
        EXPECT_TRUE(SendWithDeadline(kavo.window, WM_COMMAND, MAKEWPARAM(IDC_TEST_DELETE, BN_CLICKED),
                                     (LPARAM)GetDlgItem(kavo.window, IDC_TEST_DELETE), NULL));
        EXPECT_EQ(std::vector<HWND>{kavo.window}, WindowsOfProcess(kavo.program.id, "#32770"));
        EXPECT_EQ(program, ControlText(kavo.window, IDC_PROGRAM));
    }
    ClickButton(kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(kavo.program));
}

// A program that never becomes idle does not keep the dialog blocked for good:
// the message comes after the test start's bound on that wait.
TEST(DialogTestStart, ProgramThatNeverBecomesIdle)
{
    TestStart test;
    ASSERT_TRUE(test.Open("dialog_test_start_never_idle", " -sleep=120000"));
    ClickButton(test.kavo.window, IDC_TEST_DELETE);
    MessageBoxView box = WaitForMessageBoxBesides(test.kavo.program.id, test.kavo.window, kIdleBoundDeadline);
    ExpectTheTestStartMessage(HERE, box, test.kavo.window);
    EXPECT_TRUE(LogLinesStartingWith(test.log, "ready").empty()) << "the program was idle after all";
    // Ended by hand, as the message asks for a program that does not close.
    EndProcessById(test.ChildId());
    AnswerMessageBox(box, IDOK);
    EXPECT_TRUE(WaitUntilResponding(test.kavo.window));
    ClickButton(test.kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
}

}  // namespace

namespace {

// A batch file, even one the program field names with a quoted path and more
// after it: the test start refuses it with a message and runs nothing.
TEST(DialogTestStart, BatchFilesAreRefused)
{
    TestStart test;
    ASSERT_TRUE(test.Open("dialog_test_start_batch", ""));
    std::string folder = test.kavo.dir + "\\R&D";
    std::string script = folder + "\\run.bat";
    std::string marker = test.kavo.dir + "\\ran.txt";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), NULL));
    ASSERT_TRUE(WriteFileBytes(script, "echo ran > \"" + marker + "\"\r\n"));
    for (const std::string& field : {script, "\"" + script + "\" x.exe"}) {
        SCOPED_TRACE(field);
        SetControlText(test.kavo.window, IDC_PROGRAM, field);
        ClickButton(test.kavo.window, IDC_TEST_DELETE);
        AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "Error",
                            kScriptRefusedBefore + script + kScriptRefusedAfter, MB_OK, IDOK);
        EXPECT_TRUE(WaitUntilResponding(test.kavo.window));
    }
    EXPECT_FALSE(FileExists(marker));
    ClickButton(test.kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
}

// Between the check and the start the program's drive is pointed at another
// folder (under Wine, a drive letter is a link anyone root may repoint; on
// Windows a junction or link inside the path): the warning about the folder
// others may change holds the test start, its No is the default button, and a
// Yes after the swap starts a process that is not the file checked. It is
// ended before it ran, and the user is told.
TEST(DialogTestStart, AProgramSwappedAfterItsCheckDoesNotRun)
{
    TestStart test;
    ASSERT_TRUE(test.Open("dialog_test_start_swap", " -windows=1"));
    std::string checked = test.kavo.dir + "\\checked";
    std::string swapped = test.kavo.dir + "\\swapped";
    ASSERT_TRUE(CreateDirectoryA(checked.c_str(), NULL));
    ASSERT_TRUE(CreateDirectoryA(swapped.c_str(), NULL));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), checked + "\\hosted_child.exe"));
    ASSERT_TRUE(CopyFileTo(HostedChildPath(), swapped + "\\hosted_child.exe"));
    ASSERT_TRUE(AllowOthersToWrite(checked));
    MappedDrive drive;
    ASSERT_TRUE(MapDrive(drive, 'W', checked));
    std::string program = drive.root + "hosted_child.exe";
    SetControlText(test.kavo.window, IDC_PROGRAM, program);
    ClickButton(test.kavo.window, IDC_TEST_DELETE);
    MessageBoxView warning = WaitForMessageBoxBesides(test.kavo.program.id, test.kavo.window);
    EXPECT_EQ(WritableByOthersWarning(drive.root, "Everyone", kTestWritableByOthersAfter), warning.text);
    EXPECT_EQ(IDNO, warning.defaultButton);

    MappedDrive swap;
    ASSERT_TRUE(MapDrive(swap, 'W', swapped));
    AnswerMessageBox(warning, IDYES);
    AnswerDialogMessage(test.kavo.program.id, test.kavo.window, "kavo",
                        kTestImageNotCheckedBefore + program + kTestImageNotCheckedAfter, MB_OK, IDOK);
    EXPECT_TRUE(WaitUntilResponding(test.kavo.window));
    EXPECT_FALSE(FileExists(test.log));
    ClickButton(test.kavo.window, IDCANCEL);
    EXPECT_EQ(0u, WaitForExit(test.kavo.program));
}

}  // namespace
