#include "tests/catalog/catalog_fixture.h"

#include "adapter/hba_entry.h"
#include "image/version_forms.h"

#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <utility>
#include <vector>

namespace {

class FamilyIdTableTest : public CatalogTest {
  protected:
    void SetUp() override {
        CatalogTest::SetUp();
        ASSERT_EQ(makeFamilyIdTable(families_), 0);
    }
};

bool isFamilyIdForm(const char* text) {
    return std::strlen(text) == 8 && text[2] == '.' && text[5] == '.' &&
           std::isdigit(static_cast<unsigned char>(text[0])) &&
           std::isdigit(static_cast<unsigned char>(text[1])) &&
           std::isdigit(static_cast<unsigned char>(text[3])) &&
           std::isdigit(static_cast<unsigned char>(text[4])) &&
           std::isdigit(static_cast<unsigned char>(text[6])) &&
           std::isdigit(static_cast<unsigned char>(text[7]));
}

bool isDottedFour(const char* text) {
    std::uint32_t a = 0, b = 0, c = 0, d = 0;
    return encodeCNAVersion(&a, &b, &c, &d, 32, text) == 0;
}

// The table's invariants, walked once: families newest-first, the row count of each
// family, one row per model, and the version form each kind of model carries.
TEST_F(FamilyIdTableTest, TableInvariants) {
    const std::map<std::string, int> rowsPerFamily = {
        {"01.01.03", 6},  {"01.01.04", 6},  {"01.01.06", 9}, {"01.01.07", 9},  {"01.02.08", 9},
        {"01.03.01", 9},  {"01.03.11", 9},  {"01.04.01", 9}, {"01.04.02", 9},  {"01.04.03", 9},
        {"01.05.01", 12}, {"01.05.02", 12}, {"01.06.01", 8}, {"02.00.01", 12}, {"02.00.02", 12},
        {"02.01.01", 14}, {"99.99.99", 14},
    };
    const std::vector<FamilyIdGroup>& groups = families_.groups;
    ASSERT_FALSE(groups.empty());
    EXPECT_EQ(groups.front().familyId, "99.99.99");
    int rows = 0;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const FamilyIdGroup& g = groups[i];
        SCOPED_TRACE(g.familyId.str());
        EXPECT_TRUE(isFamilyIdForm(g.familyId.c_str()));
        if (i + 1 < groups.size()) {
            EXPECT_EQ(compareFamilyIDs(g.familyId.c_str(), groups[i + 1].familyId.c_str()), 1);
        }
        std::set<std::pair<std::uint32_t, std::uint32_t>> models;
        int count = 0;
        for (const FamilyIdEntry& r : g.rows) {
            ++count;
            EXPECT_EQ(r.vendorId, 0x10DFu);
            EXPECT_EQ(r.subVendorId, 0x10DFu);
            EXPECT_TRUE(models.insert({r.deviceId, r.subSystemId}).second)
                << std::hex << r.subSystemId;
            const bool dotted = r.deviceId == 0xE200 || r.deviceId == 0xE300;
            if (dotted) {
                EXPECT_TRUE(isDottedFour(r.fwVersion.c_str())) << r.fwVersion.str();
                EXPECT_EQ(r.bcVersion, "0");
            } else {
                EXPECT_TRUE(r.deviceId == 0xF100 || r.deviceId == 0xFE00 ||
                            r.deviceId == 0xF0E5);
                EXPECT_FALSE(isDottedFour(r.fwVersion.c_str())) << r.fwVersion.str();
                EXPECT_NE(r.bcVersion, "0");
                EXPECT_FALSE(r.bcVersion.empty());
            }
        }
        EXPECT_EQ(count, rowsPerFamily.at(g.familyId.str()));
        rows += count;
    }
    EXPECT_EQ(groups.size(), 17u);
    EXPECT_EQ(rows, 168);
}

struct LookupCase {
    const char* familyId;
    std::uint32_t deviceId;
    std::uint32_t subSystemId;
    const char* fw; // null: the family is not in the table; "" no row matches
    const char* bc;
};

const LookupCase kLookups[] = {
    {"02.01.01", 0xF100, 0xF126, "UF202A3", "UU700X1"},
    {"99.99.99", 0xF100, 0xF100, "UD202A3", "UU700X1"},
    {"01.01.04", 0xF0E5, 0xF0E5, "WF282A4", "WP503A13"},
    {"01.02.08", 0xFE00, 0xFE24, "ZF282A4", "ZU603A15"},
    {"01.04.03", 0xE200, 0xE209, "10.2.315.45", "0"},
    {"02.00.02", 0xE200, 0xE216, "11.0.270.2002", "0"},
    {"02.00.02", 0xE300, 0xE320, "11.0.270.18", "0"},
    {"02.01.01", 0xE300, 0xE325, "11.2.216.9", "0"},
    {"99.99.99", 0xE300, 0xE324, "11.2.216.9", "0"},
    {"02.00.02", 0xE300, 0xE325, "", ""}, // the last two Ferrox models arrive with 02.01.01
    {"01.04.03", 0xE200, 0xE211, "", ""}, // three converged models until 01.05.01
    {"01.06.01", 0xFE00, 0xFE00, "", ""},
    {"01.06.01", 0xF0E5, 0xF0E5, "", ""},
    {"01.01.05", 0xF100, 0xF100, nullptr, nullptr},
    {"1.4.3", 0xE200, 0xE209, nullptr, nullptr}, // leading zeros matter
    {"", 0xF100, 0xF100, nullptr, nullptr},
};

TEST_F(FamilyIdTableTest, LooksUpFamiliesAndRows) {
    for (const LookupCase& c : kLookups) {
        SCOPED_TRACE(std::string(c.familyId) + " " + std::to_string(c.subSystemId));
        HbaEntry adapter;
        adapter.deviceId = c.deviceId;
        adapter.vendorId = 0x10DF;
        adapter.subDeviceId = c.subSystemId;
        adapter.subVendorId = 0x10DF;
        const FamilyIdGroup* group = findFamilyIdGroup(families_, c.familyId);
        if (c.fw == nullptr) {
            EXPECT_EQ(group, nullptr);
            continue;
        }
        ASSERT_NE(group, nullptr);
        EXPECT_EQ(group->familyId, c.familyId);
        const FamilyIdEntry* row = findFamilyIdRow(group, adapter);
        if (c.fw[0] == '\0') {
            EXPECT_EQ(row, nullptr);
            continue;
        }
        ASSERT_NE(row, nullptr);
        EXPECT_EQ(row->fwVersion, c.fw);
        EXPECT_EQ(row->bcVersion, c.bc);
        // Every one of the four ids takes part in the match.
        for (std::uint32_t HbaEntry::*id : {&HbaEntry::deviceId, &HbaEntry::vendorId,
                                            &HbaEntry::subDeviceId, &HbaEntry::subVendorId}) {
            HbaEntry other = adapter;
            other.*id += 1;
            EXPECT_FALSE(familyIdRowMatches(*row, other));
        }
    }
}

TEST_F(FamilyIdTableTest, ModelsMissingFromEveryFamily) {
    // 0xF127 is no model of any family; 0xE325 exists only in the two newest.
    int e325Families = 0;
    for (const FamilyIdGroup& g : families_.groups) {
        HbaEntry adapter;
        adapter.deviceId = 0xF100;
        adapter.vendorId = adapter.subVendorId = 0x10DF;
        adapter.subDeviceId = 0xF127;
        EXPECT_EQ(findFamilyIdRow(&g, adapter), nullptr) << g.familyId.str();
        adapter.deviceId = 0xE300;
        adapter.subDeviceId = 0xE325;
        if (findFamilyIdRow(&g, adapter) != nullptr)
            ++e325Families;
    }
    EXPECT_EQ(e325Families, 2);
}

TEST_F(FamilyIdTableTest, DumpStartsWithTheNewestFamily) {
    const std::string log = debugText();
    EXPECT_EQ(log.rfind("\n[Family Ids]\nfamily id = 99.99.99\n"
                        "pci_id    = F100\nven_id    = 10DF\nssid_id   = F100\nsvid_id   = 10DF\n"
                        "fwVersion = UD202A3\nbcVersion = UU700X1\n\npci_id    = F100\n",
                        0),
              0u);
    // Each family ends with a blank line and the dump with one more.
    EXPECT_NE(log.find("bcVersion = 0\n\n\nfamily id = 02.01.01\n"), std::string::npos);
    EXPECT_TRUE(log.ends_with("fwVersion = ZF282A4\nbcVersion = ZU603A11\n\n\n\n"));

    // Building again replaces the table instead of adding to it.
    ASSERT_EQ(makeFamilyIdTable(families_), 0);
    EXPECT_EQ(families_.groups.size(), 17u);
}

} // namespace
