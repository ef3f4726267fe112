// What the service may start, beyond who may change it: no script the command
// interpreter would run, nothing from a share or a removable drive unless the
// settings allow it, and the process's image the very file that was held.
// Also membership of Administrators from the groups the system computes for
// an account id. No windows.h here: this file builds natively as well as for Windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "host/portable_write_access.h"

// 1 when the system would run programFile (the file named to CreateProcess)
// through cmd.exe, which splits its name at & | < > ^ and expands %: the
// extension of its last component, after trailing dots and spaces (which the
// system drops from a file name), begins with "bat" or "cmd", in any case.
// The system reads the first four characters of the extension, dot included,
// so "x.bat::$DATA" and "x.batch" count as well.
int IsScriptProgram(const char* programFile);

// Where a path lies, as the system's drive type (GetDriveType) tells it.
enum DriveKind {
    kDriveLocal,       // a fixed disk or a RAM disk
    kDriveRemote,      // a share, by UNC path or a mapped drive
    kDriveRemovable,   // a removable disk, a CD or DVD
    kDriveUnknown,     // the system cannot tell
    kDriveMissing,     // no such drive: nothing there can be started
};

// The kind of a drive from the system's number for its type (0 unknown, 1 no
// root, 2 removable, 3 fixed, 4 remote, 5 CD-ROM, 6 RAM disk).
DriveKind KindOfDriveType(unsigned driveType);

// How the drive of path is to be found out. A UNC path ("\\server\share\...",
// "\\?\UNC\...") is remote by its form. A path with a drive ("C:\...",
// "C:...", "\\?\C:\...") or a volume name ("\\?\Volume{...}\...") asks the
// system about its root, written to root ("C:\", "\\?\Volume{...}\"). Any
// other device path ("\\.\...", "\\?\GLOBALROOT\...") is unknown. A path
// without a drive (relative, or from the current drive's root) asks about
// the current folder's drive: root is then empty.
enum DriveQuestion { kAskAboutRoot, kRemoteByForm, kUnknownByForm };
DriveQuestion FormDriveRoot(const char* path, char* root, size_t size);

// 1 when a program or kavo.exe on a drive of that kind may be used: a local
// drive, or one that is not there (the start then fails by itself), or any
// drive when the settings allow every drive.
int IsDriveAllowed(DriveKind kind, int anyDriveAllowed);

// The path a final path ("\\?\C:\dir\file", "\\?\UNC\server\share\file", as
// GetFinalPathNameByHandle writes it) stands for in the form kavo's checks
// read ("C:\dir\file", "\\server\share\file"); any other form is kept as it
// is. 1 when it fits; 0 (and an empty destination) otherwise.
int FormPathOfFinalPath(const char* finalPath, char* path, size_t size);

// A file as the system identifies it: its volume's serial number and its
// index on that volume.
struct FileIdentity {
    uint32_t volumeSerial;
    uint32_t indexHigh;
    uint32_t indexLow;
};

// A name as the system writes it, in UTF-16 code units.
struct SystemName {
    const uint16_t* units;   // NULL: not read
    size_t length;
};

enum ImageFinding {
    kImageIsHeldFile,
    kImageIsAnotherFile,
    kImageCannotBeTold,   // the system cannot name a process's image (Windows 2000)
};

// Whether a new process was made from the held file. heldName is the held
// handle's name and imageName the process's image name, both in the system's
// own form (the held file, which no one may rename, names the one file at
// that path while it is held); heldId the held file's identity and imageId
// that of the file the image name opens now (NULL: not read). The image is
// the held file only when both names were read and are the same, unit for
// unit, and both identities were read and are the same. systemNamesImages 0:
// the system has no way to name a process's image, so nothing can be told.
ImageFinding JudgeImage(int systemNamesImages, SystemName heldName, SystemName imageName,
                        const FileIdentity* heldId, const FileIdentity* imageId);

// A group of an account, as the system computes them for the account's id.
struct AccountGroup {
    AccountId id;
    uint32_t attributes;   // the system's SE_GROUP_* flags
};

// Whether the account is a member of the local Administrators group, from
// the groups the system computed for it: Administrators (S-1-5-32-544, the
// built-in domain's alias, never a look-alike of another domain or name) is
// among them and is not for deny only.
Membership MembershipFromGroups(const AccountGroup* groups, size_t count);
