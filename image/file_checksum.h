// The word checksum of image files: a rotate-and-XOR fold of big-endian words.
#pragma once

#include <cstdint>
#include <cstdio>

// Starting value of the fold: 0x55555555 rotated right by one bit.
constexpr std::uint32_t CHECKSUM_SEED = 0xAAAAAAAA;

inline std::uint32_t rotateLeft1(std::uint32_t v) { return (v << 1) | (v >> 31); }

// Folds one word into a running sum.
inline std::uint32_t foldWord(std::uint32_t sum, std::uint32_t word) { return rotateLeft1(sum) ^ word; }

// Folds n + 1 words from the current position and restores the position. The file is
// mapped where it can be and read otherwise; FileChecksumByReading always reads, with
// the same result. Returns 0 for a correct run of words, the nonzero fold otherwise
// (also when the file ends before all words are read), or INVALID_IMAGE_ERROR |
// ERROR_READING_FILE when the position cannot be restored.
std::uint32_t FileChecksum(std::FILE* file, std::uint64_t n);
std::uint32_t FileChecksumByReading(std::FILE* file, std::uint64_t n);
