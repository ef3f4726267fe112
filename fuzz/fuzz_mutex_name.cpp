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
    return 0;
}
