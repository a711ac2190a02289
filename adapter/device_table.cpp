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

constexpr DeviceRow kLegacyRow = {0, F::Legacy, K::FC, FC_IMAGE, ALLext, true, false, P::None, R::Container};

// device id, family, function, image type, firmware payload, boot code, one download per
// card, FFV, route
constexpr DeviceRow kDevices[] = {
    // Arvo FC adapters
    {0xF100, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF015, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF011, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF104, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF111, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF112, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xFC40, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF10B, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0x338F, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF10A, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    {0xF180, F::Arvo, K::FC, FC_IMAGE, ALLext, true, false, P::Region20, R::Container},
    // Ferrox cards: FC functions take GRP containers; the converged functions are
    // offered UFI payloads, which the engine refuses for them
    {0xE200, F::FerroxFC, K::FC, GRP_IMAGE, GRPext, false, true, P::SliConfig, R::Grp},
    {0xE208, F::FerroxFC, K::FC, GRP_IMAGE, GRPext, false, true, P::SliConfig, R::Grp},
    {0xE300, F::FerroxE300, K::FC, GRP_G6_IMAGE, GRPext, false, true, P::SliConfig, R::GrpG6},
    {0xE260, F::FerroxConverged, K::FCoE, GRP_IMAGE, UFIext, false, true, P::None, R::Grp},
    {0xE268, F::FerroxConverged, K::FCoE, GRP_IMAGE, UFIext, false, true, P::None, R::Grp},
    {0xE220, F::FerroxConverged, K::NIC, GRP_IMAGE, UFIext, false, true, P::None, R::Grp},
    {0xE228, F::FerroxConverged, K::NIC, GRP_IMAGE, UFIext, false, true, P::None, R::Grp},
    // VX converged cards: UFI payloads, which this engine has no route for
    {0x0214, F::VX2, K::FCoE, VX2_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0704, F::VX2, K::FCoE, VX2_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0211, F::VX2, K::NIC, VX2_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0700, F::VX2, K::NIC, VX2_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0212, F::VX2, K::iSCSI, VX2_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0702, F::VX2, K::iSCSI, VX2_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0714, F::VX3, K::FCoE, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x071C, F::VX3, K::FCoE, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0710, F::VX3, K::NIC, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0718, F::VX3, K::NIC, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0712, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0713, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x071A, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x071B, F::VX3, K::iSCSI, VX3_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0724, F::VX4, K::FCoE, VX4_IMAGE, UFIext, false, true, P::SliConfig, R::None},
    {0x072C, F::VX4, K::FCoE, VX4_IMAGE, UFIext, false, true, P::SliConfig, R::None},
    {0x0720, F::VX4, K::NIC, VX4_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0728, F::VX4, K::NIC, VX4_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0722, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None},
    {0x0723, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None},
    {0x072A, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None},
    {0x072B, F::VX4, K::iSCSI, VX4_IMAGE, UFIext, false, true, P::None, R::None},
};

// Hardware ids (not device ids) whose memory reads take 29-bit addresses.
constexpr std::array<std::uint32_t, 5> kWideAddressHardware = {18, 0x577, 0x1004, 0x510, 0x364};

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

bool isWideAddressHardware(std::uint32_t hardwareId) {
    return std::find(kWideAddressHardware.begin(), kWideAddressHardware.end(), hardwareId) !=
           kWideAddressHardware.end();
}
