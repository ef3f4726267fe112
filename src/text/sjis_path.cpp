#include "text/sjis_path.h"

#include <string.h>

#include "text/text.h"

// The ranges, pairs of first and last byte; an empty pair ends them. Those of
// code page 932 until ranges are set. (No initialised variable: the program
// then needs no writable data section, and is smaller by its alignment.)
static const unsigned char kRanges932[LEAD_BYTE_RANGES_SIZE] = {0x81, 0x9F, 0xE0, 0xFC};
static unsigned char LeadByteRanges[LEAD_BYTE_RANGES_SIZE];
static int LeadByteRangesSet;

void SetLeadByteRanges(const unsigned char* ranges, size_t size)
{
    LeadByteRangesSet = 1;
    size_t used = 0;
    for (; used + 1 < size && used + 1 < sizeof LeadByteRanges && (ranges[used] || ranges[used + 1]); used += 2) {
        LeadByteRanges[used] = ranges[used];
        LeadByteRanges[used + 1] = ranges[used + 1];
    }
    for (; used < sizeof LeadByteRanges; ++used)
        LeadByteRanges[used] = 0;
}

int IsLeadByte(unsigned char byte)
{
    const unsigned char* ranges = LeadByteRangesSet ? LeadByteRanges : kRanges932;
    for (size_t i = 0; i + 1 < LEAD_BYTE_RANGES_SIZE && (ranges[i] || ranges[i + 1]); i += 2)
        if (byte != 0 && byte >= ranges[i] && byte <= ranges[i + 1])
            return 1;
    return 0;
}

// Windows takes a slash for a backslash in every path it is given.
static int IsSeparator(char byte)
{
    return byte == '\\' || byte == '/';
}

void CutLastPathComponent(char* path)
{
    char* lastSeparator = 0;
    int secondBytePending = 0;
    for (char* p = path; *p; ++p) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsLeadByte((unsigned char)*p))
            secondBytePending = 1;
        else if (IsSeparator(*p))
            lastSeparator = p;
    }
    if (lastSeparator)
        *lastSeparator = '\0';
}

void GetBaseNameNoExt(char* destination, size_t size, const char* path)
{
    const char* name = path;
    int secondBytePending = 0;
    for (const char* p = path; *p; ++p) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsLeadByte((unsigned char)*p))
            secondBytePending = 1;
        else if (IsSeparator(*p) || *p == ':')
            name = p + 1;
    }
    // No second byte of a double-byte character is a dot (they are 0x40 and
    // above in every code page), so the dot search needs no lead-byte logic.
    const char* dot = strchr(name, '.');
    size_t length = dot ? (size_t)(dot - name) : strlen(name);
    CopyTextPart(destination, size, name, length);
}

const char* GetExtension(const char* path)
{
    const char* end = path + strlen(path);
    const char* dot = 0;
    const char* separator = 0;
    int secondBytePending = 0;
    for (const char* p = path; *p; ++p) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsLeadByte((unsigned char)*p))
            secondBytePending = 1;
        else if (p == path)
            continue;
        else if (*p == '.')
            dot = p;
        else if (IsSeparator(*p) || *p == ':')
            separator = p;
    }
    if (dot && (!separator || dot > separator))
        return dot + 1;
    return separator ? end : path;
}

// The length of the path without the separators that end it; a 0x5C that is
// the second byte of a double-byte character is no backslash.
static size_t LengthWithoutTrailingBackslashes(const char* path, size_t length)
{
    size_t end = 0;
    int secondBytePending = 0;
    for (size_t i = 0; i < length; ++i) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsLeadByte((unsigned char)path[i]))
            secondBytePending = 1;
        else if (IsSeparator(path[i]))
            continue;
        end = i + 1;
    }
    return end;
}

// A single-byte character as the comparisons take it: a letter in upper case,
// a slash as a backslash.
static unsigned char FoldAsciiCase(unsigned char byte)
{
    if (byte == '/')
        return '\\';
    return byte >= 'a' && byte <= 'z' ? (unsigned char)(byte - 'a' + 'A') : byte;
}

// Equal lengths and equal characters: single bytes compared as FoldAsciiCase
// makes them, a double-byte character (whose second byte may look like a
// letter or a backslash) byte for byte.
static int SamePathText(const char* path, size_t length, const char* otherPath, size_t otherLength)
{
    if (length != otherLength)
        return 0;
    for (size_t i = 0; i < length; ++i) {
        unsigned char byte = (unsigned char)path[i];
        unsigned char otherByte = (unsigned char)otherPath[i];
        if (IsLeadByte(byte)) {
            if (byte != otherByte || (i + 1 < length && path[i + 1] != otherPath[i + 1]))
                return 0;
            ++i;
        } else if (FoldAsciiCase(byte) != FoldAsciiCase(otherByte)) {
            return 0;
        }
    }
    return 1;
}

int IsSameFolder(const char* folder, const char* otherFolder)
{
    return SamePathText(folder, LengthWithoutTrailingBackslashes(folder, strlen(folder)), otherFolder,
                        LengthWithoutTrailingBackslashes(otherFolder, strlen(otherFolder)));
}

int IsPathOfProgram(const char* registeredPath, const char* programPath)
{
    // No second byte of a double-byte character is a space or a quotation
    // mark, so both ends are trimmed byte by byte.
    const char* start = registeredPath;
    const char* end = registeredPath + strlen(registeredPath);
    while (start < end && *start == ' ')
        ++start;
    while (end > start && end[-1] == ' ')
        --end;
    // As the service control manager reads it, an opening quotation mark
    // without its closing one still runs the file up to the end.
    if (start < end && *start == '"')
        ++start;
    if (end > start && end[-1] == '"')
        --end;
    return SamePathText(start, (size_t)(end - start), programPath, strlen(programPath));
}

int FormFolderOfPath(char* folder, size_t size, const char* path)
{
    size_t length = strlen(path);
    int fits = CopyText(folder, size, path);
    if (fits) {
        CutLastPathComponent(folder);
        fits = strlen(folder) < length && AppendText(folder, size, "\\");
    }
    if (!fits && size)
        folder[0] = '\0';
    return fits;
}

int CutToFolderAbove(char* folder)
{
    size_t end = LengthWithoutTrailingBackslashes(folder, strlen(folder));
    // A share's root is "\\server\share": two backslashes before the server,
    // one before the share.
    int backslashesOfRoot = IsSeparator(folder[0]) && IsSeparator(folder[1]) ? 3 : 0;
    int backslashes = 0;
    size_t last = 0;
    int secondBytePending = 0;
    for (size_t i = 0; i < end; ++i) {
        if (secondBytePending)
            secondBytePending = 0;
        else if (IsLeadByte((unsigned char)folder[i]))
            secondBytePending = 1;
        else if (IsSeparator(folder[i])) {
            ++backslashes;
            last = i;
        }
    }
    if (backslashes <= backslashesOfRoot)
        return 0;
    folder[last + 1] = '\0';
    return 1;
}
