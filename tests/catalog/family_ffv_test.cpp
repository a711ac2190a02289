// How the inventory assigns the FFV and the family ID of an adapter: the family-ID
// table, the card's FFV, and the soft VPD entries, primary before secondary.
#include "adapter/hba_entry.h"
#include "catalog/family_ffv.h"
#include "catalog/family_id_table.h"
#include "catalog/soft_vpd_file.h"
#include "tests/adapter/object_fixture.h"
#include "tests/testkit/fixture_names.h"

namespace {

class AssignTest : public ObjectTest {
  protected:
    void SetUp() override {
        ObjectTest::SetUp();
        ASSERT_EQ(makeFamilyIdTable(families_), 0);
    }
    // A Ferrox FC adapter 0xE200/0x10DF/0xE209/0x10DF on board 0.
    static HbaEntry ferroxEntry(const char* fw) {
        HbaEntry e;
        e.deviceId = 0xE200;
        e.vendorId = 0x10DF;
        e.subDeviceId = 0xE209;
        e.subVendorId = 0x10DF;
        e.fwVersion = fw;
        e.wwpn = WM_WWPN_PREFIX_COLONS ":00:00:01";
        e.ffvSupported = 1;
        return e;
    }
    // Appends a soft VPD entry and returns it.
    const VPDEntry* addVpdEntry(const char* address, const char* fw, const char* fid,
                                std::uint8_t location) {
        VPDEntry& v = softVpd_.entries.emplace_back();
        v.address = address;
        v.fw_ver = fw;
        v.fid_ver = fid;
        v.location = location;
        return &v;
    }
    FamilyIdTable families_;
    SoftVpd softVpd_;
};

TEST_F(AssignTest, FamilyIdsAgainstTheTable) {
    HbaEntry legacy;
    legacy.deviceId = legacy.subDeviceId = 0xF100;
    legacy.vendorId = legacy.subVendorId = 0x10DF;
    legacy.fwVersion = "UD202A3";
    legacy.bcVersion = "UU700X1";
    legacy.adapterNumber = 7; // no such board: not a Ferrox board
    EXPECT_EQ(isValidFamilyID(families_, &legacy, "99.99.99"), 1);
    legacy.bcVersion = "UU700X2";
    EXPECT_EQ(isValidFamilyID(families_, &legacy, "99.99.99"), 0);
    HbaEntry ferroxFc = ferroxEntry("10.2.315.26");
    EXPECT_EQ(isValidFamilyID(families_, &ferroxFc, "01.04.03"), 0);
    EXPECT_EQ(isValidFamilyID(families_, &ferroxFc, "03.00.00"), 2);
    EXPECT_EQ(isValidFamilyID(families_, &ferroxFc, ""), 0);
}

TEST_F(AssignTest, AdapterFfvFollowsTheCardAndTheTable) {
    const struct {
        const char* onCard;
        const char* ffv;
        const char* logLine;
    } cases[] = {
        {"03.00.00", "03.00.00", "Unknown familyID. Accepting as valid = 03.00.00\n"},
        {"01.04.03", "00.00.00", "Invalid familyID FFV entry detected! Resetting to 00.00.00.\n"},
        {"        ", "00.00.00", "FFV read failed! Setting FFV to 00.00.00.\n"},
        {"", "00.00.00", "Null familyID FFV entry detected! Setting to 00.00.00.\n"},
    };
    for (const auto& c : cases) {
        std::vector<AdapterRecord> records(1);
        records[0].deviceId = 0xE200;
        useBoards(ferrox(std::string(R"("ffv": ")") + c.onCard + "\""), records);
        HbaEntry e = ferroxEntry("10.2.315.26");
        assignAdapterFFV(families_, &e);
        EXPECT_EQ(e.ffv, c.ffv) << c.onCard;
        EXPECT_NE(debugText().find(c.logLine), std::string::npos) << c.onCard;
    }
    HbaEntry off = ferroxEntry("10.2.315.26");
    off.ffvSupported = 0;
    off.ffv = "untouched";
    assignAdapterFFV(families_, &off);
    EXPECT_EQ(off.ffv, "untouched");
}

TEST_F(AssignTest, SecondaryEntryReplacesAnInvalidPrimaryOne) {
    std::vector<AdapterRecord> records(1);
    records[0].deviceId = 0xE200;
    useBoards(ferrox(), records);
    HbaEntry e = ferroxEntry("10.2.315.26");
    addVpdEntry(WM_WWPN_PREFIX_COLONS ":00:00:01", "10.2.315.26", "01.04.03", VPD_PRIMARY);
    const VPDEntry* secondary =
        addVpdEntry(WM_WWPN_PREFIX_COLONS ":00:00:01", "10.2.315.26", "03.00.00", VPD_SECONDARY);
    assignFamilyID(families_, softVpd_, &e);
    EXPECT_EQ(e.familyId, "03.00.00");
    EXPECT_EQ(e.inventoryFwVersion, "03.00.00");
    EXPECT_EQ(e.familyEntry, secondary);

    // With no secondary entry the primary one stays pointed at, with the null family.
    softVpd_.entries.clear();
    const VPDEntry* primary =
        addVpdEntry(WM_WWPN_PREFIX_COLONS ":00:00:01", "10.2.315.26", "01.04.03", VPD_PRIMARY);
    HbaEntry f = ferroxEntry("10.2.315.26");
    assignFamilyID(families_, softVpd_, &f);
    EXPECT_EQ(f.familyId, "00.00.00");
    EXPECT_EQ(f.familyEntry, primary);

    HbaEntry stranger = ferroxEntry("10.2.315.27"); // other firmware: no entry matches
    assignFamilyID(families_, softVpd_, &stranger);
    EXPECT_EQ(stranger.familyId, "00.00.00");
    EXPECT_EQ(stranger.familyEntry, nullptr);
    EXPECT_NE(
        debugText().find("Unable to assign FamilyID from file!\nSetting FamilyID to 00.00.00\n"),
        std::string::npos);
}

} // namespace
