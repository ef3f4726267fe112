#include "host/portable_write_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

namespace {

// An id written as the system writes it, "S-1-5-32-545".
AccountId Id(const char* text)
{
    AccountId id = {};
    const char* p = text + 4;   // past "S-1-"
    char* end = NULL;
    id.authority = strtoull(p, &end, 10);
    while (*end == '-' && id.subAuthorityCount < ACCOUNT_ID_MAX_SUB_AUTHORITIES)
        id.subAuthorities[id.subAuthorityCount++] = (uint32_t)strtoul(end + 1, &end, 10);
    return id;
}

// A descriptor with at most one DACL entry, as the reader sees it.
struct Descriptor {
    const char* what;
    const char* owner;     // NULL: no owner
    bool nullDacl;
    const char* account;   // of the entry; "" for no entry, NULL for one whose account could not be read
    uint8_t type, flags;
    uint32_t mask;
    bool unsafe;
};

bool LetsOthersChange(const Descriptor& d)
{
    AccountId owner = d.owner ? Id(d.owner) : AccountId();
    bool hasEntry = !d.account || *d.account;
    AccountId account = d.account && hasEntry ? Id(d.account) : AccountId();
    return DescriptorLetsOthersChange(d.owner ? &owner : NULL, d.nullDacl) ||
           (hasEntry && EntryLetsOthersChange(d.type, d.flags, d.mask, d.account ? &account : NULL));
}

const char kAdministrators[] = "S-1-5-32-544";

TEST(WriteAccess, WhoMayChangeAFileOrFolder)
{
    const char* broadGroups[] = {
        "S-1-1-0",        // Everyone
        "S-1-5-11",       // Authenticated Users
        "S-1-5-32-545",   // Users
        "S-1-5-4",        // Interactive
        "S-1-5-32-546",   // Guests
        "S-1-5-7",        // Anonymous Logon
        "S-1-5-21-1004336348-1177238915-682003330-513",   // Domain Users
        "S-1-5-21-0-0-0-513",
    };
    const uint32_t rightsThatChange[] = {
        0x2, 0x4, 0x40, 0x10000, 0x40000, 0x80000, 0x40000000, 0x10000000,
        0x1301bf,   // Modify, as Authenticated Users inherit it under C:\ since Vista
        0x1301ff,   // what Wine shows for a path that "other" may write
        0x1f01ff,   // Full Control
    };
    const uint32_t rightsThatDoNot[] = {
        0, 0x1, 0x8, 0x10, 0x20, 0x80, 0x100, 0x20000, 0x100000, 0x1000000, 0x20000000, 0x80000000,
        0x1200a9,   // Read and Execute
        0x1201b9,   // Read and Execute, and write attributes and extended attributes
    };
    const char* notJudged[] = {
        kAdministrators, "S-1-5-18",   // SYSTEM
        "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464",   // TrustedInstaller
        "S-1-5-32-547",                              // Power Users
        "S-1-5-21-1004336348-1177238915-682003330-1001",   // one user
        "S-1-5-21-1004336348-1177238915-682003330-512",    // Domain Admins
        "S-1-5-21-1-2-513", "S-1-5-21-1-2-3-4-513", "S-1-5-22-1-2-3-513",   // not a domain's 513
        "S-1-5-32-545-0", "S-1-5-32", "S-1-5-545", "S-1-2-0", "S-1-5-0", "S-1-0-0", "S-1-3-0",
    };

    std::vector<Descriptor> cases = {
        {"no owner, no entry", NULL, false, "", 0, 0, 0, false},
        {"null DACL", kAdministrators, true, "", 0, 0, 0, true},
        {"null DACL, no owner", NULL, true, "", 0, 0, 0, true},
        {"deny entry", kAdministrators, false, "S-1-1-0", 1, 0, 0x1f01ff, false},
        {"audit entry", kAdministrators, false, "S-1-1-0", 2, 0, 0x1f01ff, false},
        {"object allow entry", kAdministrators, false, "S-1-1-0", 5, 0, 0x1f01ff, false},
        {"allow entry with a condition", kAdministrators, false, "S-1-1-0", 9, 0, 0x2, true},
        {"inherited to files and folders", kAdministrators, false, "S-1-5-11", 0, 0x13, 0x1301bf, true},
        {"inherit-only", kAdministrators, false, "S-1-5-11", 0, 0x0b, 0x1301bf, false},
        {"inherited, inherit-only", kAdministrators, false, "S-1-5-11", 0, 0x1b, 0x1301bf, false},
        {"allow entry whose account cannot be read", kAdministrators, false, NULL, 0, 0, 0x2, true},
        {"... granting nothing that changes", kAdministrators, false, NULL, 0, 0, 0x1200a9, false},
        {"... deny entry", kAdministrators, false, NULL, 1, 0, 0x2, false},
    };
    for (const char* group : broadGroups) {
        for (uint32_t mask : rightsThatChange)
            cases.push_back({"broad group, right that changes", kAdministrators, false, group, 0, 0, mask, true});
        for (uint32_t mask : rightsThatDoNot)
            cases.push_back({"broad group, right that does not change", kAdministrators, false, group, 0, 0,
                             mask, false});
        cases.push_back({"broad group as owner", group, false, "", 0, 0, 0, true});
    }
    for (const char* account : notJudged) {
        cases.push_back({"other account, Full Control", kAdministrators, false, account, 0, 0, 0x1f01ff, false});
        cases.push_back({"other account as owner", account, false, "", 0, 0, 0, false});
    }

    for (const Descriptor& d : cases) {
        std::string account = d.account ? d.account : "(unreadable)";
        EXPECT_EQ(d.unsafe, LetsOthersChange(d))
            << d.what << ": owner " << (d.owner ? d.owner : "none") << ", entry type " << (int)d.type << " flags 0x"
            << std::hex << (int)d.flags << " mask 0x" << d.mask << " for " << account;
    }
}

}  // namespace
