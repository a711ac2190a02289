// The simulated flash tells the truth: a download stopped after its erase leaves its
// program erased or partly written, and every answer that names the program (the
// wakeup slots, the load list, the firmware a reset starts, dfcsim-flash) says so
// until a download finishes it; a board file that records nothing reads as before.
#include "adapter/object_reads.h"
#include "download/load_list.h"
#include "download/wakeup.h"
#include "image/all_image.h"
#include "tests/download/flash_fixture.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <regex>

namespace {

using nlohmann::json;

constexpr unsigned kHwF700 = 32;   // family 0xF700: type-2 ids 0x11, 0x12
constexpr unsigned kHwF980 = 56;   // family 0xF980: type-2 ids 0x63, 0xE0 in containers
constexpr unsigned kHwArvo = 0x1004; // with device 0xF100: a newer family, boot ids by staged update

// A board's wakeup record (region 4) whose slots' first words are given by offset, as
// the program writes them (host order, the second word 0).
std::string wakeupRegion(const std::map<std::size_t, std::uint32_t>& slots) {
    std::vector<std::uint8_t> bytes(kWakeupBytes, 0);
    for (const auto& [offset, word] : slots)
        for (std::size_t i = 0; i < 4; ++i)
            bytes[offset + i] = std::uint8_t(word >> (8 * i));
    std::string hex;
    char two[3];
    for (const std::uint8_t b : bytes) {
        std::snprintf(two, sizeof two, "%02X", b);
        hex += two;
    }
    return hex;
}

// A board of the hardware id with this wakeup record; `more` adds keys.
std::string boardWith(unsigned hardwareId, const std::string& wakeup, const std::string& more = "") {
    return R"({"revision": {"hardwareId": )" + std::to_string(hardwareId) +
           R"(, "firmware": "1.00A0"}, "regions": {"4": ")" + wakeup + "\"}" + (more.empty() ? "" : ", " + more) +
           "}";
}

ImageBytes dwcContainer(std::uint32_t versionWord) {
    PrgImageLayout prg;
    prg.versionWord = versionWord;
    prg.bodySize = 300;
    ImageBytes body(4, 0);
    const ImageBytes image = buildPrgImage(prg);
    body.insert(body.end(), image.begin(), image.end());
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    AifRecordLayout record;
    record.kind = kDwcKind;
    record.versionWord = versionWord;
    record.body = body;
    return buildAllImage({{record}, false});
}

ImageBytes prgImage(std::uint32_t versionWord) {
    PrgImageLayout layout;
    layout.versionWord = versionWord;
    layout.bodySize = 300; // 4 chunks
    if ((versionWord >> 24) == 3) { // boot code carries its option ROM
        layout.rom = PciRomLayout{};
        layout.rom->deviceId = 0xF100;
    }
    return buildPrgImage(layout);
}

// How a download reaches flash: its board, file, the command that streams it and how
// many calls of it erase before the first chunk.
struct Route {
    const char* what;
    unsigned hardwareId;
    std::uint16_t deviceId;
    const char* file;
    std::uint32_t oldWord, newWord; // program ids (first words) before and after
    std::vector<std::size_t> slots; // wakeup slots of the program's type
    const char* command;
    int erases;
    bool firmware;
    bool container;
};

const Route kRoutes[] = {
    {"boot code, DOWN_LOAD", kHwArvo, 0xF100, "boot.prg", programWord(3, 0xA1, 0, 9), programWord(3, 0xA1),
     {12, 52}, "0x1C", 1, false, false},
    {"firmware, DOWN_LOAD", kHwF700, 0, "fw.prg", programWord(2, 0x11, 1, 0), programWord(2, 0x12, 2, 8), {0},
     "0x1C", 1, true, false},
    {"firmware, LOAD_AREA", kHwF980, 0, "fw.dwc", programWord(2, 0x63, 1, 0), programWord(2, 0x63, 2, 8), {0},
     "0x81", 2, true, true},
};

class FlashTruthTest : public FlashTest {
  protected:
    void useRoute(const Route& r, const std::string& faults, const std::string& more = "") {
        std::map<std::size_t, std::uint32_t> slots;
        for (const std::size_t at : r.slots)
            slots[at] = r.oldWord;
        std::string keys = more;
        if (!faults.empty())
            keys += std::string(keys.empty() ? "" : ", ") + "\"faults\": [" + faults + "]";
        if (r.hardwareId == kHwArvo && slots.count(52) != 0) // the boot id in effect
            keys += std::string(keys.empty() ? "" : ", ") + "\"flash\": {\"stagedBootId\": \"" +
                    hex(r.oldWord & 0xFFFF) + "\"}";
        useBoard(boardWith(r.hardwareId, wakeupRegion(slots), keys), record(std::uint16_t(r.hardwareId), r.deviceId));
    }
    std::uint32_t downloadRoute(const Route& r) {
        return download(image(r.file, r.container ? dwcContainer(r.newWord) : prgImage(r.newWord)));
    }
    // The library started afresh from the board file, as the next program run does.
    void restart(const Route& r) { startLibrary({record(std::uint16_t(r.hardwareId), r.deviceId)}); }
    void dropFaults() {
        testkit::writeText(boardsPath, std::regex_replace(boardFile(), std::regex("\"faults\":"), "\"faultsDropped\":"));
    }
    std::uint32_t slotWord(std::size_t offset) {
        WakeupRecord record;
        EXPECT_EQ(ReadWakeupParameters(0, record), 0u);
        std::uint32_t id[2];
        getWakeupSlot(record, offset, id);
        return id[0];
    }
    json component(bool firmware) {
        const json report = json::parse(testkit::simFlashReport(boardsPath), nullptr, false);
        if (report.is_discarded()) {
            ADD_FAILURE() << "dfcsim-flash gave no report";
            return json::object();
        }
        return report["boards"][0][firmware ? "firmware" : "bootCode"];
    }
    static std::string hex(std::uint32_t value) {
        char text[16];
        std::snprintf(text, sizeof text, "0x%X", unsigned(value));
        return text;
    }
};

// Stopped at its first chunk (erased) or its second (partly written), each route's
// program reads as missing, also to the next run, until a download finishes it.
TEST_F(FlashTruthTest, ADownloadStoppedAfterItsEraseLeavesTheProgramMissingUntilOneFinishes) {
    for (const Route& r : kRoutes)
        for (const bool partial : {false, true}) {
            SCOPED_TRACE(std::string(r.what) + (partial ? ", stopped after a chunk" : ", stopped at the erase"));
            useRoute(r, R"({"command": ")" + std::string(r.command) + R"(", "from": )" +
                            std::to_string(r.erases + 1 + (partial ? 1 : 0)) + R"(, "status": "0x0001"})");
            for (const std::size_t at : r.slots)
                EXPECT_EQ(slotWord(at), r.oldWord); // nothing recorded: the slot is trusted
            EXPECT_NE(downloadRoute(r), 0u);
            restart(r);
            for (const std::size_t at : r.slots)
                EXPECT_EQ(slotWord(at), 0u) << "slot " << at;
            json part = component(r.firmware);
            EXPECT_EQ(part["complete"], false) << part;
            const json& records = r.container ? part["areas"] : part["programs"];
            ASSERT_EQ(records.size(), 1u) << part;
            EXPECT_EQ(records[0]["state"], partial ? "partial" : "erased");

            dropFaults();
            restart(r);
            ASSERT_EQ(downloadRoute(r), 0u);
            restart(r);
            for (const std::size_t at : r.slots)
                EXPECT_EQ(slotWord(at), r.newWord) << "slot " << at;
            part = component(r.firmware);
            EXPECT_EQ(part["complete"], true) << part;
            const json& whole = r.container ? part["areas"] : part["programs"];
            ASSERT_EQ(whole.size(), 1u) << part;
            EXPECT_EQ(whole[0]["state"], "whole");
            EXPECT_GT(whole[0]["bytes"].get<int>(), 300);
        }
}

// A reset with the firmware in flash incomplete starts what the board says: by default
// nothing, with "previous" the firmware that ran. Until the reset the old one runs;
// after a finished download and a reset the new one does.
TEST_F(FlashTruthTest, AResetWithIncompleteFirmwareStartsWhatTheBoardSays) {
    const struct Case {
        const char* key; // flash.incompleteBoot, or none
        const char* afterReset;
    } cases[] = {{nullptr, ""}, {"none", ""}, {"previous", "1.00A0"}};
    for (const Route& r : kRoutes) {
        if (!r.firmware)
            continue;
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(r.what) + ", incompleteBoot " + (c.key != nullptr ? c.key : "left out"));
            const std::string more =
                c.key != nullptr ? std::string(R"("flash": {"incompleteBoot": ")") + c.key + "\"}" : "";
            useRoute(r, R"({"command": ")" + std::string(r.command) + R"(", "from": )" + std::to_string(r.erases + 2) +
                            R"(, "status": "0x0001"})", more);
            EXPECT_NE(downloadRoute(r), 0u);
            restart(r);
            EXPECT_EQ(component(true)["running"], "1.00A0");
            EXPECT_EQ(component(true)["afterReset"], c.afterReset);
            ASSERT_EQ(dfc.DFC_ResetAdapter(0, 1), 0u);
            EXPECT_EQ(component(true)["running"], c.afterReset);

            dropFaults();
            restart(r);
            ASSERT_EQ(downloadRoute(r), 0u);
            ASSERT_EQ(dfc.DFC_ResetAdapter(0, 1), 0u);
            EXPECT_EQ(component(true)["running"], "2.80A2");
        }
    }
}

// A "/prg" write the card takes in place loses the old firmware at its first piece:
// stopped halfway, the flash version is gone and a reset starts no firmware, until a
// write finishes. A card that collects the pieces keeps its old image whole.
TEST_F(FlashTruthTest, AFirmwareObjectWrittenInPlaceAndStoppedLeavesNoFirmwareToStart) {
    GrpImageLayout grp;
    grp.bodySize = 3000; // 3 pieces
    for (const bool inPlace : {false, true}) {
        SCOPED_TRACE(inPlace ? "in place" : "staged");
        useBoard(ferrox(std::string(R"("prgChangeStatus": 2, "prgWrite": ")") + (inPlace ? "inPlace" : "staged") +
                        R"(", "firmwareVersions": {"active": "10.2.315.26", "flash": "10.2.315.26"},
                            "faults": [{"command": "0x9B", "opcode": "0xAC", "from": 2, "status": "0x0001"}])"),
                 record(0, 0xE200));
        const std::string path = image("fw.grp", buildGrpImage(grp));
        EXPECT_NE(download(path), DOWNLOAD_RESET_REQUIRED);
        startLibrary({record(0, 0xE200)});
        json firmware = component(true);
        EXPECT_EQ(firmware["complete"], !inPlace) << firmware;
        FixedText<33> active, flash;
        ASSERT_EQ(FFS_GetFwVersion(0, &active, &flash), 0u);
        EXPECT_EQ(flash, inPlace ? "" : "10.2.315.26");
        EXPECT_EQ(firmware["versions"]["flash"], flash.str());
        ASSERT_EQ(dfc.DFC_ResetAdapter(0, 3), 0u);
        ASSERT_EQ(FFS_GetFwVersion(0, &active, &flash), 0u);
        EXPECT_EQ(active, inPlace ? "" : "10.2.315.26");
        EXPECT_EQ(component(true)["running"], inPlace ? "" : "10.2.315.26");

        dropFaults();
        startLibrary({record(0, 0xE200)});
        EXPECT_EQ(download(path), DOWNLOAD_RESET_REQUIRED);
        ASSERT_EQ(dfc.DFC_ResetAdapter(0, 3), 0u);
        firmware = component(true);
        EXPECT_EQ(firmware["complete"], true) << firmware;
        EXPECT_EQ(firmware["running"], "11.2.216.9");
        EXPECT_EQ(firmware["prg"]["state"], "whole");
    }
}

// An erase destroys the program a finished download left: its load-list entry is free
// again. Entries the board file gives, of programs the flash does not know, stay.
TEST_F(FlashTruthTest, AnEraseFreesTheLoadEntryOfTheProgramItDestroys) {
    const Route& r = kRoutes[1];
    useBoard(boardWith(kHwF700, wakeupRegion({}), R"("memory": {"0x79C": "0x1000",
                 "0x1000": ["0x1018", 0, 0, 0, 0, 0], "0x1018": ["0x79C", 0, 0, 0, "0x05010000", "0x9"]},
                 "faults": [{"command": "0x1C", "from": 7, "status": "0x0001"}])"),
             record(kHwF700));
    ASSERT_EQ(downloadRoute(r), 0u); // erase and 4 chunks, then the 7th call fails
    std::vector<LoadEntry> entries;
    ASSERT_EQ(readLoadList(0, entries), 0u);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].programId[0], r.newWord);
    EXPECT_NE(downloadRoute(r), 0u);
    ASSERT_EQ(readLoadList(0, entries), 0u);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_TRUE(isFreeLoadEntry(entries[0]));
    EXPECT_EQ(entries[1].programId[0], 0x05010000u);
}

// The boot-code copy at byte 52 names the boot code that starts only when the last
// staged update made its boot id take effect; no staged id known trusts the slot.
TEST_F(FlashTruthTest, TheBootCopyReadsOnlyWhenTheStagedBootIdNamesIt) {
    const std::uint32_t boot = programWord(3, 0xA1);
    const struct Case {
        const char* staged;
        std::uint32_t read;
    } cases[] = {{nullptr, boot}, {"0", boot}, {"0x1234", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.staged != nullptr ? c.staged : "none");
        const std::string more =
            c.staged != nullptr ? std::string(R"("flash": {"stagedBootId": ")") + c.staged + "\"}" : "";
        useBoard(boardWith(kHwArvo, wakeupRegion({{12, boot}, {52, boot}}), more), record(kHwArvo, 0xF100));
        EXPECT_EQ(slotWord(12), boot);
        EXPECT_EQ(slotWord(52), c.read);
    }
    useBoard(boardWith(kHwArvo, wakeupRegion({{52, boot}}),
                       R"("flash": {"stagedBootId": ")" + hex(boot & 0xFFFF) + "\"}"),
             record(kHwArvo, 0xF100));
    EXPECT_EQ(slotWord(52), boot);
}

} // namespace
