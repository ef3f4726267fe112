#include "entry/portable_command_line.h"

#include "settings/portable_stop_timeout.h"

// The service control manager takes names of at most 256 characters.
enum { SERVICE_NAME_MAX_CHARACTERS = 256 };
// The longest value kavo.ini holds, and so any value of the command line.
enum { VALUE_MAX_CHARACTERS = TEXT_SIZE - 1 };
// Room for an argument: the longest switch, a value one character too long.
enum { ARGUMENT_SIZE = TEXT_SIZE + 16 };

static size_t WideLength(const char16_t* text)
{
    size_t length = 0;
    while (text[length])
        ++length;
    return length;
}

static char16_t FoldCase(char16_t unit)
{
    return unit >= u'A' && unit <= u'Z' ? (char16_t)(unit - u'A' + u'a') : unit;
}

// Whether text starts with the ASCII word, letters in either case.
static int StartsWithWord(const char16_t* text, const char* word)
{
    for (; *word; ++text, ++word)
        if (FoldCase(*text) != (char16_t)*word)
            return 0;
    return 1;
}

static int HasUnitOf(const char16_t* text, const char* units)
{
    for (; *text; ++text)
        for (const char* unit = units; *unit; ++unit)
            if (*text == (char16_t)*unit)
                return 1;
    return 0;
}

static int HasControlCharacter(const char16_t* text, int allowTab)
{
    for (; *text; ++text)
        if (*text < 0x20 && !(allowTab && *text == u'\t'))
            return 1;
    return 0;
}

// Appends one unit; the argument is cut (and *fits cleared) at its size.
static void Emit(char16_t* argument, size_t size, size_t* length, int* fits, char16_t unit)
{
    if (*length + 1 < size)
        argument[(*length)++] = unit;
    else
        *fits = 0;
}

// The next argument, by the C runtime's rules; 0 when there is none.
static int NextArgument(const char16_t** cursor, char16_t* argument, size_t size, int* fits)
{
    const char16_t* p = *cursor;
    while (*p == u' ' || *p == u'\t')
        ++p;
    if (!*p)
        return 0;
    size_t length = 0;
    int inQuotes = 0;
    *fits = 1;
    for (;;) {
        size_t backslashes = 0;
        while (*p == u'\\') {
            ++p;
            ++backslashes;
        }
        if (*p == u'"') {
            for (size_t i = 0; i < backslashes / 2; ++i)
                Emit(argument, size, &length, fits, u'\\');
            if (backslashes % 2) {
                Emit(argument, size, &length, fits, u'"');
            } else if (inQuotes && p[1] == u'"') {
                Emit(argument, size, &length, fits, u'"');
                ++p;
            } else {
                inQuotes = !inQuotes;
            }
            ++p;
            continue;
        }
        for (size_t i = 0; i < backslashes; ++i)
            Emit(argument, size, &length, fits, u'\\');
        if (!*p || (!inQuotes && (*p == u' ' || *p == u'\t')))
            break;
        Emit(argument, size, &length, fits, *p++);
    }
    argument[length] = u'\0';
    *cursor = p;
    return 1;
}

// Copies a value; 0 (and the copy cut) when it is longer than kavo.ini holds.
static int TakeValue(char16_t* value, const char16_t* source, int fits)
{
    size_t i = 0;
    for (; source[i] && i < VALUE_MAX_CHARACTERS; ++i)
        value[i] = source[i];
    value[i] = u'\0';
    return fits && !source[i];
}

static const char* const kSwitches[] = {"/option:", "/end:", "/folder:", "/stoptimeout:"};
static const CommandValue kSwitchValues[] = {kValueOption, kValueEnd, kValueFolder, kValueStopTimeout};

static void Refuse(CommandLine* command, CommandFault fault, CommandValue value)
{
    if (command->fault == kFaultNone) {
        command->fault = fault;
        command->faultValue = value;
    }
}

static void CheckName(CommandLine* command, int nameFits)
{
    const char16_t* name = command->name;
    if (!name[0])
        Refuse(command, kFaultNameEmpty, kValueName);
    if (HasUnitOf(name, "\\/") || HasControlCharacter(name, 0))
        Refuse(command, kFaultNameCharacter, kValueName);
    if (!nameFits || WideLength(name) > SERVICE_NAME_MAX_CHARACTERS)
        Refuse(command, kFaultNameLong, kValueName);
}

// "1" to the largest stop timeout: digits, no sign, no leading zero.
static int ReadStopTimeout(const char16_t* text)
{
    if (text[0] < u'1' || text[0] > u'9')
        return 0;
    int seconds = 0;
    for (size_t i = 0; text[i]; ++i) {
        if (text[i] < u'0' || text[i] > u'9' || i >= 3)
            return 0;
        seconds = seconds * 10 + (text[i] - u'0');
    }
    return seconds <= STOP_TIMEOUT_LIMIT_SECONDS ? seconds : 0;
}

// As a folder of its own, a name must be a valid folder name, and no name
// that Windows reads as another (a dot or a space at its end, "." and "..").
static int CanNameFolder(const char16_t* name)
{
    size_t length = WideLength(name);
    return length > 0 && !HasUnitOf(name, "<>:\"|?*") && name[length - 1] != u'.' && name[length - 1] != u' ';
}

static int IsProgramPath(const char16_t* path)
{
    size_t length = WideLength(path);
    return length > 4 && !HasUnitOf(path, "*?\"<>|") && !HasControlCharacter(path, 0) &&
           StartsWithWord(path + length - 4, ".exe");
}

static void ParseInstall(CommandLine* command, const char16_t* cursor)
{
    char16_t argument[ARGUMENT_SIZE];
    char16_t end[TEXT_SIZE] = u"";
    char16_t stopTimeout[TEXT_SIZE] = u"";
    int given[4] = {0, 0, 0, 0};
    int fits[6];
    for (int& fit : fits)
        fit = 1;
    int positional = 0;
    int argumentFits = 0;
    while (NextArgument(&cursor, argument, sizeof argument / sizeof argument[0], &argumentFits)) {
        if (argument[0] != u'/') {
            if (positional == 0)
                fits[kValueName] = TakeValue(command->name, argument, argumentFits);
            else if (positional == 1)
                fits[kValueProgram] = TakeValue(command->program, argument, argumentFits);
            else
                Refuse(command, kFaultUsage, kValueName);
            ++positional;
            continue;
        }
        size_t which = 0;
        while (which < 4 && !StartsWithWord(argument, kSwitches[which]))
            ++which;
        if (which == 4 || given[which]) {
            Refuse(command, kFaultUsage, kValueName);
            continue;
        }
        given[which] = 1;
        char16_t* destinations[] = {command->options, end, command->folder, stopTimeout};
        const char16_t* value = argument;
        for (const char* p = kSwitches[which]; *p; ++p)
            ++value;
        fits[kSwitchValues[which]] = TakeValue(destinations[which], value, argumentFits);
    }
    if (positional != 2)
        Refuse(command, kFaultUsage, kValueName);

    CheckName(command, fits[kValueName]);
    for (int value = kValueProgram; value <= kValueStopTimeout; ++value)
        if (!fits[value])
            Refuse(command, kFaultTooLong, (CommandValue)value);
    if (!IsProgramPath(command->program))
        Refuse(command, kFaultProgram, kValueProgram);
    if (HasControlCharacter(command->options, 1))
        Refuse(command, kFaultOptions, kValueOption);
    if (given[1] && !((end[0] == u'0' || end[0] == u'1') && !end[1]))
        Refuse(command, kFaultEnd, kValueEnd);
    command->exitMethod = end[0] == u'1' ? 1 : 0;
    if (!given[2] && !CanNameFolder(command->name))
        Refuse(command, kFaultNameNotFolder, kValueName);
    command->stopTimeout = given[3] ? ReadStopTimeout(stopTimeout) : 0;
    if (given[3] && !command->stopTimeout)
        Refuse(command, kFaultStopTimeout, kValueStopTimeout);
}

static void ParseUninstall(CommandLine* command, const char16_t* cursor)
{
    char16_t argument[ARGUMENT_SIZE];
    int count = 0;
    int fits = 0;
    int nameFits = 1;
    while (NextArgument(&cursor, argument, sizeof argument / sizeof argument[0], &fits)) {
        if (count++ == 0 && argument[0] != u'/')
            nameFits = TakeValue(command->name, argument, fits);
        else
            Refuse(command, kFaultUsage, kValueName);
    }
    if (count != 1)
        Refuse(command, kFaultUsage, kValueName);
    CheckName(command, nameFits);
}

void ParseCommandLine(const char16_t* line, CommandLine* command)
{
    *command = CommandLine();
    const char16_t* cursor = line;
    if (*cursor == u'"') {
        ++cursor;
        while (*cursor && *cursor != u'"')
            ++cursor;
        if (*cursor)
            ++cursor;
    } else {
        while (*cursor && *cursor != u' ' && *cursor != u'\t')
            ++cursor;
    }
    char16_t verb[ARGUMENT_SIZE];
    int fits = 0;
    if (!NextArgument(&cursor, verb, sizeof verb / sizeof verb[0], &fits))
        return;
    if (StartsWithWord(verb, "/?") && !verb[2]) {
        command->verb = kCommandHelp;
    } else if (StartsWithWord(verb, "/install") && !verb[8]) {
        command->verb = kCommandInstall;
        ParseInstall(command, cursor);
    } else if (StartsWithWord(verb, "/uninstall") && !verb[10]) {
        command->verb = kCommandUninstall;
        ParseUninstall(command, cursor);
    } else {
        command->verb = kCommandHelp;
        command->fault = kFaultUsage;
    }
}

FolderFault CheckFolderPath(char16_t* fullPath)
{
    char16_t drive = FoldCase(fullPath[0]);
    if (drive < u'a' || drive > u'z' || fullPath[1] != u':' || fullPath[2] != u'\\')
        return kFolderNotOnDrive;
    size_t length = WideLength(fullPath);
    while (length > 3 && fullPath[length - 1] == u'\\')
        fullPath[--length] = u'\0';
    if (length == 3)
        return kFolderRoot;
    if (HasUnitOf(fullPath + 3, "*?\"<>|:") || HasControlCharacter(fullPath, 0))
        return kFolderCharacter;
    return kFolderFine;
}

int IsPlainFolder(uint32_t attributes)
{
    const uint32_t directory = 0x10;     // FILE_ATTRIBUTE_DIRECTORY
    const uint32_t reparse = 0x400;      // FILE_ATTRIBUTE_REPARSE_POINT
    return (attributes & (directory | reparse)) == directory;
}

int FormKavoServiceFile(char16_t* file, size_t size, const char16_t* registeredPath)
{
    const char16_t* start = registeredPath;
    size_t length = WideLength(registeredPath);
    while (length > 0 && *start == u' ') {
        ++start;
        --length;
    }
    while (length > 0 && start[length - 1] == u' ')
        --length;
    if (length >= 2 && start[0] == u'"' && start[length - 1] == u'"') {
        ++start;
        length -= 2;
    }
    size_t name = 0;
    for (size_t i = 0; i < length; ++i) {
        if (start[i] == u'"')
            return 0;
        if (start[i] == u'\\')
            name = i + 1;
    }
    size_t nameLength = length - name;
    int kavo = name > 0 && ((nameLength == 8 && StartsWithWord(start + name, "kavo.exe")) ||
                            (nameLength == 10 && StartsWithWord(start + name, "kavo64.exe")));
    if (!kavo || length >= size)
        return 0;
    for (size_t i = 0; i < length; ++i)
        file[i] = start[i];
    file[length] = u'\0';
    return 1;
}
