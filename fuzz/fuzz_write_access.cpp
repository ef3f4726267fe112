// The rule of who other than administrators may change a path, on arbitrary
// owners, DACLs and membership answers, against a model of the rule; and an
// account id's text.
#include "fuzz_support.h"

#include "host/portable_write_access.h"

// Values that make the ids the rule knows likely: SYSTEM, Administrators,
// TrustedInstaller, OWNER RIGHTS, domains and their accounts.
static const uint32_t kSubAuthorities[] = {0,         4,          18,         21,         32,         544,
                                           545,       80,         956008885,  3418522649u, 1831038044, 1853292631,
                                           2271478464u, 500,      512,        1001};
static const uint64_t kAuthorities[] = {0, 1, 2, 3, 5, 5, 5, 12};
// Allow entries of each kind, deny and audit entries.
static const uint8_t kEntryTypes[] = {0, 1, 5, 9, 11, 2, 0, 0};

static AccountId ReadId(InputReader& input)
{
    AccountId id = {};
    uint8_t shape = input.Byte();
    id.authority = shape & 0x80 ? (uint64_t)input.Byte() << 40 | input.Byte() : kAuthorities[shape & 7];
    id.subAuthorityCount = (shape >> 3) % (ACCOUNT_ID_MAX_SUB_AUTHORITIES + 1);
    for (uint32_t i = 0; i < id.subAuthorityCount; ++i) {
        uint8_t pick = input.Byte();
        id.subAuthorities[i] = pick < 0xF0 ? kSubAuthorities[pick % 16]
                                           : (uint32_t)input.Byte() << 24 | (uint32_t)input.Byte() << 8 | pick;
    }
    return id;
}

static bool SameId(const AccountId& a, const AccountId& b)
{
    return a.authority == b.authority && a.subAuthorityCount == b.subAuthorityCount &&
           memcmp(a.subAuthorities, b.subAuthorities, a.subAuthorityCount * sizeof(uint32_t)) == 0;
}

static std::string Text(const AccountId& id)
{
    std::string text = "S-1-";
    char number[32];
    if (id.authority >> 32)
        snprintf(number, sizeof number, "0x%012llX", (unsigned long long)id.authority);
    else
        snprintf(number, sizeof number, "%llu", (unsigned long long)id.authority);
    text += number;
    for (uint32_t i = 0; i < id.subAuthorityCount; ++i)
        text += "-" + std::to_string(id.subAuthorities[i]);
    return text;
}

struct Answers {
    uint8_t bits;
    int asked;
};

static Membership Answer(const AccountId* account, void* context)
{
    Answers* answers = (Answers*)context;
    ++answers->asked;
    // Only accounts of a computer or a domain are asked about.
    FUZZ_CHECK(account->authority == 5 && account->subAuthorityCount > 1 && account->subAuthorities[0] == 21);
    // An answer out of range must count as unknown.
    return (Membership)((account->subAuthorities[account->subAuthorityCount - 1] + answers->bits) % 4);
}

// The rule, as the comments of portable_write_access.h state it.
static int ModelMembership(const AccountId& id, uint8_t bits)
{
    std::string text = Text(id);
    if (text == "S-1-5-18" || text == "S-1-5-32-544" ||
        text == "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464")
        return kAdministrator;
    if (!(id.authority == 5 && id.subAuthorityCount > 1 && id.subAuthorities[0] == 21))
        return kNotAdministrator;
    int answer = (int)((id.subAuthorities[id.subAuthorityCount - 1] + bits) % 4);
    return answer > kMembershipUnknown ? kMembershipUnknown : answer;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    uint8_t shape = input.Byte();
    Answers answers = {input.Byte(), 0};
    PathRole role = (PathRole)(shape % 3);
    bool daclIsNull = (shape & 0x04) != 0;
    bool hasOwner = (shape & 0x08) == 0;
    AccountId owner = ReadId(input);
    std::vector<AccessEntry> entries(input.Byte() % 9);
    for (AccessEntry& entry : entries) {
        uint8_t kind = input.Byte();
        entry.type = kind & 0x80 ? input.Byte() : kEntryTypes[kind & 7];
        entry.flags = input.Byte();
        entry.mask = (uint32_t)input.Byte() << 24 | (uint32_t)input.Byte() << 16 | (uint32_t)input.Byte() << 8 |
                     input.Byte();
        entry.accountRead = (kind & 0x40) == 0;
        entry.account = ReadId(input);
    }

    OtherWriter found = {};
    int unsafe = FindOtherWriter(hasOwner ? &owner : NULL, daclIsNull, entries.data(), entries.size(), role, Answer,
                                 &answers, &found);

    const uint32_t weighed[] = {0x500d0046u, 0x100d0040u, 0x500d0146u};
    const AccountId everyone = {1, 1, {0}};
    const AccountId* writer = NULL;
    bool wanted = true;
    bool unread = false;
    if (daclIsNull) {
        writer = &everyone;
    } else if (!hasOwner) {
        unread = true;
    } else if (ModelMembership(owner, answers.bits) != kAdministrator) {
        writer = &owner;
    } else {
        wanted = false;
        for (const AccessEntry& entry : entries) {
            bool allows = entry.type == 0 || entry.type == 5 || entry.type == 9 || entry.type == 11;
            if (!allows || (entry.flags & 0x08) || !(entry.mask & weighed[role]) ||
                (entry.accountRead && Text(entry.account) == "S-1-3-4"))
                continue;
            if (!entry.accountRead || ModelMembership(entry.account, answers.bits) != kAdministrator) {
                wanted = true;
                unread = !entry.accountRead;
                writer = entry.accountRead ? &entry.account : NULL;
                break;
            }
        }
    }
    FUZZ_CHECK(unsafe == (wanted ? 1 : 0));
    if (wanted) {
        FUZZ_CHECK(found.accountRead == (unread ? 0 : 1));
        if (writer) {
            FUZZ_CHECK(SameId(found.account, *writer));
            FUZZ_CHECK(found.membershipUnknown == (ModelMembership(*writer, answers.bits) == kMembershipUnknown));
        }
    }

    // The id's text, into destinations of every telling size.
    std::string text = Text(owner);
    for (size_t blockSize : SizesAround(text.size(), 200)) {
        Block destination(blockSize);
        int fits = FormAccountIdText(destination.bytes, blockSize, &owner);
        FUZZ_CHECK(fits == (text.size() < blockSize ? 1 : 0));
        if (blockSize)
            FUZZ_CHECK(destination.Text() == (fits ? text : ""));
    }
    return 0;
}
