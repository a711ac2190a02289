// Adapter VPD as bytes: word-order repair, normalisation of PCI VPD resources into a
// flat list of entries, and the walk over those entries.
#pragma once

#include "common/fixed_text.h"

#include <cstddef>
#include <cstdint>

// Statuses of the VPD decoding.
constexpr std::uint32_t VPD_TOO_LONG_FOR_BUFFER = 7;
constexpr std::uint32_t VPD_LENGTH_INVALID = 21;
constexpr std::uint32_t VPD_NOT_VPD_DATA = 250;

// The largest VPD image the program takes.
constexpr std::uint32_t kVpdBufferBytes = 1024;

// Reverses the bytes within each whole 4-byte group, in place; a tail of fewer than
// four bytes stays as it is.
void SwapBytes1(std::uint8_t* buffer, std::uint32_t length);

// Turns PCI VPD resources (identifier string, read-only fields up to "RV") into
// entries of two keyword bytes, a length byte and the value, ending in zeros; the
// buffer is rewritten in place over `length` bytes. Returns 0, 21 (length above 1024)
// or 250 (not VPD data, or a resource or field that runs past the data).
std::uint32_t normalizeVpd(std::uint8_t* buffer, std::uint32_t length);

struct VpdEntry {
    char keyword[4] = {}; // two keyword characters, NUL-terminated
    FixedText<256> value; // the value, at most 255 bytes
};

// Sentinel of walkVpdEntry: there is no further entry.
constexpr std::size_t kVpdWalkEnd = static_cast<std::size_t>(-1);

// Reads the entry at `position` of a normalised list of `length` bytes. Returns the
// position of the next entry, or kVpdWalkEnd at a zero keyword byte, a zero length
// or an entry that would run past the data.
std::size_t walkVpdEntry(const std::uint8_t* buffer, std::size_t length, std::size_t position,
                         VpdEntry& entry);
