// VPD normalisation and the entry walk over its result, on a buffer exactly as long
// as the input so that any read or write past it is caught.
#include "adapter/vpd_decode.h"

#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size > 4 * kVpdBufferBytes)
        return 0;
    std::vector<std::uint8_t> buffer(data, data + size);
    const auto length = static_cast<std::uint32_t>(size);
    if (normalizeVpd(buffer.data(), length) != 0)
        return 0;
    VpdEntry entry;
    for (std::size_t p = 0; p != kVpdWalkEnd;)
        p = walkVpdEntry(buffer.data(), buffer.size(), p, entry);
    return 0;
}
