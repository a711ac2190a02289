// Adapter VPD as bytes (see vpd_decode.h).
#include "adapter/vpd_decode.h"

#include "common/bytes.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr std::uint8_t kTagIdentifier = 0x82;
constexpr std::uint8_t kTagReadOnly = 0x90;

} // namespace

void SwapBytes1(std::uint8_t* buffer, std::uint32_t length) {
    for (std::uint32_t i = 0; i + 4 <= length; i += 4) {
        std::swap(buffer[i], buffer[i + 3]);
        std::swap(buffer[i + 1], buffer[i + 2]);
    }
}

std::uint32_t normalizeVpd(std::uint8_t* buffer, std::uint32_t length) {
    if (length > kVpdBufferBytes)
        return VPD_LENGTH_INVALID;
    if (length < 3)
        return VPD_NOT_VPD_DATA;
    if (buffer[0] != kTagIdentifier && length >= 4 && buffer[3] == kTagIdentifier)
        SwapBytes1(buffer, length);
    if (buffer[0] != kTagIdentifier)
        return VPD_NOT_VPD_DATA;

    // Each entry is exactly as long as the resource or field it came from (the
    // identifier's three-byte header becomes the entry's), so the list never
    // outgrows the input.
    std::vector<std::uint8_t> entries;
    entries.reserve(length);
    std::size_t p = 0;
    while (p < length) {
        if (p + 3 > length)
            return VPD_NOT_VPD_DATA;
        const std::uint8_t tag = buffer[p];
        const std::size_t size = readLe16(buffer, p + 1);
        const std::size_t start = p + 3;
        if (start + size > length)
            return VPD_NOT_VPD_DATA; // the resource runs past the data
        if (tag == kTagIdentifier) {
            // One length byte holds at most 255; a longer identifier is cut, so the
            // entries after it stay where the walk expects them.
            const std::size_t kept = std::min<std::size_t>(size, 255);
            entries.push_back(kTagIdentifier);
            entries.push_back(kTagIdentifier);
            entries.push_back(std::uint8_t(kept));
            entries.insert(entries.end(), buffer + start, buffer + start + kept);
            p = start + size;
            continue;
        }
        if (tag != kTagReadOnly)
            return VPD_NOT_VPD_DATA;
        const std::size_t end = start + size;
        std::size_t f = start;
        while (f < end && buffer[f] != 0) {
            if (f + 3 > end)
                return VPD_NOT_VPD_DATA;
            if (buffer[f] == 'R' && buffer[f + 1] == 'V')
                break;
            const std::size_t fieldLength = buffer[f + 2];
            if (f + 3 + fieldLength > end)
                return VPD_NOT_VPD_DATA; // the field runs past its resource
            entries.insert(entries.end(), buffer + f, buffer + f + 3 + fieldLength);
            f += 3 + fieldLength;
        }
        break; // the read-only fields end the walk
    }
    std::memset(buffer, 0, length);
    std::memcpy(buffer, entries.data(), std::min<std::size_t>(entries.size(), length));
    return 0;
}

std::size_t walkVpdEntry(const std::uint8_t* buffer, std::size_t length, std::size_t position,
                         VpdEntry& entry) {
    if (position == kVpdWalkEnd || position + 3 > length || buffer[position] == 0 ||
        buffer[position + 2] == 0)
        return kVpdWalkEnd;
    const std::size_t valueLength = buffer[position + 2];
    if (position + 3 + valueLength > length)
        return kVpdWalkEnd;
    entry.keyword[0] = char(buffer[position]);
    entry.keyword[1] = char(buffer[position + 1]);
    entry.keyword[2] = '\0';
    entry.keyword[3] = '\0';
    entry.value.assign(
        std::string_view(reinterpret_cast<const char*>(buffer + position + 3), valueLength));
    return position + 3 + valueLength;
}
