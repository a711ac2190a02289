// The container routes of the download engine, run end to end: the built program
// updates one simulated Arvo card (family 0xF100) from a firmware container the image
// writer made, and the journal and the wakeup parameters the card keeps afterwards say
// what was sent. The boot slots after a boot-code (BWC) record follow the slot rules;
// the reads the engine cannot do without (the wakeup parameters after a DWC record, the
// flash version before an AWC record) end the download before anything more is sent.
#include "common/bytes.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

constexpr std::size_t kWakeupBytes = 60;
constexpr std::size_t kBootSlot = 12, kBootCopySlot = 52, kType7Slot = 28;

// The firmware of package family 01.04.03 for the card (UD201A12): a DWC record holding
// a type-7 PRG image; its program id's low word is the image writer's default.
constexpr std::uint32_t kFirmwareWord = 0x0742205C, kFirmwareWord2 = 3;
// The boot code the card's VPD list (T3:7F) admits.
constexpr std::uint32_t kBootWord = 0x037F50F3;
constexpr std::uint32_t kOlderBoot = 0x037F5001;

// One port of an Arvo card; `more` adds keys (regions, memory, faults, security), `v3`
// is the VPD list of the images the card takes.
std::string arvoBoard(const std::string& more, const std::string& v3) {
    return R"({"boards": [{"name": "arvo0", "pci": {"bus": 14, "deviceId": "0xF100", "subsystemId": "0xF100"},
  "driver": {"kind": 3, "interfaceLevel": 0}, "revision": {"hardwareId": "0x1004", "firmware": "UD2.01A10"},
  "names": {"wwpn": "10:00:00:00:DF:51:00:50"},
  "vpd": {"identifier": "Tavrel TV-A1101", "fields": [["SN", "tva1300877"], ["V1", "Tavrel TV-A1101 adapter"],
                                                      ["V2", "TV-A1101"], ["V3", ")" + v3 + R"("]]},
  "configTriple": [0, 0, 0], )" +
           more + "}]}\n";
}

using Wakeup = std::array<std::uint8_t, kWakeupBytes>;

// The card keeps the record in its host's order (little-endian words).
void setSlot(Wakeup& w, std::size_t offset, std::uint32_t first, std::uint32_t second) {
    writeLe32(w.data(), offset, first);
    writeLe32(w.data(), offset + 4, second);
}

std::string hexOf(const Wakeup& w) {
    std::string text;
    char pair[3];
    for (std::uint8_t b : w) {
        std::snprintf(pair, sizeof pair, "%02X", unsigned(b));
        text += pair;
    }
    return text;
}

std::string loadList(std::uint32_t programId, std::uint32_t second) {
    char text[160];
    std::snprintf(text, sizeof text,
                  R"("memory": {"0x79C": "0x1000", "0x1000": ["0x79C", 0, 0, 0, "0x%08X", "0x%X"]})",
                  unsigned(programId), unsigned(second));
    return text;
}

AifRecordLayout firmwareRecord() {
    PrgImageLayout prg;
    prg.versionWord = kFirmwareWord;
    ImageBytes body(4, 0);
    const ImageBytes image = buildPrgImage(prg);
    body.insert(body.end(), image.begin(), image.end());
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    AifRecordLayout r;
    r.kind = kDwcKind;
    r.versionWord = kFirmwareWord;
    r.body = body;
    return r;
}

AifRecordLayout bootRecord() {
    AifRecordLayout r;
    r.kind = kBwcKind;
    r.versionWord = kBootWord;
    r.bodySize = 512;
    r.selector = 3;
    r.flashAddress = 0x40000;
    return r;
}

// An AWC record of the card's family (image id 0x09 at byte 624 of the record).
AifRecordLayout awcRecord() {
    AifRecordLayout r;
    r.kind = kAwcKind;
    r.versionWord = 0x0A090102;
    ImageBytes body(600, 0x33);
    writeBe32(body.data(), 624 - 128, 0x09u << 16);
    r.body = body;
    return r;
}

// A folder holding the board file, the configuration for the card and one payload.
class RoutePackage {
  public:
    RoutePackage(const std::string& boardKeys, const std::string& payloadName, const ImageBytes& payload,
                 const std::string& v3 = "T7:42 T3:7F") {
        testkit::writeText(dir_.file("boards.json"), arvoBoard(boardKeys, v3));
        fs::create_directories(dir_.file("config"));
        fs::create_directories(dir_.file("common"));
        testkit::writeText(dir_.file("config") + platform::kPathSeparator + "site.ini",
                           "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=01.04.03\n");
        EXPECT_EQ(writeImageFile(dir_.file("common") + platform::kPathSeparator + payloadName, payload), 0);
    }

    // A forced update (under Wine the soft VPD file is the prefix's, shared by the
    // cases, and could call the card current); the boot-code component has no payload
    // here, so only the firmware container is downloaded and the run ends with 4.
    testkit::RunResult update() {
        std::remove(journal().c_str());
        platform::setEnv("DFCSIM_BOARDS", dir_.file("boards.json"));
        platform::setEnv("DFCSIM_JOURNAL", journal());
        platform::setEnv("DFCSIM_TIMING", "off");
        const testkit::RunResult r = testkit::runProgram({"-f", "-g", "-c", "config", "-p", "common"}, dir_.path(), true);
        platform::unsetEnv("DFCSIM_BOARDS");
        platform::unsetEnv("DFCSIM_JOURNAL");
        platform::unsetEnv("DFCSIM_TIMING");
        return r;
    }

    std::string journal() const { return dir_.file("journal.txt"); }
    std::string debugLog() const { return testkit::readText(dir_.file("debug.log")); }

    // The card as the board file keeps it.
    nlohmann::json card() const {
        return nlohmann::json::parse(testkit::readText(dir_.file("boards.json"))).at("boards").at(0);
    }

    // The wakeup parameters the card keeps (region 4 of the board file, as written).
    std::string wakeupRegion() const {
        std::string hex = card().at("regions").at("4").get<std::string>();
        hex.erase(std::remove(hex.begin(), hex.end(), ' '), hex.end()); // written in groups of a word
        return hex;
    }

    // Puts a fault rule on the card.
    void addFault(const std::string& rule) {
        std::string text = testkit::readText(dir_.file("boards.json"));
        text.insert(text.find("\"pci\":"), "\"faults\": [" + rule + "], ");
        testkit::writeText(dir_.file("boards.json"), text);
    }

  private:
    testkit::TempDir dir_;
};

// The 1-based number, among the classic mailbox calls of command 0x17, of the first
// such call after the first journal line containing `after` that also contains `what`.
int readCallNumber(const std::string& journal, const std::string& after, const std::string& what) {
    const std::string text = testkit::readText(journal);
    int number = 0;
    bool passed = false;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = std::min(text.find('\n', at), text.size());
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        passed = passed || line.find(after) != std::string::npos;
        if (line.rfind("DFC_IssueMboxWithRetry ", 0) != 0 || line.find("command=0x17") == std::string::npos)
            continue;
        ++number;
        if (passed && line.find(what) != std::string::npos)
            return number;
    }
    return -1;
}

const std::string kWakeupWrite = "0x1B kind=2 region=4 length=60 separateData=0";

std::vector<std::string> stagedThenWritten(std::uint32_t bootId) {
    char id[8];
    std::snprintf(id, sizeof id, "0x%04X", unsigned(bootId & 0xFFFF));
    const std::string ten = std::string("0x9C phase=10 bootId=") + id;
    return {"0x9C phase=8", "0x9C phase=9", "0x9C phase=9", ten, ten, kWakeupWrite, kWakeupWrite};
}

// A container of firmware and boot code: after the boot-code record the boot slot (12)
// and its copy (52) are set by the slot rules, the staged update runs with the copy's
// boot id, and the record is written back; the firmware image has taken its slot (28).
TEST(DownloadRoutes, BootCodeRecordsSetTheBootSlotsByTheSlotRules) {
    struct Case {
        const char* what;
        std::string payloadName; // its last extension is the file kind
        std::array<std::uint32_t, 2> boot, copy; // before
        std::string memory;
        std::array<std::uint32_t, 2> bootAfter, copyAfter;
        std::vector<std::string> sent;
    } cases[] = {
        {"empty copy: the copy takes the record, the boot slot stays", "fw.all", {kOlderBoot, 5}, {0, 0}, "",
         {kOlderBoot, 5}, {kBootWord, 0}, stagedThenWritten(kBootWord)},
        {"copy naming the record: both take it", "fw.all", {kBootWord, 9}, {kBootWord, 9}, "",
         {kBootWord, 0}, {kBootWord, 0}, stagedThenWritten(kBootWord)},
        {"copy naming a loaded boot image: both take the load-list entry", "fw.all", {kOlderBoot, 0},
         {kOlderBoot, 0}, loadList(kOlderBoot, 0x77), {kOlderBoot, 0x77}, {kOlderBoot, 0x77},
         stagedThenWritten(kOlderBoot)},
        {"copy naming nothing loaded: its first word becomes the record's, an empty boot slot stays empty",
         "fw.all", {0, 0}, {kOlderBoot, 3}, loadList(0x037F5002, 0x78), {0, 0}, {kBootWord, 3},
         stagedThenWritten(kBootWord)},
        // A standalone boot-code file loads its first record only (the firmware record
        // after it gives the catalogue its version) and sets both slots, unstaged.
        {"boot-code file: both slots take the record", "fw.all.bwc", {kOlderBoot, 5}, {kOlderBoot, 5}, "",
         {kBootWord, 0}, {kBootWord, 0}, {kWakeupWrite}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wakeup before{};
        setSlot(before, kBootSlot, c.boot[0], c.boot[1]);
        setSlot(before, kBootCopySlot, c.copy[0], c.copy[1]);
        before[40] = 0xA5; // a byte of no slot the download uses is written back as read
        const bool bootFile = c.payloadName.ends_with(".bwc");
        const ImageBytes container = bootFile ? buildAllImage({{bootRecord(), firmwareRecord()}, false})
                                              : buildAllImage({{firmwareRecord(), bootRecord()}, false});
        std::string keys = R"("regions": {"4": ")" + hexOf(before) + "\"}";
        if (!c.memory.empty())
            keys += ", " + c.memory;
        RoutePackage package(keys, c.payloadName, container);
        const testkit::RunResult r = package.update();
        EXPECT_EQ(r.status, 4) << r.errors;
        EXPECT_NE(package.debugLog().find("UpdateTindleFirmwareWithFeedback download complete. Adapter 0 Stat 00000000"),
                  std::string::npos);
        EXPECT_EQ(testkit::journalRequests(package.journal(), {"0x9C", "0x1B"}), c.sent);

        Wakeup after = before;
        setSlot(after, kBootSlot, c.bootAfter[0], c.bootAfter[1]);
        setSlot(after, kBootCopySlot, c.copyAfter[0], c.copyAfter[1]);
        if (!bootFile)
            setSlot(after, kType7Slot, kFirmwareWord, kFirmwareWord2);
        EXPECT_EQ(package.wakeupRegion(), hexOf(after));
    }
}

// A read the engine needs fails at its one call: the download ends with its status,
// nothing is erased or written after it, and the card's wakeup parameters are as before.
TEST(DownloadRoutes, AFailedReadEndsTheContainerWhereItIsNeeded) {
    struct Case {
        const char* what;
        std::vector<AifRecordLayout> records;
        const char* after; // the journal line the read follows
        const char* read;
        const char* stat; // the download's status in the debug log
        int erasesAfter;  // LOAD_AREA commands sent after the failed read
    } cases[] = {
        {"the wakeup parameters after the firmware record", {firmwareRecord(), bootRecord()}, "step=4 ",
         "kind=2 region=4", "FFFF0000", 0},
        {"the flash version before the AWC record", {awcRecord(), firmwareRecord()}, "DFC_GetLinkInfo",
         "kind=1 address=0x000001F0", "FFEE0000", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wakeup before{};
        setSlot(before, kBootCopySlot, kOlderBoot, 0);
        const std::string keys = R"("regions": {"4": ")" + hexOf(before) + "\"}";
        const ImageBytes container = buildAllImage({c.records, false});
        // Where the read comes is taken from a run without the fault on a fresh card.
        int number = -1;
        {
            RoutePackage clean(keys, "fw.all", container);
            ASSERT_EQ(clean.update().status, 4);
            number = readCallNumber(clean.journal(), c.after, c.read);
            ASSERT_GT(number, 0);
        }
        RoutePackage package(keys, "fw.all", container);
        package.addFault(R"({"call": "DFC_IssueMboxWithRetry", "command": "0x17", "from": )" + std::to_string(number) +
                         R"(, "result": 2, "status": "0xFFFD"})");
        // Both components failed: the run's status says so.
        const testkit::RunResult r = package.update();
        EXPECT_EQ(r.status, 2) << r.errors;
        EXPECT_NE(r.errors.find("firmware: Update failed. The firmware download failed."), std::string::npos);
        EXPECT_NE(package.debugLog().find(std::string("UpdateTindleFirmwareWithFeedback download complete. Adapter 0 Stat ") +
                                          c.stat),
                  std::string::npos);
        const std::vector<std::string> sent = testkit::journalRequests(package.journal(), {"0x17", "0x81", "0x9C", "0x1B"});
        const std::string failed = std::string("0x17 ") + c.read;
        // The failed read is the last of its kind.
        const auto last = std::find_if(sent.rbegin(), sent.rend(),
                                       [&](const std::string& s) { return s.rfind(failed, 0) == 0; });
        ASSERT_NE(last, sent.rend());
        const auto at = last.base() - 1;
        EXPECT_EQ(std::count_if(at, sent.end(), [](const std::string& s) { return s.rfind("0x81", 0) == 0; }),
                  c.erasesAfter)
            << ::testing::PrintToString(sent);
        EXPECT_EQ(std::count_if(at, sent.end(),
                                [](const std::string& s) { return s.rfind("0x9C", 0) == 0 || s.rfind("0x1B", 0) == 0; }),
                  0);
        EXPECT_EQ(package.wakeupRegion(), hexOf(before));
    }
}

// The key chain an FWC record walks before its load, on a card whose VPD list takes the
// record (T2:A5) and that holds the default key: the card's key is read, set step by
// step along the chain to the record's key and read back, and only then is the record
// loaded. A key the chain does not know is refused before any command; a set refused
// part way or a failed read-back ends the download before anything is erased or
// written, the card keeping the key the chain had reached.
TEST(DownloadRoutes, TheKeyChainIsWalkedBeforeAnFwcRecordIsLoaded) {
    const std::string defaultKey = "TAVREL DEFAULT DOWNLOAD KEK", key1 = "TAVREL DOWNLOAD KEK 1",
                      key2 = "TAVREL DOWNLOAD KEK 2";
    const std::string read = "0xF9 sub=12", set1 = "0xF9 sub=13 key=TAVREL%20DOWNLOAD%20KEK%201",
                      set2 = "0xF9 sub=13 key=TAVREL%20DOWNLOAD%20KEK%202";
    struct Case {
        const char* what;
        std::string recordKey;
        std::string fault; // a rule on the security command, by subcommand
        std::vector<std::string> keyCommands;
        std::string keyAfter; // what the card holds afterwards
        const char* stat;     // the download's status in the debug log (a key failure becomes 1)
        const char* line;     // a line the failure writes to the debug log
    } cases[] = {
        {"a key two steps along the chain", key2, "", {read, set1, set2, read}, key2, "00000000", nullptr},
        {"the key the card holds: read, no set", defaultKey, "", {read}, defaultKey, "00000000", nullptr},
        {"a key the chain does not know: refused before any command", "OTHER MAKER KEK", "", {}, defaultKey,
         "00000001", nullptr},
        {"the second set refused: the card keeps the first step's key", key2,
         R"({"command": "0xF9", "sub": 13, "from": 2, "result": 2, "status": "0x0F07"})", {read, set1, set2}, key1,
         "00000001",
         "[SetKEK] DFC_IssueMboxWithRetry (Board 0): returnStat 2, mbxCommand= 0xf9, mbxStatus=0xf07"},
        {"the read after the walk failing", key2,
         R"({"command": "0xF9", "sub": 12, "from": 2, "result": 2, "status": "0xFFFD"})",
         {read, set1, set2, read}, key2, "00000001", "[ProcessKEK] ERROR: Failed to verify the set KEK ID string."},
    };
    // The key commands and every command that erases or writes.
    const std::vector<std::string> watched = {"0xF9", "0x01", "0x81", "0x1B", "0x1C", "0x1D", "0x9C"};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Wakeup before{};
        setSlot(before, kBootCopySlot, kOlderBoot, 0);
        const AifRecordLayout fwc = signedFwcRecord(makeLegacyVersionWord(2, 0xA5, 1, 0, 0, 1, 2), c.recordKey);
        RoutePackage package(R"("regions": {"4": ")" + hexOf(before) + "\"}", "fw.all",
                             buildAllImage({{fwc, firmwareRecord()}, false}), "T7:42 T3:7F T2:A5");
        if (!c.fault.empty())
            package.addFault(c.fault);
        const bool loads = std::string(c.stat) == "00000000";
        const testkit::RunResult r = package.update();
        // The boot-code component has no payload: 4 when the firmware went on, 2 when not.
        EXPECT_EQ(r.status, loads ? 4 : 2) << r.errors;
        const std::string log = package.debugLog();
        EXPECT_NE(log.find(std::string("UpdateTindleFirmwareWithFeedback download complete. Adapter 0 Stat ") + c.stat),
                  std::string::npos);
        if (c.line != nullptr) {
            EXPECT_NE(log.find(c.line), std::string::npos) << log;
        }
        const std::vector<std::string> sent = testkit::journalRequests(package.journal(), watched);
        std::vector<std::string> keyCommands;
        std::copy_if(sent.begin(), sent.end(), std::back_inserter(keyCommands),
                     [](const std::string& s) { return s.rfind("0xF9", 0) == 0; });
        EXPECT_EQ(keyCommands, c.keyCommands);
        // A card whose state did not change keeps its board file as the test wrote it.
        EXPECT_EQ(package.card().value("security", nlohmann::json::object()).value("kek", defaultKey), c.keyAfter);
        if (loads) {
            // The key commands come first, then the records are erased and loaded.
            ASSERT_GE(sent.size(), c.keyCommands.size() + 1);
            EXPECT_EQ(std::vector<std::string>(sent.begin(), sent.begin() + std::ptrdiff_t(c.keyCommands.size())),
                      c.keyCommands);
            // Both records, the FWC record and the firmware after it, are erased and loaded.
            EXPECT_EQ(std::count_if(sent.begin(), sent.end(),
                                    [](const std::string& s) { return s.rfind("0x81 step=1", 0) == 0; }),
                      2)
                << ::testing::PrintToString(sent);
        } else {
            EXPECT_NE(r.errors.find("firmware: Update failed. The firmware download failed."), std::string::npos)
                << r.errors;
            EXPECT_EQ(sent, c.keyCommands) << "nothing erased or written";
            EXPECT_EQ(package.wakeupRegion(), hexOf(before));
        }
    }
}

} // namespace
