// Owns the reads of adapter memory words over READ_REGION (kind 1); the board's
// address reach comes from board_family.h.
#pragma once

#include <cstdint>

// Status of an address the board cannot reach.
constexpr std::uint32_t MEMORY_ADDRESS_REFUSED = 273;
// Most words one memory read returns (they follow word 5 of a 32-word mailbox).
constexpr std::uint32_t kMemoryReadMaxWords = 27;

// Reads `words` 32-bit words from adapter memory at `address` (rounded down to 4).
// Returns 0; 273 for an address outside the board's reach (bits 25-31, or bits 29-31
// on wide-address boards) or a word count of 0 or above 27, before any command; or
// the failing command's mailbox status.
std::uint32_t ReadAdapterMemory(std::uint32_t board, std::uint32_t* buffer, std::uint32_t address,
                                std::uint32_t words);
