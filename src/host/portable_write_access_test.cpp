#include "host/portable_write_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <vector>

namespace {

// An id as the system writes it, "S-1-5-32-545".
AccountId Id(const char* text)
{
    AccountId id = {};
    char* end = NULL;
    id.authority = strtoull(text + 4, &end, 10);   // past "S-1-"
    while (*end == '-' && id.subAuthorityCount < ACCOUNT_ID_MAX_SUB_AUTHORITIES)
        id.subAuthorities[id.subAuthorityCount++] = (uint32_t)strtoul(end + 1, &end, 10);
    return id;
}

// A descriptor owned by owner (NULL: none) with a null DACL or one entry for
// account (NULL: an account that could not be read).
struct Descriptor {
    const char* owner;
    bool nullDacl;
    uint8_t type, flags;
    uint32_t mask;
    const char* account;
    bool unsafe;
};

bool LetsOthersChange(const Descriptor& d)
{
    AccountId owner = d.owner ? Id(d.owner) : AccountId();
    AccountId account = d.account ? Id(d.account) : AccountId();
    return DescriptorLetsOthersChange(d.owner ? &owner : NULL, d.nullDacl) ||
           (!d.nullDacl && EntryLetsOthersChange(d.type, d.flags, d.mask, d.account ? &account : NULL));
}

const char kAdmins[] = "S-1-5-32-544";

TEST(WriteAccess, WhoMayChangeAFileOrFolder)
{
    // Everyone, Authenticated Users, Users, Interactive, Guests, Anonymous
    // Logon, and Domain Users of two domains.
    const char* broadGroups[] = {"S-1-1-0", "S-1-5-11", "S-1-5-32-545", "S-1-5-4", "S-1-5-32-546", "S-1-5-7",
                                 "S-1-5-21-1004336348-1177238915-682003330-513", "S-1-5-21-0-0-0-513"};
    // Each right that changes; Modify (what Authenticated Users inherit under
    // C:\ since Vista); what Wine shows for "other" may write; Full Control.
    const uint32_t changing[] = {0x2,        0x4,        0x40,     0x10000,  0x40000, 0x80000,
                                 0x40000000, 0x10000000, 0x1301bf, 0x1301ff, 0x1f01ff};
    // Read and execute, write attributes and extended attributes, and the
    // standard and generic rights that read.
    const uint32_t notChanging[] = {0, 0x1, 0x8, 0x10, 0x20, 0x80, 0x100, 0x20000, 0x100000, 0x1000000, 0x20000000,
                                    0x80000000, 0x1200a9, 0x1201b9};
    // Administrators, SYSTEM, TrustedInstaller, Power Users, a user, Domain
    // Admins, ids that only look like Domain Users or Users, Local, Creator Owner.
    const char* notJudged[] = {kAdmins, "S-1-5-18",
                               "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464", "S-1-5-32-547",
                               "S-1-5-21-1-2-3-1001", "S-1-5-21-1-2-3-512", "S-1-5-21-1-2-513", "S-1-5-21-1-2-3-4-513",
                               "S-1-5-22-1-2-3-513", "S-1-5-32-545-0", "S-1-5-545", "S-1-2-0", "S-1-3-0"};

    std::vector<Descriptor> cases = {
        {kAdmins, true, 0, 0, 0, NULL, true},              // null DACL
        {NULL, true, 0, 0, 0, NULL, true},
        {NULL, false, 0, 0, 0x1f01ff, kAdmins, false},     // no owner
        {kAdmins, false, 1, 0, 0x1f01ff, "S-1-1-0", false},       // deny
        {kAdmins, false, 2, 0, 0x1f01ff, "S-1-1-0", false},       // audit
        {kAdmins, false, 5, 0, 0x1f01ff, "S-1-1-0", false},       // object allow entry
        {kAdmins, false, 9, 0, 0x2, "S-1-1-0", true},             // allow with a condition
        {kAdmins, false, 0, 0x13, 0x1301bf, "S-1-5-11", true},    // inherited, to files and folders
        {kAdmins, false, 0, 0x0b, 0x1301bf, "S-1-5-11", false},   // inherit-only
        {kAdmins, false, 0, 0x1b, 0x1301bf, "S-1-5-11", false},   // inherited, inherit-only
        {kAdmins, false, 0, 0, 0x2, NULL, true},                  // account not read
        {kAdmins, false, 0, 0, 0x1200a9, NULL, false},
        {kAdmins, false, 1, 0, 0x2, NULL, false},
    };
    for (const char* group : broadGroups) {
        for (uint32_t mask : changing)
            cases.push_back({kAdmins, false, 0, 0, mask, group, true});
        for (uint32_t mask : notChanging)
            cases.push_back({kAdmins, false, 0, 0, mask, group, false});
        cases.push_back({group, false, 0, 0, 0x1f01ff, kAdmins, true});
    }
    for (const char* account : notJudged) {
        cases.push_back({kAdmins, false, 0, 0, 0x1f01ff, account, false});
        cases.push_back({account, false, 0, 0, 0x1f01ff, kAdmins, false});
    }
    for (const Descriptor& d : cases)
        EXPECT_EQ(d.unsafe, LetsOthersChange(d))
            << "owner " << (d.owner ? d.owner : "none") << (d.nullDacl ? ", null DACL" : "") << ", entry type "
            << (int)d.type << " flags 0x" << std::hex << (int)d.flags << " mask 0x" << d.mask << " for "
            << (d.account ? d.account : "(not read)");
}

}  // namespace
