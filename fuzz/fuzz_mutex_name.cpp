// The name of the per-service mutex, formed from any service name and
// destination size.
#include "fuzz_support.h"

#include "host/portable_launch.h"
#include "settings/settings.h"

static void CheckMutexName(const std::string& serviceName, size_t size)
{
    TextBlock name(serviceName);
    Block destination(size);
    int formed = FormMutexName(destination.bytes, size, name.bytes);
    std::string wanted = "$$kavo$$" + serviceName + "$$";
    FUZZ_CHECK(formed == (wanted.size() < size ? 1 : 0));
    if (size > 0)
        FUZZ_CHECK(destination.Text() == (formed ? wanted : std::string()));
}

// An account id from the input, with up to one sub-authority more than any id holds.
static AccountId ReadAccount(InputReader& input)
{
    AccountId id = {input.Byte() % 6u, input.Byte() % (ACCOUNT_ID_MAX_SUB_AUTHORITIES + 2u), {}};
    for (uint32_t& subAuthority : id.subAuthorities)
        subAuthority = input.Byte() | (uint32_t)input.Byte() << 8;
    return id;
}

// Whose mutex counts as another kavo's: SYSTEM's, the Administrators' and
// the own account's, and no other.
static void CheckGuardOwner(InputReader& input)
{
    auto same = [](const AccountId& a, const AccountId& b) {
        return a.authority == b.authority && a.subAuthorityCount == b.subAuthorityCount &&
               a.subAuthorityCount <= ACCOUNT_ID_MAX_SUB_AUTHORITIES &&
               memcmp(a.subAuthorities, b.subAuthorities, a.subAuthorityCount * sizeof a.subAuthorities[0]) == 0;
    };
    AccountId owner = ReadAccount(input);
    AccountId own = ReadAccount(input);
    bool wellKnown = same(owner, {5, 1, {18}}) || same(owner, {5, 2, {32, 544}});
    FUZZ_CHECK(IsInstanceGuardOwner(&owner, NULL) == wellKnown);
    FUZZ_CHECK(IsInstanceGuardOwner(&owner, &own) == (wellKnown || same(owner, own)));
    FUZZ_CHECK(IsInstanceGuardOwner(NULL, &own) == 0);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    InputReader input{data, size};
    size_t destinationSize = input.Byte() | (size_t)(input.Byte() & 1) << 8;
    std::string serviceName = input.Text();

    // The product's own size: names of up to 249 bytes fit.
    CheckMutexName(serviceName, TEXT_SIZE);
    for (size_t size : SizesAround(serviceName.size() + 10, TEXT_SIZE))
        CheckMutexName(serviceName, size);
    CheckMutexName(serviceName, destinationSize);
    CheckGuardOwner(input);
    return 0;
}
