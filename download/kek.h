// Download keys (KEKs): the fixed key chain, the key block that names the key of an
// FWC record's signed image, the adapter's key commands and the walk that brings an
// adapter to an image's key. The key block's layout is in image/image_layouts.h.
#pragma once

#include "image/image_layouts.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Bytes of the name field of a key block, and a name buffer with room for a NUL.
constexpr std::uint32_t kKekNameBytes = key_block::kName.width;
constexpr std::size_t kKekNameBuffer = kKekNameBytes + 1;
constexpr std::size_t kKeyBlockBytes = key_block::kSize;
constexpr std::size_t kKeyBlockNameOffset = key_block::kName.offset;
// Most name bytes the adapter's key-name answer carries (16 words).
constexpr std::uint32_t kKekAnswerNameBytes = 64;

struct KekEntry {
    const char* name;
    std::uint32_t nameLength;
    bool endOfChain;
    int predecessor; // index, -1 at the end of the chain
    std::uint32_t keyWords[2];
    std::uint8_t keyBytes[40];
};

// The chain: the default key, then key 1, then key 2.
extern const KekEntry kKekTable[3];

// Reads the key block `offset` bytes after the current position. nameOut receives the
// name (NUL-terminated, cut to capacity − 1), length its length before the first NUL
// (at most 152); a nonzero first word sets keyFlag. Returns 0, 93 when capacity is
// below 152, INVALID_IMAGE_ERROR | ERROR_READING_FILE or | SHORT_IMAGE.
std::uint32_t ReadKekIdFromPRG(std::FILE* file, char* nameOut, std::uint32_t& length,
                               std::int64_t offset, std::uint32_t& keyFlag);

// Asks the adapter for the name of the key it holds. length: capacity in (at least
// 152), name length out. Returns 0, 2 when the adapter has no key commands, 93 on any
// other failure (a length the answer cannot carry among them).
std::uint32_t GetKEK_ID(std::uint32_t board, char* nameOut, std::uint32_t& length);

// Sets a table entry's key on the adapter. Returns 0, 2 (not supported) or 93.
std::uint32_t SetKEK(std::uint32_t board, std::size_t entry);

// Brings the adapter to the key named targetName (NUL-terminated) along the chain.
// Returns 0, 2 (no key commands; callers take it as done), 4 without a name, or 93.
std::uint32_t ProcessKEK(std::uint32_t board, const char* targetName);

// The key step of an FWC record: reads the key block its signed PRG image names and
// brings the adapter to that key; 0 when the adapter holds (or now holds) it. Restores
// the file position.
std::uint32_t AuthenticateFWC(std::uint32_t board, std::FILE* file, std::uint32_t& keyFlag);
