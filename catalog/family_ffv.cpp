#include "catalog/family_ffv.h"

#include "adapter/adapter_environment.h"
#include "adapter/board_family.h"
#include "adapter/dfc_library.h"
#include "adapter/hba_entry.h"
#include "adapter/mailbox.h"
#include "adapter/region20.h"
#include "adapter/regions.h"
#include "catalog/family_id_table.h"
#include "catalog/soft_vpd_file.h"
#include "common/bytes.h"
#include "log/debug_log.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

constexpr const char* kSoftVpdFileName = "tavCNAFID.cfg";

// The FFV request: opcode 2 of subsystem 0x13, fields by embedded-header offset.
constexpr std::uint8_t kFfvOpcode = 2;
constexpr std::uint8_t kFfvSubsystem = 0x13;
constexpr std::uint32_t kFfvRequestLength = 36;
constexpr std::size_t kRequestLengthField = 8; // response: responseLength
constexpr std::size_t kActualLengthField = 12;
constexpr std::size_t kOperationField = 16; // bit 0 opType, bits 8-15 ffv_length
constexpr std::size_t kFfvField = 20;
constexpr std::size_t kFfvFieldBytes = 32;
constexpr std::size_t kFfvLength = 8;

std::uint16_t deviceIdOf(std::uint32_t board) {
    return isValidBoard(board) ? adapterEnv.table[board].deviceId : 0;
}

// Sends the FFV request; true when the adapter answered it whole and without error.
// A nonzero response status is a failure in both directions, so that a refused read
// never passes the untouched request off as the card's value.
bool issueFfvRequest(std::uint32_t board, SliConfigImage& m) {
    if (!IsIssueMboxV2ExtSupported(board))
        return false;
    if (dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), 64, 1, 100) != 0)
        return false;
    if (sliRequestWord(m, kActualLengthField) > sliRequestWord(m, kRequestLengthField))
        return false;
    return sliResponseStatus(m) == 0;
}

bool isLegacyAdapter(const HbaEntry& adapter, bool ferrox) {
    return !isConvergedEntry(adapter) && !ferrox;
}

} // namespace

bool isValidFFV(const char* text) {
    if (text == nullptr || std::strlen(text) != kFfvLength)
        return false;
    std::string_view rest(text);
    for (int field = 0; field < 3; ++field) {
        const std::size_t start = rest.find_first_not_of('.');
        if (start == std::string_view::npos)
            return false;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find('.'), rest.size());
        for (std::size_t i = 0; i < end; ++i)
            if (rest[i] < '0' || rest[i] > '9')
                return false;
        rest.remove_prefix(end);
    }
    return true;
}

std::uint32_t readFFV(std::uint32_t board, char* buffer, std::uint32_t length) {
    if (buffer == nullptr || length != kFfvBufferBytes)
        return FFV_READ_FAILED;
    const std::uint16_t deviceId = deviceIdOf(board);
    if (isFerroxFCBoard(board) || isVX4FCoEDevice(deviceId)) {
        SliConfigImage m = makeSliConfigImage(kFfvOpcode, kFfvSubsystem, kFfvRequestLength);
        if (!issueFfvRequest(board, m))
            return FFV_READ_FAILED;
        std::memcpy(buffer, m.bytes.data() + kSliEmbeddedOffset + kFfvField, kFfvFieldBytes);
    } else if (isArvoDevice(deviceId)) {
        std::uint8_t region[kFfvFieldBytes] = {};
        std::uint32_t got = kFfvFieldBytes;
        if (readConfigRegion(board, kRegion20, 0, got, region) != 0)
            return FFV_READ_FAILED;
        std::memset(buffer, 0, kFfvBufferBytes);
        std::memcpy(buffer, region, std::min<std::size_t>(got, kFfvLength));
    } else {
        return FFV_NOT_KEPT;
    }
    buffer[kFfvFieldBytes] = '\0';
    if (buffer[0] != '\0' && !isValidFFV(buffer))
        return FFV_READ_FAILED;
    buffer[kFfvLength] = '\0';
    return 0;
}

std::uint32_t writeFFV(std::uint32_t board, const char* ffv, int reserved) {
    (void)reserved;
    if (isHBATypeVexil(board))
        return FFV_NOT_WRITABLE;
    if (!isValidFFV(ffv))
        return FFV_WRITE_FAILED;
    if (isLevel4Board(board)) {
        SliConfigImage m = makeSliConfigImage(kFfvOpcode, kFfvSubsystem, kFfvRequestLength);
        setSliRequestWord(m, kOperationField, setBits(1, 8, 8, std::uint32_t(kFfvLength)));
        std::memcpy(m.bytes.data() + kSliEmbeddedOffset + kFfvField, ffv, kFfvLength);
        return issueFfvRequest(board, m) ? 0 : FFV_WRITE_FAILED;
    }
    std::uint8_t data[kRegion20WriteBytes];
    std::memcpy(data, ffv, kRegion20WriteBytes);
    return WriteConfigRegion20(board, data) == 0 ? 0 : FFV_WRITE_FAILED;
}

void setAdapterFamilyId(HbaEntry* adapter, const char* text) {
    adapter->familyId = text;
    adapter->inventoryFwVersion = text;
    adapter->inventoryBcVersion = text;
}

int isValidFamilyID(HbaEntry* adapter, const char* familyId) {
    debugPrint("\n[isValidFamilyID]\n");
    if (adapter == nullptr || familyId == nullptr || familyId[0] == '\0')
        return 0;
    debugPrint("Searching for FamilyID = %s\n", familyId);
    const FamilyIdGroup* group = findFamilyIdGroup(familyId);
    if (group == nullptr) {
        debugPrint("FamilyID not found. Could not verify that this familyID is invalid.\n");
        return 2;
    }
    const FamilyIdEntry* row = findFamilyIdRow(group, *adapter);
    if (row == nullptr)
        return 0;
    debugPrint("Found matching entry!\n");
    if (isLegacyAdapter(*adapter, isFerroxBoard(adapter->adapterNumber))) {
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

void assignAdapterFFV(HbaEntry* adapter) {
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
        switch (isValidFamilyID(adapter, adapter->ffv.c_str())) {
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

void assignSoftVPDFromLocation(std::uint8_t location, HbaEntry* adapter) {
    if (adapter == nullptr)
        return;
    const FixedText<32>& key =
        isNicEntry(*adapter) || isIscsiEntry(*adapter) ? adapter->mac : adapter->wwpn;
    debugPrint("\n[assignSoftVPDFromLocation]\n");
    const bool legacy = isLegacyAdapter(*adapter, isFerroxFCBoard(adapter->adapterNumber));
    for (VPDEntry* entry = vpdListHead; entry != nullptr; entry = entry->next) {
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
        if (isValidFamilyID(adapter, entry->fid_ver.c_str()) != 0) {
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

void assignFamilyID(HbaEntry* adapter) {
    if (adapter == nullptr)
        return;
    debugPrint("\n[assignFamilyID]\n");
    debugPrint("Adapter              = %d\n", int(adapter->adapterNumber));
    debugPrint("CurrentHba fwVersion = %s\n", adapter->fwVersion.c_str());
    debugPrint("CurrentHba bcVersion = %s\n", adapter->bcVersion.c_str());
    assignSoftVPDFromLocation(VPD_PRIMARY, adapter);
    if (adapter->familyEntry == nullptr) {
        assignSoftVPDFromLocation(VPD_SECONDARY, adapter);
        return;
    }
    if (!(adapter->familyId == kNullFamilyId))
        return;
    VPDEntry* primary = adapter->familyEntry;
    assignSoftVPDFromLocation(VPD_SECONDARY, adapter);
    if (adapter->familyEntry == nullptr || adapter->familyId == kNullFamilyId)
        adapter->familyEntry = primary;
}
