#include "entry/code_page.h"

#include <string.h>
#include <windows.h>

#include "entry/context.h"
#include "text/sjis_path.h"

void ReadSystemCodePage()
{
    ProgramContext.AnsiCodePage = GetACP();
    CPINFO info;
    if (!GetCPInfo(CP_ACP, &info))
        return;
    // A code page of up to two bytes a character names its lead bytes; 65001
    // (up to four) names none, and no UTF-8 byte is ever a backslash.
    static const unsigned char kNoLeadBytes[2] = {0, 0};
    if (info.MaxCharSize == 2)
        SetLeadByteRanges(info.LeadByte, sizeof info.LeadByte);
    else
        SetLeadByteRanges(kNoLeadBytes, sizeof kNoLeadBytes);
}

// U+FFFD, the replacement character, in UTF-8.
static const char kReplacementCharacter[] = "\xEF\xBF\xBD";

int IsValidAnsiText(const char* text)
{
    if (strpbrk(text, "?*") || (ProgramContext.AnsiCodePage == CP_UTF8 && strstr(text, kReplacementCharacter)))
        return 0;
    if (MultiByteToWideChar(CP_ACP, MB_ERR_INVALID_CHARS, text, -1, NULL, 0) != 0)
        return 1;
    return GetLastError() == ERROR_INVALID_FLAGS;
}
