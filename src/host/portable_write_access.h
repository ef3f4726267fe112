// Whether anyone but administrators may change a file or folder: the rule,
// over the numbers a security descriptor holds. Whether an account is a member
// of the local Administrators group is asked of a function the caller passes.
// No windows.h here: this file builds natively as well as for Windows.
#pragma once

#include <stddef.h>
#include <stdint.h>

// The most sub-authorities an account id (a SID) can hold.
enum { ACCOUNT_ID_MAX_SUB_AUTHORITIES = 15 };

// An account or group id (a SID) as numbers: the identifier authority (six
// bytes, read as one big-endian number) and the sub-authorities in order.
struct AccountId {
    uint64_t authority;
    uint32_t subAuthorityCount;
    uint32_t subAuthorities[ACCOUNT_ID_MAX_SUB_AUTHORITIES];
};

// One entry of a DACL: its type, flags and access mask, and its account.
struct AccessEntry {
    uint8_t type;
    uint8_t flags;
    uint32_t mask;
    int accountRead;   // 0: the entry's account could not be read
    AccountId account;
};

// Whether an account is a member of the local Administrators group, directly
// or through groups it belongs to.
enum Membership { kNotAdministrator, kAdministrator, kMembershipUnknown };
typedef Membership (*MembershipQuery)(const AccountId* account, void* context);

// What is weighed on a path.
enum PathRole {
    // A file or folder the service runs or reads: every right that changes it
    // (write or append data, for a folder adding a file or a sub-folder;
    // delete; delete a child; write the DACL; take ownership; generic write
    // and generic all).
    kCheckedPath,
    // A folder above one of those: only what lets someone replace a child
    // (delete a child; delete, write the DACL or take ownership of the folder
    // itself; generic all). Adding a file or a sub-folder is harmless.
    kFolderAbove,
    // A junction or other link on the path, itself: what lets someone point
    // it elsewhere (write data or attributes, and the rights of kCheckedPath).
    kLinkItself,
};

// Someone other than administrators who may change a path.
struct OtherWriter {
    int accountRead;         // 0: no account to name (no owner, or an entry whose account was not read)
    AccountId account;
    int membershipUnknown;   // 1: whether the account is an administrator could not be found out
};

// 1, with the first such account in found, when someone other than
// administrators may change a path with this owner (NULL: none, or not read)
// and DACL (entryCount entries; daclIsNull: a null DACL, which grants every
// right to Everyone). Administrators are SYSTEM, Administrators,
// TrustedInstaller and the members of the local Administrators group, as
// query answers for accounts of a computer or a domain (every other id is no
// member and is not asked about); an account whose answer is unknown counts
// as another. The owner must be an administrator, since an owner may always
// rewrite the DACL. Of the entries only the allow entries that apply to the
// path itself (not inherit-only) and grant a right of role are weighed, and
// each must name an administrator; an entry for OWNER RIGHTS is the owner's.
// 0 when only administrators may change it.
int FindOtherWriter(const AccountId* owner, int daclIsNull, const AccessEntry* entries, size_t entryCount,
                    PathRole role, MembershipQuery query, void* context, OtherWriter* found);

// Writes the id as the system writes it, "S-1-5-32-544" (an authority of 2^32
// or more in hexadecimal, "S-1-0x100000000-..."). 1 when it fits; 0 (and an
// empty destination) otherwise.
int FormAccountIdText(char* destination, size_t size, const AccountId* account);

// 1 when the two ids are the same (an id longer than any there is matches none).
int IsSameAccount(const AccountId* a, const AccountId* b);

// 1 for SYSTEM, Administrators and TrustedInstaller: the ids every Windows
// gives them, which no other account may own an object as.
int IsKnownAdministrator(const AccountId* account);
