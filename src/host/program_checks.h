// What the service and the test start ask before they start a program, beyond
// who may change it (host/write_access.h): the rules are in
// host/portable_program_checks.h; this reads what the system tells.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "host/launch.h"
#include "host/portable_program_checks.h"

// Where the held program file really lies: the final path of the held handle
// (links and junctions resolved, as GetFinalPathNameByHandle tells it,
// Windows Vista and later), in the form the checks read. 1 with the path when
// it is known and differs from program->file; 0 with an empty path when the
// system cannot tell (Windows 2000, XP, 2003) or it is the same; -1 when the
// final path cannot be written in the code page or does not fit: it cannot
// be judged.
int ReadFinalPath(const HeldProgram* program, char* path, size_t size);

// As ReadFinalPath, for the launch of programPath with options (formed into
// *launch), whose program file is held only while it is read: for a check
// made before anything is started.
int ReadFinalPathOfLaunch(HeldProgram* launch, const char* programPath, const char* options, char* path,
                          size_t size);

enum PlaceFinding {
    kPlaceAllowed,
    kPlaceScript,        // the program file is a script cmd.exe would run
    kPlaceNotLocal,      // it, its final path or kavo.exe is on a share or a removable drive
};

// 1 when path (empty: none) lies on a drive kavo may start from (see
// IsDriveAllowed); otherwise 0, with path copied to found.
int CheckDrive(const char* path, int anyDriveAllowed, char* found, size_t foundSize);

// Whether the program may be started from where it is: not a script, and
// (unless anyDriveAllowed) the program file, its final path (finalPath, may
// be empty) and, with withKavo, kavo.exe on local drives. found gets the
// path refused.
PlaceFinding CheckProgramPlace(const HeldProgram* program, const char* finalPath, int withKavo,
                               int anyDriveAllowed, char* found, size_t foundSize);

// Whether the suspended process was made from the held file (see JudgeImage).
ImageFinding CheckImageIsHeld(HANDLE process, const HeldProgram* program);
