// Start-up of the adapter access environment (see adapter_environment.h).
#include "adapter/adapter_environment.h"

#include "adapter/board_family.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox_layouts.h"
#include "adapter/regions.h"
#include "adapter/vpd_decode.h"
#include "common/bytes.h"
#include "common/text.h"

#include <algorithm>
#include <new>
#include <string_view>

AdapterEnvironment adapterEnv;

namespace {


// Calls DFC_InitDiagEnv with a fresh buffer of `capacity` entries; returns n.
std::uint32_t enumerate(std::uint32_t capacity, std::vector<std::uint8_t>* keep) {
    std::vector<std::uint8_t> entries(std::size_t(capacity) * kDiagEnvEntrySize, 0);
    const std::uint32_t n = dfc.DFC_InitDiagEnv(entries.data(), capacity);
    if (keep != nullptr)
        *keep = std::move(entries);
    return n;
}


// Largest mailbox data size of a kind-3 driver, by its version text compared byte-wise.
std::uint32_t mailboxPayloadOf(std::string_view version) {
    if (version >= "2.01A0")
        return 2048;
    if (version.size() == 6 ? version > "2.00A8" : version >= "2.00A10")
        return 256;
    return 108;
}

void classifyDriver(std::uint32_t board, AdapterRecord& r) {
    std::uint8_t info[driver_info::kSize] = {};
    layout::setFixed(info, driver_info::kVersion);
    const std::uint32_t result = dfc.DFC_GetDrvInfo(board, info);
    if (result != 0 && result != 2) {
        adapterEnv.message = formatText("No driver installed. Error %x", static_cast<unsigned>(result));
        return;
    }
    const std::uint32_t kind = layout::at(info, driver_info::kKind);
    if (kind != 2 && kind != 3 && kind != 16 && kind != 21) {
        adapterEnv.message = "No SCSIport Nor StorPort Miniport Nor Linux driver installed";
        return;
    }
    r.driverKnown = true;
    r.mailboxPayload = 108;
    if (kind == 3) {
        // The version text may fill its field without a terminating NUL.
        const std::span<const std::uint8_t> text = layout::run(info, driver_info::kVersionText);
        const auto end = std::find(text.begin(), text.end(), 0);
        r.mailboxPayload = mailboxPayloadOf(
            std::string_view(reinterpret_cast<const char*>(text.data()), std::size_t(end - text.begin())));
    }
    r.interfaceLevel4 = layout::at(info, driver_info::kInterfaceLevel) == 4 ? 1 : 0;
    r.fcoeDriver = (layout::at(info, driver_info::kFeatures) & driver_info::kFeatureFcoe) != 0 ? 1 : 0;
    if (r.fcoeDriver != 0)
        r.HBAType |= 0x28;
}

// Returns 0, or 64 when the board's PCI configuration header cannot be read.
int readPciIdentity(std::uint32_t board, AdapterRecord& r) {
    std::uint8_t header[256] = {};
    if (dfc.DFC_ReadPciCfg(board, header, 0, sizeof header) != 0)
        return 64;
    const std::uint8_t* entry = adapterEnv.enumeration.data() + std::size_t(board) * kDiagEnvEntrySize;
    r.bus = readHost32(entry, 32);
    r.device = readHost32(entry, 36) & 0x1F;
    r.function = entry[40];
    r.vendorId = readLe16(header, 0);
    r.deviceId = readLe16(header, 2);
    r.subsystemVendorId = readLe16(header, 44);
    r.subsystemId = readLe16(header, 46);
    if (header[14] != 0)
        r.flags |= ADAPTER_FLAG_MULTI_FUNCTION;
    if (isVXFCoEDevice(r.deviceId) || isFerroxFCoEDevice(r.deviceId))
        r.HBAType |= 0x28;

    std::uint8_t ieee[8] = {};
    std::uint32_t length = sizeof ieee;
    if (readConfigRegion(board, 16, 0, length, ieee) != 0) {
        r.factoryIeee[0] = r.factoryIeee[1] = 0;
        return 0;
    }
    // Level-4 boards deliver the address with each word byte-reversed.
    if (r.interfaceLevel4 != 0)
        SwapBytes1(ieee, sizeof ieee);
    r.factoryIeee[0] = readBe32(ieee, 0);
    r.factoryIeee[1] = readBe32(ieee, 4);
    return 0;
}

int initAdapterEnvironmentImpl(const std::string& commandLine) {
    adapterEnv.noKova = commandLine.find("/nokova") != std::string::npos;
    // Also found inside a longer argument, such as a path that contains "/c".
    adapterEnv.noVpdModelNames = commandLine.find("/c") != std::string::npos;

    std::uint32_t n = 0;
    if (dfcLibraryLoaded()) {
        enumerate(256, nullptr); // the first answer is dropped
        n = enumerate(256, &adapterEnv.enumeration);
        if (n == 0)
            adapterEnv.message = "No Tavrel FC or CNA adapters installed";
        if (n != 0 && n != 256) {
            const std::uint32_t again = enumerate(n, &adapterEnv.enumeration);
            if (again != n) {
                adapterEnv.message = "DFC_InitDiagEnv call error";
                return 63;
            }
        }
        char libraryVersion[25] = {};
        dfc.DFC_GetLibVer(libraryVersion);
    } else {
        adapterEnv.message = "No Tavrel FC or CNA adapters installed";
    }
    adapterEnv.boardCount = n;
    adapterEnv.totalCount = n; // the management library reports no adapters here

    if (adapterEnv.totalCount == 0)
        return ADAPTER_ENV_NO_BOARDS;
    try {
        adapterEnv.table.assign(n, AdapterRecord{});
    } catch (const std::bad_alloc&) {
        adapterEnv.message = "Unable to locate memory";
        return 62;
    }
    // With n = 256 the kept entries are those of the second 256-entry call.
    for (std::uint32_t b = 0; b < n; ++b)
        classifyDriver(b, adapterEnv.table[b]);
    int status = 0;
    for (std::uint32_t b = 0; b < n && status == 0; ++b)
        status = readPciIdentity(b, adapterEnv.table[b]);
    adapterEnv.enumeration.clear();
    adapterEnv.enumeration.shrink_to_fit();
    return status;
}

} // namespace

int initAdapterEnvironment(const std::string& commandLine) {
    try {
        return initAdapterEnvironmentImpl(commandLine);
    } catch (const std::bad_alloc&) {
        adapterEnv.message = "Unable to allocate memory";
        return 62;
    }
}

void releaseAdapterEnvironment() {
    adapterEnv.table.clear();
    adapterEnv.table.shrink_to_fit();
    adapterEnv.enumeration.clear();
    adapterEnv.boardCount = 0;
    adapterEnv.totalCount = 0;
    adapterEnv.message.clear();
}
