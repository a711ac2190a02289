// The download engine's reads of image files: big-endian words from the current
// position, the status of a read that comes up short, and the absolute seek.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Reads n words from the current position. Returns 0, INVALID_IMAGE_ERROR |
// SHORT_IMAGE when the file ends first, or | ERROR_READING_FILE on a read error.
std::uint32_t readFileWords(std::FILE* file, std::uint32_t* words, std::size_t n);

// The status of a read that came up short: SHORT_IMAGE at the end of the file, else
// ERROR_READING_FILE (both with INVALID_IMAGE_ERROR).
std::uint32_t shortReadStatus(std::FILE* file);

// Seeks to an absolute offset; false when the position cannot be set.
bool seekTo(std::FILE* file, std::uint64_t offset);
