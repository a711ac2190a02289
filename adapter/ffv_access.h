// Owns the FFV flash access: the family value some adapters keep in their own flash,
// read and written through the FFV mailbox request (Ferrox FC and VX4 FCoE boards,
// level-4 writes) or region 20 (Arvo reads, older boards' writes), and its text rule.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr std::uint32_t kFfvBufferBytes = 33; // 32 characters and the terminator
constexpr std::size_t kFfvLength = 8;          // characters of a written FFV

// Statuses of the FFV read and write.
constexpr std::uint32_t FFV_NOT_KEPT = 71;     // the adapter family keeps no FFV
constexpr std::uint32_t FFV_NOT_WRITABLE = 72; // converged function board
constexpr std::uint32_t FFV_READ_FAILED = 81;
constexpr std::uint32_t FFV_WRITE_FAILED = 82;

// True for exactly 8 characters whose first three '.'-separated fields (runs of dots
// count as one) are made of digits only.
bool isValidFFV(const char* text);

// Reads the FFV into buffer (length must be 33). Returns 0 (buffer holds "" or a valid
// FFV), 71 or 81.
std::uint32_t readFFV(std::uint32_t board, char* buffer, std::uint32_t length);

// Writes an 8-character FFV. Returns 0, 72 or 82. The third argument is always 0.
std::uint32_t writeFFV(std::uint32_t board, const char* ffv, int reserved);
