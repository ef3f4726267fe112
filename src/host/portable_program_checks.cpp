#include "host/portable_program_checks.h"

#include "text/text.h"

static char LowerAscii(char c)
{
    return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

// 1 when text starts with prefix (lower-case ASCII), letters in any case.
static int StartsWithAnyCase(const char* text, const char* prefix)
{
    for (; *prefix; ++text, ++prefix)
        if (LowerAscii(*text) != *prefix)
            return 0;
    return 1;
}

int IsScriptProgram(const char* programFile)
{
    // No second byte of a double-byte character, in any code page the system
    // uses, is a dot or a space: the bytes are read one by one. The dot is the
    // name's last, as the system looks for it.
    const char* extension = NULL;
    const char* lastDot = NULL;
    for (const char* p = programFile; *p; ++p) {
        if (*p == '.')
            lastDot = p;
        else if (*p != ' ')
            extension = lastDot;
    }
    return extension && (StartsWithAnyCase(extension + 1, "bat") || StartsWithAnyCase(extension + 1, "cmd"));
}

DriveKind KindOfDriveType(unsigned driveType)
{
    switch (driveType) {
    case 1:
        return kDriveMissing;
    case 2:
    case 5:
        return kDriveRemovable;
    case 3:
    case 6:
        return kDriveLocal;
    case 4:
        return kDriveRemote;
    default:
        return kDriveUnknown;
    }
}

static int IsLetter(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

static int IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// "X:" and the root "X:\" formed from it.
static DriveQuestion AskAboutDrive(char letter, char* root, size_t size)
{
    char drive[] = {letter, ':', '\\', '\0'};
    if (CopyText(root, size, drive))
        return kAskAboutRoot;
    if (size)
        root[0] = '\0';
    return kUnknownByForm;
}

DriveQuestion FormDriveRoot(const char* path, char* root, size_t size)
{
    if (size)
        root[0] = '\0';
    if (IsSeparator(path[0]) && IsSeparator(path[1])) {
        // "\\?\" and "\\.\" name devices and volumes; anything else is a share.
        if ((path[2] != '?' && path[2] != '.') || !IsSeparator(path[3]))
            return kRemoteByForm;
        const char* device = path + 4;
        if (IsLetter(device[0]) && device[1] == ':' && (IsSeparator(device[2]) || device[2] == '\0'))
            return AskAboutDrive(device[0], root, size);
        if (StartsWithAnyCase(device, "unc") && IsSeparator(device[3]))
            return kRemoteByForm;
        if (StartsWithAnyCase(device, "volume{")) {
            size_t length = 4;
            while (path[length] && !IsSeparator(path[length]))
                ++length;
            if (path[length] && CopyTextPart(root, size, path, length) && AppendText(root, size, "\\"))
                return kAskAboutRoot;
            if (size)
                root[0] = '\0';
            return kUnknownByForm;
        }
        return kUnknownByForm;
    }
    // The system takes "\??\" for its own device names.
    if (path[0] == '\\' && path[1] == '?' && path[2] == '?' && path[3] == '\\')
        return kUnknownByForm;
    if (IsLetter(path[0]) && path[1] == ':')
        return AskAboutDrive(path[0], root, size);
    return kAskAboutRoot;
}

int IsDriveAllowed(DriveKind kind, int anyDriveAllowed)
{
    return anyDriveAllowed || kind == kDriveLocal || kind == kDriveMissing;
}

int FormPathOfFinalPath(const char* finalPath, char* path, size_t size)
{
    if (size == 0)
        return 0;
    int fits;
    if (StartsWithAnyCase(finalPath, "\\\\?\\unc\\"))
        fits = CopyText(path, size, "\\") && AppendText(path, size, finalPath + 7);
    else if (StartsWithAnyCase(finalPath, "\\\\?\\") && IsLetter(finalPath[4]) && finalPath[5] == ':')
        fits = CopyText(path, size, finalPath + 4);
    else
        fits = CopyText(path, size, finalPath);
    if (!fits)
        path[0] = '\0';
    return fits;
}

static int IsSameName(SystemName a, SystemName b)
{
    if (!a.units || !b.units || a.length != b.length)
        return 0;
    for (size_t i = 0; i < a.length; ++i)
        if (a.units[i] != b.units[i])
            return 0;
    return 1;
}

ImageFinding JudgeImage(int systemNamesImages, SystemName heldName, SystemName imageName,
                        const FileIdentity* heldId, const FileIdentity* imageId)
{
    if (!systemNamesImages)
        return kImageCannotBeTold;
    int sameFile = heldId && imageId && heldId->volumeSerial == imageId->volumeSerial &&
                   heldId->indexHigh == imageId->indexHigh && heldId->indexLow == imageId->indexLow;
    return sameFile && IsSameName(heldName, imageName) ? kImageIsHeldFile : kImageIsAnotherFile;
}

Membership MembershipFromGroups(const AccountGroup* groups, size_t count)
{
    // The system's SE_GROUP_USE_FOR_DENY_ONLY.
    const uint32_t kDenyOnly = 0x10;
    const AccountId administrators = {5, 2, {32, 544}};
    for (size_t i = 0; i < count; ++i)
        if (!(groups[i].attributes & kDenyOnly) && IsSameAccount(&groups[i].id, &administrators))
            return kAdministrator;
    return kNotAdministrator;
}
