// PRG images: header reading, the option-ROM test that turns 'U' codes into 'F',
// and every failure status.
#include "common/run_state.h"
#include "image/clu_image.h"
#include "image/prg_image.h"
#include "image/verify_fw_file.h"
#include "tests/image/image_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

const std::uint32_t kWordUB = makeLegacyVersionWord(3, 0x79, 2, 0, 2, 1, 3); // UB202A3

PciRomLayout romFor(std::uint16_t deviceId) {
    PciRomLayout rom;
    rom.deviceId = deviceId;
    return rom;
}

struct PrgCase {
    const char* name;
    PrgImageLayout layout;
    std::size_t keepBytes; // 0: the whole image
    std::uint32_t status;
    const char* legacyType;
    const char* version;
    const char* line;
};

PrgImageLayout prg(std::uint32_t word, std::optional<PciRomLayout> rom = std::nullopt) {
    PrgImageLayout layout;
    layout.versionWord = word;
    layout.rom = rom;
    return layout;
}

PciRomLayout brokenRom(int kind) {
    PciRomLayout rom;
    if (kind == 0)
        rom.validSignature = false;
    else if (kind == 1)
        rom.dataOffset = 0x1E; // not on a 4-byte group boundary
    else
        rom.dataOffset = 0; // zero pointer group
    return rom;
}

const PrgCase kPrgCases[] = {
    {"boot code for the F180 board", prg(kWordUB, romFor(0xF180)), 0, 0, "FB", "FB202A3", "Encoded Ver   = 202A3\n"},
    {"boot code for another board", prg(kWordUB, romFor(0xF100)), 0, 0, "UB", "UB202A3", "Encoded Type  = UB\n"},
    {"no option ROM", prg(kWordUB), 0, 0, "UB", "UB202A3", "PRG ImageID   = 79\n"},
    {"ROM without signature", prg(kWordUB, brokenRom(0)), 0, 0, "UB", "UB202A3", ""},
    {"ROM data structure off the group boundary", prg(kWordUB, brokenRom(1)), 0, 0, "UB", "UB202A3", ""},
    {"ROM with a zero pointer", prg(kWordUB, brokenRom(2)), 0, 0, "UB", "UB202A3", ""},
    {"ROM cut short", prg(kWordUB, romFor(0xF180)), 64, 0, "UB", "UB202A3", ""},
    {"header only", prg(kWordUB), 48, 0, "UB", "UB202A3", ""},
    {"only U codes change", prg(makeLegacyVersionWord(2, 0x21, 5, 0, 3, 3, 3), romFor(0xF180)), 0, 0, "DB",
     "DB503X3", ""},
    {"id without a code", prg(makeLegacyVersionWord(3, 0x27, 1, 0, 0, 0, 0)), 0, 0xFFF70000, "", "",
     "Encoded Type = UNKNOWN\n\nINCOMPAT_IMAGE_ERROR - Status = FFF70000\n"},
    {"AIF first word", [] {
         PrgImageLayout s = prg(kWordUB);
         s.word0 = 0xE1A00000;
         return s;
     }(),
     0, 0xFFF70000, "", "", "INCOMPAT_IMAGE_ERROR - Image Type = E1A00000, Status = FFF70000\n"},
    {"header cut at 47 bytes", prg(kWordUB), 47, 0xFFF90002, "", "",
     "\n[ReadPRGImageHeader]\nINVALID_IMAGE_ERROR | SHORT_IMAGE - fread failed!\n"},
    {"three bytes", prg(kWordUB), 3, 0xFFF90000, "", "", "INVALID_IMAGE_ERROR - Status = FFF90000\n"},
};

class PrgDecode : public ::testing::TestWithParam<PrgCase> {};

TEST_P(PrgDecode, CodeVersionAndStatus) {
    const PrgCase& c = GetParam();
    testkit::TempDir dir;
    ImageBytes bytes = buildPrgImage(c.layout);
    if (c.keepBytes != 0)
        bytes.resize(c.keepBytes);
    const std::string path = writeFixture(dir, "boot.prg", bytes);
    DebugLogCapture log;
    CluImage record;
    record.extType = PRGext;
    EXPECT_EQ(verifyFwFile(path.c_str(), &record), c.status);
    EXPECT_EQ(record.legacyType, c.legacyType);
    EXPECT_EQ(record.decodedVersion, c.version);
    EXPECT_EQ(record.legacyVersion, c.status == 0 ? c.layout.versionWord : 0u);
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("\n[getPRGBuildVersion]\nInput file = " + path + "\nReading PRG Header...\n", 0), 0u)
        << text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Images, PrgDecode, ::testing::ValuesIn(kPrgCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(PrgFiles, MissingAndEmptyFiles) {
    testkit::TempDir dir;
    DebugLogCapture log;
    CluImage record;
    const std::string missing = dir.file("missing.prg");
    EXPECT_EQ(getPRGBuildVersion(missing.c_str(), &record), 0xFFFA0000u);
    EXPECT_TRUE(log.has("OPEN_FILE_ERROR - Could not open image file = " + missing + ", Status = FFFA0000\n"));
    const std::string empty = writeFixture(dir, "empty.prg", {});
    EXPECT_EQ(getPRGBuildVersion(empty.c_str(), &record), 0xFFF90000u);
}

TEST(ReadPRGImageHeader, GivesHostOrderWords) {
    testkit::TempDir dir;
    const ImageBytes bytes = buildPrgImage(prg(kWordUB));
    const std::string path = writeFixture(dir, "a.prg", bytes);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::uint32_t header[PRG_HEADER_WORDS] = {};
    EXPECT_EQ(ReadPRGImageHeader(file, header), 0u);
    EXPECT_EQ(header[0], bytes.size()); // the image length
    EXPECT_EQ(header[1], kWordUB);
    EXPECT_EQ(std::ftell(file), 48);
    std::fclose(file);
    EXPECT_EQ(ReadPRGImageHeader(nullptr, header), 1u);
}

struct RomCase {
    std::optional<PciRomLayout> rom;
    std::size_t keepBytes;
    std::uint32_t status;
};

TEST(CheckPrgRomDeviceId, RestoresThePositionInEveryCase) {
    const RomCase cases[] = {
        {romFor(0xF180), 0, 0},
        {romFor(0xF100), 0, 0xFFF70001},
        {brokenRom(0), 0, 1},
        {brokenRom(1), 0, 1},
        {brokenRom(2), 0, 1},
        {romFor(0xF180), 60, 0xFFF90002}, // ends before the pointer group
        {romFor(0xF180), 80, 0xFFF90002}, // ends inside the data structure
        {std::nullopt, 0, 1},             // body bytes where the ROM would be
    };
    testkit::TempDir dir;
    for (const RomCase& c : cases) {
        ImageBytes bytes = buildPrgImage(prg(kWordUB, c.rom));
        if (c.keepBytes != 0)
            bytes.resize(c.keepBytes);
        const std::string path = writeFixture(dir, "rom.prg", bytes);
        std::FILE* file = std::fopen(path.c_str(), "rb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fseek(file, 48, SEEK_SET), 0);
        EXPECT_EQ(checkPrgRomDeviceId(file, 0xF180), c.status) << c.keepBytes;
        EXPECT_EQ(std::ftell(file), 48);
        int next = std::fgetc(file); // the stream is still usable
        EXPECT_EQ(next, bytes.size() > 48 ? bytes[48] : EOF);
        std::fclose(file);
    }
}

TEST(ReadPciRomHeader, RestoresTheReversedGroups) {
    testkit::TempDir dir;
    PciRomLayout rom = romFor(0xF180);
    rom.vendorId = 0x1A2B;
    const std::string path = writeFixture(dir, "rom.prg", buildPrgImage(prg(kWordUB, rom)));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 48, SEEK_SET);
    std::uint8_t data[PCI_ROM_DATA_SIZE] = {};
    EXPECT_EQ(readPciRomHeader(file, data), 0u);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), 4), "PCIR");
    EXPECT_EQ(data[4] | (data[5] << 8), 0x1A2B);
    EXPECT_EQ(data[6] | (data[7] << 8), 0xF180);
    std::fclose(file);
}

} // namespace
