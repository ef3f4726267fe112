#include "host/portable_write_access.h"

#include "text/text.h"

// The system's numbers (winnt.h), named here without it. The allow entries:
// plain, with a condition (weighed as if it held), and their object forms.
static const uint8_t kAllowEntryTypes[] = {0x0, 0x5, 0x9, 0xB};
// The entry is only handed down to children; it does not apply to the path.
static const uint8_t kInheritOnlyAce = 0x08;

static const uint32_t kWriteData = 0x00000002u;       // a folder: add a file
static const uint32_t kAppendData = 0x00000004u;      // a folder: add a sub-folder
static const uint32_t kDeleteChild = 0x00000040u;
static const uint32_t kWriteAttributes = 0x00000100u;
static const uint32_t kDelete = 0x00010000u;
static const uint32_t kWriteDacl = 0x00040000u;
static const uint32_t kWriteOwner = 0x00080000u;
static const uint32_t kGenericAll = 0x10000000u;
static const uint32_t kGenericWrite = 0x40000000u;   // holds write attributes, never delete a child

static const uint32_t kRightsOverItself = kDelete | kWriteDacl | kWriteOwner | kGenericAll;
static const uint32_t kRightsThatChange = kWriteData | kAppendData | kDeleteChild | kGenericWrite | kRightsOverItself;

static uint32_t RightsWeighed(PathRole role)
{
    switch (role) {
    case kFolderAbove:
        return kDeleteChild | kRightsOverItself;
    case kLinkItself:
        return kRightsThatChange | kWriteAttributes;
    default:
        return kRightsThatChange;
    }
}

static const uint64_t kWorldAuthority = 1;
static const uint64_t kNtAuthority = 5;

// The ids the rule knows by heart: SYSTEM, Administrators, TrustedInstaller
// and OWNER RIGHTS (these two since Vista), Everyone.
struct KnownAccount {
    uint64_t authority;
    uint32_t subAuthorityCount;
    uint32_t subAuthorities[6];
};
static const KnownAccount kSystem = {kNtAuthority, 1, {18}};
static const KnownAccount kAdministrators = {kNtAuthority, 2, {32, 544}};
static const KnownAccount kTrustedInstaller = {
    kNtAuthority, 6, {80, 956008885, 3418522649u, 1831038044, 1853292631, 2271478464u}};
static const KnownAccount kOwnerRights = {3, 1, {4}};
static const KnownAccount kEveryone = {kWorldAuthority, 1, {0}};

static int IsAccount(const AccountId* account, const KnownAccount& known)
{
    if (account->authority != known.authority || account->subAuthorityCount != known.subAuthorityCount)
        return 0;
    for (uint32_t i = 0; i < known.subAuthorityCount; ++i)
        if (account->subAuthorities[i] != known.subAuthorities[i])
            return 0;
    return 1;
}

// The accounts and groups of a computer or a domain, S-1-5-21-...: the only
// ids an administrator can make members of Administrators. Everyone, LOCAL,
// CREATOR OWNER, the logon groups, the built-in groups and the service ids
// are not asked about, so that none of them needs the network.
static int IsDomainAccount(const AccountId* account)
{
    const uint32_t kNonUniqueDomain = 21;
    return account->authority == kNtAuthority && account->subAuthorityCount > 1 &&
           account->subAuthorities[0] == kNonUniqueDomain;
}

int IsSameAccount(const AccountId* a, const AccountId* b)
{
    if (a->authority != b->authority || a->subAuthorityCount != b->subAuthorityCount ||
        a->subAuthorityCount > ACCOUNT_ID_MAX_SUB_AUTHORITIES)
        return 0;
    for (uint32_t i = 0; i < a->subAuthorityCount; ++i)
        if (a->subAuthorities[i] != b->subAuthorities[i])
            return 0;
    return 1;
}

int IsKnownAdministrator(const AccountId* account)
{
    return IsAccount(account, kSystem) || IsAccount(account, kAdministrators) ||
           IsAccount(account, kTrustedInstaller);
}

static Membership MembershipOf(const AccountId* account, MembershipQuery query, void* context)
{
    if (IsKnownAdministrator(account))
        return kAdministrator;
    if (!IsDomainAccount(account))
        return kNotAdministrator;
    Membership membership = query(account, context);
    return membership == kAdministrator || membership == kNotAdministrator ? membership : kMembershipUnknown;
}

// 1 (and found filled) unless the account is an administrator.
static int JudgeAccount(const AccountId* account, MembershipQuery query, void* context, OtherWriter* found)
{
    found->accountRead = account != NULL;
    found->membershipUnknown = 0;
    if (!account)
        return 1;
    found->account = *account;
    Membership membership = MembershipOf(account, query, context);
    found->membershipUnknown = membership == kMembershipUnknown;
    return membership != kAdministrator;
}

static int IsAllowEntry(uint8_t type)
{
    for (uint8_t allow : kAllowEntryTypes)
        if (type == allow)
            return 1;
    return 0;
}

int FindOtherWriter(const AccountId* owner, int daclIsNull, const AccessEntry* entries, size_t entryCount,
                    PathRole role, MembershipQuery query, void* context, OtherWriter* found)
{
    if (daclIsNull) {
        AccountId everyone = {kEveryone.authority, kEveryone.subAuthorityCount, {0}};
        return JudgeAccount(&everyone, query, context, found);
    }
    if (JudgeAccount(owner, query, context, found))
        return 1;
    const uint32_t weighed = RightsWeighed(role);
    for (size_t i = 0; i < entryCount; ++i) {
        const AccessEntry& entry = entries[i];
        if (!IsAllowEntry(entry.type) || (entry.flags & kInheritOnlyAce) || !(entry.mask & weighed))
            continue;
        // The owner, judged above.
        if (entry.accountRead && IsAccount(&entry.account, kOwnerRights))
            continue;
        if (JudgeAccount(entry.accountRead ? &entry.account : NULL, query, context, found))
            return 1;
    }
    return 0;
}

// Appends value in decimal (below 2^32), or in hexadecimal with 0x and
// hexDigits digits.
static int AppendNumber(char* destination, size_t size, uint64_t value, int hexDigits)
{
    char digits[24];
    size_t at = sizeof digits;
    digits[--at] = '\0';
    if (hexDigits) {
        for (int i = 0; i < hexDigits; ++i, value >>= 4)
            digits[--at] = "0123456789ABCDEF"[value & 0xF];
        digits[--at] = 'x';
        digits[--at] = '0';
    } else {
        // Decimal is asked only for values below 2^32, and 32-bit division
        // needs no helper in the 32-bit program.
        uint32_t rest = (uint32_t)value;
        do {
            digits[--at] = (char)('0' + rest % 10);
            rest /= 10;
        } while (rest);
    }
    return AppendText(destination, size, digits + at);
}

int FormAccountIdText(char* destination, size_t size, const AccountId* account)
{
    if (size == 0)
        return 0;
    destination[0] = '\0';
    // Six bytes of authority: twelve hexadecimal digits.
    const int kAuthorityHexDigits = 12;
    int fits = AppendText(destination, size, "S-1-") &&
               AppendNumber(destination, size, account->authority,
                            account->authority >> 32 ? kAuthorityHexDigits : 0);
    for (uint32_t i = 0; fits && i < account->subAuthorityCount && i < ACCOUNT_ID_MAX_SUB_AUTHORITIES; ++i)
        fits = AppendText(destination, size, "-") && AppendNumber(destination, size, account->subAuthorities[i], 0);
    if (!fits)
        destination[0] = '\0';
    return fits;
}
