// The adapter inventory against the simulated library: versions by board kind, the
// names and their statuses, the Ferrox FC attributes request, answers that overflow,
// and the pure helpers (boot-code format, request statuses, reboot state).
#include "adapter/adapter_environment.h"
#include "adapter/adapter_vpd.h"
#include "adapter/hba_entry.h"
#include "adapter/identify_adapters.h"
#include "common/run_state.h"
#include "inventory/hba_inventory.h"
#include "inventory/management_library.h"
#include "tests/adapter/object_fixture.h"

#include <optional>
#include <string>
#include <vector>

namespace {

// Level-4 boards answer regions with each word's bytes reversed; the names here are
// given as the program must see them.
const char* kLegacyNames = R"("names": {"wwpn": "10:00:00:00:DF:41:00:10", "wwnn": "20:00:00:00:DF:41:00:10"},
    "regions": {"0": "10000000DF41001020000000DF410010", "16": "10000000DF410010")";
const char* kFerroxNames = R"("names": {"wwpn": "10:00:00:10:DF:72:00:20", "wwnn": "20:00:00:10:DF:72:00:20"},
    "regions": {"0": "10000010200072DF10000020200072DF", "16": "10000010200072DF")";

std::string bootRegion(const char* word13LittleEndian) {
    return std::string(R"(, "4": ")") + std::string(104, '0') + word13LittleEndian + "00000000\"";
}

class InventoryTest : public ObjectTest {
  protected:
    void TearDown() override {
        releaseAdapterEnvironment();
        ObjectTest::TearDown();
    }

    // Start-up and identification as the entry runs them, then the inventory into run.
    std::uint32_t inventory(const std::string& boards) {
        writeBoardFile("{\"boards\": [" + boards + "]}");
        if (initAdapterEnvironment("-inv") != 0)
            return 1000;
        AdapterVpd lastVpd;
        identifyAdapters(lastVpd);
        markFerroxMultiFunction(lastVpd);
        return makeHbaList(run);
    }

    static std::string legacy(const std::string& firmware, const std::string& regionsMore,
                              const std::string& more = "") {
        return R"({"pci": {"deviceId": "0xFE00", "subsystemId": "0xFE00"},
                   "revision": {"hardwareId": "0x577", "firmware": ")" + firmware + "\"}, " +
               kLegacyNames + regionsMore + "}" + (more.empty() ? "" : ", " + more) + "}";
    }

    static std::string ferroxFc(const std::string& more) {
        return ferrox(std::string(kFerroxNames) + "}, " + more);
    }

    RunContext run; // a fresh run for every test
};

TEST_F(InventoryTest, VersionsByBoardKind) {
    const std::string thirtyTwo(32, '7');
    ASSERT_EQ(inventory(
                  // 0: legacy FC, boot-code word SB2.100A5 in region 4
                  legacy("ZD2.82A4", bootRegion("152A1100")) + ", " +
                  // 1: legacy FC, empty revision text, no region 4
                  legacy("", "") + ", " +
                  // 2: Ferrox FC; the boot-code text ends at its blank
                  ferroxFc(R"("cntlAttributes": {"texts": ["1.1.21.2 build", "x"], "extra": "E"},
                              "revision": {"firmware": "1.1.21.4"},
                              "firmwareVersions": {"active": "1.1.21.4", "flash": "1.1.22.0"})") +
                  ", " +
                  // 3: Ferrox FC that refuses the probe
                  ferroxFc(R"("faults": [{"opcode": "0x42", "result": 2, "status": 1, "times": 0}])") +
                  ", " +
                  // 4: Ferrox FC whose texts fill their fields without end or blank
                  ferroxFc(R"("cntlAttributes": {"texts": [")" + thirtyTwo + R"(", ")" + thirtyTwo +
                           R"("], "extra": "0123456789ABCDEFGHIJ"},
                           "revision": {"firmware": "1.1.18.0123456789"}, "ffv": "01.01.07")") +
                  ", " +
                  // 5: converged FCoE function (VX4)
                  R"({"pci": {"deviceId": "0x0724"}, "revision": {"firmware": "11.2.1153.13"},
                      "driver": {"interfaceLevel": 4, "features": "0x1200"}, )" +
                  kFerroxNames + "}}"),
              0u);
    struct Expect {
        const char* fw;
        std::string bc;
        std::uint16_t hbaType, ffvSupported, reboot;
    };
    const Expect expected[] = {
        {"ZD282A4", "SB2100A5", 0, 0, 0},
        {"ZD000A0", "NONE", 0, 0, 0},
        {"1.1.21.4", "1.1.21.2", 0, 1, 1},
        {"10.2.315.26", "XX0.00A0", 0, 1, 0},
        {"1.1.18.012345678", std::string(31, '7'), 0, 0, 0},
        {"11.2.1153.13", "0.0.0.0", 8, 1, 0},
    };
    const AdapterList& list = run.adapters;
    ASSERT_EQ(list.size(), std::size(expected));
    for (std::size_t i = 0; i < list.size(); ++i) {
        const HbaEntry& e = list[i];
        EXPECT_EQ(e.adapterNumber, i);
        EXPECT_EQ(e.fwVersion.str(), expected[i].fw) << i;
        EXPECT_EQ(e.bcVersion.str(), expected[i].bc) << i;
        EXPECT_EQ(e.hbaType, expected[i].hbaType) << i;
        EXPECT_EQ(e.ffvSupported, expected[i].ffvSupported) << i;
        EXPECT_EQ(e.adapterInRebootState, expected[i].reboot) << i;
    }
    EXPECT_EQ(list[0].deviceId, 0xFE00u);
    EXPECT_EQ(list[2].cnaFwVersion.release, 21u);
    EXPECT_EQ(list[2].activeFirmwareVersion, "1.1.21.4");
    EXPECT_EQ(list[2].fwOnFlashVersion, "1.1.22.0");
    EXPECT_EQ(list[5].activeFirmwareVersion, "0.0.0.0"); // not a Ferrox FC board
    EXPECT_EQ(list[0].familyId, "00.00.00");
    // The attributes request travels in a data segment and is journaled by its opcode.
    EXPECT_GE(sent("opcode=0x79"), 2);
    const std::string log = debugText();
    EXPECT_NE(log.find("\n[makeHbaList]\n"), std::string::npos);
    EXPECT_NE(log.find("\n" + std::string(63, '#') + "\n"), std::string::npos);
    EXPECT_NE(log.find("Adapter VPD call failed."), std::string::npos);
    EXPECT_NE(log.find("ActiveFirmwareVersion = 1.1.21.4\nFwOnFlashVersion      = 1.1.22.0\n"
                       "adapterInRebootState  = 1\n"),
              std::string::npos);
}

TEST_F(InventoryTest, NamesAndTheirStatuses) {
    struct Case {
        const char* what;
        std::string board;
        std::uint32_t status;
        const char* wwpn;
        const char* wwnn;
        const char* message;
        std::optional<std::uint32_t> portStatus = {}; // the port's own, where it differs
    };
    const char* faultNames = R"("faults": [{"command": "0x02", "result": 2, "status": "0x0F"}])";
    const Case cases[] = {
        {"stored names", legacy("ZD2.82A4", ""), 0, "10000000DF410010", "20000000DF410010",
         "\n  Non-Volatile WWPN: 10000000 DF410010 , WWNN: 20000000 DF410010 "},
        {"level-4 stored names", ferroxFc(R"("revision": {"firmware": "1.1.2.3"})"), 0,
         "10000010DF720020", "20000010DF720020", "\n  Non-Volatile WWPN: 10000010 DF720020 "},
        {"no factory IEEE",
         legacy("ZD2.82A4", R"(, "16": {"absent": true})"), WWN_NAME_MISSING, "0000000000000000",
         "20000000DF410010", "  No Factory IEEE \n  Non-Volatile"},
        {"names unreadable", legacy("ZD2.82A4", "", faultNames), WWN_NAMES_UNREADABLE,
         "10000000DF410010", "0000000000000000",
         "  Factory IEEE: 10000000 DF410010 \n  No Current WWPN and WWNN"},
        {"both: 84 stays", legacy("ZD2.82A4", R"(, "16": {"absent": true})", faultNames),
         WWN_NAME_MISSING, "0000000000000000", "0000000000000000", "No Current WWPN", WWN_NAMES_UNREADABLE},
        {"driver unanswered: names not read",
         legacy("ZD2.82A4", "", R"("faults": [{"call": "DFC_GetDrvInfo", "result": 1}])"), WWN_NAMES_UNREADABLE,
         "10000000DF410010", "0000000000000000", "No Current WWPN and WWNN"},
        {"changed names, region 0 absent",
         legacy("ZD2.82A4", R"(, "0": {"absent": true}, "16": "10000000DF410099")"), 0,
         "10000000DF410099", "20000000DF410010", "\n  Volatile WWPN: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        run = RunContext{};
        EXPECT_EQ(inventory(c.board), c.status);
        ASSERT_FALSE(run.adapters.empty());
        EXPECT_EQ(run.adapters.front().namesStatus, c.portStatus.value_or(c.status));
        EXPECT_EQ(run.adapters.front().wwpn.str(), c.wwpn);
        EXPECT_EQ(run.adapters.front().wwnn.str(), c.wwnn);
        EXPECT_NE(run.message.find(c.message), std::string::npos) << run.message;
        releaseAdapterEnvironment();
    }
}

TEST_F(InventoryTest, NoAdaptersGives17) {
    adapterEnv.boardCount = adapterEnv.totalCount = 0;
    EXPECT_EQ(makeHbaList(run), INVENTORY_NO_ADAPTERS);
    EXPECT_TRUE(run.adapters.empty());
    EXPECT_EQ(run.message, "No Tavrel adapter detected in the system");
}

TEST_F(InventoryTest, AttributesFailuresAndTheirTrace) {
    ASSERT_EQ(inventory(ferroxFc(R"("cntlAttributes": {"texts": ["9.9.9.9"], "status": 1,
                                                        "additional": 167})")),
              0u);
    CntlAddlAttributes out;
    traceSettings.LOG_MODE = TRACE_KEYS_AND_OBJECTS;
    EXPECT_EQ(SC_PerformCommonGetCntlAddlAttributes(0, &out), 15u);
    EXPECT_TRUE(out.texts[0].empty());
    ASSERT_EQ(run.adapters.size(), 1u);
    EXPECT_EQ(run.adapters.front().bcVersion, "XX0.00A0");
    EXPECT_NE(debugText().find("[SC_PerformCommonGetCntlAddlAttributes]Error issuing "
                               "COMMON_GET_CNTL_ADDL_ATTRIBUTES: dfcStatus x0002, rsp status "
                               "x0001, rsp additionalStatus x00a7\n"),
              std::string::npos);
}

TEST(BootCodeVersion, Formats) {
    struct Case {
        std::uint32_t word, deviceId;
        const char* text;
    };
    const Case cases[] = {
        {0x00112A15, 0, "SB2.100A5"},
        {0x00002A15, 0, "XX2.100A5"},  // type 0
        {0x00F82A15, 0, "XX2.100A5"},  // above the table
        {0x000D2A15, 0, "XX2.100A5"},  // inside the range, not in the table
        {0x00C52A15, 0, "BE2.100A5"},  // 197
        {0x00E750DD, 0, "ZU5.03A13"},
        {0x001130F0, 0, "SB3.03"},     // dist_type 3, dist_cnt 0: no suffix
        {0x001130F2, 0, "SB3.03X2"},
        {0x00113000, 0xF180, "FB3.00N0"},
    };
    for (const Case& c : cases) {
        FixedText<32> out;
        formatBootCodeVersion(c.word, c.deviceId, out);
        EXPECT_EQ(out.str(), c.text) << std::hex << c.word;
    }
}

TEST(SliCommandResult, StatusTable) {
    struct Case {
        std::uint32_t r;
        std::uint16_t m;
        std::uint8_t s, x;
        std::uint32_t result;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0},      {0, 0, 1, 5, 148},      {0, 0, 1, 103, 0},
        {1, 0, 0, 0, 28},     {7, 1, 126, 0, 28},     {2, 0x4001, 1, 103, 0},
        {2, 1, 126, 0, 60},   {2, 1, 1, 167, 15},     {2, 1, 2, 30, 251},
        {2, 1, 1, 28, 204},   {2, 1, 3, 9, 248},      {2, 1, 0, 0, 28},
        {2, 0, 0, 0, 28},     {2, 0x4001, 0, 0, 28},  {2, 0x0003, 0, 0, 28},
        {2, 0x0003, 1, 5, 28},
    };
    for (const Case& c : cases)
        EXPECT_EQ(sliCommandResult(c.r, c.m, c.s, c.x), c.result)
            << c.r << " " << c.m << " " << int(c.s) << " " << int(c.x);
}

TEST(RebootState, ComparesFourNumbers) {
    struct Case {
        const char* active;
        const char* flash;
        std::uint16_t reboot;
    };
    const Case cases[] = {
        {"1.1.21.4", "1.1.21.4", 0}, {"1.1.21.4", "1.1.22.0", 1}, {"1.1.21.4", "1.1.21", 0},
        {"1.1.21.4", "1.1.21.4.5", 0}, {"1.1.21.4", "1.1..4", 0}, {"1.1.21.4", "1.1.21.x", 0},
        {"", "1.1.21.4", 0}, {"01.1.21.4", "1.1.21.4", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(versionsNeedReboot(c.active, c.flash), c.reboot) << c.active << " " << c.flash;
}

TEST_F(InventoryTest, ManagementLibraryAlwaysFails) {
    traceSettings.LOG_MODE = TRACE_VPD_TREE;
    EXPECT_EQ(writeKovaFfvName(3, "02.01.01"), KOVA_REQUEST_FAILED);
    char value[8] = "x";
    EXPECT_EQ(get_property_val(3, 4, value, sizeof value), KOVA_REQUEST_FAILED);
    EXPECT_STREQ(value, "");
    EXPECT_EQ(get_last_status(), KOVA_LIBRARY_ABSENT);
    EXPECT_EQ(kovaResult(14), KOVA_REQUEST_FAILED_14);
    std::uint8_t vpd[1024];
    std::uint32_t length = 5;
    EXPECT_EQ(readKovaFunctionVpd(0, vpd, 1023, &length), KOVA_VPD_NO_ROOM);
    EXPECT_EQ(readKovaFunctionVpd(0, vpd, sizeof vpd, &length), KOVA_NOT_PRESENT);
    EXPECT_EQ(length, 0u);
    EXPECT_EQ(debugText(), "get_node_tag:     parent=3, name=FFVName, type=2: ERROR: status=2\n"
                           "get_property_val: parent=3, tag=4:  ERROR: status=2\n"
                           "get_last_status: ERROR: status=2\n");
}

} // namespace
