#include "host/portable_write_access.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

namespace {

// An id as the system writes it, "S-1-5-32-545".
AccountId Id(const std::string& text)
{
    AccountId id = {};
    char* end = NULL;
    id.authority = strtoull(text.c_str() + 4, &end, 10);   // past "S-1-"
    while (*end == '-' && id.subAuthorityCount < ACCOUNT_ID_MAX_SUB_AUTHORITIES)
        id.subAuthorities[id.subAuthorityCount++] = (uint32_t)strtoul(end + 1, &end, 10);
    return id;
}

std::string Text(const AccountId& id)
{
    char text[200];
    EXPECT_EQ(1, FormAccountIdText(text, sizeof text, &id));
    return text;
}

const char kAdmins[] = "S-1-5-32-544";
const char kSystem[] = "S-1-5-18";
const char kTrustedInstaller[] = "S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";
const char kEveryone[] = "S-1-1-0";
// Accounts as the membership query answers for them: the local
// administrator; an administrator's own account on a computer of a domain,
// an administrator only through Domain Admins in the local Administrators
// group; a plain user; an account whose domain controller is out of reach.
const char kLocalAdmin[] = "S-1-5-21-1-2-3-500";
const char kDomainAdmin[] = "S-1-5-21-7-8-9-1105";
const char kUser[] = "S-1-5-21-1-2-3-1001";
const char kUnreachable[] = "S-1-5-21-7-8-9-1106";

Membership AskMembership(const AccountId* account, void* asked)
{
    std::string id = Text(*account);
    ((std::vector<std::string>*)asked)->push_back(id);
    if (id == kLocalAdmin || id == kDomainAdmin)
        return kAdministrator;
    return id == kUnreachable ? kMembershipUnknown : kNotAdministrator;
}

// A case of this name has a null DACL.
const char kNullDacl[] = "null DACL";

const uint8_t kOiCi = 0x3, kInheritOnly = 0x8, kInherited = 0x10;

struct Entry {
    uint8_t type, flags;
    uint32_t mask;
    const char* account;   // NULL: not read
};

struct Case {
    const char* what;
    const char* owner;   // NULL: none
    std::vector<Entry> entries;
    PathRole role;
    const char* writer;   // who may change it: NULL none, "" an account not read
    bool unknown;         // the writer's membership could not be found out
};

// Full control, and what C:\Program Files hands a folder an administrator makes there.
const uint32_t kFull = 0x1f01ff, kModify = 0x1301bf, kReadExecute = 0x1200a9;
const std::vector<Entry> kProgramFilesFolder = {{0, kInherited, kFull, kSystem},
                                                {0, kInherited, kFull, kAdmins},
                                                {0, kInherited, kReadExecute, "S-1-5-32-545"},
                                                {0, kInherited | kInheritOnly | kOiCi, kFull, "S-1-3-0"},
                                                {0, kInherited | kInheritOnly | 0x2, kFull, kTrustedInstaller}};

std::vector<Entry> With(std::vector<Entry> entries, const Entry& added)
{
    entries.push_back(added);
    return entries;
}

TEST(WriteAccess, WhoMayChangeAFileOrFolder)
{
    std::vector<Case> cases = {
        {"a folder an administrator made under C:\\Program Files (XP: owner Administrators)", kAdmins,
         kProgramFilesFolder, kCheckedPath, NULL, false},
        {"the same since Vista: the administrator owns it and has full control", kLocalAdmin,
         With(kProgramFilesFolder, {0, 0, kFull, kLocalAdmin}), kCheckedPath, NULL, false},
        {"the same by a domain account, an administrator through a nested group", kDomainAdmin,
         With(kProgramFilesFolder, {0, 0, kFull, kDomainAdmin}), kCheckedPath, NULL, false},
        {"C:\\Program Files itself", kTrustedInstaller, kProgramFilesFolder, kFolderAbove, NULL, false},
        {"owned by a plain user", kUser, kProgramFilesFolder, kCheckedPath, kUser, false},
        {"owned by Everyone", kEveryone, {}, kCheckedPath, kEveryone, false},
        {"no owner", NULL, kProgramFilesFolder, kCheckedPath, "", false},
        {"owner out of reach", kUnreachable, {}, kCheckedPath, kUnreachable, true},
        {"full control for a plain user", kAdmins, With(kProgramFilesFolder, {0, 0, kFull, kUser}),
         kCheckedPath, kUser, false},
        {"full control for an account out of reach", kAdmins, {{0, 0, kFull, kUnreachable}}, kCheckedPath,
         kUnreachable, true},
        {"write data for LOCAL", kAdmins, {{0, 0, 0x2, "S-1-2-0"}}, kCheckedPath, "S-1-2-0", false},
        {"modify for Power Users", kAdmins, {{0, 0, kModify, "S-1-5-32-547"}}, kCheckedPath, "S-1-5-32-547",
         false},
        {"modify for Domain Admins granted as a group", kAdmins, {{0, 0, kModify, "S-1-5-21-7-8-9-512"}},
         kCheckedPath, "S-1-5-21-7-8-9-512", false},
        {"CREATOR OWNER applying to the folder itself", kAdmins, {{0, 0, kFull, "S-1-3-0"}}, kCheckedPath,
         "S-1-3-0", false},
        {"OWNER RIGHTS, an administrator owning", kLocalAdmin, {{0, 0, kFull, "S-1-3-4"}}, kCheckedPath, NULL,
         false},
        {"an entry whose account was not read", kAdmins, {{0, 0, 0x2, NULL}}, kCheckedPath, "", false},
        {kNullDacl, kAdmins, {}, kCheckedPath, kEveryone, false},
        // Every kind of allow entry counts; deny entries take nothing away.
        {"allow with a condition", kAdmins, {{9, 0, 0x2, kEveryone}}, kCheckedPath, kEveryone, false},
        {"object allow", kAdmins, {{5, 0, 0x2, kEveryone}}, kCheckedPath, kEveryone, false},
        {"object allow with a condition", kAdmins, {{0xB, 0, 0x2, kEveryone}}, kCheckedPath, kEveryone, false},
        {"deny, and audit in a DACL", kAdmins, {{1, 0, kFull, kEveryone}, {2, 0, kFull, NULL}}, kCheckedPath,
         NULL, false},
        {"inherit-only, to files and folders", kAdmins, {{0, kInheritOnly | kOiCi, kModify, "S-1-5-11"}},
         kCheckedPath, NULL, false},
        {"Modify inherited from C:\\ since Vista", kAdmins, {{0, kInherited | kOiCi, kModify, "S-1-5-11"}},
         kCheckedPath, "S-1-5-11", false},
        {"what Wine shows for a folder others may write", kAdmins, {{0, kOiCi, 0x1301ff, kEveryone}},
         kFolderAbove, kEveryone, false},
        // C:\ since Vista: Authenticated Users may add sub-folders to it.
        {"a folder above that lets users add files and folders", kAdmins,
         {{0, 0, 0x2 | 0x4 | kReadExecute, "S-1-5-11"}, {0, 0, 0x40000000, kEveryone}}, kFolderAbove, NULL,
         false},
        {"a link that users may point elsewhere", kAdmins, {{0, 0, 0x100, kUser}}, kLinkItself, kUser, false},
        {"a folder whose attributes users may write", kAdmins, {{0, 0, 0x100 | 0x10, kUser}}, kCheckedPath, NULL,
         false},
    };
    // Each right that changes a path, and whether a folder above may grant it.
    const struct {
        uint32_t mask;
        bool harmfulAbove;
    } rights[] = {{0x2, false},     {0x4, false},        {0x40, true},        {0x10000, true},
                  {0x40000, true},  {0x80000, true},     {0x40000000, false}, {0x10000000, true}};
    for (const auto& right : rights) {
        cases.push_back({"one right", kAdmins, {{0, 0, right.mask, kUser}}, kCheckedPath, kUser, false});
        cases.push_back({"one right above", kAdmins, {{0, 0, right.mask, kUser}}, kFolderAbove,
                         right.harmfulAbove ? kUser : NULL, false});
    }
    // Read and execute, write attributes and extended attributes, and the
    // standard and generic rights that read, for anyone at all.
    for (uint32_t mask : {0x1u, 0x8u, 0x10u, 0x20u, 0x80u, 0x100u, 0x20000u, 0x100000u, 0x1000000u, 0x20000000u,
                          0x80000000u, 0x1200a9u})
        cases.push_back({"reading", kAdmins, {{0, 0, mask, kEveryone}}, kCheckedPath, NULL, false});

    for (const Case& c : cases) {
        AccountId owner = c.owner ? Id(c.owner) : AccountId();
        std::vector<AccessEntry> entries;
        for (const Entry& e : c.entries)
            entries.push_back({e.type, e.flags, e.mask, e.account != NULL, e.account ? Id(e.account) : AccountId()});
        std::vector<std::string> asked;
        OtherWriter found = {};
        int unsafe = FindOtherWriter(c.owner ? &owner : NULL, c.what == kNullDacl, entries.data(),
                                     entries.size(), c.role, AskMembership, &asked, &found);
        SCOPED_TRACE(std::string(c.what) + ", mask " + std::to_string(c.entries.empty() ? 0 : c.entries[0].mask));
        EXPECT_EQ(c.writer != NULL, unsafe == 1);
        if (unsafe && c.writer) {
            EXPECT_EQ(c.writer, found.accountRead ? Text(found.account) : "");
            EXPECT_EQ(c.unknown, found.membershipUnknown == 1);
        }
        // Only the accounts of a computer or a domain are ever asked about.
        for (const std::string& id : asked)
            EXPECT_EQ(0u, id.rfind("S-1-5-21-", 0)) << id;
    }
}

TEST(WriteAccess, AccountIdText)
{
    const struct {
        AccountId id;
        const char* text;
    } cases[] = {
        {{5, 2, {32, 544}}, "S-1-5-32-544"},
        {{1, 1, {0}}, "S-1-1-0"},
        {{0, 0, {}}, "S-1-0"},
        {{0xFFFFFFFFu, 1, {4294967295u}}, "S-1-4294967295-4294967295"},
        {{0x100000000u, 1, {7}}, "S-1-0x000100000000-7"},
        {{0xFFFFFFFFFFFFu, 0, {}}, "S-1-0xFFFFFFFFFFFF"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text, Text(c.id));
    // Never cut: too small a destination is left empty.
    char small[12] = "x";
    EXPECT_EQ(0, FormAccountIdText(small, sizeof small, &cases[0].id));
    EXPECT_STREQ("", small);
}

}  // namespace
