// The family ID of each adapter (from the soft VPD files) and its FFV, the family
// value some adapters keep in their own flash: reading, writing and validating them.
#pragma once

#include <cstdint>

struct HbaEntry;

constexpr const char* kNullFamilyId = "00.00.00";
constexpr std::uint32_t kFfvBufferBytes = 33; // 32 characters and the terminator

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

// Writes the text into familyId, inventoryFwVersion and inventoryBcVersion.
void setAdapterFamilyId(HbaEntry* adapter, const char* text);

// 1 when the family ID's table row for the adapter has its versions, 0 when it
// contradicts them (or the text is empty), 2 when the family is not in the table.
int isValidFamilyID(HbaEntry* adapter, const char* familyId);

// Sets the adapter's ffv from the card when ffvSupported is set.
void assignAdapterFFV(HbaEntry* adapter);

// Sets familyId and familyEntry from the soft VPD entries of one location (0 primary,
// 1 secondary).
void assignSoftVPDFromLocation(std::uint8_t location, HbaEntry* adapter);

// Sets familyId and familyEntry from the soft VPD list, primary entries first.
void assignFamilyID(HbaEntry* adapter);
