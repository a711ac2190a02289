// Execution runs end to end: the built program, the real download engine and the
// simulated adapters, each case with a small board set and package of its own. The
// documents are parsed, the outcome codes and exit statuses compared, and the rollback
// companion's marker file tells whether it ran.
#include "platform/platform.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kSep = platform::kPathSeparator;

// A port of a legacy Fibre Channel card (family 0xFE00) running ZD2.80A2 with boot code
// ZU503A13; its VPD lists the demo images' ids (T7:E1 firmware, T3:E7 boot code).
std::string legacyBoard(int function, const std::string& extra = "") {
    const std::string n = std::to_string(function);
    return R"({"name": "legacy)" + n + R"(", "pci": {"bus": 4, "function": )" + n +
           R"(, "deviceId": "0xFE00", "subsystemId": "0xFE00", "headerType": 128},
  "driver": {"kind": 3, "interfaceLevel": 0}, "revision": {"hardwareId": "0x577", "firmware": "ZD2.80A2"},
  "names": {"wwpn": "10:00:00:00:DF:41:00:1)" +
           n + R"("},
  "vpd": {"identifier": "Tavrel TV-L7002", "fields": [["SN", "tv7a100231"], ["V1", "Tavrel TV-L7002 adapter"],
                                                      ["V2", "TV-L7002"], ["V3", "T7:E1 T3:E7"]]},
  "regions": {"0": "10000000DF41001)" +
           n + R"(20000000DF41001)" + n + R"(",
              "4": "00000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000000DD50E70000000000",
              "16": "10000000DF41001)" +
           n + R"(", "20": "0000000000000000"})" + extra + "}";
}

// A port of a FerroxFC card (E200, subsystem E205) on bus 7 running 11.0.270.18;
// the ports of one card share its firmware object, texts and family value.
std::string ferroxBoard(int function, const std::string& extra = "",
                        const std::string& firmware = "11.0.270.18") {
    const std::string n = std::to_string(function);
    return R"({"name": "ferrox)" + n + R"(", "card": "e200", "pci": {"bus": 7, "function": )" + n +
           R"(, "deviceId": "0xE200", "subsystemId": "0xE205", "headerType": 128},
  "driver": {"kind": 21, "version": "12.4.216.1", "interfaceLevel": 4, "features": "0x1000"},
  "revision": {"firmware": ")" +
           firmware + R"("}, "names": {"wwpn": "10:00:00:10:DF:72:00:2)" + n + R"("},
  "regions": {"0": "1000001020007)" +
           n + R"(DF1000002020007)" + n + R"(DF", "16": "1000001020007)" + n +
           R"(DF", "20": "0000000000000000"},
  "cntlAttributes": {"texts": ["12.4.210.4", "12.4.210.4", "0.0.0.0", "0.0.0.0"]},
  "firmwareVersions": {"active": ")" +
           firmware + R"(", "flash": ")" + firmware + R"("},
  "prgChangeStatus": 2)" +
           extra + "}";
}

// The function of a VX4 converged card, running firmware the update refuses.
std::string vx4Board() {
    return R"({"name": "vx4", "pci": {"bus": 12, "function": 2, "deviceId": "0x0724", "subsystemId": "0x0724",
  "headerType": 128}, "driver": {"kind": 16, "interfaceLevel": 4, "features": "0x1200"},
  "revision": {"firmware": "10.2.222.14"}, "names": {"wwpn": "10:00:00:90:DF:4C:00:40"},
  "regions": {"0": "9000001040004CDF9000002040004CDF", "16": "9000001040004CDF", "20": "0000000000000000"}})";
}

std::string boardSet(const std::vector<std::string>& boards) {
    std::string text = "{\"boards\": [";
    for (std::size_t i = 0; i < boards.size(); ++i)
        text += (i != 0 ? ",\n" : "\n") + boards[i];
    return text + "]}\n";
}

std::string entry(const char* device, const char* subsystem, const char* family) {
    return std::string("pci_id=") + device + "\nvendor_id=0x10DF\nsubsys_id=" + subsystem +
           "\nsubven_id=0x10DF\nfamily_id=" + family + "\n";
}
const std::string kLegacyEntry = entry("0xFE00", "0xFE00", "01.04.03");
const std::string kFerroxEntry = entry("0xE200", "0xE205", "02.01.01");

// The payload set of the demo package: legacy ZF282A4 and ZU503X3, Ferrox 11.2.216.9
// (the build string may carry a simulator mark).
void writePackage(const std::string& dir, const std::string& ferroxBuild = "11.2.216.9 test") {
    std::filesystem::create_directories(dir);
    GrpImageLayout grp;
    grp.buildString = ferroxBuild;
    ASSERT_EQ(writeImageFile(dir + kSep + "ferrox.grp", buildGrpImage(grp)), 0);
    PrgImageLayout firmware;
    firmware.versionWord = 0x07E12894;
    ImageBytes body(4, 0);
    const ImageBytes prg = buildPrgImage(firmware);
    body.insert(body.end(), prg.begin(), prg.end());
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    AifRecordLayout record;
    record.kind = kDwcKind;
    record.versionWord = firmware.versionWord;
    record.body = body;
    ASSERT_EQ(writeImageFile(dir + kSep + "legacy.all", buildAllImage({{record}, false})), 0);
    PrgImageLayout boot;
    boot.versionWord = 0x03E750F3;
    boot.rom = PciRomLayout{};
    boot.rom->deviceId = 0xFE00;
    ASSERT_EQ(writeImageFile(dir + kSep + "boot.prg", buildPrgImage(boot)), 0);
    std::filesystem::copy_file(WINMARLO_ROLLBACK_COMPANION, dir + kSep + "UpdRollBack.exe",
                               std::filesystem::copy_options::overwrite_existing);
}

// One run folder: boards, configuration and package; the program runs inside it.
class ExecutionRun {
  public:
    ExecutionRun(const std::vector<std::string>& boards, const std::string& config,
                 const std::string& payloadDir = "common")
        : payloadDir_(payloadDir) {
        testkit::writeText(dir_.file("boards.json"), boardSet(boards));
        std::filesystem::create_directories(dir_.file("config"));
        if (!config.empty())
            testkit::writeText(dir_.file("config") + kSep + "site.ini", config);
        // Under Wine the soft VPD files live in the prefix, whatever the environment
        // says: start every case without them, so no family ID leaks in.
        for (const char* base : {"C:\\Program Files", "C:\\Program Files (x86)"})
            if (platform::kIsWindows)
                std::filesystem::remove(std::string(base) + "\\Tavrel\\marlo\\tavCNAFID.cfg");
    }
    std::string payloads() const { return dir_.file(payloadDir_); }
    int run(const char* mode) {
        platform::setEnv("DFCSIM_BOARDS", dir_.file("boards.json"));
        const testkit::RunResult r =
            testkit::runProgram({mode, "-o", "-g", "-c", "config", "-p", payloadDir_}, dir_.path());
        platform::unsetEnv("DFCSIM_BOARDS");
        output = r.output;
        const std::string name = std::string(mode) == "-inv" ? "inventory.xml" : "execution.xml";
        std::string error;
        document = testkit::parseXml(testkit::readText(dir_.file(name)), &error);
        EXPECT_NE(document, nullptr) << error;
        EXPECT_TRUE(testkit::xmllintAccepts(dir_.file(name)));
        return r.status;
    }
    // The message ids of every Application status in document order.
    std::vector<int> codes() const {
        std::vector<int> ids;
        if (document == nullptr)
            return ids;
        for (const auto* device : document->all("Device"))
            for (const auto* application : device->all("Application"))
                if (const auto* status = application->child("SPStatus"))
                    if (const auto* message = status->child("Message"))
                        ids.push_back(std::stoi(message->attributes.at("id")));
        return ids;
    }
    // The run-level status id written instead of devices, or -1.
    int runStatus() const {
        const auto* status = document != nullptr ? document->child("SPStatus") : nullptr;
        return status != nullptr ? std::stoi(status->child("Message")->attributes.at("id")) : -1;
    }
    std::string rebootRequired() const {
        const auto* reboot = document != nullptr ? document->child("RebootRequired") : nullptr;
        return reboot != nullptr ? reboot->text : "";
    }
    std::string log() const { return testkit::readText(dir_.file("debug.log")); }
    // The section headings of the debug log ("[name]" lines), one a line, in order.
    std::string sections() const {
        std::string headings;
        std::istringstream lines(log());
        for (std::string line; std::getline(lines, line);)
            if (line.size() > 2 && line.front() == '[' && line.back() == ']')
                headings += line + "\n";
        return headings;
    }
    int downloads() const {
        const std::string text = log();
        int n = 0;
        for (std::size_t at = text.find("Beginning adapter download."); at != std::string::npos;
             at = text.find("Beginning adapter download.", at + 1))
            ++n;
        return n;
    }
    bool rollbackRan() const { return testkit::exists(payloads() + kSep + "UpdRollBack.ran"); }
    std::string softVpd() const {
        for (const std::string& base : {dir_.path(), std::string("C:\\Program Files")}) {
            const std::string text =
                testkit::readText(base + kSep + "Tavrel" + kSep + "marlo" + kSep + "tavCNAFID.cfg");
            if (!text.empty())
                return text;
        }
        return "";
    }

    std::unique_ptr<testkit::XmlElement> document;
    std::string output;

  private:
    testkit::TempDir dir_;
    std::string payloadDir_;
};

struct OutcomeCase {
    const char* name;
    std::vector<std::string> boards;
    std::string config;
    std::string ferroxBuild; // build string of the package's GRP image
    const char* mode;
    int exitStatus;
    std::vector<int> codes; // every Application status, document order
    const char* rebootRequired;
    int downloads;
    bool rollback;
};

const std::string kResetFails = R"(, "faults": [{"call": "DFC_ResetAdapter", "result": 1}])";

// Outcome codes of the per-adapter update and the exit statuses they lead to.
TEST(ExecutionRun, OutcomesOfTheUpdate) {
    const OutcomeCase cases[] = {
        {"one download per card, the sibling port reuses it",
         {ferroxBoard(0), ferroxBoard(1)},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         0,
         {0, 0},
         "0",
         1,
         true},
        {"card already at the package's family",
         {ferroxBoard(0, R"(, "ffv": "02.01.01")", "11.2.216.9")},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         1,
         {34},
         "0",
         0,
         false},
        {"-f downloads although current",
         {ferroxBoard(0, R"(, "ffv": "02.01.01")", "11.2.216.9")},
         kFerroxEntry,
         "11.2.216.9 test",
         "-f",
         0,
         {0},
         "0",
         1,
         true},
        {"family without a Ferrox package",
         {ferroxBoard(0)},
         entry("0xE200", "0xE205", "01.01.03"),
         "11.2.216.9 test",
         "-u",
         2,
         {20},
         "0",
         0,
         false},
        {"package version without its file",
         {ferroxBoard(0)},
         entry("0xE200", "0xE205", "02.00.01"),
         "11.2.216.9 test",
         "-u",
         2,
         {32},
         "0",
         0,
         false},
        {"object write refused",
         {ferroxBoard(0, R"(, "faults": [{"opcode": "0xAC", "status": "0x1"}])")},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         2,
         {31},
         "0",
         1,
         false},
        {"reset fails, the sibling shares the failure",
         {ferroxBoard(0, kResetFails), ferroxBoard(1)},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         2,
         {33, 31},
         "0",
         1,
         false},
        {"reboot needed after the write, sibling too",
         {ferroxBoard(0, R"(, "prgChangeStatus": 1)"), ferroxBoard(1)},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         0,
         {37, 37},
         "1",
         1,
         true},
        {"adapter awaiting a reboot is skipped",
         {ferroxBoard(0,
                      R"(, "firmwareVersions": {"active": "11.0.270.18", "flash": "11.2.216.9"})")},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         1,
         {35},
         "1",
         0,
         false},
        // The inventory reads the family value once; the write after the download fails.
        {"family value write fails",
         {ferroxBoard(0, R"(, "faults": [{"opcode": "0x02", "from": 2, "status": "0x1"}])")},
         kFerroxEntry,
         "11.2.216.9 test",
         "-u",
         2,
         {36},
         "0",
         1,
         false},
        {"missing signature",
         {ferroxBoard(0)},
         kFerroxEntry,
         "11.2.216.9 DFCSIM:NOSIG",
         "-u",
         2,
         {41},
         "0",
         1,
         false},
        {"invalid signature",
         {ferroxBoard(0)},
         kFerroxEntry,
         "11.2.216.9 DFCSIM:BADSIG",
         "-u",
         2,
         {42},
         "0",
         1,
         false},
        {"running firmware unsupported",
         {vx4Board()},
         entry("0x0724", "0x0724", "02.01.01"),
         "11.2.216.9 test",
         "-u",
         2,
         {39},
         "0",
         0,
         false},
        {"legacy card: firmware and boot code, each port",
         {legacyBoard(0), legacyBoard(1)},
         kLegacyEntry,
         "11.2.216.9 test",
         "-u",
         0,
         {0, 0, 0, 0},
         "0",
         4,
         true},
        // The boot-code step still runs after the firmware reset failed; its own reset works.
        {"legacy firmware reset fails, boot code follows",
         {legacyBoard(0, R"(, "faults": [{"call": "DFC_ResetAdapter", "result": 1}])")},
         kLegacyEntry,
         "11.2.216.9 test",
         "-u",
         4,
         {33, 0},
         "0",
         2,
         true},
        {"some updates fail",
         {legacyBoard(0), vx4Board()},
         kLegacyEntry + entry("0x0724", "0x0724", "02.01.01"),
         "11.2.216.9 test",
         "-u",
         4,
         {0, 0, 39},
         "0",
         2,
         true},
    };
    for (const OutcomeCase& c : cases) {
        SCOPED_TRACE(c.name);
        ExecutionRun run(c.boards, c.config);
        writePackage(run.payloads(), c.ferroxBuild);
        EXPECT_EQ(run.run(c.mode), c.exitStatus) << run.output;
        EXPECT_EQ(run.codes(), c.codes);
        EXPECT_EQ(run.rebootRequired(), c.rebootRequired);
        EXPECT_EQ(run.downloads(), c.downloads);
        EXPECT_EQ(run.rollbackRan(), c.rollback);
    }
}

// Statuses decided before any adapter is updated: each writes one run-level status.
TEST(ExecutionRun, RunStatusesWithoutUpdates) {
    struct Case {
        const char* name;
        std::vector<std::string> boards;
        std::string config;
        const char* payload; // "": no payload file; "ferrox.grp": the package; else junk
        int exitStatus;
        int documentStatus; // -1: none
    };
    const Case cases[] = {
        {"no adapters", {}, kFerroxEntry, "", 17, -1},
        // Without configuration no adapter is supported, so no status is written.
        {"no configuration file", {ferroxBoard(0)}, "", "", 9, -1},
        {"no valid configuration entry",
         {ferroxBoard(0)},
         "pci_id=0xE200\nvendor_id=zz\n",
         "",
         10,
         -1},
        {"no supported adapter",
         {ferroxBoard(0)},
         entry("0xF100", "0xF100", "02.01.01"),
         "ferrox.grp",
         6,
         -1},
        {"no payload files", {ferroxBoard(0)}, kFerroxEntry, "", 11, 11},
        {"no valid payload", {ferroxBoard(0)}, kFerroxEntry, "broken.grp", 12, 12},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExecutionRun run(c.boards, c.config);
        std::filesystem::create_directories(run.payloads());
        if (std::string(c.payload) == "ferrox.grp")
            writePackage(run.payloads());
        else if (c.payload[0] != '\0')
            testkit::writeText(run.payloads() + kSep + c.payload, "not an image\n");
        EXPECT_EQ(run.run("-u"), c.exitStatus) << run.output;
        EXPECT_EQ(run.runStatus(), c.documentStatus);
        EXPECT_TRUE(run.codes().empty());
    }
}

// The whole cycle on one card: update, nothing left to do, forced update. The soft VPD
// file holds the new family and the rollback companion runs only after a download,
// also from a payload folder whose name holds a blank.
TEST(ExecutionRun, UpdateThenCurrentThenForced) {
    ExecutionRun run({ferroxBoard(0), ferroxBoard(1), legacyBoard(0)}, kFerroxEntry + kLegacyEntry,
                     "pay load");
    writePackage(run.payloads());
    EXPECT_EQ(run.run("-u"), 0) << run.output;
    EXPECT_EQ(run.codes(), (std::vector<int>{0, 0, 0, 0}));
    EXPECT_TRUE(run.rollbackRan());
    const std::string vpd = run.softVpd();
    EXPECT_NE(vpd.find("WWPN=10000010DF700020;FW=11.2.216.9;BC=NONE;FID=02.01.01"),
              std::string::npos)
        << vpd;
    EXPECT_NE(vpd.find("WWPN=10000010DF710020;FW=11.2.216.9;BC=NONE;FID=02.01.01"),
              std::string::npos)
        << vpd;
    EXPECT_NE(vpd.find("WWPN=10000000DF410010;FW=ZF282A4;BC=ZU503X3;FID=01.04.03"),
              std::string::npos)
        << vpd;

    std::filesystem::remove(run.payloads() + kSep + "UpdRollBack.ran");
    EXPECT_EQ(run.run("-u"), 1) << run.output;
    EXPECT_EQ(run.codes(), (std::vector<int>{34, 34, 34, 34}));
    EXPECT_EQ(run.downloads(), 0);
    EXPECT_FALSE(run.rollbackRan());
    EXPECT_NE(run.log().find("updateRollBack is not needed\n"), std::string::npos);
    // Every port runs the new firmware: the Ferrox ports since the one reset of their card.
    for (const auto* device : run.document->all("Device"))
        EXPECT_TRUE(device->child("Application")->attributes.at("tavFwVer") == "11.2.216.9" ||
                    device->child("Application")->attributes.at("tavFwVer") == "ZF282A4");

    EXPECT_EQ(run.run("-f"), 0) << run.output;
    EXPECT_EQ(run.downloads(), 3); // one for the Ferrox card, two for the legacy port
    EXPECT_TRUE(run.rollbackRan());
}

// The debug log narrates a run section by section, in a fixed order that support
// staff and log collectors rely on: the run header, discovery of one adapter of each
// kind (a legacy port, a FerroxFC port, a VX4 function whose firmware is refused), the
// configuration read with its dump, then the inventory or the updates and the closing
// steps.
TEST(ExecutionRun, DebugLogSectionsInOrder) {
    const std::vector<std::string> discovery = {
        "[Command Line Options]", "[createMARLODir]", "[createMARLODir]", "[tavCNAFIDLogPaths]",
        "[defineDirectoryPaths]", "[createCNAVpdList]", "[printCNAEntries]", "[Family Ids]", "[makeHbaList]",
        // legacy port: names, firmware type, family ID from either soft VPD file
        "[getWWN]", "[getLegacyFwType]", "[assignFamilyID]", "[assignSoftVPDFromLocation]",
        "[assignSoftVPDFromLocation]",
        // FerroxFC port: the same, then the FFV
        "[getWWN]", "[assignFamilyID]", "[assignSoftVPDFromLocation]", "[assignSoftVPDFromLocation]",
        "[isFFVSupportedFW]", "[assignAdapterFFV]",
        // VX4 function
        "[getWWN]", "[assignFamilyID]", "[assignSoftVPDFromLocation]", "[assignSoftVPDFromLocation]",
        "[assignAdapterFFV]",
        "[makeFileNameList]", "[Reading Configuration Files]", "[Discovered Configuration Entries]",
        "[getFamilyImageVersions]", "[getFamilyImageVersions]", "[getFamilyImageVersions]",
        "[Initial HBA Configuration]"};
    const std::vector<std::string> inventory = {"[Inventory Mode]", "[Return Code]", "[Exiting]"};
    const std::vector<std::string> execution = {
        // the payload catalogue, files in the reverse of their name order
        "[makeFileNameList]", "[makePayloadList]", "[getALLBuildVersion]", "[getGRPBuildVersion]",
        "[getGRPBuildString]", "[getPRGBuildVersion]", "[ReadPRGImageHeader]", "[Execution Mode]",
        // legacy port: firmware, then boot code
        "[Executing firmware download]", "[Opening Adapter]", "[compareFamilyIDs]", "[updateFlashFFV]",
        "[updateCNA_VPD_Data]", "[Executing boot code download]", "[Opening Adapter]", "[compareFamilyIDs]",
        // the family its firmware step recorded is cleared in the files before the boot
        // code is written
        "[updateCNAVPDFile]", "[updateSoftwareCNAVPDFile]", "[updateSoftwareCNAVPDFile]",
        "[ReadPRGImageHeader]", "[updateFlashFFV]", "[updateCNA_VPD_Data]",
        // FerroxFC port
        "[Executing firmware download]", "[Opening Adapter]", "[isFerroxMissingObjsFWVersion]",
        "[compareFamilyIDs]", "[updateFlashFFV]", "[isFFVSupportedFW]", "[updateCNA_VPD_Data]",
        "[updateCNAdownloadStatus]",
        // VX4 function: its running firmware is refused
        "[Executing firmware download]", "[Opening Adapter]", "[updateCNAdownloadStatus]",
        "[Resulting HBA Configuration]", "[Comparison with Configuration File]", "[updateCNAVPDFile]",
        "[updateSoftwareCNAVPDFile]", "[updateSoftwareCNAVPDFile]", "[updateRollBack]", "[Return Code]",
        "[Exiting]"};

    ExecutionRun run({legacyBoard(0), ferroxBoard(0), vx4Board()},
                     kLegacyEntry + kFerroxEntry + entry("0x0724", "0x0724", "02.01.01"));
    writePackage(run.payloads());
    const auto expect = [&discovery](const std::vector<std::string>& mode) {
        std::string all;
        for (const auto* part : {&discovery, &mode})
            for (const std::string& heading : *part)
                all += heading + "\n";
        return all;
    };
    // 5: the VX4 function's identity is incomplete without the management library.
    EXPECT_EQ(run.run("-inv"), 5) << run.output;
    EXPECT_EQ(run.sections(), expect(inventory));
    // Standard error says which Device is incomplete and what it lacks, and, after the
    // update, which component failed and why.
    EXPECT_NE(run.output.find("winmarlo: the inventory is incomplete: adapter "), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(" lacks its "), std::string::npos) << run.output;
    EXPECT_EQ(run.run("-u"), 4) << run.output;
    EXPECT_EQ(run.sections(), expect(execution));
    EXPECT_NE(run.output.find("firmware: Update failed. Current firmware version is unsupported."),
              std::string::npos)
        << run.output;
    EXPECT_NE(run.output.find("(result 39); this firmware must be updated with the Solvane Flash ISO\n"),
              std::string::npos)
        << run.output;
    // The dump lists the entries in the order they were read.
    const std::string log = run.log();
    const std::size_t dump = log.find("\n\n[Discovered Configuration Entries]\n\nConfiguration #1\n");
    ASSERT_NE(dump, std::string::npos) << log;
    EXPECT_LT(log.find("--- deviceId    = FE00\n", dump), log.find("--- deviceId    = E200\n", dump));
    EXPECT_NE(log.find("\nConfiguration #3\n--- deviceId    = 724\n", dump), std::string::npos);
}

} // namespace
