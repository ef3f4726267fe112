#include "dialog_driver.h"

#include <gtest/gtest.h>

const char kKavoDialogCaption[] =
    "kavo \x8b\x4e\x93\xae\x83\x76\x83\x8d\x83\x4f\x83\x89\x83\x80\x90\xdd\x92\xe8";

bool SendWithDeadline(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result,
                      DWORD deadlineMs)
{
    DWORD_PTR ignored = 0;
    return SendMessageTimeoutA(window, message, wParam, lParam, SMTO_NORMAL, deadlineMs,
                               result ? result : &ignored) != 0;
}

std::string ControlTextAt(Where where, HWND dialog, int id)
{
    HWND control = GetDlgItem(dialog, id);
    char text[1024];
    DWORD_PTR length = 0;
    if (!control || !SendWithDeadline(control, WM_GETTEXT, sizeof text, (LPARAM)text, &length)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot read the text of control " << id;
        return std::string();
    }
    return std::string(text, length < sizeof text ? length : 0);
}

void SetControlTextAt(Where where, HWND dialog, int id, const std::string& text)
{
    HWND control = GetDlgItem(dialog, id);
    if (!control || !SendWithDeadline(control, WM_SETTEXT, 0, (LPARAM)text.c_str(), NULL))
        ADD_FAILURE_AT(where.file, where.line) << "cannot set the text of control " << id;
}

bool IsControlEnabled(HWND dialog, int id)
{
    return IsWindowEnabled(GetDlgItem(dialog, id)) != 0;
}

void ClickButtonAt(Where where, HWND dialog, int id)
{
    HWND button = GetDlgItem(dialog, id);
    if (!button || !PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)button))
        ADD_FAILURE_AT(where.file, where.line) << "cannot press button " << id;
}

std::vector<std::string> ComboItemsAt(Where where, HWND dialog, int id)
{
    std::vector<std::string> items;
    HWND combo = GetDlgItem(dialog, id);
    DWORD_PTR count = 0;
    if (!combo || !SendWithDeadline(combo, CB_GETCOUNT, 0, 0, &count)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot read combo box " << id;
        return items;
    }
    for (DWORD_PTR index = 0; index < count && (int)count > 0; ++index) {
        wchar_t wide[512] = {};
        DWORD_PTR length = 0;
        if (!SendMessageTimeoutW(combo, CB_GETLBTEXT, index, (LPARAM)wide, SMTO_NORMAL, kWindowDeadline,
                                 &length) ||
            (int)length < 0 || length >= sizeof wide / sizeof wide[0]) {
            ADD_FAILURE_AT(where.file, where.line) << "cannot read item " << index << " of combo box " << id;
            break;
        }
        char bytes[1024];
        int size = WideCharToMultiByte(932, 0, wide, (int)length, bytes, sizeof bytes, NULL, NULL);
        items.push_back(std::string(bytes, size > 0 ? size : 0));
    }
    return items;
}

int ComboSelectionAt(Where where, HWND dialog, int id)
{
    DWORD_PTR selection = 0;
    HWND combo = GetDlgItem(dialog, id);
    if (!combo || !SendWithDeadline(combo, CB_GETCURSEL, 0, 0, &selection)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot read the selection of combo box " << id;
        return -2;
    }
    return (int)selection;
}

void SelectComboItemAt(Where where, HWND dialog, int id, int index)
{
    HWND combo = GetDlgItem(dialog, id);
    if (!combo || !SendWithDeadline(combo, CB_SETCURSEL, (WPARAM)index, 0, NULL))
        ADD_FAILURE_AT(where.file, where.line) << "cannot select item " << index << " of combo box " << id;
}

MessageBoxView WaitForMessageBoxBesidesAt(Where where, DWORD processId, HWND besides, DWORD deadlineMs)
{
    HWND box = NULL;
    bool found = PollUntil(
        [&] {
            for (HWND candidate : WindowsOfProcess(processId, "#32770")) {
                if (candidate != besides && IsWindowVisible(candidate)) {
                    box = candidate;
                    return true;
                }
            }
            return false;
        },
        deadlineMs);
    if (!found) {
        ADD_FAILURE_AT(where.file, where.line)
            << "no message box of process " << processId << " after " << deadlineMs << " ms";
        return MessageBoxView();
    }
    return ReadMessageBox(box);
}

void AnswerDialogMessageAt(Where where, DWORD processId, HWND dialog, const std::string& caption,
                           const std::string& text, UINT type, int answer)
{
    MessageBoxView box = WaitForMessageBoxBesidesAt(where, processId, dialog);
    if (!box.window)
        return;
    std::vector<int> buttons =
        (type & MB_TYPEMASK) == MB_YESNO ? std::vector<int>{IDYES, IDNO} : std::vector<int>{IDOK};
    int defaultButton = (type & MB_DEFMASK) == MB_DEFBUTTON2 ? buttons.back() : buttons.front();
    if (box.owner != dialog || box.hasIcon || box.caption != caption || box.text != text || box.buttons != buttons ||
        box.defaultButton != defaultButton) {
        std::string shown;
        for (int id : box.buttons)
            shown += " " + std::to_string(id);
        ADD_FAILURE_AT(where.file, where.line)
            << "expected a box owned by the dialog, no icon, caption " << Escaped(caption) << ", text "
            << Escaped(text) << "\nshown: owner " << (box.owner == dialog ? "the dialog" : "another window")
            << (box.hasIcon ? ", an icon" : "") << ", caption " << Escaped(box.caption) << ", text "
            << Escaped(box.text) << ", buttons" << shown << ", default " << box.defaultButton;
    }
    AnswerMessageBoxAt(where, box, answer);
}

bool IsResponding(HWND window, DWORD waitMs)
{
    return SendWithDeadline(window, WM_NULL, 0, 0, NULL, waitMs);
}

// How long one look at a busy window waits for its answer.
static const DWORD kRespondingProbe = 100;

bool WaitUntilRespondingAt(Where where, HWND window, DWORD deadlineMs)
{
    if (PollUntil([&] { return IsResponding(window, kRespondingProbe); }, deadlineMs))
        return true;
    ADD_FAILURE_AT(where.file, where.line) << "the window did not answer within " << deadlineMs << " ms";
    return false;
}

std::string KavoIni(const std::string& program, const std::string& options, const std::string& service,
                    const std::string& exitMethod)
{
    return "[kavo]\r\nexe=" + program + "\r\noption=" + options + "\r\nname=" + service + "\r\nend=" +
           exitMethod + "\r\n";
}

bool StartKavoDialogAt(Where where, KavoDialog& kavo)
{
    if (!StartProgramAt(where, kavo.program, "\"" + kavo.dir + "\\kavo.exe\"", kavo.dir))
        return false;
    // The caption comes from the template in UTF-16: as ANSI bytes it is the
    // system's code page's.
    std::string caption = ToCodePage(CP_ACP, FromCodePage(932, kKavoDialogCaption));
    kavo.window = WaitForWindowAt(where, kavo.program.id, "#32770", caption.c_str());
    return kavo.window != NULL;
}

bool OpenKavoDialogAt(Where where, KavoDialog& kavo, const std::string& folder, const std::string& iniBytes)
{
    kavo.dir = MakeWorkDir(folder);
    if (!CopyFileTo(KavoExePath(), kavo.dir + "\\kavo.exe")) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot copy kavo.exe to " << kavo.dir;
        return false;
    }
    if (!iniBytes.empty() && !WriteFileBytes(kavo.IniPath(), iniBytes)) {
        ADD_FAILURE_AT(where.file, where.line) << "cannot write " << kavo.IniPath();
        return false;
    }
    return StartKavoDialogAt(where, kavo);
}
