#include "host/portable_write_access.h"

// The system's numbers (winnt.h), named here without it.
static const uint8_t kAccessAllowedAceType = 0x0;
// An allow entry with a condition: weighed as if the condition held.
static const uint8_t kAccessAllowedCallbackAceType = 0x9;
// The entry is only handed down to children; it does not apply to the object.
static const uint8_t kInheritOnlyAce = 0x08;

// The rights that change a file or folder, or who may change it.
static const uint32_t kRightsThatChange = 0x00000002u     // write data; a folder: add a file
                                          | 0x00000004u   // append data; a folder: add a sub-folder
                                          | 0x00000040u   // a folder: delete a child
                                          | 0x00010000u   // delete
                                          | 0x00040000u   // write the DACL
                                          | 0x00080000u   // take ownership
                                          | 0x10000000u   // generic all
                                          | 0x40000000u;  // generic write

static const uint64_t kWorldAuthority = 1;
static const uint64_t kNtAuthority = 5;
static const uint32_t kBuiltinDomain = 32;
static const uint32_t kNonUniqueDomain = 21;
// The sub-authorities of a domain's id, S-1-5-21-a-b-c, with an account's relative id after them.
static const uint32_t kDomainAccountSubAuthorities = 5;
static const uint32_t kDomainUsersRid = 513;

// Groups that take in users other than administrators, as the ids every
// Windows since NT 4 gives them.
static const struct {
    uint64_t authority;
    uint32_t subAuthorityCount;
    uint32_t subAuthorities[2];
} kBroadGroups[] = {
    {kWorldAuthority, 1, {0}},                   // Everyone, S-1-1-0
    {kNtAuthority, 1, {4}},                      // Interactive, S-1-5-4
    {kNtAuthority, 1, {7}},                      // Anonymous Logon, S-1-5-7
    {kNtAuthority, 1, {11}},                     // Authenticated Users, S-1-5-11
    {kNtAuthority, 2, {kBuiltinDomain, 545}},    // Users, S-1-5-32-545
    {kNtAuthority, 2, {kBuiltinDomain, 546}},    // Guests, S-1-5-32-546
};

static int IsBroadGroup(const AccountId* account)
{
    // Domain Users, S-1-5-21-a-b-c-513, of any domain; on a computer outside a
    // domain the same id names its local group None, of which every local
    // user is a member.
    if (account->authority == kNtAuthority && account->subAuthorityCount == kDomainAccountSubAuthorities &&
        account->subAuthorities[0] == kNonUniqueDomain &&
        account->subAuthorities[kDomainAccountSubAuthorities - 1] == kDomainUsersRid)
        return 1;
    for (const auto& group : kBroadGroups) {
        if (account->authority != group.authority || account->subAuthorityCount != group.subAuthorityCount)
            continue;
        uint32_t same = 0;
        while (same < group.subAuthorityCount && account->subAuthorities[same] == group.subAuthorities[same])
            ++same;
        if (same == group.subAuthorityCount)
            return 1;
    }
    return 0;
}

int DescriptorLetsOthersChange(const AccountId* owner, int daclIsNull)
{
    return daclIsNull || (owner && IsBroadGroup(owner));
}

int EntryLetsOthersChange(uint8_t type, uint8_t flags, uint32_t mask, const AccountId* account)
{
    if (type != kAccessAllowedAceType && type != kAccessAllowedCallbackAceType)
        return 0;
    if ((flags & kInheritOnlyAce) || !(mask & kRightsThatChange))
        return 0;
    // An allow entry for an account that could not be read may be for anyone.
    return !account || IsBroadGroup(account);
}
