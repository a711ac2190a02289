// Fills the program's adapter table from the loaded adapter library, in this process:
// the tests, benchmarks and fuzz targets that drive the adapter layer without the
// program's start-up share it. Header only, so that the benchmarks and fuzz targets
// need no test framework.
#pragma once

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox_layouts.h"

#include <cstdint>
#include <vector>

namespace testkit {

// Enumerates up to `capacity` boards and puts one record per board into the table:
// the given records (extended or cut to the board count), each with its interface
// level read from the board's driver information. Returns the board count.
inline std::uint32_t startAdapterTable(std::uint32_t capacity, std::vector<AdapterRecord> records = {}) {
    std::vector<std::uint8_t> entries(std::size_t(capacity) * kDiagEnvEntrySize);
    const std::uint32_t n = dfc.DFC_InitDiagEnv(entries.data(), capacity);
    records.resize(n);
    for (std::uint32_t b = 0; b < n; ++b) {
        std::uint8_t info[driver_info::kSize] = {};
        layout::setFixed(info, driver_info::kVersion);
        dfc.DFC_GetDrvInfo(b, info);
        records[b].interfaceLevel4 = layout::at(info, driver_info::kInterfaceLevel) == 4 ? 1 : 0;
    }
    adapterEnv.table = records;
    adapterEnv.boardCount = adapterEnv.totalCount = n;
    return n;
}

} // namespace testkit
