// The adapter object store against the simulated library: pieces, every status, the
// change status of a firmware write, what a misbehaving adapter must not cause, and
// the whole-object reads (the VPD object, the firmware version texts).
#include "adapter/adapter_objects.h"
#include "adapter/mailbox.h"
#include "adapter/object_reads.h"
#include "common/bytes.h"
#include "image/image_status.h"
#include "tests/adapter/object_fixture.h"

#include <numeric>
#include <vector>

namespace {

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> bytes(n);
    std::iota(bytes.begin(), bytes.end(), std::uint8_t(7));
    return bytes;
}

TEST_F(ObjectTest, WritesInPiecesAndReadsBackFromTheSavedBoard) {
    useBoards(ferrox());
    const std::vector<std::uint8_t> data = pattern(2052);
    std::uint32_t written = 0;
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/cfg/big", data.data(), 2052, &written, 0), 0u);
    EXPECT_EQ(written, 2052u);
    EXPECT_EQ(sent("opcode=0xAC"), 3); // 1024 + 1024 + 4

    startLibrary(); // the board file as saved
    std::uint32_t size = 0;
    ASSERT_EQ(SLI_CFG_GetObjectSize(0, "/cfg/big", &size), 0u);
    EXPECT_EQ(size, 2052u);
    std::vector<std::uint8_t> back(4096);
    std::uint32_t got = 0;
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/cfg/big", back.data(), 4096, &got), 0u);
    ASSERT_EQ(got, 2052u);
    back.resize(got);
    EXPECT_EQ(back, data);

    // Exactly one piece: the simulator keeps the object only when the piece that
    // carries the last-piece bit has arrived.
    const int before = sent("opcode=0xAC");
    ASSERT_EQ(SLI_CFG_WriteObject(0, "/cfg/one", data.data(), 1024, &written, 1), 0u);
    EXPECT_EQ(sent("opcode=0xAC") - before, 1);
    ASSERT_EQ(SLI_CFG_GetObjectSize(0, "/cfg/one", &size), 0u);
    EXPECT_EQ(size, 1024u);
}

TEST_F(ObjectTest, ReadStatuses) {
    useBoards(ferrox(R"("objects": {"/obj8": "0102030405060708", "/empty": ""},
                       "faults": [{"call": "DFC_IssueMboxWithRetryV2", "opcode": "0xAB",
                                   "from": 2, "result": 2}])") +
              R"(, {"driver": {"interfaceLevel": 4}, "objects": {"/obj8": "0102030405060708"}})");
    // The fault rule spoils the second object call of board 0: the first piece read.
    std::uint8_t buffer[16] = {};
    std::uint32_t got = 99;
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/obj8", buffer, 16, &got), 1u);

    const std::string longName(101, 'n');
    struct Case {
        const char* what;
        std::uint32_t board;
        const char* name;
        std::uint32_t capacity;
        std::uint32_t status;
        std::uint32_t got;
    } cases[] = {
        {"whole object", 0, "/obj8", 16, 0, 8},
        {"no such object", 0, "/nope", 16, 3, 0},
        {"buffer smaller than the object", 0, "/obj8", 4, 7, 8},
        {"no buffer room at all", 0, "/obj8", 0, 7, 8},
        {"capacity not whole words", 0, "/obj8", 10, 4, 0},
        {"empty object", 0, "/empty", 16, 0, 0},
        {"empty name", 0, "", 16, 4, 0},
        {"name too long to travel whole", 0, longName.c_str(), 16, 4, 0},
        {"no extended mailbox", 1, "/obj8", 16, 2, 0},
    };
    for (const Case& c : cases) {
        got = 99;
        EXPECT_EQ(SLI_CFG_ReadObject(c.board, c.name, buffer, c.capacity, &got), c.status)
            << c.what;
        EXPECT_EQ(got, c.got) << c.what;
    }
    EXPECT_EQ(readBe32(buffer, 4), 0x05060708u);
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/obj8", buffer, 16, nullptr), 4u);
    std::uint32_t size = 0;
    EXPECT_EQ(SLI_CFG_GetObjectSize(0, "/nope", &size), 3u);
    EXPECT_EQ(SLI_CFG_GetObjectSize(0, std::string(104, 'n').c_str(), &size), 4u);

    // Too small a buffer costs the size query and nothing more.
    const int before = sent("opcode=0xAB");
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/obj8", buffer, 4, &got), 7u);
    EXPECT_EQ(sent("opcode=0xAB") - before, 1);
}

TEST_F(ObjectTest, FirmwareWriteAnswersTheBoardsChangeStatus) {
    const struct {
        int changeStatus;
        std::uint32_t status;
    } cases[] = {{0, 0}, {1, REBOOT_REQUIRED}, {2, RESET_REQUIRED}, {3, RESET_REQUIRED}, {4, 1}};
    const std::vector<std::uint8_t> data = pattern(8);
    for (const auto& c : cases) {
        useBoards(ferrox("\"prgChangeStatus\": " + std::to_string(c.changeStatus)));
        std::uint32_t written = 0;
        EXPECT_EQ(SLI_CFG_WriteObject(0, "/prg", data.data(), 8, &written, 1), c.status)
            << c.changeStatus;
    }
}

TEST_F(ObjectTest, WriteStatuses) {
    useBoards(ferrox(R"("objects": {"/prg": "01020304"},
                       "faults": [{"call": "DFC_IssueMboxWithRetryV2", "opcode": "0xAC",
                                   "from": 3, "status": "0x0010"}])") +
              R"(, {"driver": {"interfaceLevel": 4}})");
    const auto marked = [](const std::string& mark) {
        std::vector<std::uint8_t> bytes(2048, 0x11);
        std::copy(mark.begin(), mark.end(), bytes.begin() + 1500);
        return bytes;
    };
    const std::vector<std::uint8_t> missing = marked("DFCSIM:NOSIG");
    const std::vector<std::uint8_t> invalid = marked("DFCSIM:BADSIG");
    std::uint32_t written = 0;
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/prg", missing.data(), 2048, &written, 1), 209u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/prg", invalid.data(), 2048, &written, 1), 1u); // the fault
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/prg", invalid.data(), 2048, &written, 1), 203u);
    std::uint32_t size = 0;
    ASSERT_EQ(SLI_CFG_GetObjectSize(0, "/prg", &size), 0u);
    EXPECT_EQ(size, 4u); // a refused image leaves the old one in place

    const int before = sent("opcode=0xAC");
    const std::vector<std::uint8_t> data = pattern(1025);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", data.data(), 1025, &written, 1), 194u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", data.data(), 0, &written, 1), 0u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", nullptr, 8, &written, 1), 4u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "", data.data(), 8, &written, 1), 4u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/x", data.data(), 8, nullptr, 1), 4u);
    EXPECT_EQ(SLI_CFG_WriteObject(1, "/x", data.data(), 8, &written, 1), 2u);
    EXPECT_EQ(sent("opcode=0xAC"), before); // none of these reached an adapter
}

// A stand-in library whose adapter answers object requests with a chosen actual
// length, for answers the simulator would never give.
std::uint32_t g_actual = 0;
std::uint32_t stubDrvInfo(std::uint32_t, void* info) {
    auto* b = static_cast<std::uint8_t*>(info);
    writeHost32(b, 136, 4);
    writeHost32(b, 144, 0x1000);
    return 0;
}
std::uint32_t stubV2(std::uint32_t, void* buffer, std::uint32_t, std::uint32_t, std::uint32_t) {
    auto* b = static_cast<std::uint8_t*>(buffer);
    const bool sizeQuery = b[24] == SLI_OPCODE_READ_OBJECT && readHost32(b, 24 + 128) == 0;
    writeHost32(b, 24 + 16, sizeQuery ? 8 : g_actual);
    writeHost32(b, 24 + 20, 0); // never the end of the object
    return 0;
}

TEST_F(ObjectTest, AdapterAnswersOutsideTheRequestAreRefused) {
    const DfcLibrary saved = dfc;
    dfc.DFC_GetDrvInfo = stubDrvInfo;
    dfc.DFC_IssueMboxWithRetryV2 = stubV2;
    std::uint8_t buffer[8] = {};
    std::uint32_t got = 0, written = 0;
    g_actual = 12; // more than asked: would overrun the 8-byte buffer
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/o", buffer, 8, &got), 7u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/o", buffer, 8, &written, 1), 1u);
    g_actual = 0; // nothing delivered and no end: must not ask for ever
    EXPECT_EQ(SLI_CFG_ReadObject(0, "/o", buffer, 8, &got), 0u);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(SLI_CFG_WriteObject(0, "/o", buffer, 8, &written, 1), 1u);
    dfc = saved;
    EXPECT_NE(
        debugText().find("[SLI_CFG_WriteObject]Error: Actual length 12 > Request length 8 \n"),
        std::string::npos);
}

TEST_F(ObjectTest, ReadVpdTakesTheBytesBetweenHeadAndTail) {
    std::string vpd = std::string(280, '0') + "0102030405"; // 140 head bytes, then the VPD
    vpd += "00000000";                                      // the 4 bytes that are not VPD
    useBoards(ferrox(R"("objects": {"/vpd/fc_pf.vpd": ")" + vpd + R"(", "/short": "0102"})"));
    traceSettings.LOG_MODE = TRACE_KEYS_AND_OBJECTS;
    std::uint8_t buffer[1024] = {};
    std::uint32_t length = 0;
    ASSERT_EQ(FFS_ReadVPD(0, kVpdObjectName, buffer, 1024, &length), 0u);
    ASSERT_EQ(length, 5u);
    EXPECT_EQ(buffer[0], 1);
    EXPECT_EQ(buffer[4], 5);
    EXPECT_EQ(FFS_ReadVPD(0, kVpdObjectName, buffer, 4, &length), 7u);
    EXPECT_EQ(FFS_ReadVPD(0, "/short", buffer, 1024, &length), 1u); // no room for a VPD
    EXPECT_EQ(FFS_ReadVPD(0, "/nope", buffer, 1024, &length), 3u);
    const std::string log = debugText();
    EXPECT_NE(log.find("[FFS_ReadVPD] Error: The VPD buffer (4 bytes) is too small (9 bytes "
                       "required).\n"),
              std::string::npos);
    EXPECT_NE(log.find("[FFS_ReadVPD] Error: SLI_CFG_ReadObject (/nope) returned: 3\n"),
              std::string::npos);
}

TEST_F(ObjectTest, FirmwareVersionTexts) {
    const std::string full(32, '9');
    useBoards(ferrox(R"("firmwareVersions": {"active": "1.1.19.0", "flash": ")" + full + R"("},
                       "faults": [{"call": "DFC_IssueMboxWithRetryV2", "opcode": "0x23",
                                   "from": 2, "status": "0x0010"}])") +
              R"(, {"driver": {"interfaceLevel": 4}})");
    FixedText<33> active, flash;
    ASSERT_EQ(FFS_GetFwVersion(0, &active, &flash), 0u);
    EXPECT_EQ(active, "1.1.19.0");
    EXPECT_EQ(flash, full); // 32 characters kept whole
    EXPECT_EQ(FFS_GetFwVersion(0, &active, &flash), 1u);
    EXPECT_NE(debugText().find("[SLI_CFG_GetFwVersion]: Failed to retrieve the firmware version\n"),
              std::string::npos);
    EXPECT_EQ(FFS_GetFwVersion(1, &active, &flash), 2u);
    EXPECT_EQ(FFS_GetFwVersion(0, nullptr, &flash), 4u);
    EXPECT_EQ(SLI_CFG_GetFwVersion(0, nullptr), 4u);
}

} // namespace
