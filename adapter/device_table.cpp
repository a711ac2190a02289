// The family table (see device_table.h), laid out like the product lists it comes from.
#include "adapter/device_table.h"

#include "common/run_state.h"
#include "image/clu_image.h"

#include <algorithm>
#include <array>

namespace {

using F = DeviceFamily;
using K = FunctionKind;
using P = FfvPlace;
using R = DownloadRoute;

// clang-format off
constexpr DeviceRow kLegacyRow = {0, F::Legacy, K::FC, FC_IMAGE, ALLext, true, false, P::None, R::Container, false, false};

// device id, family, function, image type, firmware payload, boot code, one download per
// card, FFV, route, secure board, hardware id in the revision answer's word 3 only
constexpr DeviceRow kDevices[] = {
    // Older FC adapters listed for a quirk of their own; otherwise the legacy row
    {0xF700, F::Legacy, K::FC, FC_IMAGE, ALLext, true, false, P::None, R::Container, false, true},
    // Arvo FC adapters
    {0xF100, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF015, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF011, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF104, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF111, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF112, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xFC40, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF10B, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0x338F, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF10A, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, false, false},
    {0xF180, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container, true, false},
    // Ferrox cards: FC functions take GRP containers; the converged functions are
    // offered UFI payloads, which the engine refuses for them
    {0xE200, F::FerroxFC, K::FC, GRP_IMAGE, GRPext, false, true, P::SliConfig, R::Grp, false, false},
    {0xE208, F::FerroxFC, K::FC, GRP_IMAGE, GRPext, false, true, P::SliConfig, R::Grp, false, false},
    {0xE300, F::FerroxE300, K::FC, GRP_G6_IMAGE, GRPext, false, true, P::SliConfig, R::GrpG6, false, false},
    {0xE260, F::FerroxConverged, K::FCoE, GRP_IMAGE, UFIext, false, true, P::None, R::Grp, false, false},
    {0xE268, F::FerroxConverged, K::FCoE, GRP_IMAGE, UFIext, false, true, P::None, R::Grp, false, false},
    {0xE220, F::FerroxConverged, K::NIC, GRP_IMAGE, UFIext, false, true, P::None, R::Grp, false, false},
    {0xE228, F::FerroxConverged, K::NIC, GRP_IMAGE, UFIext, false, true, P::None, R::Grp, false, false},
    // VX converged cards: UFI payloads, which this engine has no route for
    {0x0214, F::VX2, K::FCoE, VX2_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0704, F::VX2, K::FCoE, VX2_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0211, F::VX2, K::NIC, VX2_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0700, F::VX2, K::NIC, VX2_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0212, F::VX2, K::iSCSI, VX2_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0702, F::VX2, K::iSCSI, VX2_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0714, F::VX3, K::FCoE, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x071C, F::VX3, K::FCoE, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0710, F::VX3, K::NIC, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0718, F::VX3, K::NIC, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0712, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0713, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x071A, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x071B, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0724, F::VX4, K::FCoE, VX4_IMAGE, UFIext, false, true, P::SliConfig, R::None, false, false},
    {0x072C, F::VX4, K::FCoE, VX4_IMAGE, UFIext, false, true, P::SliConfig, R::None, false, false},
    {0x0720, F::VX4, K::NIC, VX4_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0728, F::VX4, K::NIC, VX4_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0722, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x0723, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x072A, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None, false, false},
    {0x072B, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None, false, false},
};
// clang-format on

// Hardware ids (not device ids) whose memory reads take 29-bit addresses.
constexpr std::array<std::uint32_t, 5> kWideAddressHardware = {18, 0x577, 0x1004, 0x510, 0x364};

// The family-code columns, combined per row.
enum Trait : unsigned {
    NEWER = 1u << 0,
    TRIPLE = 1u << 1,       // the configuration triple
    BOOT_CHECKED = 1u << 2, // boot images carry a device check
    SECURE = 1u << 3,
    DISTRIBUTED = 1u << 4,     // always dist_type 1
    NO_PRG = 1u << 5,          // no standalone PRG images
    OPERATIONAL_CAP = 1u << 6, // operational images of versions x.y, x >= 3, y >= 8 refused
};

constexpr FamilyCodeRow family(std::uint16_t code, unsigned traits) {
    return {code,
            (traits & NEWER) != 0,
            (traits & TRIPLE) != 0,
            (traits & BOOT_CHECKED) != 0,
            (traits & SECURE) != 0,
            (traits & DISTRIBUTED) != 0,
            (traits & NO_PRG) != 0,
            (traits & OPERATIONAL_CAP) != 0};
}

// Family codes, grouped by the hardware id whose boards answer them (GetAdapterFamily),
// then the codes only the product lists name.
constexpr FamilyCodeRow kFamilyCodes[] = {
    // hardware id 56
    family(0xF098, NEWER),
    family(0xF98D, NEWER | DISTRIBUTED),
    family(0xF980, NEWER | DISTRIBUTED),
    // hardware id 18
    family(0xF0A1, NEWER),
    family(0xF0A5, NEWER),
    family(0xFA00, NEWER),
    // hardware ids 32, 33, 37, 38, 40, 0x1ACC and 0x4838
    family(0xF700, 0),
    family(0xF085, 0),
    family(0xF800, OPERATIONAL_CAP),
    family(0xF802, 0),
    family(0xF095, 0),
    family(0xF900, 0),
    family(0x1AE5, 0),
    family(0xFB00, NEWER),
    // hardware id 0x1004: the Arvo boards
    family(0xF100, NEWER | TRIPLE | BOOT_CHECKED),
    family(0xF104, NEWER | TRIPLE | BOOT_CHECKED),
    family(0xF111, NEWER | TRIPLE | BOOT_CHECKED),
    family(0xF112, NEWER | TRIPLE | BOOT_CHECKED),
    family(0xF10B, NEWER | TRIPLE | BOOT_CHECKED),
    family(0x338F, NEWER | TRIPLE | BOOT_CHECKED),
    family(0xFC40, NEWER | TRIPLE),
    family(0xF015, NEWER | TRIPLE),
    family(0xF011, NEWER | TRIPLE),
    family(0xF180, NEWER | TRIPLE | BOOT_CHECKED | SECURE),
    family(0xE131, NEWER | TRIPLE),
    // hardware id 0x364
    family(0xFD00, NEWER),
    family(0xFC10, NEWER),
    family(0xF0D5, NEWER),
    family(0xF0D1, NEWER),
    family(0xFD11, NEWER),
    family(0xFD12, NEWER),
    // hardware id 0x510
    family(0xFC30, 0),
    family(0xF0F5, NEWER),
    family(0xF0F6, NEWER),
    family(0xF0F7, NEWER),
    // hardware id 0x577
    family(0xFE00, NEWER),
    family(0xFE04, NEWER),
    family(0xFE05, NEWER),
    family(0xFC20, NEWER),
    family(0xF0E5, NEWER),
    family(0xF0E1, NEWER),
    family(0xFE11, NEWER),
    family(0xFE12, NEWER),
    // named by the product lists only
    family(0xFA0D, NEWER),
    family(0xFDA5, NEWER),
    family(0xFD0D, NEWER),
    family(0xFE0D, NEWER),
    family(0xFC00, NEWER),
    family(0xFC1D, NEWER),
    family(0xFC2D, NEWER),
    family(0xFED5, NEWER),
    family(0xF10A, NEWER | TRIPLE),
    family(0xE10A, NEWER | TRIPLE),
    family(0xE10C, NEWER | TRIPLE),
    family(0xFC50, NEWER | TRIPLE),
    family(0xE100, NEWER | TRIPLE),
    family(0xE200, TRIPLE),
    family(0xF300, NO_PRG),
};

constexpr FamilyCodeRow kUnlistedFamily = family(0, 0);

// "ZD": the code getLegacyFwType gives device 0xFE00 boards of dist_type 0 outside the
// "ZF" subsystems.
constexpr std::string_view kUnsupportedAdapterCodes[] = {"ZD"};

} // namespace

std::span<const DeviceRow> deviceTable() { return kDevices; }

const DeviceRow* findDeviceRow(std::uint32_t deviceId) {
    // Device id 0 is the legacy row's key, never a listed device.
    if (deviceId == 0)
        return nullptr;
    for (const DeviceRow& row : kDevices)
        if (row.deviceId == deviceId)
            return &row;
    return nullptr;
}

const DeviceRow& deviceRowOf(std::uint32_t deviceId) {
    const DeviceRow* row = findDeviceRow(deviceId);
    return row != nullptr ? *row : kLegacyRow;
}

const DeviceRow& legacyDeviceRow() { return kLegacyRow; }

std::span<const FamilyCodeRow> familyCodeTable() { return kFamilyCodes; }

const FamilyCodeRow* findFamilyCodeRow(std::uint32_t family) {
    for (const FamilyCodeRow& row : kFamilyCodes)
        if (row.family == family)
            return &row;
    return nullptr;
}

const FamilyCodeRow& familyRowOf(std::uint32_t family) {
    const FamilyCodeRow* row = findFamilyCodeRow(family);
    return row != nullptr ? *row : kUnlistedFamily;
}

std::span<const std::string_view> unsupportedAdapterCodes() { return kUnsupportedAdapterCodes; }

bool isUnsupportedAdapterFirmware(std::string_view fwVersion) {
    for (std::string_view code : kUnsupportedAdapterCodes)
        if (fwVersion.substr(0, code.size()) == code)
            return true;
    return false;
}

bool isWideAddressHardware(std::uint32_t hardwareId) {
    return std::find(kWideAddressHardware.begin(), kWideAddressHardware.end(), hardwareId) !=
           kWideAddressHardware.end();
}
