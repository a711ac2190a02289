// PRG programming against the simulated flash: a good image reaches flash and its
// slot, and no image that fails a check ever causes an erase.
#include "download/prg_program.h"

#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "download/load_list.h"
#include "tests/download/flash_fixture.h"

#include <cstdio>

namespace {

constexpr unsigned kHwF700 = 32; // family 0xF700: type-2 ids 0x11, 0x12, 0x90

struct File {
    std::FILE* f;
    explicit File(const std::string& path) : f(std::fopen(path.c_str(), "rb")) {}
    ~File() {
        if (f != nullptr)
            std::fclose(f);
    }
};

std::uint32_t program(const std::string& path) {
    File file(path);
    return ProgramPrgImage(0, file.f, FlashTest::stepText, FlashTest::progress);
}

TEST_F(FlashTest, GoodImageIsProgrammedInChunksAndPointedToAndRunsAfterReset) {
    useBoard(board(kHwF700), record(kHwF700));
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x12, 2, 8);
    layout.bodySize = 300; // 48 + 300 + 4 = 352 bytes: 4 chunks
    const std::string path = image("fw.prg", buildPrgImage(layout));

    ASSERT_EQ(program(path), 0u);
    EXPECT_EQ(sent("command=0x1C"), 1 + 4);
    EXPECT_EQ(sent("command=0x1C status=0x0000"), 5);
    const std::vector<std::string> expectedSteps = {
        "Reading Header", "Validating Checksum",        "Erasing Sector(s) In Flash ROM",
        "Loading Image",  "Updating Wakeup Parameters", "Image Successfully Downloaded"};
    EXPECT_EQ(steps, expectedSteps);
    ASSERT_FALSE(percents.empty());
    EXPECT_EQ(percents.front(), 0u);
    EXPECT_EQ(percents.back(), 100u);
    for (std::size_t i = 1; i < percents.size(); ++i)
        EXPECT_LE(percents[i - 1], percents[i]);
    // The chunks are counted in bytes of the whole image, from none to all 352.
    ASSERT_FALSE(bytes.empty());
    EXPECT_EQ(bytes.front(), std::make_pair(std::uint64_t(0), std::uint64_t(352)));
    EXPECT_EQ(bytes.back(), std::make_pair(std::uint64_t(352), std::uint64_t(352)));
    for (std::size_t i = 1; i < bytes.size(); ++i)
        EXPECT_LE(bytes[i - 1].first, bytes[i].first);

    WakeupRecord after;
    ASSERT_EQ(ReadWakeupParameters(0, after), 0u);
    std::uint32_t slot[2];
    getWakeupSlot(after, 0, slot);
    EXPECT_EQ(slot[0], layout.versionWord);
    EXPECT_EQ(slot[1], 3u);

    // The board file keeps the image; a reset makes it the running firmware.
    startLibrary({record(kHwF700)});
    EXPECT_EQ(boardFile().find("\"firmware\": \"2.80A2\""), std::string::npos);
    ASSERT_EQ(dfc.DFC_ResetAdapter(0, 1), 0u);
    EXPECT_NE(boardFile().find("\"firmware\": \"2.80A2\""), std::string::npos);
}

// Every check that comes before the erase: its status, and not one flash command.
TEST_F(FlashTest, NoImageThatFailsACheckIsEverErased) {
    PrgImageLayout good;
    good.versionWord = programWord(2, 0x11);
    const ImageBytes base = buildPrgImage(good);

    ImageBytes badHeader = base;
    badHeader[5] ^= 0x01; // word 1 no longer folds with the header check word
    ImageBytes badBody = base;
    badBody[60] ^= 0x40;
    ImageBytes longer = base;
    longer.push_back(0);
    ImageBytes shorter = base;
    shorter.resize(shorter.size() - 4);
    PrgImageLayout otherId = good;
    otherId.versionWord = programWord(2, 0x21);
    PrgImageLayout f800Old = good;
    f800Old.versionWord = programWord(2, 0x21, 3, 8);
    PrgImageLayout bootForSecure = good;
    bootForSecure.versionWord = programWord(3, 0xA1);
    bootForSecure.rom = PciRomLayout{};
    bootForSecure.rom->deviceId = 0xF180;

    struct Case {
        const char* what;
        ImageBytes bytes;
        unsigned hardwareId;
        std::uint16_t deviceId;
        std::string more;
        std::uint32_t status;
    } cases[] = {
        {"header fold", badHeader, kHwF700, 0, "", BAD_CHECKSUM_ERROR},
        {"file fold", badBody, kHwF700, 0, "", BAD_CHECKSUM_ERROR},
        {"one byte longer than word 0", longer, kHwF700, 0, "", INVALID_IMAGE_ERROR | LONG_IMAGE},
        {"shorter than word 0", shorter, kHwF700, 0, "", INVALID_IMAGE_ERROR | SHORT_IMAGE},
        {"header only part there", ImageBytes(base.begin(), base.begin() + 40), kHwF700, 0, "",
         INVALID_IMAGE_ERROR | SHORT_IMAGE},
        {"id not in the family's list", buildPrgImage(otherId), kHwF700, 0, "",
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"older image on a later 0xF800 board", buildPrgImage(f800Old), 33, 0, "",
         INCOMPAT_IMAGE_ERROR | INCORRECT_VERSION},
        {"V3 names the type but not the id", base, kHwF700, 0,
         R"("vpd": {"identifier": "x", "fields": [["V3", "T2:12,0X90T3:11"]]})",
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"boot image for the secure device on 0xF100", buildPrgImage(bootForSecure), 0x1004, 0xF100,
         "", INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"unknown family", base, 0x510, 0xF0F8, "", INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useBoard(board(c.hardwareId, c.more), record(std::uint16_t(c.hardwareId), c.deviceId));
        const int before = sent("command=0x1C") + sent("command=0xF9");
        EXPECT_EQ(program(image("bad.prg", c.bytes)), c.status);
        EXPECT_EQ(sent("command=0x1C") + sent("command=0xF9"), before);
    }
}

TEST_F(FlashTest, AV3ListingAcceptsWhatTheBuiltInTableRefuses) {
    useBoard(board(kHwF700, R"("vpd": {"identifier": "x", "fields": [["V3", "T2:12,0X44"]]})"),
             record(kHwF700));
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x44);
    EXPECT_EQ(program(image("v3.prg", buildPrgImage(layout))), 0u);
}

TEST_F(FlashTest, ImageWithoutAWakeupSlotIsProgrammedAndTheRecordLeftAlone) {
    useBoard(board(kHwF700), record(kHwF700));
    PrgImageLayout layout;
    layout.versionWord = programWord(5, 0x01);
    EXPECT_EQ(program(image("t5.prg", buildPrgImage(layout))), 0u);
    EXPECT_EQ(sent("command=0x1C status=0x0000"), 1 + 2);
    EXPECT_EQ(sent("command=0x1B"), 0);
}

TEST_F(FlashTest, BootImageOnANewerFamilyRunsTheStagedUpdate) {
    useBoard(board(0x1004), record(0x1004, 0xF100));
    PrgImageLayout layout;
    layout.versionWord = programWord(3, 0xA1);
    layout.rom = PciRomLayout{};
    layout.rom->deviceId = 0xF100;
    ASSERT_EQ(program(image("boot.prg", buildPrgImage(layout))), 0u);
    EXPECT_EQ(sent("command=0x9C"), 5); // phase 8, phase 9 twice, phase 10 twice
    WakeupRecord after;
    ASSERT_EQ(ReadWakeupParameters(0, after), 0u);
    std::uint32_t boot[2], copy[2];
    getWakeupSlot(after, 12, boot);
    getWakeupSlot(after, kWakeupBootCopyOffset, copy);
    EXPECT_EQ(boot[0], layout.versionWord);
    EXPECT_EQ(copy[0], layout.versionWord);
}

TEST_F(FlashTest, AStagedUpdateThatNeverSettlesEndsInsteadOfLooping) {
    useBoard(board(kHwF700, R"("faults": [{"command": "0x9C", "from": 2, "times": 0,
                                          "status": "0x0000", "result": 0}])"),
             record(kHwF700));
    // Phase 9 keeps answering without a state: the walk must give up.
    WakeupRecord record;
    EXPECT_EQ(StagedWakeupUpdate(0, record, 1), PROGRESS_ERROR);
}

TEST_F(FlashTest, NoFlashAnswerIsPassedOnAndTheFileRewound) {
    useBoard(board(kHwF700, R"("flash": {"noFlash": true})"), record(kHwF700));
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x11);
    File file(image("nf.prg", buildPrgImage(layout)));
    EXPECT_EQ(ProgramPrgImage(0, file.f, nullptr, nullptr), 241u);
    EXPECT_EQ(std::ftell(file.f), 0);
}

} // namespace

namespace {

TEST_F(FlashTest, AProgrammedImageJoinsTheLoadListAndIsDeletedByType) {
    useBoard(board(kHwF700, R"("memory": {"0x79C": "0x1000",
                                          "0x1000": ["0x79C", 0, 0, 0, 0, 0]})"),
             record(kHwF700));
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x11);
    ASSERT_EQ(program(image("fw.prg", buildPrgImage(layout))), 0u);
    std::vector<LoadEntry> entries;
    ASSERT_EQ(readLoadList(0, entries), 0u);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].programId[0], layout.versionWord);

    EXPECT_EQ(DeleteLoadEntries(0, 3), 0u); // no boot image loaded: nothing to delete
    EXPECT_EQ(sent("command=0x1D"), 0);
    EXPECT_EQ(DeleteLoadEntries(0, 2), 0u);
    EXPECT_EQ(sent("command=0x1D status=0x0000"), 1);
    ASSERT_EQ(readLoadList(0, entries), 0u);
    EXPECT_TRUE(isFreeLoadEntry(entries[0]));
}

} // namespace
