// Owns the adapter family code against which every firmware image is matched (read
// partly from adapter memory), and the newer-family test the download engine uses.
// What each code means is its row of the family-code table (adapter/device_table.h).
#pragma once

#include <cstdint>
#include <vector>

constexpr std::uint32_t ADAPTER_FAMILY_UNKNOWN = 0xFFF20000;

// The board's family code from its hardware id and PCI ids; 0xFFF20000 for a board
// the table does not know (and for a board number outside the table).
std::uint32_t GetAdapterFamily(std::uint32_t board);

// True for the families programmed the newer way (their family-code row says so).
bool isNewerFamily(std::uint32_t family);

// What a row of the hardware table asks of the board besides its hardware id.
enum class FamilyCondition {
    None,
    MemoryMarker,  // the adapter memory word at 0x788 is 0x7FFFC
    SubFamilyF10B, // subsystem pair in the first sub-family list
    SubFamily338F, // subsystem pair in the second sub-family list
};

constexpr std::uint32_t FAMILY_IS_DEVICE_ID = 0xFFFFFFFF; // the row answers the device id

// One row of the table GetAdapterFamily walks: boards of this hardware id (and, when
// devices is not empty, of one of these device ids) meeting the condition have this
// family code.
struct HardwareFamilyRow {
    std::uint16_t hardwareId;
    std::vector<std::uint16_t> devices; // empty: any device
    FamilyCondition condition;
    std::uint32_t family; // or FAMILY_IS_DEVICE_ID
};

// The rows, in the order they are tried: the first that matches wins, so each
// hardware id's catch-all row comes last.
const std::vector<HardwareFamilyRow>& hardwareFamilyTable();

struct SubsystemPair {
    std::uint16_t subsystemVendorId;
    std::uint16_t subsystemId;
};
// The two sub-family lists of device 0xF100 boards: pairs of the first answer 0xF10B,
// the pair of the second 0x338F.
extern const SubsystemPair kArvoSubFamilyF10B[2];
extern const SubsystemPair kArvoSubFamily338F[1];
