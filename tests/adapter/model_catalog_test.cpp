// The model catalogue: each product table walked once for its invariants, and the two
// lookups over boards of every kind.
#include "adapter/adapter_environment.h"
#include "adapter/model_catalog.h"
#include "adapter/model_name_rules.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <tuple>

namespace {

struct TableShape {
    const CatalogTable& table;
    std::size_t rows;
    std::uint16_t vendorId;
    std::set<std::uint16_t> devices;
    std::size_t subsystemVendors;
    bool fourTexts;
};

TEST(ModelCatalogTables, EachTableHoldsItsProductList) {
    const TableShape shapes[] = {
        {kFerroxCatalog, 117, 0x10DF, {0xE200, 0xE220, 0xE260}, 9, true},
        {kFerroxE300Catalog, 25, 0x10DF, {0xE300}, 2, true},
        {kArvoCatalog,
         48,
         0x10DF,
         {0xF100, 0xF015, 0xF011, 0xF104, 0xF111, 0xF112, 0xFC40, 0xF180},
         5,
         true},
        {kVX4Catalog, 341, 0x10DF, {0x0720, 0x0722, 0x0724}, 10, false},
        {kVX3Catalog, 309, 0x19A2, {0x0710, 0x0712, 0x0714}, 7, false},
        {kVX2Catalog, 185, 0x19A2, {0x0700, 0x0702, 0x0704}, 4, false},
    };
    for (const TableShape& s : shapes) {
        SCOPED_TRACE(s.table.name);
        EXPECT_EQ(s.table.count, s.rows);
        std::set<std::uint16_t> devices, vendors;
        std::map<std::tuple<int, int, int, int>, std::set<int>> functionKeys;
        for (std::size_t i = 0; i < s.table.count; ++i) {
            const CatalogRow& r = s.table.rows[i];
            SCOPED_TRACE(r.model);
            EXPECT_EQ(r.vendorId, s.vendorId);
            EXPECT_TRUE(s.table.family(r.deviceId));
            EXPECT_NE(r.subsystemId, 0);
            devices.insert(r.deviceId);
            vendors.insert(r.subsystemVendorId);
            // The inventory keeps models in 32 bytes and the adapter table in 80.
            EXPECT_LT(std::strlen(r.model), 32u);
            EXPECT_GT(std::strlen(r.description), 0u);
            EXPECT_LT(std::strlen(r.description), 256u);
            EXPECT_GT(std::strlen(r.seriesDescription), 0u);
            EXPECT_EQ(r.baseModel != nullptr, s.fourTexts);
            // A key appears once, or once per multi-function value; never both ways.
            auto& seen = functionKeys[{r.deviceId, r.vendorId, r.subsystemVendorId, r.subsystemId}];
            EXPECT_TRUE(seen.insert(r.multiFunction).second);
            EXPECT_FALSE(seen.count(kAnyFunctionCount) != 0 && seen.size() > 1);
        }
        EXPECT_EQ(devices, s.devices);
        EXPECT_EQ(vendors.size(), s.subsystemVendors);
        EXPECT_TRUE(vendors.count(0x10DF) != 0);
    }
}

TEST(ModelNameRules, EveryLegacyHardwareIdHasSingleAndDualNames) {
    const std::set<std::uint16_t> handled = {0x38,   0x12,   0x20,   0x21,  0x25,  0x26, 0x28,
                                             0x1ACC, 0x4838, 0x1004, 0x364, 0x510, 0x577};
    std::set<std::string> names;
    std::set<std::uint16_t> seen;
    std::map<std::pair<int, std::uint32_t>, int> channelKinds;
    for (std::size_t i = 0; i < kLegacyModelNameRuleCount; ++i) {
        const ModelNameRule& r = kLegacyModelNameRules[i];
        EXPECT_TRUE(handled.count(r.hardwareId) != 0) << r.name;
        EXPECT_TRUE(names.insert(r.name).second) << r.name;
        EXPECT_NE(std::string(r.name), kUnknownModelName);
        seen.insert(r.hardwareId);
        if (r.channels != Channels::Any)
            channelKinds[{r.hardwareId, r.family}] |= r.channels == Channels::Dual ? 2 : 1;
    }
    EXPECT_EQ(seen, handled);
    for (const auto& [key, kinds] : channelKinds)
        EXPECT_EQ(kinds, 3) << std::hex << key.first << " family " << key.second;
}

class CatalogLookupTest : public ::testing::Test {
  protected:
    void TearDown() override {
        adapterEnv.table.clear();
        adapterEnv.boardCount = adapterEnv.totalCount = 0;
        adapterEnv.noVpdModelNames = false;
    }
    void useTable(std::vector<AdapterRecord> records) {
        adapterEnv.table = std::move(records);
        adapterEnv.boardCount = adapterEnv.totalCount = std::uint32_t(adapterEnv.table.size());
    }
};

AdapterRecord board(std::uint16_t deviceId, std::uint16_t subsystemVendorId,
                    std::uint16_t subsystemId, std::uint16_t hardwareId = 0,
                    std::uint32_t flags = 0, std::uint32_t bus = 1, std::uint8_t function = 0) {
    AdapterRecord r;
    r.vendorId = 0x10DF;
    r.deviceId = deviceId;
    r.subsystemVendorId = subsystemVendorId;
    r.subsystemId = subsystemId;
    r.hardwareId = hardwareId;
    r.flags = flags;
    r.bus = bus;
    r.function = function;
    return r;
}

constexpr std::uint32_t MULTI = ADAPTER_FLAG_MULTI_FUNCTION;
constexpr std::uint32_t FROM_VPD = ADAPTER_FLAG_MODEL_FROM_VPD;

TEST_F(CatalogLookupTest, LookupModelByKindAndKey) {
    struct Case {
        const char* what;
        AdapterRecord r;
        bool noVpdNames;
        const char* model;
        const char* description;
        const char* baseModel;
    };
    AdapterRecord vpdNamed = board(0x0724, 0x10DF, 0x0724, 0, FROM_VPD);
    vpdNamed.modelName = "VPD-NAME";
    AdapterRecord zeroVendor = board(0x0724, 0x10DF, 0x0724);
    zeroVendor.vendorId = 0;
    const Case cases[] = {
        {"VX4 row", board(0x0724, 0x10DF, 0x0724), false, "TV-X43001",
         "Tavrel TV-X43001 single-port 10/40GbE converged network adapter, FCoE function", ""},
        {"VX4 pair not listed", board(0x0724, 0x10DF, 0x7777), false, "", "",
         "TV-X4 Converged Adapter"},
        {"VPD gave the name", vpdNamed, false, "", "", "VPD-NAME"},
        {"VPD name ignored under /c", vpdNamed, true, "TV-X43001",
         "Tavrel TV-X43001 single-port 10/40GbE converged network adapter, FCoE function", ""},
        {"a zero key field", zeroVendor, false, "", "", "TV-X4 Converged Adapter"},
        {"Arvo single-function", board(0xF100, 0x10DF, 0xF100, 0x1004), false, "TV-A11001",
         "Tavrel TV-A11001 single-channel 8Gb Fibre Channel host bus adapter", "TV-A1100"},
        {"Arvo dual-function", board(0xF100, 0x10DF, 0xF100, 0x1004, MULTI), false, "TV-A11001D",
         "Tavrel TV-A11001D dual-channel 8Gb Fibre Channel host bus adapter", "TV-A1100"},
        {"Ferrox E300 row", board(0xE300, 0x10DF, 0xE300), false, "TV-F31001",
         "Tavrel TV-F31001 single-port 32Gb Fibre Channel host bus adapter", "TV-F3100"},
        {"older board consults no table", board(0xFE00, 0x10DF, 0xFE00, 0x577), false, "", "",
         "TV Fibre Channel Adapter"},
    };
    for (const Case& c : cases) {
        useTable({c.r});
        adapterEnv.noVpdModelNames = c.noVpdNames;
        ModelQuery q;
        lookupModel(0, q);
        EXPECT_EQ(q.model, c.model) << c.what;
        EXPECT_EQ(q.description, c.description) << c.what;
        EXPECT_EQ(q.baseModel, c.baseModel) << c.what;
        EXPECT_EQ(q.modelCapacity, 256u) << c.what;
    }
}

TEST_F(CatalogLookupTest, TableRefusesSmallCapacities) {
    ModelQuery q;
    q.deviceId = 0x0724;
    q.vendorId = q.subsystemVendorId = 0x10DF;
    q.subsystemId = 0x0724;
    q.modelCapacity = q.seriesDescriptionCapacity = q.descriptionCapacity = 256;
    q.baseModelCapacity = 255;
    EXPECT_FALSE(lookupCatalogTable(kVX4Catalog, q));
    q.baseModelCapacity = 256;
    EXPECT_FALSE(lookupCatalogTable(kVX3Catalog, q)); // the family test fails
    EXPECT_TRUE(lookupCatalogTable(kVX4Catalog, q));
}

TEST_F(CatalogLookupTest, LookupModelNameByKindTreeAndChannels) {
    struct Case {
        const char* what;
        std::vector<AdapterRecord> boards; // the first is named
        const char* name;
    };
    AdapterRecord vpdNamed = board(0xFE00, 0x10DF, 0xFE00, 0x577, FROM_VPD);
    vpdNamed.modelName = "KEPT";
    const Case cases[] = {
        {"single channel", {board(0xFE00, 0x10DF, 0xFE00, 0x577)}, "TV-L7000"},
        {"multi-function flag", {board(0xFE00, 0x10DF, 0xFE00, 0x577, MULTI)}, "TV-L7002"},
        {"partner function",
         {board(0xFE00, 0x10DF, 0xFE00, 0x577), board(0xFE00, 0x10DF, 0xFE00, 0x577, 0, 1, 1)},
         "TV-L7002"},
        {"same function on another bus is no partner",
         {board(0xFE00, 0x10DF, 0xFE00, 0x577), board(0xFE00, 0x10DF, 0xFE00, 0x577, 0, 2, 1)},
         "TV-L7000"},
        {"OEM subsystem pair", {board(0xFE00, 0x103C, 0xFE0A, 0x577)}, "BW-L7000"},
        {"device with its own family", {board(0xF0E5, 0x10DF, 0x1, 0x577)}, "TV-L7500"},
        {"Arvo sub-family by subsystem pair", {board(0xF100, 0x10DF, 0xF10B, 0x1004)}, "TV-A1110"},
        {"unknown family of a known hardware id", {board(0xF0F8, 0x10DF, 0x1, 0x510)}, "Unknown"},
        {"unknown hardware id", {board(0x1234, 0x10DF, 0x1, 0x999)}, "Unknown"},
        {"E300 pair listed", {board(0xE300, 0x10DF, 0xE300)}, "TV-F31001"},
        {"E300 pair of another vendor", {board(0xE300, 0x103C, 0xE300)}, "TV-F3100"},
        {"E300 unlisted, multi-function", {board(0xE300, 0x10DF, 0x1, 0, MULTI)}, "TV-F3102"},
        {"Ferrox FC pair listed", {board(0xE200, 0x1014, 0x1001)}, "AM-F21012"},
        {"Ferrox FC unlisted", {board(0xE208, 0x10DF, 0x1)}, "TV-F2000"},
        {"VX FCoE takes the family base name",
         {board(0x0714, 0x10DF, 0x1)},
         "TV-X3 Converged Adapter"},
        {"Ferrox NIC", {board(0xE220, 0x10DF, 0xE220)}, "TV-F2 Converged Adapter"},
        {"OEM Ferrox FCoE", {board(0xE260, 0x1014, 0x1600)}, "TV-F2 OEM Converged Adapter"},
        {"VPD name stays", {vpdNamed}, "KEPT"},
    };
    for (const Case& c : cases) {
        useTable(c.boards);
        lookupModelName(0, adapterEnv.table[0].modelName);
        EXPECT_EQ(adapterEnv.table[0].modelName, c.name) << c.what;
    }
}

} // namespace
