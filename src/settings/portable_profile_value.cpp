#include "settings/portable_profile_value.h"

#include <string.h>

#include "text/sjis_path.h"
#include "text/text.h"

// White space as the profile functions see it once the text is UTF-16: the
// C white space, ^Z (an old end-of-file mark) and the ideographic space, which
// is 0x81 0x40 in code page 932.
static int IsSingleByteSpace(unsigned char byte)
{
    return byte == ' ' || byte == '\t' || byte == '\n' || byte == '\v' || byte == '\f' || byte == '\r' ||
           byte == 0x1A;
}

static int IsIdeographicSpace(const char* character)
{
    return (unsigned char)character[0] == 0x81 && (unsigned char)character[1] == 0x40;
}

// Where the last character of a non-empty text starts, stepping over double-byte characters.
static const char* LastCharacter(const char* text)
{
    const char* last = text;
    for (const char* p = text; *p; ++p) {
        last = p;
        if (IsLeadByte((unsigned char)*p) && p[1])
            ++p;
    }
    return last;
}

static int ReadingWouldChange(const char* value)
{
    size_t length = strlen(value);
    if (length == 0)
        return 0;
    const char* last = LastCharacter(value);
    if (IsSingleByteSpace((unsigned char)value[0]) || IsIdeographicSpace(value) ||
        IsSingleByteSpace((unsigned char)*last) || (last[1] && IsIdeographicSpace(last)))
        return 1;
    return length >= 2 && (value[0] == '"' || value[0] == '\'') && value[length - 1] == value[0];
}

int FormProfileValue(char* destination, size_t size, const char* value)
{
    if (size == 0)
        return 0;
    destination[0] = '\0';
    int fits = ReadingWouldChange(value)
                   ? AppendText(destination, size, "\"") && AppendText(destination, size, value) &&
                         AppendText(destination, size, "\"")
                   : AppendText(destination, size, value);
    if (!fits)
        destination[0] = '\0';
    return fits;
}
