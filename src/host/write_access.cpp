#include "host/write_access.h"

#include <aclapi.h>

#include "entry/context.h"
#include "host/portable_write_access.h"
#include "text/sjis_path.h"
#include "text/text.h"

int ReadAccountId(PSID sid, DWORD size, AccountId* id)
{
    // The fixed part of an id: revision, count, authority.
    const DWORD kFixedSidSize = 8;
    if (size < kFixedSidSize || !IsValidSid(sid) || GetLengthSid(sid) > size)
        return 0;
    const SID_IDENTIFIER_AUTHORITY* authority = GetSidIdentifierAuthority(sid);
    id->authority = 0;
    for (BYTE byte : authority->Value)
        id->authority = id->authority << 8 | byte;
    id->subAuthorityCount = *GetSidSubAuthorityCount(sid);
    for (DWORD i = 0; i < id->subAuthorityCount && i < ACCOUNT_ID_MAX_SUB_AUTHORITIES; ++i)
        id->subAuthorities[i] = *GetSidSubAuthority(sid, i);
    return 1;
}

// Every entry is read as an allow entry: the kinds the rule weighs (allowed,
// and allowed with a condition) hold the account id right after the mask. For
// the other kinds what is read there is not looked at.
static int EntryOfDaclLetsOthersChange(PACL dacl, DWORD index)
{
    ACCESS_ALLOWED_ACE* entry = NULL;
    if (!GetAce(dacl, index, (void**)&entry))
        return 1;
    const DWORD idOffset = offsetof(ACCESS_ALLOWED_ACE, SidStart);
    AccountId account;
    int readable = entry->Header.AceSize > idOffset &&
                   ReadAccountId((PSID)&entry->SidStart, entry->Header.AceSize - idOffset, &account);
    return EntryLetsOthersChange(entry->Header.AceType, entry->Header.AceFlags, entry->Mask,
                                 readable ? &account : NULL);
}

int IsWritableByOthers(const char* path)
{
    if (path[0] == '\0')
        return 0;
    PSID ownerSid = NULL;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    DWORD error = GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &ownerSid, NULL, &dacl, NULL, &descriptor);
    // What does not exist cannot be run; what cannot be read counts as writable.
    int writable = error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND;
    if (error == ERROR_SUCCESS) {
        AccountId owner;
        // An owner is an id of at most the largest size there is.
        int hasOwner = ownerSid && ReadAccountId(ownerSid, SECURITY_MAX_SID_SIZE, &owner);
        writable = DescriptorLetsOthersChange(hasOwner ? &owner : NULL, dacl == NULL);
        for (DWORD i = 0; dacl && !writable && i < dacl->AceCount; ++i)
            writable = EntryOfDaclLetsOthersChange(dacl, i);
    }
    if (descriptor)
        LocalFree(descriptor);
    return writable;
}

// The folder that holds path, with its backslash ("C:\Tools\", "C:\"), so
// that a drive's root is named as such; empty when path names no folder (a
// bare name is looked for in kavo's own folder, the current one).
static void FormFolderOf(char* folder, size_t size, const char* path)
{
    if (!CopyText(folder, size, path)) {
        folder[0] = '\0';
        return;
    }
    size_t length = lstrlenA(folder);
    CutLastPathComponent(folder);
    if ((size_t)lstrlenA(folder) == length || !AppendText(folder, size, "\\"))
        folder[0] = '\0';
}

int FindPathWritableByOthers(char* found, size_t size)
{
    char moduleFolder[TEXT_SIZE];
    char programFolder[TEXT_SIZE];
    FormFolderOf(moduleFolder, sizeof moduleFolder, ProgramContext.ModulePath);
    FormFolderOf(programFolder, sizeof programFolder, ProgramContext.Config.programPath);
    const char* checked[] = {moduleFolder, ProgramContext.IniPath, ProgramContext.Config.programPath,
                             programFolder};
    for (const char* path : checked)
        if (IsWritableByOthers(path)) {
            CopyText(found, size, path);
            return 1;
        }
    if (size)
        found[0] = '\0';
    return 0;
}
