// The FFV flash access: its text rule, the request on level-4 boards, region 20 (with
// the reconstruct) on the others, and requests the adapter refuses.
#include "adapter/ffv_access.h"
#include "adapter/hba_entry.h"
#include "adapter/region20.h"
#include "adapter/regions.h"
#include "tests/adapter/object_fixture.h"

#include <cstring>

namespace {

TEST(IsValidFFV, Texts) {
    const struct {
        const char* text;
        bool valid;
    } cases[] = {
        {"02.01.01", true}, {"2.1.1", false},     {"02.01.1a", false}, {"02..01.0", true},
        {"1.2.3.45", true}, {"12345678", false},  {"        ", false}, {"..1.2.3.", true},
        {"1.2.3.ab", true}, {"02.01.011", false}, {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isValidFFV(c.text), c.valid) << '"' << c.text << '"';
    EXPECT_FALSE(isValidFFV(nullptr));
}

// Memory of a board whose load list points at a first entry with layout 0x20000, so
// that configuration region r lives in the sector at 0x70000 + r * 4096.
constexpr const char* kLoadList =
    R"("memory": {"0x79C": "0x1000", "0x1000": ["0x79C", 0, "0x20000"]})";

std::string legacyBoard(const std::string& more) {
    return R"({"pci": {"deviceId": "0xF100"}, "regions": {"20": {"text": "01.02.03"}})" +
           (more.empty() ? "" : ", " + more) + "}";
}

std::string region20(std::uint32_t board) {
    char text[33] = {};
    std::uint32_t length = 32;
    if (readConfigRegion(board, 20, 0, length, reinterpret_cast<std::uint8_t*>(text)) != 0)
        return "<failed>";
    return std::string(text, length);
}

using Region20Test = ObjectTest;

TEST_F(Region20Test, WritesEightBytesInTheMailboxOrTheDataBuffer) {
    AdapterRecord small, large;
    small.mailboxPayload = 108;
    large.mailboxPayload = 2048;
    useBoards(legacyBoard("") + "," + legacyBoard(""), {small, large});
    const auto* data = reinterpret_cast<const std::uint8_t*>("04.05.06");
    ASSERT_EQ(WriteConfigRegion20(0, data), 0u);
    ASSERT_EQ(WriteConfigRegion20(1, data), 0u);
    EXPECT_EQ(sent("DFC_IssueMboxWithRetryEx board=1 command=0x1B"), 1);
    startLibrary({small, large});
    EXPECT_EQ(region20(0), "04.05.06");
    EXPECT_EQ(region20(1), "04.05.06");
}

TEST_F(Region20Test, AFailedWriteReconstructsTheRegionAndTriesOnce) {
    // UPDATE_REGION calls of a reconstructing write: 1 the write, 2 prepare, 3 create,
    // 4 the second write.
    const std::string once = R"("faults": [{"command": "0x1B", "status": "0x0011"}])";
    const std::string twice =
        R"("faults": [{"command": "0x1B", "status": "0x0011"}, {"command": "0x1B", "from": 4, "status": "0x0011"}])";
    useBoards(legacyBoard(std::string(kLoadList) + ", " + once) + "," +
              legacyBoard(std::string(kLoadList) + ", " + twice) + "," + legacyBoard(once));
    const auto* data = reinterpret_cast<const std::uint8_t*>("07.08.09");
    EXPECT_EQ(WriteConfigRegion20(0, data), 0u);
    EXPECT_EQ(sent("board=0 command=0x01"), 1); // the sector erase
    EXPECT_EQ(region20(0), "07.08.09");
    EXPECT_EQ(WriteConfigRegion20(1, data), REGION20_WRITE_FAILED);
    EXPECT_EQ(WriteConfigRegion20(2, data), REGION_RECONSTRUCT_FAILED); // no load list
    EXPECT_EQ(region20(2), "01.02.03");
}

using FfvTest = ObjectTest;

TEST_F(FfvTest, ReadAndWriteByBoardKind) {
    AdapterRecord vexil;
    vexil.HBAType = 0x20;
    vexil.deviceId = 0xE200;
    const std::string boards = ferrox(R"("ffv": "02.00.02")") + "," + legacyBoard("") + "," +
                               R"({"pci": {"deviceId": "0x1234"}})" + "," + ferrox() + "," +
                               ferrox(R"("ffv": "        ")");
    std::vector<AdapterRecord> records(5);
    records[0].deviceId = 0xE200;
    records[1].deviceId = 0xF100;
    records[2].deviceId = 0x1234;
    records[3] = vexil;
    records[4].deviceId = 0xE200;
    useBoards(boards, records);

    char ffv[33];
    EXPECT_EQ(readFFV(0, ffv, 32), FFV_READ_FAILED);
    ASSERT_EQ(readFFV(0, ffv, 33), 0u);
    EXPECT_STREQ(ffv, "02.00.02");
    ASSERT_EQ(readFFV(1, ffv, 33), 0u);
    EXPECT_STREQ(ffv, "01.02.03");
    EXPECT_EQ(readFFV(2, ffv, 33), FFV_NOT_KEPT);
    EXPECT_EQ(readFFV(4, ffv, 33), FFV_READ_FAILED); // eight blanks
    ASSERT_EQ(readFFV(3, ffv, 33), 0u);
    EXPECT_STREQ(ffv, ""); // nothing written yet

    EXPECT_EQ(writeFFV(3, "03.00.00", 0), FFV_NOT_WRITABLE);
    EXPECT_EQ(writeFFV(0, "3.0.0", 0), FFV_WRITE_FAILED);
    ASSERT_EQ(writeFFV(0, "03.00.00", 0), 0u);
    ASSERT_EQ(writeFFV(1, "04.01.00", 0), 0u); // region 20
    EXPECT_EQ(writeFFV(2, "04.01.00", 0), 0u); // region 20 of a board that reads none
    startLibrary(records);
    ASSERT_EQ(readFFV(0, ffv, 33), 0u);
    EXPECT_STREQ(ffv, "03.00.00");
    ASSERT_EQ(readFFV(1, ffv, 33), 0u);
    EXPECT_STREQ(ffv, "04.01.00");
}

TEST_F(FfvTest, RefusedRequestsFail) {
    useBoards(
        ferrox(R"("ffv": "02.00.02", "faults": [{"call": "DFC_IssueMboxWithRetryV2",
                        "opcode": "0x02", "times": 0, "status": "0x0010"}])") +
            R"(, {"pci": {"deviceId": "0xE200"}, "driver": {"interfaceLevel": 4}, "ffv": "02.00.02"})",
        std::vector<AdapterRecord>(2));
    adapterEnv.table[0].deviceId = adapterEnv.table[1].deviceId = 0xE200;
    char ffv[33];
    EXPECT_EQ(readFFV(0, ffv, 33), FFV_READ_FAILED);
    EXPECT_EQ(writeFFV(0, "03.00.00", 0), FFV_WRITE_FAILED);
    EXPECT_EQ(readFFV(1, ffv, 33), FFV_READ_FAILED); // no extended mailbox
    EXPECT_EQ(writeFFV(1, "03.00.00", 0), FFV_WRITE_FAILED);
}

} // namespace
