// Whether anyone but administrators may change what the service runs: kavo.exe
// and its folder, kavo.ini, the hosted program and its folder, and every
// folder above those. The rule is in host/portable_write_access.h; this reads
// the files' security and asks the system who is an administrator.
#pragma once

#include <stddef.h>
#include <windows.h>

#include "host/portable_write_access.h"

// The id as numbers; 0 when it is no valid id of at most size bytes.
int ReadAccountId(PSID sid, DWORD size, AccountId* id);

// Checks, in this order, kavo.exe, kavo's folder and every folder above it,
// kavo.ini, then programFile (the file the launch starts, see
// FormProgramFile), its folder and every folder above that, up to the root.
// 1 with the first path that someone other than administrators may change in
// found (foundSize bytes) and who may change it: account (accountSize bytes)
// holds DOMAIN\name, or the account's id when it has no name, and note one of
// kavo's texts that goes after it (unknown membership) or stands alone (why
// no account can be named), "" for none; 0 with all three empty when only
// administrators may change every path. A path that does not exist is
// skipped; one whose security cannot be read counts as changeable. finalPath
// is where programFile really lies when it differs (see ReadFinalPath): it,
// its folder and every folder above it are checked too; empty when there is
// none, NULL when it could not be named (programFile then counts as one
// whose security cannot be read).
int FindPathWritableByOthers(const char* programFile, const char* finalPath, char* found, size_t foundSize,
                             char* account, size_t accountSize, const char** note);

// As FindPathWritableByOthers, for programFile (and finalPath), its folder
// and the folders above it only.
int FindProgramPathWritableByOthers(const char* programFile, const char* finalPath, char* found,
                                    size_t foundSize, char* account, size_t accountSize, const char** note);

// The security of a folder that only administrators may use: owned by
// Administrators, its DACL protected from what the folder above grants, and
// full control for SYSTEM and Administrators alone, inherited by all it holds.
struct AdministratorsOnly {
    SECURITY_DESCRIPTOR Descriptor;
    DWORD System[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD Administrators[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    DWORD Dacl[(sizeof(ACL) + 2 * (sizeof(ACCESS_ALLOWED_ACE) + SECURITY_MAX_SID_SIZE)) / sizeof(DWORD)];
};
int BuildAdministratorsOnly(AdministratorsOnly* security);

// 1 when the owner of what the handle (opened with READ_CONTROL) names is no
// administrator, as the rule above judges owners, or cannot be read; who it
// is then goes to account (accountSize bytes) and kavo's note on it to note,
// as FindPathWritableByOthers says them.
int FindOwnerNotAdministrator(HANDLE handle, char* account, size_t accountSize, const char** note);
