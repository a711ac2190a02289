// The family table walked once for its invariants: every device id the model catalogue
// knows has a row of the catalogue's family, and each row's route and image type agree
// with the reader that route uses. Rows offered UFI payloads (the converged functions)
// get no reader of this engine: their downloads are refused.
#include "adapter/device_table.h"
#include "adapter/model_catalog.h"
#include "common/run_state.h"
#include "image/clu_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

namespace {

TEST(DeviceTable, RowsAreUniqueAndEveryCatalogueDeviceHasARowOfItsFamily) {
    std::set<std::uint32_t> seen;
    for (const DeviceRow& row : deviceTable()) {
        EXPECT_NE(row.deviceId, 0u) << "0 is the legacy row's key";
        EXPECT_TRUE(seen.insert(row.deviceId).second) << std::hex << row.deviceId << " listed twice";
    }
    struct Catalogue {
        const CatalogTable* table;
        std::vector<DeviceFamily> families;
    };
    const Catalogue catalogues[] = {
        {&kFerroxCatalog, {DeviceFamily::FerroxFC, DeviceFamily::FerroxConverged}},
        {&kFerroxE300Catalog, {DeviceFamily::FerroxE300}},
        {&kArvoCatalog, {DeviceFamily::Arvo}},
        {&kVX4Catalog, {DeviceFamily::VX4}},
        {&kVX3Catalog, {DeviceFamily::VX3}},
        {&kVX2Catalog, {DeviceFamily::VX2}},
    };
    for (const Catalogue& c : catalogues) {
        for (std::size_t i = 0; i < c.table->count; ++i) {
            const std::uint32_t id = c.table->rows[i].deviceId;
            SCOPED_TRACE(std::string(c.table->name) + " row " + std::to_string(i));
            const DeviceRow* row = findDeviceRow(id);
            ASSERT_NE(row, nullptr) << "device id " << std::hex << id << " has no row";
            EXPECT_NE(std::find(c.families.begin(), c.families.end(), row->family), c.families.end());
            EXPECT_TRUE(c.table->family(id)) << "the catalogue's own family test disagrees";
        }
    }
    EXPECT_EQ(findDeviceRow(0), nullptr);
    EXPECT_EQ(&deviceRowOf(0x1234), &legacyDeviceRow()) << "an unlisted id is an older FC adapter";
}

TEST(DeviceTable, RouteAndImageTypeAgreeInEveryRow) {
    std::vector<DeviceRow> rows(deviceTable().begin(), deviceTable().end());
    rows.push_back(legacyDeviceRow());
    for (const DeviceRow& row : rows) {
        SCOPED_TRACE("device id " + std::to_string(row.deviceId));
        switch (row.route) {
        case DownloadRoute::Container: // the ALL/AIF reader, and the PRG reader for boot code
            EXPECT_EQ(row.firmwarePayload, ALLext);
            EXPECT_EQ(row.imageType, FC_IMAGE);
            EXPECT_TRUE(row.bootCode);
            break;
        case DownloadRoute::Grp: // the GRP reader (a converged Ferrox function is offered UFI)
            EXPECT_EQ(row.imageType, GRP_IMAGE);
            EXPECT_EQ(row.firmwarePayload, row.function == FunctionKind::FC ? GRPext : UFIext);
            EXPECT_FALSE(row.bootCode);
            break;
        case DownloadRoute::GrpG6: // the GRP reader with the G6 header
            EXPECT_EQ(row.imageType, GRP_G6_IMAGE);
            EXPECT_EQ(row.firmwarePayload, GRPext);
            EXPECT_FALSE(row.bootCode);
            break;
        case DownloadRoute::None: // offered UFI payloads only, which the engine refuses by name
            EXPECT_EQ(row.firmwarePayload, UFIext);
            EXPECT_FALSE(row.bootCode);
            break;
        }
        // A port updated on its own is exactly one that also takes boot code.
        EXPECT_EQ(row.sharedDownload, !row.bootCode);
        EXPECT_TRUE(row.firmwarePayload == ALLext || row.firmwarePayload == UFIext ||
                    row.firmwarePayload == GRPext);
        EXPECT_EQ(row.ffv == FfvPlace::Region20, row.family == DeviceFamily::Arvo);
    }
}

} // namespace
