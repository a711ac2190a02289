// The family table walked once for its invariants: every device id the model catalogue
// knows has a row of the catalogue's family, and each row's route and image type agree
// with the reader that route uses. Rows offered UFI payloads (the converged functions)
// get no reader of this engine: their downloads are refused. The family-code table
// beside it: every code the hardware table answers is a row, and its columns agree
// with each other and with the device rows.
#include "adapter/adapter_family.h"
#include "adapter/device_table.h"
#include "adapter/model_catalog.h"
#include "common/run_state.h"
#include "image/clu_image.h"
#include "image/code_tables.h"

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

// A listed older FC adapter is there for a quirk of its own: in every other column it
// is the row an unlisted id gets.
TEST(DeviceTable, ListedOlderAdaptersDifferFromTheLegacyRowOnlyByTheirQuirk) {
    const DeviceRow& legacy = legacyDeviceRow();
    EXPECT_FALSE(legacy.secure);
    EXPECT_FALSE(legacy.olderRevisionWord);
    for (const DeviceRow& row : deviceTable()) {
        if (row.family != DeviceFamily::Legacy)
            continue;
        SCOPED_TRACE("device id " + std::to_string(row.deviceId));
        EXPECT_EQ(row.function, legacy.function);
        EXPECT_EQ(row.imageType, legacy.imageType);
        EXPECT_EQ(row.firmwarePayload, legacy.firmwarePayload);
        EXPECT_EQ(row.bootCode, legacy.bootCode);
        EXPECT_EQ(row.sharedDownload, legacy.sharedDownload);
        EXPECT_EQ(row.ffv, legacy.ffv);
        EXPECT_EQ(row.route, legacy.route);
        EXPECT_FALSE(row.secure);
        EXPECT_TRUE(row.olderRevisionWord) << "a listed older adapter without a quirk";
    }
}

TEST(FamilyCodeTable, EveryCodeTheHardwareTableAnswersIsOneRow) {
    std::set<std::uint32_t> rows;
    for (const FamilyCodeRow& row : familyCodeTable())
        EXPECT_TRUE(rows.insert(row.family).second) << std::hex << row.family << " listed twice";

    std::set<std::uint32_t> answered;
    for (const HardwareFamilyRow& row : hardwareFamilyTable()) {
        if (row.family == FAMILY_IS_DEVICE_ID) {
            EXPECT_FALSE(row.devices.empty()) << "hardware id " << row.hardwareId;
            answered.insert(row.devices.begin(), row.devices.end());
        } else {
            answered.insert(row.family);
        }
    }
    for (std::uint32_t family : answered)
        EXPECT_NE(findFamilyCodeRow(family), nullptr) << std::hex << family << " has no row";
    // A code no board answers is listed only for a rule that names it.
    for (const FamilyCodeRow& row : familyCodeTable()) {
        const bool named = row.newer || row.configTriple || row.bootChecked || row.secure ||
                           row.distributed || row.refusesPrg || row.operationalCap;
        EXPECT_TRUE(answered.count(row.family) == 1 || named) << std::hex << row.family;
    }

    const FamilyCodeRow& unknown = familyRowOf(ADAPTER_FAMILY_UNKNOWN);
    EXPECT_EQ(findFamilyCodeRow(ADAPTER_FAMILY_UNKNOWN), nullptr);
    EXPECT_FALSE(unknown.newer || unknown.configTriple || unknown.bootChecked || unknown.secure ||
                 unknown.distributed || unknown.refusesPrg || unknown.operationalCap);
}

TEST(FamilyCodeTable, ColumnsAgreeWithEachOtherAndWithTheDeviceRows) {
    std::set<std::uint32_t> secureFamilies, secureDevices;
    for (const FamilyCodeRow& row : familyCodeTable()) {
        SCOPED_TRACE(testing::Message() << std::hex << row.family);
        // Boot images are checked on Arvo boards, which keep the configuration triple
        // and are programmed the newer way; the secure family is one of them.
        if (row.bootChecked) {
            EXPECT_TRUE(row.newer);
            EXPECT_TRUE(row.configTriple);
        }
        if (row.secure) {
            EXPECT_TRUE(row.bootChecked);
            secureFamilies.insert(row.family);
        }
        if (row.distributed) {
            EXPECT_TRUE(row.newer);
        }
    }
    for (const DeviceRow& row : deviceTable()) {
        if (row.secure) {
            EXPECT_EQ(row.family, DeviceFamily::Arvo) << std::hex << row.deviceId;
            secureDevices.insert(row.deviceId);
        }
    }
    // The boot-image check compares the image's device id with the board's family:
    // the secure family's code is its device's id.
    EXPECT_FALSE(secureFamilies.empty());
    EXPECT_EQ(secureFamilies, secureDevices);
}

TEST(FamilyCodeTable, UnsupportedAdapterCodesAreCodesAdaptersCarry) {
    std::set<std::string> codes;
    char code[16];
    for (std::uint32_t device = 1; device <= 0xFFFF; ++device)
        for (std::uint32_t dist : {0u, 1u})
            if (getLegacyFwType(code, sizeof code, device, 0x10DF, 1, 0x10DF, dist) == 0 &&
                code[0] != '\0')
                codes.insert(code);
    EXPECT_FALSE(unsupportedAdapterCodes().empty());
    for (std::string_view unsupported : unsupportedAdapterCodes()) {
        EXPECT_EQ(codes.count(std::string(unsupported)), 1u) << unsupported;
        EXPECT_TRUE(isUnsupportedAdapterFirmware(std::string(unsupported) + "282A4"));
    }
    for (const char* supported : {"ZF282A4", "Z", "", "zd282A4", "UD201A12"})
        EXPECT_FALSE(isUnsupportedAdapterFirmware(supported)) << supported;
}

} // namespace
