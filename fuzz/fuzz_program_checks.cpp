// What may be started from where, against models: batch files by name, the
// drive question of a path, final paths, the image rule and the membership
// from computed groups.
#include "fuzz_support.h"

#include <ctype.h>

#include "host/portable_program_checks.h"

static bool ModelIsScript(const std::string& file)
{
    size_t end = file.find_last_not_of(". ");
    if (end == std::string::npos)
        return false;
    size_t dot = file.rfind('.', end);
    if (dot == std::string::npos)
        return false;
    std::string extension = file.substr(dot + 1, 3);
    for (char& c : extension)
        c = (char)tolower((unsigned char)c);
    return extension == "bat" || extension == "cmd";
}

static void CheckDriveRoot(const std::string& path, size_t size)
{
    TextBlock text(path);
    Block root(size);
    DriveQuestion question = FormDriveRoot(text.bytes, root.bytes, size);
    std::string formed = size ? root.Text() : "";
    bool twoSeparators = path.size() > 1 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
    if (question == kRemoteByForm)
        FUZZ_CHECK(twoSeparators && formed.empty());
    if (question == kUnknownByForm)
        FUZZ_CHECK(formed.empty());
    if (question == kAskAboutRoot && !formed.empty())
        FUZZ_CHECK(formed.back() == '\\' && formed.size() < size);
    if (question == kAskAboutRoot && formed.empty())
        FUZZ_CHECK(!twoSeparators && !(path.size() > 1 && isalpha((unsigned char)path[0]) && path[1] == ':'));
}

static bool StartsWithAnyCase(const std::string& text, const std::string& prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (tolower((unsigned char)text[i]) != prefix[i])
            return false;
    return true;
}

static void CheckFinalPath(const std::string& finalPath, size_t size)
{
    std::string wanted = finalPath;
    if (StartsWithAnyCase(finalPath, "\\\\?\\unc\\"))
        wanted = "\\" + finalPath.substr(7);
    else if (StartsWithAnyCase(finalPath, "\\\\?\\") && finalPath.size() > 5 && isalpha((unsigned char)finalPath[4]) &&
             finalPath[5] == ':')
        wanted = finalPath.substr(4);
    TextBlock text(finalPath);
    Block path(size);
    int formed = FormPathOfFinalPath(text.bytes, path.bytes, size);
    FUZZ_CHECK(formed == (size > wanted.size() ? 1 : 0));
    if (size)
        FUZZ_CHECK(path.Text() == (formed ? wanted : ""));
}

static void CheckImage(InputReader& input)
{
    uint16_t held[8], image[8];
    size_t heldLength = input.Byte() % 9, imageLength = input.Byte() % 9;
    for (size_t i = 0; i < 8; ++i) {
        held[i] = input.Byte() & 3;
        image[i] = input.Byte() & 3;
    }
    FileIdentity heldId = {input.Byte() & 1u, input.Byte() & 1u, input.Byte() & 1u};
    FileIdentity imageId = {input.Byte() & 1u, input.Byte() & 1u, input.Byte() & 1u};
    uint8_t shape = input.Byte();
    SystemName heldName = {shape & 1 ? held : NULL, heldLength};
    SystemName imageName = {shape & 2 ? image : NULL, imageLength};
    ImageFinding finding = JudgeImage(shape & 4, heldName, imageName, shape & 8 ? &heldId : NULL,
                                      shape & 16 ? &imageId : NULL);
    bool same = (shape & 1) && (shape & 2) && heldLength == imageLength &&
                memcmp(held, image, heldLength * sizeof(uint16_t)) == 0 && (shape & 8) && (shape & 16) &&
                memcmp(&heldId, &imageId, sizeof heldId) == 0;
    FUZZ_CHECK(finding == (!(shape & 4) ? kImageCannotBeTold : same ? kImageIsHeldFile : kImageIsAnotherFile));
}

static void CheckGroups(InputReader& input)
{
    AccountGroup groups[4] = {};
    size_t count = input.Byte() % 5;
    bool administrator = false;
    for (size_t i = 0; i < count; ++i) {
        uint8_t shape = input.Byte();
        groups[i].id.authority = shape & 1 ? 5 : 4;
        groups[i].id.subAuthorityCount = shape & 2 ? 2 : 3;
        groups[i].id.subAuthorities[0] = shape & 4 ? 32 : 21;
        groups[i].id.subAuthorities[1] = shape & 8 ? 544 : 545;
        groups[i].attributes = shape & 16 ? 0x10 : 0x7;
        administrator = administrator || (shape & 0x1F) == 0x0F;
    }
    FUZZ_CHECK(MembershipFromGroups(groups, count) == (administrator ? kAdministrator : kNotAdministrator));
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input = {data, size};
    uint8_t sizes = input.Byte();
    std::string text = input.Text();
    FUZZ_CHECK(IsScriptProgram(TextBlock(text).bytes) == (ModelIsScript(text) ? 1 : 0));
    CheckDriveRoot(text, sizes & 0x3F);
    CheckFinalPath(text, (sizes >> 2) & 0x3F);
    DriveKind kind = KindOfDriveType(input.Byte() & 7);
    FUZZ_CHECK(IsDriveAllowed(kind, 1) == 1);
    FUZZ_CHECK(IsDriveAllowed(kind, 0) == (kind == kDriveLocal || kind == kDriveMissing));
    CheckImage(input);
    CheckGroups(input);
    return 0;
}
