// The mailbox layer against the simulated library: the call each board takes, the
// extended-mailbox test, region reads with their status mapping, the parameter
// triple and the adapter family.
#include "adapter/adapter_family.h"
#include "adapter/board_family.h"
#include "adapter/mailbox.h"
#include "adapter/regions.h"
#include "tests/adapter/sim_fixture.h"
#include "tests/testkit/fixture_names.h"

#include <set>

namespace {

AdapterRecord record(std::uint16_t hardwareId, std::uint16_t deviceId,
                     std::uint16_t subsystemVendorId = 0, std::uint16_t subsystemId = 0) {
    AdapterRecord r;
    r.hardwareId = hardwareId;
    r.deviceId = deviceId;
    r.subsystemVendorId = subsystemVendorId;
    r.subsystemId = subsystemId;
    return r;
}

std::string journalOf(const std::string& path) {
    return testkit::readText(path);
}

// 300 bytes 0, 1, 2, ... as hexadecimal text.
std::string countingHex(std::size_t n) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::size_t i = 0; i < n; ++i) {
        text += digits[(i >> 4) & 15];
        text += digits[i & 15];
    }
    return text;
}

TEST(MailboxTable, CodesAreUniqueAndNamed) {
    std::set<int> seen;
    for (const MailboxCommand& c : kMailboxCommands) {
        EXPECT_TRUE(seen.insert(c.code).second) << int(c.code);
        EXPECT_STREQ(mailboxCommandName(c.code), c.name);
    }
    EXPECT_STREQ(mailboxCommandName(0x77), "unknown");
}

TEST(MailboxImageFields, FieldsLandInTheirBits) {
    MailboxImage m;
    setMailboxCommand(m, READ_REGION);
    setMailboxField(m, 1, 0, 4, 2);
    setMailboxField(m, 1, 4, 1, 1);
    setMailboxField(m, 0, 16, 16, 0xFFF7);
    EXPECT_EQ(mailboxWord(m, 0), 0xFFF71700u);
    EXPECT_EQ(mailboxWord(m, 1), 0x12u);
    EXPECT_EQ(mailboxCommand(m), READ_REGION);
    EXPECT_EQ(mailboxStatus(m), 0xFFF7);

    const SliConfigImage s = makeSliConfigImage(SLI_OPCODE_READ_OBJECT, 1, 100, 6);
    EXPECT_EQ(s.bytes.size(), 264u); // data area rounded up to whole words
    EXPECT_EQ(sliConfigWords(s), 66u);
    EXPECT_EQ(mailboxWord(s.bytes.data(), 0), 0x9B00u);
    EXPECT_EQ(mailboxWord(s.bytes.data(), 1), 1u);
    EXPECT_EQ(mailboxWord(s.bytes.data(), 2), 232u);
    EXPECT_EQ(s.bytes[24], 0xAB);
    EXPECT_EQ(s.bytes[25], 1);
    EXPECT_EQ(sliRequestWord(s, 8), 100u);
}

using IssueMboxTest = SimTest;

TEST_F(IssueMboxTest, EachBoardTakesItsCallAndAnswersTheRevision) {
    const std::string journal = journalOn();
    ASSERT_EQ(useBoards(R"({"revision": {"hardwareId": "0x1004", "firmware": "2.10A5"}},
                           {"driver": {"interfaceLevel": 4}, "revision": {"hardwareId": "0x577"}})"),
              2u);
    for (std::uint32_t board : {0u, 1u}) {
        MailboxImage m;
        setMailboxCommand(m, MAILBOX_READ_REVISION);
        ASSERT_EQ(IssueMbox(board, m), 0u);
        EXPECT_EQ(mailboxField(m, 2, 12, 16), board == 0 ? 0x1004u : 0x577u);
    }
    const std::string lines = journalOf(journal);
    EXPECT_NE(lines.find("DFC_IssueMboxWithRetry board=0 command=0x11 status=0x0000 result=0\n"),
              std::string::npos)
        << lines;
    EXPECT_NE(lines.find("DFC_IssueMboxWithRetryV2 board=1 command=0x11 status=0x0000 result=0\n"),
              std::string::npos)
        << lines;
}

TEST_F(IssueMboxTest, FailuresNeverReadAsDone) {
    // The library refuses the command: the mailbox status stays 0, yet the command
    // did not run, so the library's result comes back instead of success.
    useBoards(
        R"({"faults": [{"call": "DFC_IssueMboxWithRetry", "command": "0x11", "result": 5}]})");
    MailboxImage refused;
    setMailboxCommand(refused, MAILBOX_READ_REVISION);
    EXPECT_EQ(IssueMbox(0, refused), 5u);
    EXPECT_EQ(mailboxStatus(refused), 0);

    // The adapter answers a status: that status is the result.
    MailboxImage unknown;
    setMailboxCommand(unknown, 0x77);
    EXPECT_EQ(IssueMbox(0, unknown), 1u);
}

struct ExtCase {
    const char* driver;
    bool supported;
};

TEST_F(IssueMboxTest, ExtendedV2MailboxNeedsLevel4AndFeatureBit) {
    const ExtCase cases[] = {
        {R"({"interfaceLevel": 4, "features": "0x1200"})", true},
        {R"({"interfaceLevel": 4, "features": "0x0200"})", false},
        {R"({"interfaceLevel": 3, "features": "0x1000"})", false},
        {R"({"interfaceLevel": 4, "features": "0x1000", "result": 2})", false},
    };
    std::string boards;
    for (const ExtCase& c : cases)
        boards += std::string(boards.empty() ? "" : ",") + R"({"driver": )" + c.driver + "}";
    ASSERT_EQ(useBoards(boards), 4u);
    for (std::uint32_t b = 0; b < 4; ++b)
        EXPECT_EQ(IsIssueMboxV2ExtSupported(b), cases[b].supported) << cases[b].driver;
}

using RegionTest = SimTest;

TEST_F(RegionTest, ReadRegionExMapsTheAdapterAnswers) {
    useBoards(R"({"regions": {
        "14": "00112233445566778899",
        "15": {"refused": true},
        "16": {"refused": true, "status": "0xFFFD", "result": "0xFFFFFFFF"},
        "17": {"refused": true, "status": "0xFFF7", "result": 7}},
      "faults": [{"call": "DFC_IssueMboxWithRetryEx", "from": 5, "result": 9}]})");
    struct Case {
        std::uint32_t region, status, got;
    };
    const Case cases[] = {
        {14, 0, 10},  // a short region gives what it has
        {15, 217, 0}, // not permitted, result 2
        {16, 217, 0}, // not permitted, result 0xFFFFFFFF
        {20, 2, 0},   // absent
        {14, 1, 0},   // the fifth call fails in the library
        {17, 1, 0},   // refused with an unexpected library result
    };
    for (const Case& c : cases) {
        std::uint8_t buffer[1000] = {};
        std::uint32_t got = 99;
        EXPECT_EQ(ReadRegion(0, c.region, 1000, got, buffer), c.status) << c.region;
        EXPECT_EQ(got, c.got) << c.region;
    }
    std::uint8_t buffer[8] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(ReadRegion(0, 14, 8, got, buffer), 0u);
    EXPECT_EQ(got, 8u);
    EXPECT_EQ(buffer[7], 0x77);
}

TEST_F(RegionTest, ClassicReadsHonourOffsetsAcrossPieces) {
    const std::string hex = countingHex(300);
    useBoards(R"({"regions": {"4": ")" + hex +
              R"("}}, {"driver": {"interfaceLevel": 4}, "regions": {"4": ")" + hex + R"("}})");
    for (std::uint32_t board : {0u, 1u}) {
        std::uint8_t buffer[300] = {};
        std::uint32_t length = 250;
        ASSERT_EQ(readConfigRegion(board, 4, 3, length, buffer), 0u);
        EXPECT_EQ(length, 250u);
        for (std::uint32_t i = 0; i < 250; ++i)
            ASSERT_EQ(buffer[i], std::uint8_t(3 + i)) << "board " << board << " byte " << i;

        length = 100;
        ASSERT_EQ(readConfigRegion(board, 4, 250, length, buffer), 0u);
        EXPECT_EQ(length, 50u); // the region ends at 300
        EXPECT_EQ(buffer[49], std::uint8_t(299));
    }
}

TEST_F(RegionTest, ReadRegionWordsReportsWhatArrived) {
    useBoards(R"({"regions": {"4": "0102030405060708"}}, {"regions": {}})");
    std::uint8_t buffer[60] = {};
    std::uint32_t bytes = 99;
    EXPECT_EQ(ReadRegionWords(0, buffer, 4, 15, 0, bytes), 0u);
    EXPECT_EQ(bytes, 8u);
    EXPECT_EQ(buffer[7], 8);
    EXPECT_EQ(ReadRegionWords(1, buffer, 4, 15, 0, bytes), 0xE0u);
    EXPECT_EQ(bytes, 0u);
}

TEST_F(RegionTest, Level4FactoryAddressGoesByTheDumpCall) {
    const std::string journal = journalOn();
    useBoards(R"({"driver": {"interfaceLevel": 4}, "regions": {"16": ")" WM_WWPN_PREFIX R"(223344"}})");
    std::uint8_t buffer[8] = {};
    std::uint32_t length = 8;
    ASSERT_EQ(readConfigRegion(0, 16, 0, length, buffer), 0u);
    EXPECT_EQ(length, 8u);
    EXPECT_EQ(buffer[0], 0x10);
    EXPECT_EQ(buffer[7], 0x44);
    EXPECT_NE(journalOf(journal).find("DFC_IssueDumpMBox board=0 command=- status=0x0000 result=0"),
              std::string::npos);
}

TEST_F(RegionTest, ConfigTripleByFamilyAndAvailability) {
    const AdapterRecord arvo = record(0x1004, 0xF100);
    useBoards(R"({"configTriple": [1, 2, 3]}, {"configTriple": "unavailable"},
                 {"faults": [{"call": "DFC_IssueMboxWithRetry", "command": "0x17", "result": 3}]},
                 {"faults": [{"call": "DFC_IssueMboxWithRetry", "result": 1}]},
                 {"driver": {"interfaceLevel": 4, "features": "0x1000"}, "configTriple": [7, 8, 9]},
                 {"configTriple": [1, 2, 3]})",
              {arvo, arvo, arvo, arvo, arvo, record(0x577, 0xFE00)});
    struct Case {
        std::uint32_t status, value;
    };
    const Case cases[] = {{0, 0x030201}, {231, 0xFFFFFF}, {231, 0xFFFFFF},
                          {0, 0},        {0, 0x090807},   {0, 0}};
    for (std::uint32_t b = 0; b < 6; ++b) {
        std::uint32_t value = 1;
        EXPECT_EQ(ReadConfigTriple(b, value), cases[b].status) << b;
        EXPECT_EQ(value, cases[b].value) << b;
    }
}

using FamilyTest = SimTest;

TEST_F(FamilyTest, FamilyTableRows) {
    struct Case {
        AdapterRecord r;
        std::uint32_t family;
    };
    const Case cases[] = {
        {record(0x510, 0xF0F8), 0xFFF20000},
        {record(0x510, 0xF0F6), 0xF0F6},
        {record(56, 0xF098), 0xF098},
        {record(56, 0xF0FF), 0xF98D},
        {record(56, 0xF0FF), 0xF980},
        {record(18, 0xFC05), 0xF0A5},
        {record(18, 0xF0FF), 0xFA00},
        {record(32, 0x1234), 0xF700},
        {record(37, 0xF085), 0xF085},
        {record(40, 0xF0FF), 0xF900},
        {record(0x1004, 0xF100, 0x10DF, 0xF10C), 0xF10B},
        {record(0x1004, 0xF100, 0x10DF, 0x338F), 0x338F},
        {record(0x1004, 0xF100, 0x10DF, 0x1111), 0xF100},
        {record(0x1004, 0xE131), 0xE131},
        {record(0x364, 0xFD11), 0xFD11},
        {record(0x577, 0xF0FF), 0xFE00},
        {record(0x1ACC, 0), 0x1AE5},
        {record(0x4838, 0), 0xFB00},
        {record(99, 0xF100), 0xFFF20000},
    };
    std::vector<AdapterRecord> records;
    std::string boards;
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        records.push_back(cases[i].r);
        // Board 3 carries the memory marker of the 0xF98D family; board 4 does not.
        boards += std::string(i ? "," : "") +
                  (i == 3 ? R"({"memory": {"0x788": ["0x7FFFC", 1]}})" : "{}");
    }
    ASSERT_EQ(useBoards(boards, records), std::size(cases));
    for (std::uint32_t b = 0; b < std::size(cases); ++b)
        EXPECT_EQ(GetAdapterFamily(b), cases[b].family) << "board " << b;
    EXPECT_EQ(GetAdapterFamily(99), 0xFFF20000u);
}

TEST(FamilyPredicates, NewerFamilyAndWideAddress) {
    EXPECT_TRUE(isNewerFamily(0x338F));
    EXPECT_TRUE(isNewerFamily(0xF980));
    EXPECT_FALSE(isNewerFamily(0xF700));
    EXPECT_FALSE(isNewerFamily(0xFFF20000));
    adapterEnv.table = {record(18, 0), record(0x510, 0), record(56, 0)};
    EXPECT_TRUE(isWideAddressBoard(0));
    EXPECT_TRUE(isWideAddressBoard(1));
    EXPECT_FALSE(isWideAddressBoard(2));
    EXPECT_FALSE(isWideAddressBoard(3));
    adapterEnv.table.clear();
}

} // namespace
