// The adapter family code and the newer-family list (see adapter_family.h).
#include "adapter/adapter_family.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_memory.h"

#include <algorithm>
#include <initializer_list>
#include <vector>

// Fictional subsystem pairs of the two Arvo sub-families; the product lists name them.
const SubsystemPair kArvoSubFamilyF10B[2] = {{0x10DF, 0xF10B}, {0x10DF, 0xF10C}};
const SubsystemPair kArvoSubFamily338F[1] = {{0x10DF, 0x338F}};

namespace {

constexpr std::uint32_t ITSELF = 0xFFFFFFFF; // the row answers the device id

enum class Extra {
    None,
    MemoryMarker,  // the adapter memory word at 0x788 is 0x7FFFC
    SubFamilyF10B, // subsystem pair in the first sub-family list
    SubFamily338F, // subsystem pair in the second sub-family list
};

struct FamilyRow {
    std::uint16_t hardwareId;
    std::vector<std::uint16_t> devices; // empty: any device
    Extra extra;
    std::uint32_t family;
};

// First matching row wins, so each hardware id's catch-all row comes last.
const std::vector<FamilyRow>& familyTable() {
    static const std::vector<FamilyRow> rows = {
        {56, {0xF098}, Extra::None, 0xF098},
        {56, {}, Extra::MemoryMarker, 0xF98D},
        {56, {}, Extra::None, 0xF980},
        {18, {0xF0A1, 0xFC01}, Extra::None, 0xF0A1},
        {18, {0xF0A5, 0xFC05}, Extra::None, 0xF0A5},
        {18, {}, Extra::None, 0xFA00},
        {32, {}, Extra::None, 0xF700},
        {33, {0xF085}, Extra::None, 0xF085},
        {33, {}, Extra::None, 0xF800},
        {37, {0xF085}, Extra::None, 0xF085},
        {37, {}, Extra::None, 0xF802},
        {38, {0xF095}, Extra::None, 0xF095},
        {38, {}, Extra::None, 0xF900},
        {40, {0xF095}, Extra::None, 0xF095},
        {40, {}, Extra::None, 0xF900},
        {0x1ACC, {}, Extra::None, 0x1AE5},
        {0x4838, {}, Extra::None, 0xFB00},
        {0x1004, {0xF104, 0xF111, 0xF112, 0xFC40, 0xF015, 0xF011}, Extra::None, ITSELF},
        {0x1004, {0xF100}, Extra::SubFamilyF10B, 0xF10B},
        {0x1004, {0xF100}, Extra::SubFamily338F, 0x338F},
        {0x1004, {0xF180, 0xE131}, Extra::None, ITSELF},
        {0x1004, {}, Extra::None, 0xF100},
        {0x364, {0xFC10, 0xF0D5, 0xF0D1, 0xFD11, 0xFD12}, Extra::None, ITSELF},
        {0x364, {}, Extra::None, 0xFD00},
        {0x510, {0xFC30, 0xF0F5, 0xF0F6, 0xF0F7}, Extra::None, ITSELF},
        {0x577, {0xFE04, 0xFE05, 0xFC20, 0xF0E5, 0xF0E1, 0xFE11, 0xFE12}, Extra::None, ITSELF},
        {0x577, {}, Extra::None, 0xFE00},
    };
    return rows;
}

template <std::size_t N> bool pairListed(const SubsystemPair (&list)[N], const AdapterRecord& r) {
    return std::any_of(std::begin(list), std::end(list), [&](const SubsystemPair& p) {
        return p.subsystemVendorId == r.subsystemVendorId && p.subsystemId == r.subsystemId;
    });
}

bool extraHolds(Extra extra, std::uint32_t board, const AdapterRecord& r) {
    switch (extra) {
    case Extra::None:
        return true;
    case Extra::MemoryMarker: {
        std::uint32_t words[2] = {0, 0};
        return ReadAdapterMemory(board, words, 0x788, 2) == 0 && words[0] == 0x7FFFC;
    }
    case Extra::SubFamilyF10B:
        return pairListed(kArvoSubFamilyF10B, r);
    case Extra::SubFamily338F:
        return pairListed(kArvoSubFamily338F, r);
    }
    return false;
}

} // namespace

std::uint32_t GetAdapterFamily(std::uint32_t board) {
    if (board >= adapterEnv.table.size())
        return ADAPTER_FAMILY_UNKNOWN;
    const AdapterRecord& r = adapterEnv.table[board];
    for (const FamilyRow& row : familyTable()) {
        if (row.hardwareId != r.hardwareId)
            continue;
        if (!row.devices.empty() &&
            std::find(row.devices.begin(), row.devices.end(), r.deviceId) == row.devices.end())
            continue;
        if (!extraHolds(row.extra, board, r))
            continue;
        return row.family == ITSELF ? r.deviceId : row.family;
    }
    return ADAPTER_FAMILY_UNKNOWN;
}

bool isNewerFamily(std::uint32_t family) {
    static constexpr std::uint32_t kNewer[] = {
        0xF980, 0xF98D, 0xF098, 0xF0A1, 0xFA00, 0xF0A5, 0xFA0D, 0xFDA5, 0xFB00, 0xFD00,
        0xFD0D, 0xF0D5, 0xF0D1, 0xFE00, 0xFE0D, 0xF0E5, 0xF0E1, 0xFC00, 0xFC10, 0xFC1D,
        0xFC20, 0xFC2D, 0xF0F5, 0xF0F6, 0xF0F7, 0xFD11, 0xFD12, 0xFE11, 0xFE12, 0xFE04,
        0xF100, 0xF10B, 0xF104, 0xF111, 0xF112, 0xFC40, 0xF015, 0xF011, 0xF10A, 0xF180,
        0xFE05, 0xFED5, 0xE10A, 0xE10C, 0xFC50, 0xE100, 0xE131, 0x338F};
    return std::find(std::begin(kNewer), std::end(kNewer), family) != std::end(kNewer);
}
