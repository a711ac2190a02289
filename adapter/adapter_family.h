// Owns the adapter family code against which every firmware image is matched (read
// partly from adapter memory), and the newer-family test the download engine uses.
#pragma once

#include <cstdint>

constexpr std::uint32_t ADAPTER_FAMILY_UNKNOWN = 0xFFF20000;

// The board's family code from its hardware id and PCI ids; 0xFFF20000 for a board
// the table does not know (and for a board number outside the table).
std::uint32_t GetAdapterFamily(std::uint32_t board);

// True for the families programmed the newer way.
bool isNewerFamily(std::uint32_t family);

struct SubsystemPair {
    std::uint16_t subsystemVendorId;
    std::uint16_t subsystemId;
};
// The two sub-family lists of device 0xF100 boards: pairs of the first answer 0xF10B,
// the pair of the second 0x338F.
extern const SubsystemPair kArvoSubFamilyF10B[2];
extern const SubsystemPair kArvoSubFamily338F[1];
