#include "text/text.h"

#include <stdint.h>
#include <string.h>

#include "text/sjis_path.h"

int CopyTextPart(char* destination, size_t size, const char* source, size_t length)
{
    if (size == 0)
        return 0;
    size_t used = 0;
    while (used < length && source[used]) {
        size_t characterLength = 1;
        if (IsLeadByte((unsigned char)source[used]) && used + 1 < length && source[used + 1])
            characterLength = 2;
        if (used + characterLength > size - 1)
            break;
        used += characterLength;
    }
    memcpy(destination, source, used);
    destination[used] = '\0';
    return used == length || source[used] == '\0';
}

int CopyText(char* destination, size_t size, const char* source)
{
    return CopyTextPart(destination, size, source, strlen(source));
}

int AppendText(char* destination, size_t size, const char* source)
{
    size_t have = 0;
    while (have < size && destination[have])
        ++have;
    size_t add = strlen(source);
    if (have >= size || add >= size - have)
        return 0;
    memcpy(destination + have, source, add + 1);
    return 1;
}

int ParseDecimal(const char* text)
{
    const char* p = text;
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\v' || *p == '\f' || *p == '\r')
        ++p;
    int negative = 0;
    if (*p == '+' || *p == '-')
        negative = *p++ == '-';
    uint32_t value = 0;
    for (; *p >= '0' && *p <= '9'; ++p)
        value = value * 10u + (uint32_t)(*p - '0');
    if (negative)
        value = 0u - value;
    return (int)value;
}

int FormPathInDirectory(char* destination, size_t size, const char* directory, const char* fileName)
{
    if (size == 0)
        return 0;
    destination[0] = '\0';
    if (CopyText(destination, size, directory) && AppendText(destination, size, "\\") &&
        AppendText(destination, size, fileName))
        return 1;
    destination[0] = '\0';
    return 0;
}
