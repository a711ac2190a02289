// Owns the family table: one row per PCI device id the program knows, saying what
// the adapter is (family, function kind) and how it is updated (image type, payload
// kind, boot code, where it keeps its FFV, download route). Discovery, the update
// decision, the component choice and the download dispatcher read the row; a device
// id the table does not list is an older FC adapter (the legacy row). Beside it the
// family-code table: one row per adapter family code (what GetAdapterFamily answers),
// saying how the boards of that code are programmed and recorded. Adding an adapter
// is one row in each.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

enum class DeviceFamily : std::uint8_t {
    Legacy,          // older FC adapters: any device id the table does not list
    Arvo,            // FC adapters that keep their FFV in config region 20
    FerroxFC,        // FC functions of the Ferrox cards
    FerroxE300,      // the Ferrox E300 (G6 containers)
    FerroxConverged, // FCoE and NIC functions of the Ferrox cards
    VX2,
    VX3,
    VX4,
};

// What a PCI function is; the inventory record keeps it as its hbaType number
// (hbaTypeOf, adapter/hba_entry.h).
enum class FunctionKind : std::uint8_t { FC, FCoE, NIC, iSCSI };

// Where the card keeps its FFV (the family value in its own flash).
enum class FfvPlace : std::uint8_t {
    None,
    SliConfig, // a configuration request over the mailbox
    Region20,  // config region 20
};

// How the download engine takes a firmware file to the card.
enum class DownloadRoute : std::uint8_t {
    Container, // ALL/AIF and PRG files, written region by region
    Grp,       // GRP containers, written object by object
    GrpG6,     // the same, with the G6 header check
    None,      // the engine has no route: a UFI file is refused
};

struct DeviceRow {
    std::uint16_t deviceId; // 0 in the legacy row
    DeviceFamily family;
    FunctionKind function;
    std::uint32_t imageType;       // the payload image type of its firmware (FC_IMAGE, ...)
    std::uint32_t firmwarePayload; // the payload extension kind of its firmware (ALLext, ...)
    bool bootCode;                 // its boot code is updated too (from a PRG file)
    bool sharedDownload;           // one download serves every port of the card
    FfvPlace ffv;
    DownloadRoute route;
    bool secure;            // the secure board: its boot-code version reads "F..."; only its
                            // boot images may name it (its family code is its device id)
    bool olderRevisionWord; // its revision answer carries the hardware id in word 3 only
};

// Every listed row, in table order.
std::span<const DeviceRow> deviceTable();

// The row of a listed device id, or null.
const DeviceRow* findDeviceRow(std::uint32_t deviceId);

// The row of a device id: its listed row, or the legacy row.
const DeviceRow& deviceRowOf(std::uint32_t deviceId);

// The row every unlisted device id gets.
const DeviceRow& legacyDeviceRow();

// True for the hardware ids that reach adapter memory with 29-bit addresses.
bool isWideAddressHardware(std::uint32_t hardwareId);

// One adapter family code and how its boards are handled.
struct FamilyCodeRow {
    std::uint16_t family;
    bool newer;          // programmed the newer way: loopback while the link is down, the
                         // staged boot-slot update, signature retries of AIF files
    bool configTriple;   // keeps the configuration triple (parameter region 0x1040)
    bool bootChecked;    // its boot images carry a device check
    bool secure;         // the secure family: its boot images name the secure device, and
                         // no other family takes such a boot image
    bool distributed;    // always recorded as a multi-function adapter (dist_type 1)
    bool refusesPrg;     // takes no standalone PRG image
    bool operationalCap; // refuses operational images (types 2, 6, 7) of version digit 3
                         // or more and revision digit 8 or more as the wrong version
};

// Every listed family code, in table order.
std::span<const FamilyCodeRow> familyCodeTable();

// The row of a listed family code, or null.
const FamilyCodeRow* findFamilyCodeRow(std::uint32_t family);

// The row of a family code: its listed row, or a row with every column false (an
// unknown family, 0xFFF20000, among them).
const FamilyCodeRow& familyRowOf(std::uint32_t family);

// Older FC adapters no package updates, by the two-letter adapter code their firmware
// version begins with.
std::span<const std::string_view> unsupportedAdapterCodes();

// True when a firmware version text begins with an unsupported adapter code.
bool isUnsupportedAdapterFirmware(std::string_view fwVersion);
