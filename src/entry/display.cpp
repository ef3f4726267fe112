#include "entry/display.h"

#include "entry/context.h"
#include "resources/messages.h"
#include "settings/settings.h"
#include "text/portable_fill_in.h"
#include "text/text.h"

// The most insertions one of kavo's texts has, and the room for one: a path, a
// name or a system's text, and a text of kavo's after it.
enum { MAX_INSERTIONS = 4, INSERTION_SIZE = MESSAGE_SIZE / 2 };

void ChooseTextDisplay()
{
    int hasTable = IsValidCodePage(932) != 0;
    // Windows 9x has the Unicode functions as stubs that show nothing: there
    // kavo only says that it needs Windows NT, and says it as it is.
    int isWindowsNT = ReadWindowsNTVersion() != 0;
    ProgramContext.KavoTextCodePage = hasTable ? 932 : CP_ACP;
    ProgramContext.ConvertsKavoTexts = hasTable && isWindowsNT && ProgramContext.AnsiCodePage != 932;
}

static int ConvertBytes(UINT codePage, const char* text, int length, WCHAR* destination, int size)
{
    if (size <= 0)
        return 0;
    int converted = MultiByteToWideChar(codePage, 0, text, length, destination, size);
    if (converted <= 0) {
        destination[0] = 0;
        return 0;
    }
    return 1;
}

int ConvertKavoText(const char* text, WCHAR* destination, int size)
{
    return ConvertBytes(ProgramContext.KavoTextCodePage, text, -1, destination, size);
}

int ConvertKavoTextList(const char* list, int length, WCHAR* destination, int size)
{
    return ConvertBytes(ProgramContext.KavoTextCodePage, list, length, destination, size);
}

int ConvertAnsiText(const char* text, WCHAR* destination, int size)
{
    return ConvertBytes(CP_ACP, text, -1, destination, size);
}

int ConvertToAnsiText(const WCHAR* text, char* destination, int size)
{
    if (size <= 0)
        return 0;
    // UTF-8 takes neither the flag nor the question whether a default was used.
    int utf8 = ProgramContext.AnsiCodePage == CP_UTF8;
    BOOL usedDefault = FALSE;
    int length = WideCharToMultiByte(CP_ACP, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, text, -1, destination, size, NULL,
                                     utf8 ? NULL : &usedDefault);
    // Windows NT 4 has no WC_NO_BEST_FIT_CHARS; the round trip below catches
    // what a best fit makes of a character there.
    if (length <= 0 && !utf8 && GetLastError() == ERROR_INVALID_FLAGS)
        length = WideCharToMultiByte(CP_ACP, 0, text, -1, destination, size, NULL, &usedDefault);
    // Back to UTF-16, the text must be the one given: an unpaired surrogate
    // becomes U+FFFD in UTF-8, a look-alike another character.
    WCHAR back[MESSAGE_SIZE];
    int same = length > 0 && !usedDefault &&
               MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, destination, -1, back, MESSAGE_SIZE) > 0;
    for (int i = 0; same; ++i) {
        if (back[i] != text[i])
            same = 0;
        else if (!text[i])
            break;
    }
    if (!same)
        destination[0] = '\0';
    return same;
}

int ShowMessage(HWND owner, const char* text, const char* caption, UINT type)
{
    if (!ProgramContext.ConvertsKavoTexts)
        return MessageBoxA(owner, text, caption, type);
    WCHAR wideText[MESSAGE_SIZE];
    WCHAR wideCaption[TEXT_SIZE];
    ConvertKavoText(text, wideText, MESSAGE_SIZE);
    ConvertKavoText(caption, wideCaption, TEXT_SIZE);
    return MessageBoxW(owner, wideText, wideCaption, type);
}

int ShowFormattedMessage(HWND owner, const char* format, const TextInsertion* insertions, int count,
                         const char* caption, UINT type)
{
    if (count > MAX_INSERTIONS)
        count = MAX_INSERTIONS;
    if (!ProgramContext.ConvertsKavoTexts) {
        char pieces[MAX_INSERTIONS][INSERTION_SIZE];
        const char* filled[MAX_INSERTIONS];
        for (int i = 0; i < count; ++i) {
            CopyText(pieces[i], sizeof pieces[i], insertions[i].AnsiText ? insertions[i].AnsiText : "");
            if (insertions[i].KavoText)
                AppendText(pieces[i], sizeof pieces[i], insertions[i].KavoText);
            filled[i] = pieces[i];
        }
        char text[MESSAGE_SIZE];
        FillInText(text, sizeof text, format, filled, count);
        return MessageBoxA(owner, text, caption, type);
    }
    WCHAR pieces[MAX_INSERTIONS][INSERTION_SIZE];
    const WCHAR* filled[MAX_INSERTIONS];
    for (int i = 0; i < count; ++i) {
        pieces[i][0] = 0;
        if (insertions[i].AnsiText)
            ConvertAnsiText(insertions[i].AnsiText, pieces[i], INSERTION_SIZE);
        int used = lstrlenW(pieces[i]);
        if (insertions[i].KavoText)
            ConvertKavoText(insertions[i].KavoText, pieces[i] + used, INSERTION_SIZE - used);
        filled[i] = pieces[i];
    }
    WCHAR wideFormat[MESSAGE_SIZE];
    WCHAR text[MESSAGE_SIZE];
    WCHAR wideCaption[TEXT_SIZE];
    ConvertKavoText(format, wideFormat, MESSAGE_SIZE);
    FillInText(text, MESSAGE_SIZE, (const WCHAR*)wideFormat, filled, count);
    ConvertKavoText(caption, wideCaption, TEXT_SIZE);
    return MessageBoxW(owner, text, wideCaption, type);
}

void SetKavoWindowText(HWND window, const char* text)
{
    if (!ProgramContext.ConvertsKavoTexts) {
        SetWindowTextA(window, text);
        return;
    }
    WCHAR wide[TEXT_SIZE];
    ConvertKavoText(text, wide, TEXT_SIZE);
    SetWindowTextW(window, wide);
}
