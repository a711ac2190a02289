// The download engine's constant tables, walked once for their invariants.
#include "adapter/device_table.h"
#include "download/compat_tables.h"
#include "download/kek.h"
#include "download/wakeup.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>

namespace {

void expectSoundList(const IdList& list, bool mayBeEmpty) {
    EXPECT_LE(list.count, sizeof list.ids);
    if (!mayBeEmpty) {
        EXPECT_GT(list.count, 0);
    }
    std::set<std::uint8_t> seen;
    for (std::uint8_t i = 0; i < list.count && i < sizeof list.ids; ++i)
        EXPECT_TRUE(seen.insert(list.ids[i]).second) << "id listed twice";
}

TEST(DownloadTables, CompatibilityTables) {
    std::set<std::uint32_t> types;
    for (const CompatTable& table : kCompatTables) {
        SCOPED_TRACE(table.imageType);
        EXPECT_TRUE(types.insert(table.imageType).second);
        EXPECT_GE(wakeupSlotOffset(table.imageType), 0) << "every checked type has a slot";
        std::set<std::uint32_t> families;
        for (std::size_t i = 0; i < table.rowCount; ++i) {
            const CompatRow& row = table.rows[i];
            EXPECT_TRUE(families.insert(row.family).second) << std::hex << row.family;
            expectSoundList(row.ids, false);
            expectSoundList(row.oemIds, true);
        }
    }
    // The rows the product list gives.
    EXPECT_EQ(checkBuiltInCompat(0x1AE5, false, 0x02800000), 0u);
    EXPECT_EQ(checkBuiltInCompat(0xF700, false, 0x02900000), 0u);
    EXPECT_EQ(checkBuiltInCompat(0xF980, false, 0x02E00000), 0u);
    EXPECT_NE(checkBuiltInCompat(0xFD00, false, 0x02C10000), 0u);
    EXPECT_EQ(checkBuiltInCompat(0xFD00, true, 0x02C10000), 0u);
    EXPECT_EQ(checkBuiltInCompat(0xF700, false, 0x05770000), 0u) << "types without a table pass";
}

TEST(DownloadTables, BootAndAwcTables) {
    std::set<std::uint32_t> families;
    for (std::size_t i = 0; i < kBootIdListCount; ++i) {
        EXPECT_TRUE(families.insert(kBootIdLists[i].family).second);
        expectSoundList(kBootIdLists[i].ids, false);
    }
    std::set<std::uint8_t> ids;
    for (std::size_t i = 0; i < kAwcFamilyCount; ++i) {
        EXPECT_TRUE(ids.insert(kAwcFamilies[i].imageId).second);
        EXPECT_NE(kAwcFamilies[i].imageId, 0) << "id 0 means 0x1AE5";
        EXPECT_NE(kAwcFamilies[i].imageId, 0x0A) << "id 0x0A means 0x1AE5";
    }
    std::set<std::uint32_t> awcFamilies = {0x1AE5};
    for (std::size_t i = 0; i < kAwcFamilyCount; ++i)
        awcFamilies.insert(kAwcFamilies[i].family);
    families.clear();
    for (std::size_t i = 0; i < kAwcBoardFamilyCount; ++i) {
        EXPECT_TRUE(families.insert(kAwcBoardFamilies[i].boardFamily).second);
        EXPECT_EQ(awcFamilies.count(kAwcBoardFamilies[i].awcFamily), 1u)
            << "a board must need an AWC family some image id serves";
    }
    EXPECT_EQ(awcImageFamily(0x0A0A0000), 0x1AE5u);
    EXPECT_EQ(awcImageFamily(0x0AEE0000), 0x0AEE0000u);
}

// A family these tables name is a family the program knows: a row of the family-code
// table.
TEST(DownloadTables, EveryFamilyNamedIsAFamilyCodeRow) {
    std::set<std::uint32_t> named;
    for (const CompatTable& table : kCompatTables)
        for (std::size_t i = 0; i < table.rowCount; ++i)
            named.insert(table.rows[i].family);
    for (std::size_t i = 0; i < kBootIdListCount; ++i)
        named.insert(kBootIdLists[i].family);
    for (std::size_t i = 0; i < kAwcFamilyCount; ++i)
        named.insert(kAwcFamilies[i].family);
    for (std::size_t i = 0; i < kAwcBoardFamilyCount; ++i) {
        named.insert(kAwcBoardFamilies[i].boardFamily);
        named.insert(kAwcBoardFamilies[i].awcFamily);
    }
    for (std::uint32_t family : named)
        EXPECT_NE(findFamilyCodeRow(family), nullptr) << std::hex << family;
}

TEST(DownloadTables, KeyChain) {
    EXPECT_TRUE(kKekTable[0].endOfChain);
    for (std::size_t i = 0; i < 3; ++i) {
        const KekEntry& k = kKekTable[i];
        SCOPED_TRACE(k.name);
        EXPECT_EQ(std::strlen(k.name), k.nameLength);
        EXPECT_LE(k.nameLength, kKekAnswerNameBytes);
        if (i > 0) {
            EXPECT_FALSE(k.endOfChain);
            EXPECT_EQ(k.predecessor, int(i) - 1);
        }
        bool allZero = k.keyWords[0] == 0 && k.keyWords[1] == 0;
        for (std::uint8_t b : k.keyBytes)
            allZero = allZero && b == 0;
        EXPECT_EQ(allZero, i == 0) << "only the default key has no key data";
    }
}

} // namespace
