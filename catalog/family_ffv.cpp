// Family-ID assignment and the FFV check against the family-ID table (see family_ffv.h).
#include "catalog/family_ffv.h"

#include "adapter/ffv_access.h"
#include "adapter/hba_entry.h"
#include "catalog/family_id_table.h"
#include "catalog/soft_vpd_file.h"
#include "log/debug_log.h"

#include <cstring>
#include <string_view>

namespace {

constexpr const char* kSoftVpdFileName = "tavCNAFID.cfg";

} // namespace

void setAdapterFamilyId(HbaEntry* adapter, const char* text) {
    adapter->familyId = text;
    adapter->inventoryFwVersion = text;
    adapter->inventoryBcVersion = text;
}

int isValidFamilyID(const FamilyIdTable& families, HbaEntry* adapter, const char* familyId) {
    debugPrint("\n[isValidFamilyID]\n");
    if (adapter == nullptr || familyId == nullptr || familyId[0] == '\0')
        return 0;
    debugPrint("Searching for FamilyID = %s\n", familyId);
    const FamilyIdGroup* group = findFamilyIdGroup(families, familyId);
    if (group == nullptr) {
        debugPrint("FamilyID not found. Could not verify that this familyID is invalid.\n");
        return 2;
    }
    const FamilyIdEntry* row = findFamilyIdRow(group, *adapter);
    if (row == nullptr)
        return 0;
    debugPrint("Found matching entry!\n");
    if (isLegacyEntry(*adapter)) {
        debugPrint("Found Legacy FC entry!\n");
        debugPrint("Comparing FW:\n");
        debugPrint("Actual   = %s\n", adapter->fwVersion.c_str());
        debugPrint("Expected = %s\n", row->fwVersion.c_str());
        debugPrint("Comparing BC:\n");
        debugPrint("Actual   = %s\n", adapter->bcVersion.c_str());
        debugPrint("Expected = %s\n", row->bcVersion.c_str());
        return adapter->fwVersion == row->fwVersion.view() &&
                       adapter->bcVersion == row->bcVersion.view()
                   ? 1
                   : 0;
    }
    debugPrint("Found UCNA or FerroxFC entry!\n");
    debugPrint("Comparing FW:\n");
    debugPrint("Actual   = %s\n", adapter->fwVersion.c_str());
    debugPrint("Expected = %s\n", row->fwVersion.c_str());
    return adapter->fwVersion == row->fwVersion.view() ? 1 : 0;
}

void assignAdapterFFV(const FamilyIdTable& families, HbaEntry* adapter) {
    if (adapter == nullptr || adapter->ffvSupported == 0)
        return;
    debugPrint("\n[assignAdapterFFV]\n");
    char buffer[kFfvBufferBytes] = {};
    if (readFFV(adapter->adapterNumber, buffer, kFfvBufferBytes) != 0) {
        debugPrint("FFV read failed! Setting FFV to %s.\n", kNullFamilyId);
        adapter->ffv = kNullFamilyId;
        return;
    }
    debugPrint("Read FFV = %s\n", buffer);
    adapter->ffv = std::string_view(buffer, strnlen(buffer, kFfvLength));
    if (adapter->ffv.empty()) {
        debugPrint("Null familyID FFV entry detected! Setting to %s.\n", kNullFamilyId);
        adapter->ffv = kNullFamilyId;
    } else if (!isValidFFV(adapter->ffv.c_str())) {
        debugPrint("Invalid familyID FFV entry detected! Setting to %s.\n", kNullFamilyId);
        adapter->ffv = kNullFamilyId;
    } else {
        switch (isValidFamilyID(families, adapter, adapter->ffv.c_str())) {
        case 1:
            debugPrint("Assigned familyID FFV entry is valid = %s\n", adapter->ffv.c_str());
            break;
        case 2:
            debugPrint("Unknown familyID. Accepting as valid = %s\n", adapter->ffv.c_str());
            break;
        default:
            debugPrint("Invalid familyID FFV entry detected! Resetting to %s.\n", kNullFamilyId);
            adapter->ffv = kNullFamilyId;
            break;
        }
    }
}

void assignSoftVPDFromLocation(const FamilyIdTable& families, SoftVpd& vpd, std::uint8_t location,
                               HbaEntry* adapter) {
    if (adapter == nullptr)
        return;
    const FixedText<32>& key =
        isNicEntry(*adapter) || isIscsiEntry(*adapter) ? adapter->mac : adapter->wwpn;
    debugPrint("\n[assignSoftVPDFromLocation]\n");
    const bool legacy = isLegacyEntry(*adapter);
    for (VPDEntry& each : vpd.entries) {
        VPDEntry* entry = &each;
        if (entry->location != location)
            continue;
        const bool matches = entry->address == key.view() &&
                             entry->fw_ver == adapter->fwVersion.view() &&
                             (!legacy || entry->bc_ver == adapter->bcVersion.view());
        if (!matches) {
            if (legacy)
                debugPrint("Skipping %s entry.\n", kSoftVpdFileName);
            continue;
        }
        debugPrint("Found a %s entry.\n", kSoftVpdFileName);
        adapter->familyEntry = entry;
        if (isValidFamilyID(families, adapter, entry->fid_ver.c_str()) != 0) {
            setAdapterFamilyId(adapter, entry->fid_ver.c_str());
            debugPrint("Assigned familyID %s entry is valid = %s\n", kSoftVpdFileName,
                       adapter->familyId.c_str());
        } else {
            setAdapterFamilyId(adapter, kNullFamilyId);
            debugPrint("Invalid familyID %s entry detected! Resetting to %s.\n", kSoftVpdFileName,
                       kNullFamilyId);
        }
        return;
    }
    setAdapterFamilyId(adapter, kNullFamilyId);
    debugPrint("Unable to assign FamilyID from file!\n");
    debugPrint("Setting FamilyID to %s\n", kNullFamilyId);
    adapter->familyEntry = nullptr;
}

void assignFamilyID(const FamilyIdTable& families, SoftVpd& vpd, HbaEntry* adapter) {
    if (adapter == nullptr)
        return;
    debugPrint("\n[assignFamilyID]\n");
    debugPrint("Adapter              = %d\n", int(adapter->adapterNumber));
    debugPrint("CurrentHba fwVersion = %s\n", adapter->fwVersion.c_str());
    debugPrint("CurrentHba bcVersion = %s\n", adapter->bcVersion.c_str());
    assignSoftVPDFromLocation(families, vpd, VPD_PRIMARY, adapter);
    if (adapter->familyEntry == nullptr) {
        assignSoftVPDFromLocation(families, vpd, VPD_SECONDARY, adapter);
        return;
    }
    if (!(adapter->familyId == kNullFamilyId))
        return;
    VPDEntry* primary = adapter->familyEntry;
    assignSoftVPDFromLocation(families, vpd, VPD_SECONDARY, adapter);
    if (adapter->familyEntry == nullptr || adapter->familyId == kNullFamilyId)
        adapter->familyEntry = primary;
}
