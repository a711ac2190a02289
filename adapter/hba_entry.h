// The per-adapter inventory record, the list of a run, and the record tests.
#pragma once

#include "adapter/device_table.h"
#include "common/fixed_text.h"
#include "common/run_state.h"
#include "image/cna_version.h"

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

struct VPDEntry; // soft VPD list entry, owned by the soft VPD list

struct HbaEntry {
    std::uint32_t LegacyVersionWord = 0; // only dist_type filled: 1 for a multi-function adapter
    std::uint16_t adapterNumber = 0;     // index into the adapter table
    std::uint16_t hbaType = 0;           // hbaTypeOf its FunctionKind: 0 FC, 8 FCoE, 4 iSCSI, 2 NIC
    std::uint16_t supported = 0;
    std::uint16_t ffvSupported = 0;
    FixedText<32> packagedFwVersion{"NONE"};
    FixedText<32> packagedBcVersion{"NONE"};
    FixedText<33> packagedFamilyId;
    FixedText<32> inventoryFwVersion{"00.00.00"};
    FixedText<32> inventoryBcVersion{"00.00.00"};
    FixedText<32> familyId;
    FixedText<32> fwVersion;
    FixedText<32> bcVersion;
    FixedText<32> model;
    FixedText<256> modelDesc;
    FixedText<32> ieee;
    FixedText<32> mac;
    FixedText<32> wwnn;
    FixedText<32> wwpn;
    // How the names were read: 0, 84 (a name is zero) or 33 (they could not be read, or
    // the board's driver is unknown, so the bytes read cannot be trusted).
    std::uint32_t namesStatus = 0;
    // The board's revision could not be read at discovery: its family is not known.
    bool revisionUnread = false;
    std::uint32_t bcDownloadStatus = 0;
    std::uint32_t fwDownloadStatus = 0;
    FixedText<32> serialNumber;
    FixedText<32> activeFirmwareVersion;
    FixedText<32> fwOnFlashVersion;
    std::uint16_t adapterInRebootState = 0;
    std::uint32_t domain = 0;
    std::uint32_t busNumber = 0;
    std::uint32_t device = 0;
    std::uint32_t function = 0;
    std::uint32_t deviceId = 0;
    std::uint32_t vendorId = 0;
    std::uint32_t subDeviceId = 0;
    std::uint32_t subVendorId = 0;
    CnaVersion cnaFwVersion;
    std::uint32_t groupNumber = 1024; // 1024: not yet grouped
    std::uint32_t downloadStat = 0;   // shared by the functions of one card
    VPDEntry* familyEntry = nullptr;
    FixedText<32> ffv;
};

constexpr std::uint32_t HBA_GROUP_NONE = 1024;

// How a port's names were read (HbaEntry::namesStatus, and the inventory's last status).
constexpr std::uint32_t WWN_NAME_MISSING = 84;     // factory IEEE, WWPN or WWNN is zero
constexpr std::uint32_t WWN_NAMES_UNREADABLE = 33; // current names could not be read

// The adapter inventory of a run, in board order.
using AdapterList = std::vector<HbaEntry>;

// The record's hbaType number of a function kind (0 FC, 8 FCoE, 4 iSCSI, 2 NIC).
constexpr std::uint16_t hbaTypeOf(FunctionKind kind) {
    switch (kind) {
    case FunctionKind::FCoE:
        return 8;
    case FunctionKind::iSCSI:
        return 4;
    case FunctionKind::NIC:
        return 2;
    case FunctionKind::FC:
        break;
    }
    return 0;
}

// The function kind the adapter's hbaType number stands for; a number no kind has
// reads as FC.
inline FunctionKind functionKindOf(const HbaEntry& e) {
    for (FunctionKind kind : {FunctionKind::FCoE, FunctionKind::iSCSI, FunctionKind::NIC})
        if (e.hbaType == hbaTypeOf(kind))
            return kind;
    return FunctionKind::FC;
}

// What of the port's identity could not be read ("names", "revision"), or null. Such
// a port is never updated and never gets a soft VPD line.
inline const char* unreadIdentity(const HbaEntry& e) {
    if (e.namesStatus == WWN_NAMES_UNREADABLE)
        return "names";
    return e.revisionUnread ? "revision" : nullptr;
}

// Record tests.
inline bool isConvergedEntry(const HbaEntry& e) { return functionKindOf(e) != FunctionKind::FC; }
// The family-table row of the adapter's device id.
inline const DeviceRow& rowOf(const HbaEntry& e) { return deviceRowOf(e.deviceId); }
// How an adapter is updated: whether a function is converged is what the library
// reports of it (hbaType); the rest is its device id's row. An FC port whose row
// shares one card-wide download (a Ferrox FC port) takes its row's payload; any other
// FC port, whatever its device id, is an older FC adapter.
inline bool isLegacyEntry(const HbaEntry& e) {
    const DeviceRow& row = rowOf(e);
    return !isConvergedEntry(e) && !(row.function == FunctionKind::FC && row.sharedDownload);
}
// The payload extension kind of the adapter's firmware: UFIext for a converged
// function, ALLext for an older FC adapter (which also takes PRG boot code), else the
// row's (GRPext).
inline std::uint32_t firmwareComponentOf(const HbaEntry& e) {
    return isConvergedEntry(e) ? UFIext : isLegacyEntry(e) ? ALLext : rowOf(e).firmwarePayload;
}
inline bool isNicEntry(const HbaEntry& e) { return functionKindOf(e) == FunctionKind::NIC; }
inline bool isIscsiEntry(const HbaEntry& e) { return functionKindOf(e) == FunctionKind::iSCSI; }
// True for a NIC or iSCSI function: it has no WWPN and is named by its MAC address.
inline bool isNicOrIscsiEntry(const HbaEntry& e) { return isNicEntry(e) || isIscsiEntry(e); }

// The name that tells the port apart from every other: its WWPN, or for a NIC or
// iSCSI function (which has none) its MAC address.
inline std::string portNameOf(const HbaEntry& e) {
    return isNicOrIscsiEntry(e) ? e.mac.str() : e.wwpn.str();
}
