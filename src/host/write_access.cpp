#include "host/write_access.h"

#include <aclapi.h>
#include <authz.h>
#include <lm.h>
#include <string.h>

#include "entry/context.h"
#include "entry/load_proc.h"
#include "host/portable_program_checks.h"
#include "host/portable_write_access.h"
#include "resources/messages.h"
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

// The account's name and domain, and what kind of account it is; 0 when the
// system has no name for it (no such account, or its domain out of reach).
// The id as the system holds it, in sid (SECURITY_MAX_SID_SIZE bytes).
static int FormSid(PSID sid, const AccountId* account)
{
    SID_IDENTIFIER_AUTHORITY authority;
    for (int i = 0; i < 6; ++i)
        authority.Value[i] = (BYTE)(account->authority >> (8 * (5 - i)));
    if (account->subAuthorityCount > SID_MAX_SUB_AUTHORITIES ||
        !InitializeSid(sid, &authority, (BYTE)account->subAuthorityCount))
        return 0;
    for (DWORD i = 0; i < account->subAuthorityCount; ++i)
        *GetSidSubAuthority(sid, i) = account->subAuthorities[i];
    return 1;
}

static int LookUpAccount(const AccountId* account, char* name, DWORD nameSize, char* domain, DWORD domainSize,
                         SID_NAME_USE* use)
{
    DWORD sid[SECURITY_MAX_SID_SIZE / sizeof(DWORD)];
    return FormSid(sid, account) && LookupAccountSidA(NULL, sid, name, &nameSize, domain, &domainSize, use);
}

// DOMAIN\name, or the name alone when there is no domain.
static int FormQualifiedName(char* text, size_t size, const char* domain, const char* name)
{
    if (size == 0)
        return 0;
    text[0] = '\0';
    return (!domain[0] || (AppendText(text, size, domain) && AppendText(text, size, "\\"))) &&
           AppendText(text, size, name);
}

// The question whether an account is a member of the local Administrators
// group, put to the system: by the account's id through authz where the
// system has it (AskSystemById); otherwise (Windows 2000) by its name:
// NetUserGetLocalGroups with LG_INCLUDE_INDIRECT
// answers for the accounts of this computer and of its domains, counting a
// membership through a domain group (Domain Admins) in the local group; a
// domain account needs its domain controller for it. netapi32 is loaded from
// the system folder, not imported: nothing is loaded from kavo's own folder.
struct MembershipAsker {
    HMODULE Netapi;
    NET_API_STATUS(WINAPI* NetUserGetLocalGroups)(LPCWSTR, LPCWSTR, DWORD, DWORD, LPBYTE*, DWORD, LPDWORD,
                                                  LPDWORD);
    NET_API_STATUS(WINAPI* NetApiBufferFree)(LPVOID);
    // authz, loaded from the system folder where the system has it.
    HMODULE Authz;
    AUTHZ_RESOURCE_MANAGER_HANDLE AuthzResourceManager;   // NULL: membership by name
    BOOL(WINAPI* AuthzInitializeContextFromSid)(DWORD, PSID, AUTHZ_RESOURCE_MANAGER_HANDLE, PLARGE_INTEGER, LUID,
                                                PVOID, PAUTHZ_CLIENT_CONTEXT_HANDLE);
    BOOL(WINAPI* AuthzGetInformationFromContext)(AUTHZ_CLIENT_CONTEXT_HANDLE, AUTHZ_CONTEXT_INFORMATION_CLASS, DWORD,
                                                 PDWORD, PVOID);
    BOOL(WINAPI* AuthzFreeContext)(AUTHZ_CLIENT_CONTEXT_HANDLE);
    BOOL(WINAPI* AuthzFreeResourceManager)(AUTHZ_RESOURCE_MANAGER_HANDLE);
    char Administrators[TEXT_SIZE];   // the group's name, which differs by language
    char Computer[TEXT_SIZE];         // the domain of this computer's own accounts
    // The account asked about last, and its answer: an account that owns a
    // path usually has an entry on it too.
    int Asked;
    AccountId LastAccount;
    Membership LastAnswer;
};

// The resource manager stays NULL unless every function is there and the
// system makes one (Wine's answers ERROR_CALL_NOT_IMPLEMENTED).
static void StartAskingById(MembershipAsker* asker)
{
    BOOL(WINAPI * initializeResourceManager)(DWORD, PFN_AUTHZ_DYNAMIC_ACCESS_CHECK, PFN_AUTHZ_COMPUTE_DYNAMIC_GROUPS,
                                             PFN_AUTHZ_FREE_DYNAMIC_GROUPS, PCWSTR, PAUTHZ_RESOURCE_MANAGER_HANDLE);
    asker->Authz = LoadSystemLibrary("authz.dll");
    LoadProc(&initializeResourceManager, asker->Authz, "AuthzInitializeResourceManager");
    LoadProc(&asker->AuthzInitializeContextFromSid, asker->Authz, "AuthzInitializeContextFromSid");
    LoadProc(&asker->AuthzGetInformationFromContext, asker->Authz, "AuthzGetInformationFromContext");
    LoadProc(&asker->AuthzFreeContext, asker->Authz, "AuthzFreeContext");
    LoadProc(&asker->AuthzFreeResourceManager, asker->Authz, "AuthzFreeResourceManager");
    if (!initializeResourceManager || !asker->AuthzInitializeContextFromSid ||
        !asker->AuthzGetInformationFromContext || !asker->AuthzFreeContext || !asker->AuthzFreeResourceManager ||
        !initializeResourceManager(AUTHZ_RM_FLAG_NO_AUDIT, NULL, NULL, NULL, NULL, &asker->AuthzResourceManager))
        asker->AuthzResourceManager = NULL;
}

static void StartAsking(MembershipAsker* asker)
{
    ZeroMemory(asker, sizeof *asker);
    StartAskingById(asker);
    asker->Netapi = LoadSystemLibrary("netapi32.dll");
    LoadProc(&asker->NetUserGetLocalGroups, asker->Netapi, "NetUserGetLocalGroups");
    LoadProc(&asker->NetApiBufferFree, asker->Netapi, "NetApiBufferFree");
    const AccountId administrators = {5, 2, {32, 544}};
    char domain[TEXT_SIZE];
    SID_NAME_USE use;
    if (!LookUpAccount(&administrators, asker->Administrators, sizeof asker->Administrators, domain, sizeof domain,
                       &use))
        asker->Administrators[0] = '\0';
    DWORD size = sizeof asker->Computer;
    if (!GetComputerNameA(asker->Computer, &size))
        asker->Computer[0] = '\0';
}

static void StopAsking(MembershipAsker* asker)
{
    if (asker->AuthzResourceManager)
        asker->AuthzFreeResourceManager(asker->AuthzResourceManager);
    if (asker->Authz)
        FreeLibrary(asker->Authz);
    if (asker->Netapi)
        FreeLibrary(asker->Netapi);
}

// The account's id as the system holds it; 0 when it is no valid id.
static int FormSid(const AccountId* account, BYTE* sid)
{
    SID_IDENTIFIER_AUTHORITY authority;
    for (int i = 0; i < 6; ++i)
        authority.Value[i] = (BYTE)(account->authority >> (8 * (5 - i)));
    if (account->subAuthorityCount > SID_MAX_SUB_AUTHORITIES ||
        !InitializeSid((PSID)sid, &authority, (BYTE)account->subAuthorityCount))
        return 0;
    for (DWORD i = 0; i < account->subAuthorityCount; ++i)
        *GetSidSubAuthority((PSID)sid, i) = account->subAuthorities[i];
    return 1;
}

// The groups the system computes for the account's id, with authz (XP and
// later): no name is formed or looked up, so no look-alike name and no
// character the code page lacks can stand for another account. The
// membership comes from MembershipFromGroups; kMembershipUnknown when the
// groups cannot be computed (a domain account whose domain controller is out
// of reach). Where the system has no such function (Windows 2000; Wine,
// whose authz answers ERROR_CALL_NOT_IMPLEMENTED), *available is set to 0.
static Membership AskSystemById(MembershipAsker* asker, const AccountId* account, int* available)
{
    *available = asker->AuthzResourceManager != NULL;
    if (!*available)
        return kMembershipUnknown;
    BYTE sid[SECURITY_MAX_SID_SIZE];
    AUTHZ_CLIENT_CONTEXT_HANDLE context = NULL;
    LUID noIdentifier = {0, 0};
    if (!FormSid(account, sid) ||
        !asker->AuthzInitializeContextFromSid(0, (PSID)sid, asker->AuthzResourceManager, NULL, noIdentifier, NULL,
                                              &context))
        return kMembershipUnknown;
    Membership answer = kMembershipUnknown;
    DWORD needed = 0;
    asker->AuthzGetInformationFromContext(context, AuthzContextInfoGroupsSids, 0, &needed, NULL);
    // Each group takes at least its SID_AND_ATTRIBUTES: no more groups than that.
    const DWORD room = needed / sizeof(SID_AND_ATTRIBUTES) + 1;
    TOKEN_GROUPS* groups = needed ? (TOKEN_GROUPS*)LocalAlloc(LMEM_FIXED, needed) : NULL;
    AccountGroup* read = groups ? (AccountGroup*)LocalAlloc(LMEM_FIXED, room * sizeof(AccountGroup)) : NULL;
    if (read && asker->AuthzGetInformationFromContext(context, AuthzContextInfoGroupsSids, needed, &needed, groups)) {
        DWORD count = 0;
        for (DWORD i = 0; i < groups->GroupCount && i < room; ++i)
            if (ReadAccountId(groups->Groups[i].Sid, SECURITY_MAX_SID_SIZE, &read[count].id))
                read[count++].attributes = groups->Groups[i].Attributes;
        answer = MembershipFromGroups(read, count);
    }
    if (read)
        LocalFree(read);
    if (groups)
        LocalFree(groups);
    asker->AuthzFreeContext(context);
    return answer;
}

// Windows 2000: the account's name, asked of NetUserGetLocalGroups.
static Membership AskSystemByName(MembershipAsker* asker, const AccountId* account)
{
    char name[TEXT_SIZE];
    char domain[TEXT_SIZE];
    SID_NAME_USE use;
    if (!asker->NetUserGetLocalGroups || !asker->NetApiBufferFree || !asker->Administrators[0] ||
        !LookUpAccount(account, name, sizeof name, domain, sizeof domain, &use))
        return kMembershipUnknown;
    // A group granted rights (Domain Admins, say) is a group other than
    // Administrators, whoever its members are.
    if (use != SidTypeUser)
        return kNotAdministrator;
    // The function looks for a name alone on this computer, for DOMAIN\name in that domain.
    char user[2 * TEXT_SIZE];
    WCHAR wideUser[2 * TEXT_SIZE];
    if (!FormQualifiedName(user, sizeof user, lstrcmpiA(domain, asker->Computer) == 0 ? "" : domain, name) ||
        !MultiByteToWideChar(CP_ACP, 0, user, -1, wideUser, sizeof wideUser / sizeof wideUser[0]))
        return kMembershipUnknown;
    LOCALGROUP_USERS_INFO_0* groups = NULL;
    DWORD read = 0;
    DWORD total = 0;
    NET_API_STATUS status = asker->NetUserGetLocalGroups(NULL, wideUser, 0, LG_INCLUDE_INDIRECT, (LPBYTE*)&groups,
                                                         MAX_PREFERRED_LENGTH, &read, &total);
    Membership answer = status == NERR_Success ? kNotAdministrator : kMembershipUnknown;
    for (DWORD i = 0; answer == kNotAdministrator && groups && i < read; ++i) {
        char group[TEXT_SIZE];
        if (WideCharToMultiByte(CP_ACP, 0, groups[i].lgrui0_name, -1, group, sizeof group, NULL, NULL) &&
            lstrcmpiA(group, asker->Administrators) == 0)
            answer = kAdministrator;
    }
    if (groups)
        asker->NetApiBufferFree(groups);
    return answer;
}

static Membership AskSystem(MembershipAsker* asker, const AccountId* account)
{
    int byId = 0;
    Membership answer = AskSystemById(asker, account, &byId);
    return byId ? answer : AskSystemByName(asker, account);
}

static Membership AskMembership(const AccountId* account, void* context)
{
    MembershipAsker* asker = (MembershipAsker*)context;
    const AccountId& last = asker->LastAccount;
    if (!asker->Asked || last.authority != account->authority ||
        last.subAuthorityCount != account->subAuthorityCount ||
        memcmp(last.subAuthorities, account->subAuthorities, account->subAuthorityCount * sizeof(uint32_t)) != 0) {
        asker->LastAnswer = AskSystem(asker, account);
        asker->LastAccount = *account;
        asker->Asked = 1;
    }
    return asker->LastAnswer;
}

// Where an entry's account id starts, for the allow entries; 0 for the
// others, whose account the rule does not read.
static DWORD AccountIdOffset(const ACE_HEADER* header)
{
    switch (header->AceType) {
    case ACCESS_ALLOWED_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_ACE_TYPE:
        return offsetof(ACCESS_ALLOWED_ACE, SidStart);
    case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
    case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE: {
        // The object kinds hold up to two GUIDs before the id, as their flags say.
        const DWORD flagsOffset = offsetof(ACCESS_ALLOWED_OBJECT_ACE, Flags);
        if (header->AceSize < flagsOffset + sizeof(DWORD))
            return 0;
        DWORD flags = *(const DWORD*)((const BYTE*)header + flagsOffset);
        return offsetof(ACCESS_ALLOWED_OBJECT_ACE, ObjectType) +
               ((flags & ACE_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0) +
               ((flags & ACE_INHERITED_OBJECT_TYPE_PRESENT) ? sizeof(GUID) : 0);
    }
    default:
        return 0;
    }
}

// What a look at a path found.
enum Finding { kOnlyAdministrators, kOtherWriterFound, kSecurityUnreadable };

static Finding JudgeSecurity(PSID ownerSid, PACL dacl, PathRole role, MembershipAsker* asker, OtherWriter* writer)
{
    AccountId owner;
    // An owner is an id of at most the largest size there is.
    int hasOwner = ownerSid && ReadAccountId(ownerSid, SECURITY_MAX_SID_SIZE, &owner);
    DWORD count = dacl ? dacl->AceCount : 0;
    AccessEntry* entries = count ? (AccessEntry*)LocalAlloc(LMEM_FIXED, count * sizeof *entries) : NULL;
    if (count && !entries)
        return kSecurityUnreadable;
    DWORD read = 0;
    for (; read < count; ++read) {
        ACCESS_ALLOWED_ACE* ace = NULL;
        if (!GetAce(dacl, read, (void**)&ace))
            break;
        AccessEntry& entry = entries[read];
        entry.type = ace->Header.AceType;
        entry.flags = ace->Header.AceFlags;
        entry.mask = ace->Mask;
        DWORD offset = AccountIdOffset(&ace->Header);
        entry.accountRead = offset && ace->Header.AceSize > offset &&
                            ReadAccountId((PSID)((BYTE*)ace + offset), ace->Header.AceSize - offset, &entry.account);
    }
    Finding finding = kSecurityUnreadable;
    if (read == count)
        finding = FindOtherWriter(hasOwner ? &owner : NULL, dacl == NULL, entries, count, role, AskMembership, asker,
                                  writer)
                      ? kOtherWriterFound
                      : kOnlyAdministrators;
    if (entries)
        LocalFree(entries);
    return finding;
}

// A junction or another link on the path: GetNamedSecurityInfoA reads the
// folder or file it points to, and whoever may change the link itself may
// point it elsewhere. That is read through a handle that does not follow it.
static Finding JudgeLinkItself(const char* path, MembershipAsker* asker, OtherWriter* writer)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return kOnlyAdministrators;
    HANDLE link = CreateFileA(path, READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, NULL);
    if (link == INVALID_HANDLE_VALUE)
        return kSecurityUnreadable;
    PSID owner = NULL;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    Finding finding = kSecurityUnreadable;
    if (GetSecurityInfo(link, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, &owner, NULL,
                        &dacl, NULL, &descriptor) == ERROR_SUCCESS)
        finding = JudgeSecurity(owner, dacl, kLinkItself, asker, writer);
    if (descriptor)
        LocalFree(descriptor);
    CloseHandle(link);
    return finding;
}

static Finding JudgePath(const char* path, PathRole role, MembershipAsker* asker, OtherWriter* writer)
{
    PSID owner = NULL;
    PACL dacl = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    DWORD error = GetNamedSecurityInfoA(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
                                        &owner, NULL, &dacl, NULL, &descriptor);
    // What does not exist can neither be run nor replace anything.
    Finding finding = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? kOnlyAdministrators
                                                                                       : kSecurityUnreadable;
    if (error == ERROR_SUCCESS)
        finding = JudgeSecurity(owner, dacl, role, asker, writer);
    if (descriptor)
        LocalFree(descriptor);
    if (error == ERROR_SUCCESS && finding == kOnlyAdministrators)
        finding = JudgeLinkItself(path, asker, writer);
    return finding;
}

// Who may change a path, as the messages name them: an account's name, and a
// text of kavo's that goes after it (or stands alone when no account can be
// named), kept apart so that each is shown in its own code page. A text that
// would not fit after the name is left out.
static void FormWriterText(const OtherWriter* writer, char* text, size_t size, const char** note)
{
    *note = "";
    if (size)
        text[0] = '\0';
    if (!writer->accountRead) {
        *note = kTextUnknownAccount;
        return;
    }
    char name[TEXT_SIZE];
    char domain[TEXT_SIZE];
    SID_NAME_USE use;
    if (!LookUpAccount(&writer->account, name, sizeof name, domain, sizeof domain, &use) ||
        !FormQualifiedName(text, size, domain, name))
        FormAccountIdText(text, size, &writer->account);
    if (writer->membershipUnknown && strlen(text) + sizeof kTextMembershipUnknown <= size)
        *note = kTextMembershipUnknown;
}

struct PathCheck {
    MembershipAsker Asker;
    char* Found;
    size_t FoundSize;
    char* Account;
    size_t AccountSize;
    const char** Note;
};

// 1, with the path and who may change it, when someone other than administrators may.
static int CheckPath(PathCheck* check, const char* path, PathRole role)
{
    if (path[0] == '\0')
        return 0;
    OtherWriter writer;
    Finding finding = JudgePath(path, role, &check->Asker, &writer);
    if (finding == kOnlyAdministrators)
        return 0;
    CopyText(check->Found, check->FoundSize, path);
    if (finding == kSecurityUnreadable) {
        CopyText(check->Account, check->AccountSize, "");
        *check->Note = kTextSecurityUnreadable;
    } else {
        FormWriterText(&writer, check->Account, check->AccountSize, check->Note);
    }
    return 1;
}

// The file, the folder that holds it, and every folder above that. Folders
// are named with their backslash ("C:\Tools\", "C:\"), so that a drive's root
// is named as such. A bare file name has no folder of its own to check.
static int CheckFileAndFolders(PathCheck* check, const char* path)
{
    if (CheckPath(check, path, kCheckedPath))
        return 1;
    char folder[TEXT_SIZE];
    if (!FormFolderOfPath(folder, sizeof folder, path))
        return 0;
    if (CheckPath(check, folder, kCheckedPath))
        return 1;
    while (CutToFolderAbove(folder))
        if (CheckPath(check, folder, kFolderAbove))
            return 1;
    return 0;
}

// A final path that could not be named cannot be judged.
static int RefuseUnnamedFinalPath(PathCheck* check, const char* programFile)
{
    CopyText(check->Found, check->FoundSize, programFile);
    if (check->AccountSize)
        check->Account[0] = '\0';
    *check->Note = kTextSecurityUnreadable;
    return 1;
}

static int RunCheck(int withKavo, const char* programFile, const char* finalPath, char* found, size_t foundSize,
                    char* account, size_t accountSize, const char** note)
{
    *note = "";
    PathCheck check;
    StartAsking(&check.Asker);
    check.Found = found;
    check.FoundSize = foundSize;
    check.Account = account;
    check.AccountSize = accountSize;
    check.Note = note;
    int writable = (withKavo && (CheckFileAndFolders(&check, ProgramContext.ModulePath) ||
                                 CheckPath(&check, ProgramContext.IniPath, kCheckedPath))) ||
                   CheckFileAndFolders(&check, programFile) ||
                   (!finalPath ? RefuseUnnamedFinalPath(&check, programFile)
                               : CheckFileAndFolders(&check, finalPath));
    StopAsking(&check.Asker);
    if (!writable) {
        if (foundSize)
            found[0] = '\0';
        if (accountSize)
            account[0] = '\0';
    }
    return writable;
}

int FindPathWritableByOthers(const char* programFile, const char* finalPath, char* found, size_t foundSize,
                             char* account, size_t accountSize, const char** note)
{
    return RunCheck(1, programFile, finalPath, found, foundSize, account, accountSize, note);
}

int FindProgramPathWritableByOthers(const char* programFile, const char* finalPath, char* found,
                                    size_t foundSize, char* account, size_t accountSize, const char** note)
{
    return RunCheck(0, programFile, finalPath, found, foundSize, account, accountSize, note);
}

int BuildAdministratorsOnly(AdministratorsOnly* security)
{
    const AccountId system = {5, 1, {18}};
    const AccountId administrators = {5, 2, {32, 544}};
    // Inherited by the files and folders made in it, as by the folder itself.
    const BYTE inherited = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
    PACL dacl = (PACL)security->Dacl;
    return FormSid(security->System, &system) && FormSid(security->Administrators, &administrators) &&
           InitializeAcl(dacl, sizeof security->Dacl, ACL_REVISION) &&
           AddAccessAllowedAceEx(dacl, ACL_REVISION, inherited, FILE_ALL_ACCESS, security->System) &&
           AddAccessAllowedAceEx(dacl, ACL_REVISION, inherited, FILE_ALL_ACCESS, security->Administrators) &&
           InitializeSecurityDescriptor(&security->Descriptor, SECURITY_DESCRIPTOR_REVISION) &&
           SetSecurityDescriptorOwner(&security->Descriptor, security->Administrators, FALSE) &&
           SetSecurityDescriptorDacl(&security->Descriptor, TRUE, dacl, FALSE) &&
           SetSecurityDescriptorControl(&security->Descriptor, SE_DACL_PROTECTED, SE_DACL_PROTECTED);
}

int FindOwnerNotAdministrator(HANDLE handle, char* account, size_t accountSize, const char** note)
{
    *note = "";
    PSID ownerSid = NULL;
    PSECURITY_DESCRIPTOR descriptor = NULL;
    AccountId owner;
    int read = GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &ownerSid, NULL, NULL, NULL,
                               &descriptor) == ERROR_SUCCESS &&
               ownerSid && ReadAccountId(ownerSid, SECURITY_MAX_SID_SIZE, &owner);
    int other = 1;
    if (read) {
        MembershipAsker asker;
        OtherWriter writer;
        StartAsking(&asker);
        // No entries: only the owner is weighed.
        other = FindOtherWriter(&owner, 0, NULL, 0, kCheckedPath, AskMembership, &asker, &writer);
        if (other)
            FormWriterText(&writer, account, accountSize, note);
        StopAsking(&asker);
    } else {
        if (accountSize)
            account[0] = '\0';
        *note = kTextSecurityUnreadable;
    }
    if (descriptor)
        LocalFree(descriptor);
    return other;
}
