#include "host/portable_launch.h"

#include "text/sjis_path.h"
#include "text/text.h"

static const char kMutexPrefix[] = "$$kavo$$";
static const char kMutexSuffix[] = "$$";

// An unquoted path with a space would let the system try "C:\dir.exe" for
// "C:\dir with space\app.exe"; a path the user already quoted stays as typed.
static int NeedsQuotes(const char* programPath)
{
    if (programPath[0] == '"')
        return 0;
    for (const char* p = programPath; *p; ++p)
        if (*p == ' ')
            return 1;
    return 0;
}

int BuildChildLaunch(const char* programPath, const char* options, char* commandLine, size_t commandLineSize)
{
    if (commandLineSize == 0)
        return 0;
    commandLine[0] = '\0';
    int quoted = NeedsQuotes(programPath);
    int fits = (!quoted || AppendText(commandLine, commandLineSize, "\"")) &&
               AppendText(commandLine, commandLineSize, programPath) &&
               (!quoted || AppendText(commandLine, commandLineSize, "\"")) &&
               AppendText(commandLine, commandLineSize, " ") && AppendText(commandLine, commandLineSize, options);
    if (!fits)
        commandLine[0] = '\0';
    return fits;
}

int FormProgramFile(const char* commandLine, char* programFile, size_t size)
{
    const char* name = commandLine;
    const char* end;
    if (*name == '"') {
        ++name;
        for (end = name; *end && *end != '"'; ++end) {
        }
    } else {
        for (end = name; *end && *end != ' ' && *end != '\t'; ++end) {
        }
    }
    // No second byte of a double-byte character is a quotation mark, a space,
    // a tab, a dot or a slash (after a lead byte one stands for itself); a
    // backslash may be one.
    int hasExtension = 0;
    int secondBytePending = 0;
    for (const char* p = name; p < end; ++p) {
        if (*p == '.') {
            hasExtension = 1;
            secondBytePending = 0;
        } else if (*p == '/') {
            hasExtension = 0;
            secondBytePending = 0;
        } else if (secondBytePending) {
            secondBytePending = 0;
        } else if (IsLeadByte((unsigned char)*p)) {
            secondBytePending = 1;
        } else if (*p == '\\') {
            hasExtension = 0;
        }
    }
    int fits = end > name && CopyTextPart(programFile, size, name, (size_t)(end - name)) &&
               (hasExtension || AppendText(programFile, size, ".exe"));
    if (!fits && size)
        programFile[0] = '\0';
    return fits;
}

int FormMutexName(char* destination, size_t size, const char* serviceName)
{
    if (size == 0)
        return 0;
    destination[0] = '\0';
    if (AppendText(destination, size, kMutexPrefix) && AppendText(destination, size, serviceName) &&
        AppendText(destination, size, kMutexSuffix))
        return 1;
    destination[0] = '\0';
    return 0;
}

int IsInstanceGuardOwner(const AccountId* owner, const AccountId* ownAccount)
{
    if (!owner)
        return 0;
    return IsKnownAdministrator(owner) || (ownAccount && IsSameAccount(owner, ownAccount));
}
