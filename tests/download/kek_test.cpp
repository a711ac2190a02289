// Download keys against the simulated secure board: the walk along the key chain,
// what the adapter may and may not answer, and the key step of a whole download.
#include "download/kek.h"

#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "download/boot_image.h"
#include "tests/download/flash_fixture.h"

#include <cstring>

namespace {

const char* const kDefault = "TAVREL DEFAULT DOWNLOAD KEK";
const char* const kKek1 = "TAVREL DOWNLOAD KEK 1";
const char* const kKek2 = "TAVREL DOWNLOAD KEK 2";

std::string secureBoard(const std::string& security) {
    return FlashTest::board(0x1004, R"("security": )" + security);
}

// A 264-byte key block naming a key, with a nonzero first word.
ImageBytes keyBlock(const std::string& name) {
    ImageBytes block(kKeyBlockBytes, 0);
    writeBe32(block.data(), 0, 1);
    std::memcpy(block.data() + kKeyBlockNameOffset, name.data(), name.size());
    return block;
}

TEST_F(FlashTest, TheWalkSetsEveryKeyBetweenTheBoardsAndTheTarget) {
    struct Case {
        const char* held;
        std::string target;
        std::uint32_t status;
        int commands; // security commands the walk sends
        const char* heldAfter;
    } cases[] = {
        {kDefault, kKek2, 0, 4, kKek2}, // read, SET 1, SET 2, read
        {kKek1, kKek2, 0, 3, kKek2},
        {kKek2, kKek2, 0, 1, kKek2},
        {kDefault, kDefault, 0, 1, kDefault},
        {kKek1, kDefault, 93, 1, kKek1}, // keys never go back: zeroize is the remedy
        {kKek2, kKek1, 93, 1, kKek2},
        {kDefault, "OTHER MAKER KEK", 93, 0, kDefault},
        // Entry 2 is picked by its first 21 characters, but the check after setting
        // compares whole texts.
        {kKek1, std::string(kKek2) + " EXTRA", 93, 3, kKek2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.held + std::string(" -> ") + c.target);
        useBoard(secureBoard(std::string(R"({"kek": ")") + c.held + "\"}"), record(0x1004, 0xF180));
        const int before = sent("command=0xF9");
        EXPECT_EQ(ProcessKEK(0, c.target.c_str()), c.status);
        EXPECT_EQ(sent("command=0xF9") - before, c.commands);
        char name[kKekNameBuffer] = {};
        std::uint32_t length = sizeof name;
        ASSERT_EQ(GetKEK_ID(0, name, length), 0u);
        EXPECT_STREQ(name, c.heldAfter);
    }
}

TEST_F(FlashTest, ABoardWithoutKeyCommandsCountsAsDone) {
    useBoard(secureBoard(R"({"keySupport": false})"), record(0x1004, 0xF180));
    EXPECT_EQ(ProcessKEK(0, kKek2), KEK_NOT_SUPPORTED);
    EXPECT_NE(debugText().find("[ProcessKEK] ERROR: GetDownloadKekId command not supported.\n"),
              std::string::npos);
}

TEST_F(FlashTest, AKeyNameLongerThanTheAnswerIsRefusedNotCopied) {
    useBoard(secureBoard(R"({"kekNameLength": 200})"), record(0x1004, 0xF180));
    char name[kKekNameBuffer + 8];
    std::memset(name, 'z', sizeof name);
    std::uint32_t length = kKekNameBuffer;
    EXPECT_EQ(GetKEK_ID(0, name, length), KEK_FAILURE);
    for (std::size_t i = 0; i < sizeof name; ++i)
        ASSERT_EQ(name[i], 'z') << i;
    EXPECT_EQ(ProcessKEK(0, kKek1), KEK_FAILURE);
}

TEST_F(FlashTest, PathAndStepLinesFollowTheKeyTraceFlag) {
    const std::string noPath = "[ProcessKEK] ERROR: Could not find a valid path to the required "
                               "download KEK.  HBA may need to be zeroized.\n";
    for (const std::uint32_t flag : {0u, TRACE_KEYS_AND_OBJECTS}) {
        SCOPED_TRACE(flag);
        traceSettings.LOG_MODE = flag;
        useBoard(secureBoard(R"({"kek": "TAVREL DOWNLOAD KEK 2"})"), record(0x1004, 0xF180));
        EXPECT_EQ(ProcessKEK(0, kKek1), KEK_FAILURE);
        const std::string text = debugText();
        EXPECT_EQ(text.find(noPath) != std::string::npos, flag != 0);
        EXPECT_EQ(text.find("[ProcessKEK] TARGET KEK FOUND\n") != std::string::npos, flag != 0);
    }
}

TEST_F(FlashTest, KeyBlockNameAndFlagComeFromTheFile) {
    ImageBytes bytes(40, 0);
    const ImageBytes block = keyBlock(std::string(kKek1));
    bytes.insert(bytes.end(), block.begin(), block.end());
    std::FILE* file = std::fopen(image("block.bin", bytes).c_str(), "rb");
    ASSERT_NE(file, nullptr);
    char name[kKekNameBuffer] = {};
    std::uint32_t length = sizeof name, keyFlag = 0;
    EXPECT_EQ(ReadKekIdFromPRG(file, name, length, 40, keyFlag), 0u);
    EXPECT_STREQ(name, kKek1);
    EXPECT_EQ(length, 21u);
    EXPECT_EQ(keyFlag, 1u);
    std::rewind(file);
    length = 100; // a buffer too small for the name field
    EXPECT_EQ(ReadKekIdFromPRG(file, name, length, 40, keyFlag), KEK_FAILURE);
    std::rewind(file);
    length = sizeof name;
    EXPECT_EQ(ReadKekIdFromPRG(file, name, length, 41, keyFlag), INVALID_IMAGE_ERROR | SHORT_IMAGE);
    std::fclose(file);
}

TEST_F(FlashTest, BootImageHeaderChecks) {
    struct Case {
        const char* what;
        PciRomLayout rom;
        std::uint32_t family;
        std::uint32_t status;
    } cases[] = {
        {"secure device on the secure family", {0x10DF, 0xF180, 0x1C, true, 512}, 0xF180, 0},
        {"other device on the secure family",
         {0x10DF, 0xF100, 0x1C, true, 512},
         0xF180,
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"secure device elsewhere",
         {0x10DF, 0xF180, 0x1C, true, 512},
         0xF10B,
         INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT},
        {"family without the check", {0x10DF, 0xF180, 0x1C, true, 512}, 0xF700, 0},
        {"no ROM signature", {0x10DF, 0xF100, 0x1C, false, 512}, 0xF100, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrgImageLayout layout;
        layout.versionWord = programWord(3, 0xA1);
        layout.rom = c.rom;
        std::FILE* file = std::fopen(image("boot.prg", buildPrgImage(layout)).c_str(), "rb");
        ASSERT_NE(file, nullptr);
        std::fseek(file, 48, SEEK_SET);
        EXPECT_EQ(ValidateArvoOrMistleBootProgId(file, c.family), c.status);
        EXPECT_EQ(std::ftell(file), 48);
        std::fclose(file);
    }
}

} // namespace
