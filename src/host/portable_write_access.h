// Whether a file's or folder's security lets ordinary users change it: the
// rule, over the numbers a security descriptor holds. No windows.h here: this
// file builds natively as well as for Windows.
#pragma once

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

// 1 when the descriptor, apart from its DACL's entries, lets a broad group
// change the object: the DACL is null (every account has every right), or the
// owner (NULL: none) is a broad group, which may always rewrite the DACL.
int DescriptorLetsOthersChange(const AccountId* owner, int daclIsNull);

// 1 when one DACL entry (its type, flags and access mask, and its account,
// NULL when that could not be read) lets a broad group change the object
// itself: an allow entry, not inherit-only, for Everyone, Authenticated
// Users, Users, Interactive, Guests, Anonymous Logon or the Domain Users of
// any domain, granting write or append data (for a folder: add a file or a
// sub-folder), delete, delete a child, write the DACL, take ownership,
// generic write or generic all. Deny entries are not weighed.
int EntryLetsOthersChange(uint8_t type, uint8_t flags, uint32_t mask, const AccountId* account);
