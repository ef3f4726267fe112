// kavo's texts on the screen and in the event log. The texts are code page 932
// bytes (resources/messages.h); paths, names and the system's texts are in the
// system's ANSI code page. Where that code page is 932, or the system has no
// 932 table (a Western Windows without East Asian support), everything goes
// through the ANSI functions as it is, byte for byte. Elsewhere kavo's texts
// are converted from 932, the ANSI parts from the ANSI code page, and the
// result reaches the screen through the Unicode functions.
#pragma once

#include <windows.h>

// Decides, once at start-up and after ReadSystemCodePage, how kavo's texts are
// shown (ProgramContext.ConvertsKavoTexts). Before it, the answer is: as they
// are.
void ChooseTextDisplay();

// One of kavo's texts in UTF-16: converted from code page 932 where the
// system has that table, else from the ANSI code page (as the ANSI functions
// would show it). size is in WCHARs; the destination is always terminated when
// size > 0. 1 when it was converted, 0 (and an empty destination) when it
// does not fit.
int ConvertKavoText(const char* text, WCHAR* destination, int size);

// As ConvertKavoText, for length bytes of texts each ended by a zero (the
// open-file dialog's filter, whose last text is empty).
int ConvertKavoTextList(const char* list, int length, WCHAR* destination, int size);

// A text in the system's ANSI code page (a path, a name, a system's text) in
// UTF-16; the same bounds and answer as ConvertKavoText.
int ConvertAnsiText(const char* text, WCHAR* destination, int size);

// A UTF-16 text (a name from the system) in the ANSI code page; 1 only when
// the code page holds every character of it as it is: a character that would
// become '?' or a look-alike (the yen sign becomes '\' on 932) gives 0, as
// does a text that does not fit.
int ConvertToAnsiText(const WCHAR* text, char* destination, int size);

// A message box with one of kavo's texts and captions; answers as MessageBox.
int ShowMessage(HWND owner, const char* text, const char* caption, UINT type);

// What one %s, %d or %lu of one of kavo's texts is filled with: a text in the
// ANSI code page (numbers formatted by the caller), then one of kavo's own
// texts put after it; either may be NULL.
struct TextInsertion {
    const char* AnsiText;
    const char* KavoText;
};

// As ShowMessage, for a text of kavo's (format) whose %s, %d and %lu are
// filled with insertions, in order; "%%" is one percent sign.
int ShowFormattedMessage(HWND owner, const char* format, const TextInsertion* insertions, int count,
                         const char* caption, UINT type);

// Sets a window's text (a button's, say) to one of kavo's texts.
void SetKavoWindowText(HWND window, const char* text);
