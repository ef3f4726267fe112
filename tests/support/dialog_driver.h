// Driving dialogs of another process (or of another thread of this one): read
// and set controls, click buttons, read combo boxes, find message boxes beside
// a dialog, tell whether a window answers; and kavo's own dialog, started from
// its folder.
//
// Messages to another process's windows are sent with a deadline, so that a
// blocked dialog fails the test instead of hanging it.
#pragma once

#include "support.h"

// Sends a message with a deadline; false when the window did not answer in time.
bool SendWithDeadline(HWND window, UINT message, WPARAM wParam, LPARAM lParam, DWORD_PTR* result,
                      DWORD deadlineMs = kWindowDeadline);

// The text of a control (WM_GETTEXT, bytes in the ANSI code page).
std::string ControlTextAt(Where where, HWND dialog, int id);
#define ControlText(...) ControlTextAt(HERE, __VA_ARGS__)

// Replaces the text of a control (WM_SETTEXT), as typing would.
void SetControlTextAt(Where where, HWND dialog, int id, const std::string& text);
#define SetControlText(...) SetControlTextAt(HERE, __VA_ARGS__)

bool IsControlEnabled(HWND dialog, int id);

// Presses a button of the dialog: posts its WM_COMMAND, since what the button
// does may keep the dialog busy (a message box, a test start).
void ClickButtonAt(Where where, HWND dialog, int id);
#define ClickButton(...) ClickButtonAt(HERE, __VA_ARGS__)

// The items of a combo box, in CP932 bytes. Across processes CB_GETLBTEXT sent
// with the A call comes back in UTF-16, so the W call is used and converted.
std::vector<std::string> ComboItemsAt(Where where, HWND dialog, int id);
#define ComboItems(...) ComboItemsAt(HERE, __VA_ARGS__)

// The combo box's selected index (-1 when nothing is selected), and choosing one.
int ComboSelectionAt(Where where, HWND dialog, int id);
#define ComboSelection(...) ComboSelectionAt(HERE, __VA_ARGS__)
void SelectComboItemAt(Where where, HWND dialog, int id, int index);
#define SelectComboItem(...) SelectComboItemAt(HERE, __VA_ARGS__)

// Waits for a message box of the process other than the dialog `besides`
// (which has the same window class), and reads it.
MessageBoxView WaitForMessageBoxBesidesAt(Where where, DWORD processId, HWND besides,
                                          DWORD deadlineMs = kWindowDeadline);
#define WaitForMessageBoxBesides(...) WaitForMessageBoxBesidesAt(HERE, __VA_ARGS__)

// Waits for a message box beside the dialog and checks what a user sees: owned
// by the dialog, no icon, the caption and text bytes, the buttons of type
// (MB_OK or MB_YESNO) and the one Enter presses (the first, or No with
// MB_DEFBUTTON2); then presses answer.
void AnswerDialogMessageAt(Where where, DWORD processId, HWND dialog, const std::string& caption,
                           const std::string& text, UINT type, int answer);
#define AnswerDialogMessage(...) AnswerDialogMessageAt(HERE, __VA_ARGS__)

// Whether the window's thread handles a message within waitMs.
bool IsResponding(HWND window, DWORD waitMs);

// Waits until the window's thread handles messages again.
bool WaitUntilRespondingAt(Where where, HWND window, DWORD deadlineMs = kExitDeadline);
#define WaitUntilResponding(...) WaitUntilRespondingAt(HERE, __VA_ARGS__)

// The five-line settings file as kavo writes it.
std::string KavoIni(const std::string& program, const std::string& options, const std::string& service,
                    const std::string& exitMethod);

// kavo.exe in a folder of its own, started from that folder as a person starts
// it, and its configuration dialog.
struct KavoDialog {
    std::string dir;
    Program program;
    HWND window = NULL;
    std::string IniPath() const { return dir + "\\kavo.ini"; }
};

// Makes the folder (with kavo.ini of iniBytes unless they are empty), starts
// kavo.exe and waits for its dialog; fails the test when it does not appear.
bool OpenKavoDialogAt(Where where, KavoDialog& kavo, const std::string& folder, const std::string& iniBytes);
#define OpenKavoDialog(...) OpenKavoDialogAt(HERE, __VA_ARGS__)

// Starts kavo.exe in its prepared folder and waits for its dialog.
bool StartKavoDialogAt(Where where, KavoDialog& kavo);
#define StartKavoDialog(...) StartKavoDialogAt(HERE, __VA_ARGS__)

// The dialog's caption, "kavo 起動プログラム設定", in code page 932.
extern const char kKavoDialogCaption[];
