// Start-up and identification against the simulated library: statuses, driver
// classification, PCI identity, factory address, hardware id, OEM marker, VPD model
// names and serial numbers, the Ferrox multi-function pass, and 256 boards.
#include "adapter/adapter_vpd.h"
#include "adapter/board_family.h"
#include "adapter/identify_adapters.h"
#include "adapter/kova_functions.h"
#include "adapter/regions.h"
#include "common/run_state.h"
#include "tests/adapter/sim_fixture.h"
#include "tests/testkit/fixture_names.h"

#include <algorithm>
#include <sstream>

namespace {

int g_driverRuns = 0;
int countingDriver(int, char**) {
    ++g_driverRuns;
    return 17;
}

class DiscoveryTest : public SimTest {
  protected:
    void TearDown() override {
        releaseAdapterEnvironment();
        SimTest::TearDown();
    }

    // Runs start-up and, when it succeeds, the four table builders, as the entry does.
    int discover(const std::string& boards, std::vector<std::string> args = {"-inv"}) {
        writeBoardFile("{\"boards\": [" + boards + "]}");
        std::string commandLine;
        for (const std::string& a : args)
            commandLine += (commandLine.empty() ? "" : " ") + a;
        args.insert(args.begin(), "winmarlo");
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        g_driverRuns = 0;
        int status = initAdapterEnvironment(commandLine);
        // Without boards the entry goes on to the run driver at once.
        if (status == ADAPTER_ENV_NO_BOARDS) {
            status = countingDriver(int(argv.size()), argv.data());
        } else if (status == 0) {
            EXPECT_EQ(mergeKovaConvergedFunctions(), KOVA_NOT_AVAILABLE);
            AdapterVpd lastVpd;
            EXPECT_EQ(identifyAdapters(lastVpd), 0);
            EXPECT_EQ(markFerroxMultiFunction(lastVpd), 0);
            EXPECT_EQ(matchKovaConvergedFunctions(), KOVA_NOT_AVAILABLE);
        }
        return status;
    }

    const AdapterRecord& at(std::uint32_t b) { return adapterEnv.table.at(b); }
};

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1))
        ++n;
    return n;
}

TEST_F(DiscoveryTest, StartUpStatuses) {
    EXPECT_EQ(discover(R"({}, {}, {"pci": {"result": 5}}, {})"), 64);

    EXPECT_EQ(discover(""), 17); // no boards: the run driver's status
    EXPECT_EQ(g_driverRuns, 1);
}

TEST_F(DiscoveryTest, DriverClassification) {
    struct Case {
        const char* driver;
        std::uint32_t payload, level4, fcoe, hbaType;
    };
    const Case cases[] = {
        {R"({"kind": 3, "version": "2.00A8"})", 108, 0, 0, 0},
        {R"({"kind": 3, "version": "2.00A9"})", 256, 0, 0, 0},
        {R"({"kind": 3, "version": "2.00A10"})", 256, 0, 0, 0},
        {R"({"kind": 3, "version": "2.01A0"})", 2048, 0, 0, 0},
        {R"({"kind": 3, "version": "2.01A0", "result": 2})", 2048, 0, 0, 0},
        {R"({"kind": 2, "version": "2.01A0"})", 108, 0, 0, 0},
        {R"({"kind": 21, "interfaceLevel": 4, "features": "0x1200"})", 108, 1, 1, 0x28},
        {R"({"kind": 16, "interfaceLevel": 3, "features": "0x1000"})", 108, 0, 0, 0},
        {R"({"kind": 7, "interfaceLevel": 4, "features": "0x200"})", 0, 0, 0, 0},
        {R"({"kind": 3, "interfaceLevel": 4, "result": 5})", 0, 0, 0, 0},
    };
    std::string boards;
    for (const Case& c : cases)
        boards += std::string(boards.empty() ? "" : ",") + R"({"driver": )" + c.driver + "}";
    ASSERT_EQ(discover(boards), 0);
    for (std::uint32_t b = 0; b < std::size(cases); ++b) {
        EXPECT_EQ(at(b).mailboxPayload, cases[b].payload) << cases[b].driver;
        EXPECT_EQ(at(b).interfaceLevel4, cases[b].level4) << cases[b].driver;
        EXPECT_EQ(at(b).fcoeDriver, cases[b].fcoe) << cases[b].driver;
        EXPECT_EQ(at(b).HBAType, cases[b].hbaType) << cases[b].driver;
    }
}

TEST_F(DiscoveryTest, PciIdentityAndFactoryAddress) {
    ASSERT_EQ(discover(R"(
        {"pci": {"bus": 5, "device": 35, "function": 1, "vendorId": "0x10DF", "deviceId": "0xFE00",
                 "subsystemVendorId": "0x103C", "subsystemId": "0xFE0A", "headerType": 128},
         "regions": {"16": ")" WM_WWPN_PREFIX R"(112233"}},
        {"pci": {"deviceId": "0x0724"}, "driver": {"kind": 16, "interfaceLevel": 4},
         "regions": {"16": "10000000332211)" WM_PREFIX_BYTE R"("}},
        {"pci": {"deviceId": "0xE268"}, "regions": {"16": "1000"}},
        {"pci": {"bus": 9, "deviceId": "0xE200"}})"),
              0);
    EXPECT_EQ(at(0).bus, 5u);
    EXPECT_EQ(at(0).device, 3u); // the slot number keeps five bits
    EXPECT_EQ(at(0).function, 1);
    EXPECT_EQ(at(0).deviceId, 0xFE00);
    EXPECT_EQ(at(0).subsystemVendorId, 0x103C);
    EXPECT_EQ(at(0).subsystemId, 0xFE0A);
    EXPECT_NE(at(0).flags & ADAPTER_FLAG_MULTI_FUNCTION, 0u);
    EXPECT_EQ(at(0).factoryIeee[0], 0x10000000u);
    EXPECT_EQ(at(0).factoryIeee[1], (WM_PREFIX_BYTE_VALUE << 24) | 0x112233u);
    // A level-4 board's address arrives word-reversed and is turned round.
    EXPECT_EQ(at(1).factoryIeee[0], 0x00000010u);
    EXPECT_EQ(at(1).factoryIeee[1], (WM_PREFIX_BYTE_VALUE << 24) | 0x112233u);
    EXPECT_EQ(at(1).HBAType, 0x28u);
    EXPECT_EQ(at(2).HBAType, 0x28u);              // Ferrox FCoE device
    EXPECT_EQ(at(2).factoryIeee[0], 0x10000000u); // a short region gives what it has
    EXPECT_EQ(at(2).factoryIeee[1], 0u);
    EXPECT_EQ(at(3).factoryIeee[0], 0u); // region absent
    EXPECT_EQ(at(3).flags & ADAPTER_FLAG_MULTI_FUNCTION, 0u);
}

TEST_F(DiscoveryTest, IdentifiesHardwareOemMarkerModelAndSerial) {
    const std::string vg1014 =
        R"("vpd": {"fields": [["VG", "XX1014"], ["SN", "ab-1"], ["V2", "TV-NAMED"]]})";
    ASSERT_EQ(
        discover(
            // 0: classic board, VPD name and OEM marker
            "{\"revision\": {\"hardwareId\": \"0x577\"}, \"pci\": {\"deviceId\": \"0xFE00\"}, " +
            vg1014 + "}," +
            // 1: "1014" at the front is no OEM marker
            R"({"revision": {"hardwareId": "0x1004"}, "pci": {"deviceId": "0xF100"},
                      "vpd": {"fields": [["VG", "1014XX"], ["V2", "A"], ["V2", "SECOND"]]}},)"
            // 2: a hardware id without the OEM check
            "{\"revision\": {\"hardwareId\": \"0x20\"}, " +
            vg1014 + "}," +
            // 3: level-4 VX2 FCoE: VPD name without the VPD flag
            R"({"pci": {"deviceId": "0x0704"}, "driver": {"kind": 16, "interfaceLevel": 4},
                      "revision": {"hardwareId": "0x364"},
                      "vpd": {"wordSwapped": true, "fields": [["SN", "vx2sn"], ["V2", "VX2-NAME"]]}},)"
            // 4: serial without a model name counts for nothing
            R"({"revision": {"hardwareId": "0x577"}, "pci": {"deviceId": "0xFE00"},
                      "vpd": {"fields": [["SN", "LOST"]]}},)"
            // 5: read revision fails
            R"({"faults": [{"command": "0x11", "status": "0x0005"}]})"),
        0);
    struct Expect {
        std::uint16_t hardwareId, oemVpd;
        const char* model;
        bool fromVpd;
        const char* serial;
    };
    const Expect expected[] = {
        {0x577, 1, "TV-NAMED", true, "AB-1"}, {0x1004, 0, "SECOND", true, "N/A"},
        {0x20, 0, "TV-NAMED", true, "AB-1"},  {0x364, 0, "VX2-NAME", false, "VX2SN"},
        {0x577, 0, "TV-L7000", false, "N/A"}, {0, 0, "Unknown", false, "N/A"},
    };
    for (std::uint32_t b = 0; b < std::size(expected); ++b) {
        SCOPED_TRACE(b);
        EXPECT_EQ(at(b).hardwareId, expected[b].hardwareId);
        EXPECT_EQ(at(b).oemVpd, expected[b].oemVpd);
        EXPECT_EQ(at(b).modelName, expected[b].model);
        EXPECT_EQ((at(b).flags & ADAPTER_FLAG_MODEL_FROM_VPD) != 0, expected[b].fromVpd);
        EXPECT_EQ(at(b).serialNumber, expected[b].serial);
    }
}

TEST_F(DiscoveryTest, SlashCTurnsVpdModelNamesOffEvenInsideAPath) {
    ASSERT_EQ(discover(R"({"revision": {"hardwareId": "0x577"}, "pci": {"deviceId": "0xFE00"},
                          "vpd": {"fields": [["SN", "s1"], ["V2", "FROM-VPD"]]}})",
                       {"-inv", "-c", "D:/conf"}),
              0);
    EXPECT_TRUE(adapterEnv.noVpdModelNames);
    EXPECT_EQ(at(0).modelName, "TV-L7000");
    EXPECT_EQ(at(0).flags & ADAPTER_FLAG_MODEL_FROM_VPD, 0u);
    EXPECT_EQ(at(0).serialNumber, "S1");
}

// Ferrox FC VPD lives in the board's object "/vpd/fc_pf.vpd": 140 header bytes, the
// VPD (model name "X" and the serial), 4 trailing bytes.
std::string ferroxVpdObject(const std::string& sn) {
    std::ostringstream hex;
    const auto put = [&hex](std::uint8_t b) {
        hex << "0123456789ABCDEF"[b >> 4] << "0123456789ABCDEF"[b & 15];
    };
    hex << std::string(2 * 140, '0');
    const int n = int(sn.size());
    for (int b : {0x82, 1, 0, int('F'), 0x90, 7 + n, 0, int('V'), int('2'), 1, int('X'), int('S'),
                  int('N'), n})
        put(std::uint8_t(b));
    for (char c : sn)
        put(std::uint8_t(c));
    hex << "00000000";
    return R"("objects": {"/vpd/fc_pf.vpd": ")" + hex.str() + "\"}";
}

TEST_F(DiscoveryTest, FerroxMultiFunctionFromSiblingsWithTheSameSerial) {
    const auto ferrox = [](const char* pci, const std::string& serial) {
        return std::string(
                   R"({"driver": {"kind": 21, "interfaceLevel": 4, "features": "0x1000"},)") +
               R"("pci": )" + pci + ", " + ferroxVpdObject(serial) + "}";
    };
    const std::string boards =
        ferrox(R"({"bus": 7, "function": 0, "deviceId": "0xE200", "subsystemId": "0x1"})",
               "fx1") +
        "," +
        ferrox(R"({"bus": 7, "function": 1, "deviceId": "0xE200", "subsystemId": "0x1"})",
               "FX1") +
        "," +
        ferrox(R"({"bus": 8, "deviceId": "0xE200", "subsystemId": "0x1", "headerType": 128})",
               "FX1") +
        "," +
        ferrox(R"({"bus": 7, "function": 2, "deviceId": "0xE200", "subsystemId": "0x1"})",
               "FX3");

    // "/c" keeps the catalogue names, so the pass runs.
    ASSERT_EQ(discover(boards, {"-inv", "/c"}), 0);
    EXPECT_EQ(at(0).serialNumber, "FX1");
    const bool multi[] = {true, true, false, false};
    const char* names[] = {"TV-F2002", "TV-F2002", "TV-F2000", "TV-F2000"};
    for (std::uint32_t b = 0; b < 4; ++b) {
        EXPECT_EQ((at(b).flags & ADAPTER_FLAG_MULTI_FUNCTION) != 0, multi[b]) << b;
        EXPECT_EQ(at(b).modelName, names[b]) << b;
    }

    // Without "/c" the last board's VPD model name leaves every flag as the PCI
    // header set it.
    releaseAdapterEnvironment();
    ASSERT_EQ(discover(boards), 0);
    EXPECT_EQ(at(0).flags & ADAPTER_FLAG_MULTI_FUNCTION, 0u);
    EXPECT_NE(at(2).flags & ADAPTER_FLAG_MULTI_FUNCTION, 0u);
    EXPECT_EQ(at(0).modelName, "X");
}

} // namespace

namespace {

TEST_F(DiscoveryTest, ReadAdapterVpdByBoardKind) {
    const std::string journal = journalOn();
    const std::string fields = R"("vpd": {"fields": [["SN", "S"], ["V2", "N"]]})";
    ASSERT_EQ(
        discover(
            // 0: VX FCoE, level 4: the dump call
            R"({"pci": {"deviceId": "0x0724"}, "driver": {"kind": 16, "interfaceLevel": 4}, )" +
            fields + "}," +
            // 1: VX NIC: only the management library could serve it
            R"({"pci": {"deviceId": "0x0720"}, )" + fields + "}," +
            // 2: VX FCoE function below level 4 whose region is absent
            R"({"pci": {"deviceId": "0x0704"}},)" +
            // 3: Arvo whose parameter triple is unavailable: no region read
            R"({"pci": {"deviceId": "0xF100"}, "revision": {"hardwareId": "0x1004"},
                      "configTriple": "unavailable", )" +
            fields + "}," +
            // 4: Ferrox FC whose VPD object is missing: the object store's status
            R"({"pci": {"deviceId": "0xE200"},
                      "driver": {"kind": 21, "interfaceLevel": 4, "features": "0x1000"}},)" +
            // 5: a dump that claims more than the buffer holds
            R"({"pci": {"deviceId": "0x0724"}, "driver": {"kind": 16, "interfaceLevel": 4},
                      "regions": {"14": {"hex": "8201005890", "claimLength": 2000}}},)" +
            // 6: values longer than the summary's fields are cut
            R"({"vpd": {"fields": [["SN", "0123456789012345678901234567890123456789"],
                                         ["V4", "abcdefghijklmnopqrstuvwxyz"], ["V2", "n"]]}})"),
        0);
    struct Case {
        std::uint32_t status;
        const char* message; // the failure text's status, or null on success
    };
    const Case cases[] = {{0, nullptr},
                          {15, "RM_STATUS = 72"},
                          {141, "RM_STATUS = 2"},
                          {15, "RM_STATUS = 231"},
                          {15, "RM_STATUS = 3"},
                          {15, "RM_STATUS = 7"},
                          {0, nullptr}};
    for (std::uint32_t b = 0; b < std::size(cases); ++b) {
        AdapterVpd vpd;
        vpd.failure = "stale";
        vpd.v2Text = "stale";
        EXPECT_EQ(readAdapterVpd(b, vpd), cases[b].status) << b;
        if (cases[b].message == nullptr) {
            EXPECT_EQ(vpd.present, 1u);
            continue;
        }
        EXPECT_TRUE(vpd.v2Text.empty()) << b;
        const std::string expected = "Attempt to read VPD information fails. Adapter #" +
                                     std::to_string(b + 1) + " - " + cases[b].message;
        EXPECT_EQ(vpd.failure, expected) << b;
    }
    AdapterVpd vpd;
    ASSERT_EQ(readAdapterVpd(6, vpd), 0u);
    EXPECT_EQ(vpd.snText, "0123456789012345678901234567890");
    EXPECT_EQ(vpd.v4Text, "abcdefghijklmnopqrs");

    const std::string lines = testkit::readText(journal);
    EXPECT_NE(lines.find("DFC_IssueDumpMBox board=0 "), std::string::npos);
    EXPECT_EQ(lines.find("DFC_IssueMboxWithRetryEx board=3 "), std::string::npos);
}

TEST_F(DiscoveryTest, RegionsThatClaimMoreThanAskedNeverOverflow) {
    ASSERT_EQ(discover(R"(
        {"regions": {"4": {"hex": "0102030405060708", "claimLength": 4000}, "20": {"absent": true}}},
        {"driver": {"kind": 21, "interfaceLevel": 4},
         "regions": {"4": {"hex": "0102030405060708", "claimLength": 4000}, "20": "4142434445464748FFFF"}},
        {"revision": {"hardwareId": "0x577"}, "pci": {"deviceId": "0xFE00"},
         "regions": {"14": {"hex": "82010046900900564706585831303134", "claimLength": 2000}}})"),
              0);
    for (std::uint32_t board : {0u, 1u}) {
        std::uint8_t buffer[24];
        std::fill(std::begin(buffer), std::end(buffer), std::uint8_t(0xEE));
        std::uint32_t length = 16;
        ASSERT_EQ(readConfigRegion(board, 4, 0, length, buffer), 0u);
        EXPECT_LE(length, 16u) << board;
        EXPECT_EQ(buffer[7], 8) << board;
        for (std::size_t i = 16; i < sizeof buffer; ++i)
            ASSERT_EQ(buffer[i], 0xEE) << "board " << board << " byte " << i;

        std::uint8_t bootCode[kBootCodeRegionBytes];
        EXPECT_EQ(readBootCodeRegion(board, bootCode), 0u);
        EXPECT_EQ(bootCode[0], 1);
    }
    std::uint8_t ffv[kRegion20Bytes];
    EXPECT_EQ(readConfigRegion20(0, ffv), REGION20_READ_FAILED);
    ASSERT_EQ(readConfigRegion20(1, ffv), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(ffv), 8), "ABCDEFGH");
    // A region 14 that delivers past 1024 bytes is no OEM marker, whatever it holds.
    EXPECT_EQ(at(2).oemVpd, 0);
}

TEST_F(DiscoveryTest, EnumerationCallsByBoardCount) {
    const std::string journal = journalOn();
    ASSERT_EQ(discover("{}, {}, {}"), 0);
    EXPECT_EQ(count(testkit::readText(journal), "DFC_InitDiagEnv"), 3u);
}

TEST_F(DiscoveryTest, EnumerationThatChangesItsCountEndsStartUp) {
    ASSERT_EQ(useBoards("{}, {}, {}"), 3u);
    // A library that reports three boards twice and then fills only two entries.
    static int calls;
    calls = 0;
    const auto saved = dfc.DFC_InitDiagEnv;
    dfc.DFC_InitDiagEnv = [](void*, std::uint32_t) -> std::uint32_t { return ++calls <= 2 ? 3u : 2u; };
    const int status = initAdapterEnvironment("-inv");
    dfc.DFC_InitDiagEnv = saved;
    EXPECT_EQ(status, 63);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(adapterEnv.message, "DFC_InitDiagEnv call error");
}

TEST_F(DiscoveryTest, Discovers256Boards) {
    std::ostringstream boards;
    for (int i = 0; i < 256; ++i) {
        boards
            << (i == 0 ? "" : ",") << R"({"pci": {"bus": )" << i / 2 << R"(, "function": )" << i % 2
            << R"(, "deviceId": "0xFE00", "subsystemId": "0xFE00"}, "revision": {"hardwareId": "0x577"},
               "regions": {"16": ")" WM_WWPN_PREFIX R"(000)"
            << std::hex << (0x100 + i) << std::dec << R"("},
               "vpd": {"fields": [["SN", "sn)"
            << i << R"("])" << (i % 2 == 0 ? R"(, ["V2", "TV-L7002"])" : "") << "]}}";
    }
    const std::string journal = journalOn();
    ASSERT_EQ(discover(boards.str()), 0);
    EXPECT_EQ(count(testkit::readText(journal), "DFC_InitDiagEnv"), 2u); // no third call at 256
    ASSERT_EQ(adapterEnv.boardCount, 256u);
    for (std::uint32_t b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        EXPECT_EQ(at(b).bus, b / 2);
        EXPECT_EQ(at(b).hardwareId, 0x577);
        EXPECT_EQ(at(b).factoryIeee[1], ((WM_PREFIX_BYTE_VALUE << 24) | 0x100u) + b);
        EXPECT_EQ(at(b).modelName, "TV-L7002"); // from the VPD, or by the partner function
        EXPECT_EQ(at(b).serialNumber, b % 2 == 0 ? "SN" + std::to_string(b) : std::string("N/A"));
    }
    EXPECT_FALSE(isValidBoard(256));
}

TEST_F(DiscoveryTest, DemoBoardsDiscoverWithSerialsAndNames) {
    platform::setEnv("DFCSIM_BOARDS", WINMARLO_SOURCE_DIR "/demo/boards.json");
    platform::setEnv("DFCSIM_TIMING", "off"); // the demo boards' latencies
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(initAdapterEnvironment("-inv"), 0);
    AdapterVpd lastVpd;
    identifyAdapters(lastVpd);
    markFerroxMultiFunction(lastVpd);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(adapterEnv.boardCount, 8u);
    EXPECT_EQ(at(0).serialNumber, "TV7A100231");
    EXPECT_EQ(at(0).modelName, "TV-L7002");
    EXPECT_EQ(at(0).hardwareId, 0x577);
    EXPECT_EQ(at(5).serialNumber, "TVX4D120553");
    EXPECT_EQ(at(5).modelName, "TV-X43001");
    EXPECT_EQ(at(5).factoryIeee[0], 0x10000090u);
    EXPECT_EQ(at(7).serialNumber, "TVA1300877");
    EXPECT_EQ(at(7).modelName, "TV-A1101");
    EXPECT_EQ(at(7).hardwareId, 0x1004);
    for (std::uint32_t b = 0; b < 8; ++b)
        EXPECT_FALSE(at(b).modelName.empty()) << b;
}

TEST(DemoRun, InventoryOfTheDemoPackageListsEverySupportedAdapter) {
    testkit::TempDir dir;
    const std::string boards = dir.file("boards.json");
    testkit::writeText(boards, testkit::readText(WINMARLO_SOURCE_DIR "/demo/boards.json"));
    std::filesystem::create_directories(dir.file("config"));
    testkit::writeText(dir.file("config") + platform::kPathSeparator + "demo-site.ini",
                       testkit::readText(WINMARLO_SOURCE_DIR "/demo/config/demo-site.ini"));
    platform::setEnv("DFCSIM_BOARDS", boards);
    const testkit::RunResult r = testkit::runProgram({"-inv", "-o", "-g", "-c", "config"}, dir.path());
    platform::unsetEnv("DFCSIM_BOARDS");
    EXPECT_EQ(r.status, 0) << r.output;
    std::string error;
    const auto root = testkit::parseXml(testkit::readText(dir.file("inventory.xml")), &error);
    ASSERT_NE(root, nullptr) << error;
    EXPECT_EQ(root->name, "SVMInventory");
    const auto devices = root->all("Device");
    EXPECT_EQ(devices.size(), 6u); // the VX4 card is not in the package
    for (const auto* device : devices) {
        EXPECT_EQ(device->all("Application").size(), 2u);
        EXPECT_NE(device->attributes.at("wwpn"), "0000000000000000");
        EXPECT_FALSE(device->attributes.at("display").empty());
    }
    const std::string log = testkit::readText(dir.file("debug.log"));
    EXPECT_NE(log.find("\n[Initial HBA Configuration]\nHBA=0; MODEL=TV-L7002;"), std::string::npos);
    EXPECT_NE(log.find("Return Status = 0"), std::string::npos);
}

struct InventoryStatusCase {
    const char* name;
    std::string config; // "" for no configuration file at all
    std::vector<std::string> extra;
    int status;
    std::size_t devices;
};

std::string entryFor(const char* device, const char* subsystem, const char* family = "02.01.01") {
    return std::string("pci_id=") + device + "\nvendor_id=0x10DF\nsubsys_id=" + subsystem +
           "\nsubven_id=0x10DF\nfamily_id=" + family + "\n";
}

// The inventory statuses on the demo boards, each with a small package of its own.
TEST(DemoRun, InventoryStatuses) {
    const std::string nic = entryFor("0x0720", "0x0720");
    const std::string legacy = entryFor("0xFE00", "0xFE00", "01.04.03");
    const InventoryStatusCase cases[] = {
        {"every listed device complete", legacy, {}, 0, 2},
        {"some devices incomplete", legacy + nic, {}, 5, 3},
        {"every device incomplete", nic, {}, 3, 1},
        {"selection that hits", legacy, {"-wwn", "10:00:00:00:df:41:00:11"}, 0, 1},
        {"selection that misses", legacy, {"-wwn", "10000000DF41FFFF"}, 3, 0},
        {"no adapter in the package", entryFor("0xF112", "0xF112"), {}, 6, 0},
        {"no valid entry", "pci_id=0xFE00\nvendor_id=zz\n", {}, 10, 0},
        {"no configuration file", "", {}, 9, 0},
    };
    for (const InventoryStatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        const std::string boards = dir.file("boards.json");
        testkit::writeText(boards, testkit::readText(WINMARLO_SOURCE_DIR "/demo/boards.json"));
        std::filesystem::create_directories(dir.file("config"));
        if (!c.config.empty())
            testkit::writeText(dir.file("config") + platform::kPathSeparator + "site.ini", c.config);
        std::vector<std::string> args{"-inv", "-o", "-g", "-c", "config"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        platform::setEnv("DFCSIM_BOARDS", boards);
        const testkit::RunResult r = testkit::runProgram(args, dir.path());
        platform::unsetEnv("DFCSIM_BOARDS");
        EXPECT_EQ(r.status, c.status) << r.output;
        std::string error;
        const auto root = testkit::parseXml(testkit::readText(dir.file("inventory.xml")), &error);
        ASSERT_NE(root, nullptr) << error;
        EXPECT_TRUE(testkit::xmllintAccepts(dir.file("inventory.xml")));
        EXPECT_EQ(root->all("Device").size(), c.devices);
    }
}

} // namespace
