// AIF records and containers against the simulated flash: every record is checked
// before any is streamed, the LOAD_AREA states are followed, and the wakeup slots
// change only as the records say.
#include "download/aif_program.h"

#include "common/bytes.h"
#include "download/kek.h"
#include "image/all_image.h"
#include "tests/download/flash_fixture.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr unsigned kHwF980 = 56; // family 0xF980: AWC id 0x01, type-2 ids 0x63, 0xE0

// A DWC body: 4 bytes, then PRG images, then the 0xFFFFFFFF end word.
ImageBytes dwcBody(const std::vector<PrgImageLayout>& images) {
    ImageBytes body(4, 0);
    for (const PrgImageLayout& layout : images) {
        const ImageBytes prg = buildPrgImage(layout);
        body.insert(body.end(), prg.begin(), prg.end());
    }
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    return body;
}

AifRecordLayout dwcRecord(std::uint32_t type2Id) {
    PrgImageLayout prg;
    prg.versionWord = programWord(2, type2Id);
    AifRecordLayout r;
    r.kind = kDwcKind;
    r.versionWord = programWord(2, type2Id);
    r.body = dwcBody({prg});
    return r;
}

AifRecordLayout awcRecord(std::uint32_t versionWord, std::uint32_t awcId) {
    AifRecordLayout r;
    r.kind = kAwcKind;
    r.versionWord = versionWord;
    ImageBytes body(600, 0x33);
    writeBe32(body.data(), 624 - 128, awcId << 16);
    r.body = body;
    return r;
}

class AifTest : public FlashTest {
  protected:
    std::uint32_t program(const ImageBytes& bytes, std::uint32_t kind, std::uint32_t aifFlag) {
        std::FILE* file = std::fopen(image("rec.bin", bytes).c_str(), "rb");
        EXPECT_NE(file, nullptr);
        std::uint32_t keyFlag = 0;
        const std::uint32_t status =
            ProgramAifFile(0, kind, file, aifFlag, keyFlag, stepText, progress);
        std::fclose(file);
        return status;
    }
    std::uint32_t slotWord(std::size_t offset) {
        WakeupRecord record;
        EXPECT_EQ(ReadWakeupParameters(0, record), 0u);
        std::uint32_t id[2];
        getWakeupSlot(record, offset, id);
        return id[0];
    }
};

TEST_F(AifTest, DwcFileIsErasedStreamedAndItsImagesTakeTheirSlots) {
    useBoard(board(kHwF980), record(kHwF980));
    const AifRecordLayout rec = dwcRecord(0x63);
    const std::string path = image("fw.dwc", buildAllImage({{rec}, false}));
    EXPECT_EQ(UpdateTindleFirmwareWithFeedback(0, path.c_str(), stepText, progress), 0u);
    const std::size_t body = rec.body->size();
    EXPECT_EQ(sent("command=0x81 status=0x0000"), 2 + int((body + 107) / 108));
    EXPECT_EQ(slotWord(0), programWord(2, 0x63));
    EXPECT_EQ(sent("command=0x1B"), 1);
    EXPECT_NE(std::find(steps.begin(), steps.end(), "Checksum OK"), steps.end());
    EXPECT_EQ(steps.back(), "Updating Wakeup Parameters");
    // The body's bytes are counted as they are streamed; the erase has none.
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.back(), std::make_pair(std::uint64_t(body), std::uint64_t(body)));
    EXPECT_EQ(std::count(bytes.begin(), bytes.end(), std::make_pair(std::uint64_t(0), std::uint64_t(body))), 1);
}

TEST_F(AifTest, NothingIsStreamedWhenAnyRecordFailsItsCheck) {
    AllImageLayout two{{dwcRecord(0x63), dwcRecord(0xE0)}, false};
    AllImageLayout secondNotAif = two;
    secondNotAif.records[1].firstWord = 0x12345678;
    ImageBytes fileFold = buildAllImage(two);
    fileFold.back() ^= 1;
    ImageBytes recordFold = buildAllImage({{dwcRecord(0x63)}, false});
    recordFold[200] ^= 1;
    AllImageLayout lying{{dwcRecord(0x63)}, false};
    lying.records[0].sizeWord = 4096;
    AllImageLayout foreign{{dwcRecord(0x11)}, false};
    AifRecordLayout fwc = dwcRecord(0x63);
    fwc.kind = kFwcKind;
    AifRecordLayout strange = dwcRecord(0x63);
    strange.kind = 0xE1A05005;
    // Faults of the second record of a container whose file check word is right, so
    // that only a check of that record itself can refuse it.
    ImageBytes secondFold = buildAllImage(two);
    const std::size_t second = AIF_HEADER_SIZE + readBe32(secondFold.data(), 20) + 4;
    secondFold[second + AIF_HEADER_SIZE + readBe32(secondFold.data(), second + 20)] ^= 0x80;
    writeBe32(secondFold.data(), secondFold.size() - 4,
              checkWordFor(secondFold, 0, secondFold.size() / 4 - 1));
    AllImageLayout secondLying = two;
    secondLying.records[1].sizeWord = 4096;
    PrgImageLayout boot;
    boot.versionWord = programWord(3, 0x62);
    boot.rom = PciRomLayout{};
    AllImageLayout secondBoot = two;
    secondBoot.records[1].body = dwcBody({boot}); // record id 0xE0 is no boot id
    // An FWC record, taken where the board's own V3 list names it, carries a signed PRG
    // image whose key block names the key the record was made for.
    auto signedFwc = [](const char* key) { return signedFwcRecord(programWord(2, 0xA5), key); };
    const ImageBytes secondKeyUnknown = buildAllImage(
        {{signedFwc("TAVREL DEFAULT DOWNLOAD KEK"), signedFwc("OTHER MAKER KEK")}, false});
    struct Case {
        const char* what;
        ImageBytes bytes;
        std::uint32_t kind;
        std::uint32_t status;
        unsigned hardwareId = kHwF980;
        std::uint16_t deviceId = 0;
        std::string more = "";
    } cases[] = {
        {"second record is no AIF record", buildAllImage(secondNotAif), 1,
         INVALID_IMAGE_ERROR | ERROR_READING_FILE},
        {"container fold", fileFold, 1, BAD_CHECKSUM_ERROR},
        {"record fold", recordFold, 2, BAD_CHECKSUM_ERROR},
        {"record longer than the file", buildAllImage(lying), 2, INVALID_IMAGE_ERROR | SHORT_IMAGE},
        {"id not for the board", buildAllImage(foreign), 2, INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"FWC the board does not list", buildAllImage({{fwc}, false}), 4,
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"unknown record kind", buildAllImage({{strange}, false}), 2,
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"second record's check word", secondFold, 1, BAD_CHECKSUM_ERROR},
        {"second record longer than the file", buildAllImage(secondLying), 1,
         INVALID_IMAGE_ERROR | SHORT_IMAGE},
        {"second record's boot image not for the family", buildAllImage(secondBoot), 1,
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"second record's key unknown", secondKeyUnknown, 1, KEK_FAILURE, kHwF980, 0,
         R"("vpd": {"identifier": "x", "fields": [["V3", "T2:A5"]]})"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(journal.c_str()); // each case counts its own commands
        useBoard(board(c.hardwareId, c.more), record(std::uint16_t(c.hardwareId), c.deviceId));
        EXPECT_EQ(program(c.bytes, c.kind, 1), c.status);
        EXPECT_EQ(sent("command=0x81"), 0); // no erase and no load
        EXPECT_EQ(sent("command=0x1B"), 0);
    }
}

TEST_F(AifTest, AifLayoutHasNoCheckWordsToVerify) {
    useBoard(board(kHwF980), record(kHwF980));
    ImageBytes bytes = buildAllImage({{dwcRecord(0x63)}, true});
    bytes[200] ^= 1; // no check word covers it
    EXPECT_EQ(program(bytes, 2, 2), 0u);
    EXPECT_EQ(slotWord(0), programWord(2, 0x63));
}

TEST_F(AifTest, AnAdapterThatLeavesTheLoadStateEarlyEndsInAProgressError) {
    useBoard(board(kHwF980, R"("flash": {"loadAreaEarlyEnd": 1})"), record(kHwF980));
    EXPECT_EQ(program(buildAllImage({{dwcRecord(0x63)}, false}), 2, 1), PROGRESS_ERROR);
    EXPECT_EQ(sent("command=0x81"), 2 + 1); // erase steps, then one chunk only
    EXPECT_EQ(sent("command=0x1B"), 0);
}

TEST_F(AifTest, AnAwcImageTheAdapterAlreadyRunsIsSkippedInAContainer) {
    const std::uint32_t awcVersion = 0x0A010203;
    const ImageBytes all = buildAllImage({{awcRecord(awcVersion, 0x01), dwcRecord(0x63)}, false});
    struct Case {
        const char* what;
        std::uint32_t flashVersion;
        int awcCommands;
    } cases[] = {
        {"same version in flash", awcVersion, 0},
        {"other version in flash", 0x0A010204, 2 + 6}, // erase steps and 600 bytes of body
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char memory[64];
        std::snprintf(memory, sizeof memory, R"("memory": {"0x1F0": "0x%08X"})", c.flashVersion);
        useBoard(board(kHwF980, memory), record(kHwF980));
        const int before = sent("command=0x81");
        EXPECT_EQ(program(all, 1, 1), 0u);
        EXPECT_EQ(sent("command=0x81") - before, c.awcCommands + 2 + 2);
    }
}

TEST_F(AifTest, AnAwcImageOfAnotherFamilyIsRefused) {
    useBoard(board(kHwF980), record(kHwF980));
    EXPECT_EQ(program(buildAllImage({{awcRecord(0x0A020000, 0x02)}, false}), 1, 1),
              INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT);
    EXPECT_EQ(sent("command=0x81"), 0);
}

TEST_F(AifTest, BwcFilePointsBothBootSlotsAtItsVersion) {
    useBoard(board(kHwF980), record(kHwF980));
    AifRecordLayout bwc;
    bwc.kind = kBwcKind;
    bwc.versionWord = programWord(3, 0x61);
    ASSERT_EQ(program(buildAllImage({{bwc}, false}), 3, 1), 0u);
    EXPECT_EQ(slotWord(12), bwc.versionWord);
    EXPECT_EQ(slotWord(kWakeupBootCopyOffset), bwc.versionWord);
}

std::string hex(const std::uint8_t* bytes, std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

// A boot image inside a DWC record: its id must be a boot id of the family, and both
// boot slots then follow the load-list entry the adapter loaded it as.
TEST_F(AifTest, BootImageInADwcRecordFollowsTheLoadList) {
    const std::uint32_t running = programWord(3, 0x61, 1, 0);
    WakeupRecord wakeup;
    const std::uint32_t slot[2] = {running, 0};
    setWakeupSlot(wakeup, 12, slot);
    setWakeupSlot(wakeup, kWakeupBootCopyOffset, slot);
    char memory[160];
    std::snprintf(
        memory, sizeof memory,
        R"("memory": {"0x79C": "0x1000", "0x1000": ["0x79C", 0, 0, 0, "0x%08X", "0x77"]})",
        unsigned(running));
    const std::string more = std::string(memory) + R"(, "regions": {"4": ")" +
                             hex(wakeup.bytes.data(), kWakeupBytes) + "\"}";

    PrgImageLayout boot;
    boot.versionWord = programWord(3, 0x62);
    boot.rom = PciRomLayout{};
    struct Case {
        const char* what;
        std::uint32_t recordWord;
        std::uint32_t status;
    } cases[] = {
        {"not a boot id of the family", programWord(2, 0xE0),
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"boot id of the family", programWord(3, 0x61), 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string json = board(kHwF980, more);
        json.replace(json.find(R"("regions")"), json.find("}, ") + 3 - json.find(R"("regions")"),
                     "");
        useBoard(json, record(kHwF980));
        AifRecordLayout rec;
        rec.kind = kDwcKind;
        rec.versionWord = c.recordWord;
        rec.body = dwcBody({boot});
        const int before = sent("command=0x81");
        EXPECT_EQ(program(buildAllImage({{rec}, false}), 2, 1), c.status);
        if (c.status != 0) {
            EXPECT_EQ(sent("command=0x81"), before);
            continue;
        }
        EXPECT_EQ(sent("command=0x9C"), 5);
        WakeupRecord after;
        ASSERT_EQ(ReadWakeupParameters(0, after), 0u);
        std::uint32_t id[2];
        getWakeupSlot(after, 12, id);
        EXPECT_EQ(id[1], 0x77u);
        getWakeupSlot(after, kWakeupBootCopyOffset, id);
        EXPECT_EQ(id[1], 0x77u);
    }
}

TEST_F(AifTest, SignatureRefusalsOnANewerBoardAreRetriedThenASecurityError) {
    struct Case {
        const char* status;
        int attempts;
        const char* text;
    } cases[] = {
        {"0x0F0B", 4, "SEC_DIGITAL_SIGNATURE_CHECK_FAILED!!!"},
        {"0x0F01", 1, "SEC_AUTHENTICATION_ERROR!!!"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.status);
        useBoard(
            board(kHwF980, std::string(R"("flash": {"signatureStatus": ")") + c.status + "\"}"),
            record(kHwF980));
        const std::string path = image("fw.dwc", buildAllImage({{dwcRecord(0x63)}, false}));
        const int before = sent(std::string("command=0x81 status=") + c.status);
        EXPECT_EQ(UpdateTindleFirmwareWithFeedback(0, path.c_str(), nullptr, nullptr),
                  SECURITY_ERROR);
        EXPECT_EQ(sent(std::string("command=0x81 status=") + c.status) - before, c.attempts);
        EXPECT_NE(debugText().find(c.text), std::string::npos);
    }
}

} // namespace
