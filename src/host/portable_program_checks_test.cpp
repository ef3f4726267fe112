#include "host/portable_program_checks.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

TEST(ProgramChecks, ScriptsTheCommandInterpreterWouldRun)
{
    const struct {
        const char* file;
        int script;
    } cases[] = {
        {"C:\\Tools\\R&D\\run.bat", 1},
        {"C:\\Tools\\RUN.CMD", 1},
        {"C:\\Tools\\run.Bat", 1},
        // The system drops trailing dots and spaces, and reads four characters.
        {"C:\\Tools\\run.bat.", 1},
        {"C:\\Tools\\run.cmd . .", 1},
        {"C:\\Tools\\run.batch", 1},
        {"C:\\Tools\\run.bat::$DATA", 1},
        {"C:\\Tools\\tool.exe:hidden.cmd", 1},
        {"C:\\Tools.bat\\run", 1},
        {"C:\\Tools\\run.exe", 0},
        {"C:\\my.batches\\tool.exe", 0},
        {"C:\\Tools\\run.ba", 0},
        {"C:\\Tools\\run.com", 0},
        {"C:\\Tools\\bat", 0},
        {"C:\\Tools\\\x83\x5c.exe", 0},
        {"", 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.script, IsScriptProgram(c.file)) << c.file;
}

TEST(ProgramChecks, DriveOfAPath)
{
    const struct {
        const char* path;
        DriveQuestion question;
        const char* root;
    } cases[] = {
        {"C:\\Tools\\app.exe", kAskAboutRoot, "C:\\"},
        {"k:app.exe", kAskAboutRoot, "k:\\"},
        {"\\\\?\\D:\\app.exe", kAskAboutRoot, "D:\\"},
        {"\\\\.\\D:", kAskAboutRoot, "D:\\"},
        {"\\\\?\\Volume{0a1b}\\app.exe", kAskAboutRoot, "\\\\?\\Volume{0a1b}\\"},
        {"\\\\server\\share\\app.exe", kRemoteByForm, ""},
        {"//server/share/app.exe", kRemoteByForm, ""},
        {"\\\\?\\UNC\\server\\share\\app.exe", kRemoteByForm, ""},
        {"\\\\?\\unc/server/share/app.exe", kRemoteByForm, ""},
        {"\\\\?\\GLOBALROOT\\Device\\Mup\\server\\share\\app.exe", kUnknownByForm, ""},
        {"\\\\.\\pipe\\app.exe", kUnknownByForm, ""},
        {"\\\\?\\Volume{0a1b}", kUnknownByForm, ""},
        {"\\??\\C:\\app.exe", kUnknownByForm, ""},
        {"\\Tools\\app.exe", kAskAboutRoot, ""},
        {"app.exe", kAskAboutRoot, ""},
    };
    for (const auto& c : cases) {
        char root[64] = "x";
        EXPECT_EQ(c.question, FormDriveRoot(c.path, root, sizeof root)) << c.path;
        EXPECT_STREQ(c.root, root) << c.path;
    }
    char small[3];
    EXPECT_EQ(kUnknownByForm, FormDriveRoot("C:\\app.exe", small, sizeof small));
    EXPECT_EQ(kUnknownByForm, FormDriveRoot("\\\\?\\Volume{0a1b}\\app.exe", small, sizeof small));
}

TEST(ProgramChecks, DrivesAllowed)
{
    // The system's drive types 0 to 6, and one it may add.
    const DriveKind kinds[] = {kDriveUnknown,  kDriveMissing, kDriveRemovable, kDriveLocal,
                               kDriveRemote,   kDriveRemovable, kDriveLocal,   kDriveUnknown};
    const int allowed[] = {0, 1, 0, 1, 0, 0, 1, 0};
    for (unsigned type = 0; type < 8; ++type) {
        EXPECT_EQ(kinds[type], KindOfDriveType(type)) << type;
        EXPECT_EQ(allowed[type], IsDriveAllowed(KindOfDriveType(type), 0)) << type;
        EXPECT_EQ(1, IsDriveAllowed(KindOfDriveType(type), 1)) << type;
    }
}

TEST(ProgramChecks, PathOfAFinalPath)
{
    const struct {
        const char* finalPath;
        const char* path;
    } cases[] = {
        {"\\\\?\\C:\\Tools\\app.exe", "C:\\Tools\\app.exe"},
        {"\\\\?\\UNC\\server\\share\\app.exe", "\\\\server\\share\\app.exe"},
        {"\\\\?\\Volume{0a1b}\\app.exe", "\\\\?\\Volume{0a1b}\\app.exe"},
        {"C:\\app.exe", "C:\\app.exe"},
    };
    for (const auto& c : cases) {
        char path[64];
        EXPECT_EQ(1, FormPathOfFinalPath(c.finalPath, path, sizeof path));
        EXPECT_STREQ(c.path, path);
    }
    char small[8] = "x";
    EXPECT_EQ(0, FormPathOfFinalPath("\\\\?\\UNC\\server\\share\\app.exe", small, sizeof small));
    EXPECT_STREQ("", small);
    EXPECT_EQ(0, FormPathOfFinalPath("C:\\app.exe", small, 0));
}

SystemName Name(const std::u16string& text)
{
    return {(const uint16_t*)text.data(), text.size()};
}

// A swap between the check and the start: the image is another file, at
// the held file's path (a drive letter or link pointed elsewhere) or at
// another; or only a name or an identity could be read.
TEST(ProgramChecks, ImageOfTheHeldFile)
{
    const std::u16string held = u"\\Device\\HarddiskVolume2\\Tools\\app.exe";
    const std::u16string other = u"\\Device\\HarddiskVolume2\\Users\\x\\app.exe";
    const std::u16string upper = u"\\Device\\HarddiskVolume2\\TOOLS\\app.exe";
    const FileIdentity heldId = {0x1234, 0, 77}, otherFile = {0x1234, 0, 78}, otherVolume = {0x1235, 0, 77},
                       otherHigh = {0x1234, 1, 77};
    const SystemName none = {NULL, 0};
    const struct {
        const char* what;
        SystemName image;
        const FileIdentity* imageId;
        ImageFinding finding;
    } cases[] = {
        {"the held file", Name(held), &heldId, kImageIsHeldFile},
        {"another file at the held file's path", Name(held), &otherFile, kImageIsAnotherFile},
        {"the same index on another volume", Name(held), &otherVolume, kImageIsAnotherFile},
        {"the same low index", Name(held), &otherHigh, kImageIsAnotherFile},
        {"another path opening the held file now", Name(other), &heldId, kImageIsAnotherFile},
        {"the path in other letters", Name(upper), &heldId, kImageIsAnotherFile},
        {"a longer name", Name(held + u"x"), &heldId, kImageIsAnotherFile},
        {"no image name", none, &heldId, kImageIsAnotherFile},
        {"no identity", Name(held), NULL, kImageIsAnotherFile},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.finding, JudgeImage(1, Name(held), c.image, &heldId, c.imageId)) << c.what;
    EXPECT_EQ(kImageIsAnotherFile, JudgeImage(1, none, Name(held), &heldId, &heldId));
    EXPECT_EQ(kImageIsAnotherFile, JudgeImage(1, Name(held), Name(held), NULL, &heldId));
    EXPECT_EQ(kImageCannotBeTold, JudgeImage(0, none, none, NULL, NULL));
}

AccountId Id(std::vector<uint32_t> subAuthorities, uint64_t authority = 5)
{
    AccountId id = {authority, (uint32_t)subAuthorities.size(), {}};
    for (size_t i = 0; i < subAuthorities.size(); ++i)
        id.subAuthorities[i] = subAuthorities[i];
    return id;
}

// The groups a fake id source computes for each account, by id: what the
// membership query then answers goes into the write rule.
struct IdSource {
    std::map<uint32_t, std::vector<AccountGroup>> groups;   // by the account's last number
};

Membership AskIdSource(const AccountId* account, void* context)
{
    const IdSource* source = (const IdSource*)context;
    auto found = source->groups.find(account->subAuthorities[account->subAuthorityCount - 1]);
    if (found == source->groups.end())
        return kMembershipUnknown;
    return MembershipFromGroups(found->second.data(), found->second.size());
}

TEST(ProgramChecks, MembershipByAccountId)
{
    const uint32_t kEnabled = 0x7, kDenyOnly = 0x10;
    const AccountGroup admins = {Id({32, 544}), kEnabled}, users = {Id({32, 545}), kEnabled},
                       everyone = {Id({0}, 1), kEnabled};
    IdSource source;
    source.groups[500] = {everyone, admins, users};
    // Through Domain Admins, nested in the local group.
    source.groups[1105] = {{Id({21, 7, 8, 9, 512}), kEnabled}, admins};
    source.groups[1001] = {everyone, users};
    // Look-alikes: another domain's group 544, a name-alike's groups, an
    // authority that is not NT's, a shorter id.
    source.groups[1002] = {{Id({21, 1, 2, 3, 544}), kEnabled}, {Id({32, 544}, 4), kEnabled}, {Id({32}), kEnabled}};
    source.groups[1003] = {{Id({32, 544}), kEnabled | kDenyOnly}};
    source.groups[1004] = {};
    const struct {
        uint32_t account;
        bool writer;
        bool unknown;
    } cases[] = {{500, false, false},  {1105, false, false}, {1001, true, false}, {1002, true, false},
                 {1003, true, false},  {1004, true, false},  {1999, true, true}};
    for (const auto& c : cases) {
        AccountId owner = Id({21, 1, 2, 3, c.account});
        OtherWriter found = {};
        EXPECT_EQ(c.writer, FindOtherWriter(&owner, 0, NULL, 0, kCheckedPath, AskIdSource, &source, &found) == 1)
            << c.account;
        EXPECT_EQ(c.unknown, found.membershipUnknown == 1) << c.account;
    }
}

}  // namespace
