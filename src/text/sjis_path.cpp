#include "text/sjis_path.h"

#include <string.h>

#include "text/text.h"

int IsSjisLeadByte(unsigned char byte)
{
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

void CutLastPathComponent(char* path)
{
    char* lastBackslash = 0;
    int secondBytePending = 0;
    for (char* p = path; *p; ++p) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsSjisLeadByte((unsigned char)*p))
            secondBytePending = 1;
        else if (*p == '\\')
            lastBackslash = p;
    }
    if (lastBackslash)
        *lastBackslash = '\0';
}

void GetBaseNameNoExt(char* destination, size_t size, const char* path)
{
    const char* name = path;
    int secondBytePending = 0;
    for (const char* p = path; *p; ++p) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsSjisLeadByte((unsigned char)*p))
            secondBytePending = 1;
        else if (*p == '\\' || *p == ':')
            name = p + 1;
    }
    // No second byte of Shift-JIS is a dot, so the dot search needs no lead-byte logic.
    const char* dot = strchr(name, '.');
    size_t length = dot ? (size_t)(dot - name) : strlen(name);
    CopyTextPart(destination, size, name, length);
}

const char* GetExtension(const char* path)
{
    const char* end = path + strlen(path);
    for (const char* p = end - 1; p > path; --p) {
        if (*p == '.')
            return p + 1;
        if (*p == '\\' || *p == '/' || *p == ':')
            return end;
    }
    return path;
}
