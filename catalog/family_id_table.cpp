// The built-in family-ID table (see family_id_table.h): the released families, oldest
// first, each with its legacy, converged and Ferrox models and their versions.
#include "catalog/family_id_table.h"

#include "adapter/hba_entry.h"
#include "log/debug_log.h"

#include <cstring>
#include <iterator>
#include <new>

namespace {

// Every model of the table comes from the same maker: vendor and subsystem vendor.
constexpr std::uint32_t kVendor = 0x10DF;

// ---------------------------------------------------------------------------------------
// The product list. A family is described as the release notes give it: the legacy Fibre
// Channel models with their firmware and boot code, and the converged (E) and Ferrox (F)
// models with one firmware version each. Models appear in every family in this order.
// ---------------------------------------------------------------------------------------

struct ModelId {
    std::uint32_t deviceId;
    std::uint32_t subSystemId;
};

// Legacy models L1 to L6.
constexpr ModelId kL1{0xF100, 0xF100};
constexpr ModelId kL2{0xF100, 0xF126};
constexpr ModelId kL3{0xFE00, 0xFE00};
constexpr ModelId kL4{0xF0E5, 0xF0E5};
constexpr ModelId kL5{0xFE00, 0xFE22};
constexpr ModelId kL6{0xFE00, 0xFE24};

// Converged models: the first three (E3), or all six (E6).
constexpr ModelId kConverged[] = {{0xE200, 0xE205}, {0xE200, 0xE206}, {0xE200, 0xE209},
                                  {0xE200, 0xE211}, {0xE200, 0xE214}, {0xE200, 0xE216}};
// Ferrox models: the first four (F4), or all six (F6).
constexpr ModelId kFerrox[] = {{0xE300, 0xE323}, {0xE300, 0xE322}, {0xE300, 0xE321},
                               {0xE300, 0xE320}, {0xE300, 0xE325}, {0xE300, 0xE324}};

// Firmware and boot code of one legacy model; a null firmware: not in the family.
struct FwBc {
    const char* fw;
    const char* bc;
};
constexpr FwBc kNone{nullptr, nullptr};

//                                    L1 firmware, boot code   L2                       L3 L4 L5 and
//                                    L6
struct LegacyRows {
    FwBc l1, l2, l3, l4, l5and6;
};

// clang-format off
//                                    L1 firmware, boot code   L2                       L3                       L4                       L5 and L6
constexpr LegacyRows kLegacy_01_01_03{{"UD200A5", "UU503A13"}, {"UF200A5", "UU603A11"}, {"ZF282A4", "ZU503A13"}, {"WF282A4", "WP503A13"}, {"ZF282A4", "ZU603A11"}};
constexpr LegacyRows kLegacy_01_01_06{{"UD201A4", "UU503X3"},  {"UF201A4", "UU603X1"},  {"ZF282A4", "ZU503A13"}, {"WF282A4", "WP503A13"}, {"ZF282A4", "ZU603A11"}};
constexpr LegacyRows kLegacy_01_02_08{{"UD201A10", "UU503X3"}, {"UF201A10", "UU603X1"}, {"ZF282A4", "ZU503A15"}, {"WF282A4", "WP503A15"}, {"ZF282A4", "ZU603A15"}};
constexpr LegacyRows kLegacy_01_03_01{{"UD201A10", "UU503X3"}, {"UF201A10", "UU603X1"}, {"ZF282A4", "ZU503X3"},  {"WF282A4", "WP503X3"},  {"ZF282A4", "ZU603X1"}};
constexpr LegacyRows kLegacy_01_03_11{{"UD201A12", "UU503X3"}, {"UF201A12", "UU603X1"}, {"ZF282A4", "ZU503X3"},  {"WF282A4", "WP503X3"},  {"ZF282A4", "ZU603X1"}};
constexpr LegacyRows kLegacy_01_06_01{{"UD201A12", "UU503X3"}, {"UF201A12", "UU603X1"}, kNone,                   kNone,                   kNone};
constexpr LegacyRows kLegacy_02_00_01{{"UD202A1", "UU700A0"},  {"UF202A1", "UU700A0"},  kNone,                   kNone,                   kNone};
constexpr LegacyRows kLegacy_02_01_01{{"UD202A3", "UU700X1"},  {"UF202A3", "UU700X1"},  kNone,                   kNone,                   kNone};
// clang-format on

struct FamilyRelease {
    const char* familyId;
    LegacyRows legacy;
    int convergedModels; // 0, 3 or 6 of kConverged
    const char* convergedFw;
    int ferroxModels; // 0, 4 or 6 of kFerrox
    const char* ferroxFw;
};

// Oldest first: the groups are created in this order and each new one becomes the head.
// clang-format off
constexpr FamilyRelease kFamilies[] = {
    // family    legacy models      E  E firmware        F  F firmware
    {"01.01.03", kLegacy_01_01_03,  0, nullptr,          0, nullptr},
    {"01.01.04", kLegacy_01_01_03,  0, nullptr,          0, nullptr},
    {"01.01.06", kLegacy_01_01_06,  3, "1.0.11.114",     0, nullptr},
    {"01.01.07", kLegacy_01_01_06,  3, "1.0.11.114",     0, nullptr},
    {"01.02.08", kLegacy_01_02_08,  3, "1.1.21.0",       0, nullptr},
    {"01.03.01", kLegacy_01_03_01,  3, "1.1.21.4",       0, nullptr},
    {"01.03.11", kLegacy_01_03_11,  3, "10.0.727.87",    0, nullptr},
    {"01.04.01", kLegacy_01_03_11,  3, "10.2.315.26",    0, nullptr},
    {"01.04.02", kLegacy_01_03_11,  3, "10.2.315.37",    0, nullptr},
    {"01.04.03", kLegacy_01_03_11,  3, "10.2.315.45",    0, nullptr},
    {"01.05.01", kLegacy_01_03_11,  6, "10.2.506.19",    0, nullptr},
    {"01.05.02", kLegacy_01_03_11,  6, "10.2.506.19",    0, nullptr},
    {"01.06.01", kLegacy_01_06_01,  6, "10.6.133.18",    0, nullptr},
    {"02.00.01", kLegacy_02_00_01,  6, "11.0.270.18",    4, "11.0.270.18"},
    {"02.00.02", kLegacy_02_00_01,  6, "11.0.270.2002",  4, "11.0.270.18"},
    {"02.01.01", kLegacy_02_01_01,  6, "11.2.216.9",     6, "11.2.216.9"},
    {"99.99.99", kLegacy_02_01_01,  6, "11.2.216.9",     6, "11.2.216.9"},
};
// clang-format on

void addRow(FamilyIdGroup& group, ModelId model, const char* fw, const char* bc) {
    FamilyIdEntry& row = group.rows.emplace_back();
    row.deviceId = model.deviceId;
    row.vendorId = kVendor;
    row.subVendorId = kVendor;
    row.subSystemId = model.subSystemId;
    row.fwVersion = fw;
    row.bcVersion = bc;
}

void addLegacyRow(FamilyIdGroup& group, ModelId model, FwBc versions) {
    if (versions.fw != nullptr)
        addRow(group, model, versions.fw, versions.bc);
}

FamilyIdGroup makeFamily(const FamilyRelease& release) {
    FamilyIdGroup group;
    group.familyId = release.familyId;
    const LegacyRows& l = release.legacy;
    addLegacyRow(group, kL1, l.l1);
    addLegacyRow(group, kL2, l.l2);
    addLegacyRow(group, kL3, l.l3);
    addLegacyRow(group, kL4, l.l4);
    addLegacyRow(group, kL5, l.l5and6);
    addLegacyRow(group, kL6, l.l5and6);
    for (int i = 0; i < release.convergedModels; ++i)
        addRow(group, kConverged[i], release.convergedFw, "0");
    for (int i = 0; i < release.ferroxModels; ++i)
        addRow(group, kFerrox[i], release.ferroxFw, "0");
    return group;
}

} // namespace

int makeFamilyIdTable(FamilyIdTable& table) {
    table.groups.clear();
    try {
        // Releases are listed oldest first; lookups take the newest family first.
        for (auto release = std::rbegin(kFamilies); release != std::rend(kFamilies); ++release)
            table.groups.push_back(makeFamily(*release));
    } catch (const std::bad_alloc&) {
        table.groups.clear();
        return 1;
    }
    printFamilyIds(table);
    return 0;
}

const FamilyIdGroup* findFamilyIdGroup(const FamilyIdTable& table, const char* familyId) {
    if (familyId == nullptr)
        return nullptr;
    for (const FamilyIdGroup& group : table.groups)
        if (group.familyId == familyId)
            return &group;
    return nullptr;
}

bool familyIdRowMatches(const FamilyIdEntry& row, const HbaEntry& adapter) {
    return row.deviceId == adapter.deviceId && row.vendorId == adapter.vendorId &&
           row.subSystemId == adapter.subDeviceId && row.subVendorId == adapter.subVendorId;
}

const FamilyIdEntry* findFamilyIdRow(const FamilyIdGroup* group, const HbaEntry& adapter) {
    if (group == nullptr)
        return nullptr;
    for (const FamilyIdEntry& row : group->rows)
        if (familyIdRowMatches(row, adapter))
            return &row;
    return nullptr;
}

void printFamilyIds(const FamilyIdTable& table) {
    debugPrint("\n[Family Ids]\n");
    for (const FamilyIdGroup& group : table.groups) {
        debugPrint("family id = %s\n", group.familyId.c_str());
        for (const FamilyIdEntry& row : group.rows) {
            debugPrint("pci_id    = %X\n", row.deviceId);
            debugPrint("ven_id    = %X\n", row.vendorId);
            debugPrint("ssid_id   = %X\n", row.subSystemId);
            debugPrint("svid_id   = %X\n", row.subVendorId);
            debugPrint("fwVersion = %s\n", row.fwVersion.c_str());
            debugPrint("bcVersion = %s\n", row.bcVersion.c_str());
            debugPrint("\n");
        }
        debugPrint("\n");
    }
    debugPrint("\n");
}
