// The adapter family code and its hardware table (see adapter_family.h).
#include "adapter/adapter_family.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_memory.h"
#include "adapter/device_table.h"

#include <algorithm>

// Fictional subsystem pairs of the two Arvo sub-families; the product lists name them.
const SubsystemPair kArvoSubFamilyF10B[2] = {{0x10DF, 0xF10B}, {0x10DF, 0xF10C}};
const SubsystemPair kArvoSubFamily338F[1] = {{0x10DF, 0x338F}};

const std::vector<HardwareFamilyRow>& hardwareFamilyTable() {
    using C = FamilyCondition;
    constexpr std::uint32_t ITSELF = FAMILY_IS_DEVICE_ID;
    static const std::vector<HardwareFamilyRow> rows = {
        {56, {0xF098}, C::None, 0xF098},
        {56, {}, C::MemoryMarker, 0xF98D},
        {56, {}, C::None, 0xF980},
        {18, {0xF0A1, 0xFC01}, C::None, 0xF0A1},
        {18, {0xF0A5, 0xFC05}, C::None, 0xF0A5},
        {18, {}, C::None, 0xFA00},
        {32, {}, C::None, 0xF700},
        {33, {0xF085}, C::None, 0xF085},
        {33, {}, C::None, 0xF800},
        {37, {0xF085}, C::None, 0xF085},
        {37, {}, C::None, 0xF802},
        {38, {0xF095}, C::None, 0xF095},
        {38, {}, C::None, 0xF900},
        {40, {0xF095}, C::None, 0xF095},
        {40, {}, C::None, 0xF900},
        {0x1ACC, {}, C::None, 0x1AE5},
        {0x4838, {}, C::None, 0xFB00},
        {0x1004, {0xF104, 0xF111, 0xF112, 0xFC40, 0xF015, 0xF011}, C::None, ITSELF},
        {0x1004, {0xF100}, C::SubFamilyF10B, 0xF10B},
        {0x1004, {0xF100}, C::SubFamily338F, 0x338F},
        {0x1004, {0xF180, 0xE131}, C::None, ITSELF},
        {0x1004, {}, C::None, 0xF100},
        {0x364, {0xFC10, 0xF0D5, 0xF0D1, 0xFD11, 0xFD12}, C::None, ITSELF},
        {0x364, {}, C::None, 0xFD00},
        {0x510, {0xFC30, 0xF0F5, 0xF0F6, 0xF0F7}, C::None, ITSELF},
        {0x577, {0xFE04, 0xFE05, 0xFC20, 0xF0E5, 0xF0E1, 0xFE11, 0xFE12}, C::None, ITSELF},
        {0x577, {}, C::None, 0xFE00},
    };
    return rows;
}

namespace {

template <std::size_t N> bool pairListed(const SubsystemPair (&list)[N], const AdapterRecord& r) {
    return std::any_of(std::begin(list), std::end(list), [&](const SubsystemPair& p) {
        return p.subsystemVendorId == r.subsystemVendorId && p.subsystemId == r.subsystemId;
    });
}

bool conditionHolds(FamilyCondition condition, std::uint32_t board, const AdapterRecord& r) {
    switch (condition) {
    case FamilyCondition::None:
        return true;
    case FamilyCondition::MemoryMarker: {
        std::uint32_t words[2] = {0, 0};
        return ReadAdapterMemory(board, words, 0x788, 2) == 0 && words[0] == 0x7FFFC;
    }
    case FamilyCondition::SubFamilyF10B:
        return pairListed(kArvoSubFamilyF10B, r);
    case FamilyCondition::SubFamily338F:
        return pairListed(kArvoSubFamily338F, r);
    }
    return false;
}

} // namespace

std::uint32_t GetAdapterFamily(std::uint32_t board) {
    if (board >= adapterEnv.table.size())
        return ADAPTER_FAMILY_UNKNOWN;
    const AdapterRecord& r = adapterEnv.table[board];
    for (const HardwareFamilyRow& row : hardwareFamilyTable()) {
        if (row.hardwareId != r.hardwareId)
            continue;
        if (!row.devices.empty() &&
            std::find(row.devices.begin(), row.devices.end(), r.deviceId) == row.devices.end())
            continue;
        if (!conditionHolds(row.condition, board, r))
            continue;
        return row.family == FAMILY_IS_DEVICE_ID ? r.deviceId : row.family;
    }
    return ADAPTER_FAMILY_UNKNOWN;
}

bool isNewerFamily(std::uint32_t family) { return familyRowOf(family).newer; }
