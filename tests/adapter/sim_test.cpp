// The simulated library itself: board answers from the board file, fault rules,
// the journal, write-back of lasting state, and unusable board files.
#include "adapter/adapter_objects.h"
#include "adapter/mailbox.h"
#include "adapter/regions.h"
#include "common/bytes.h"
#include "tests/adapter/sim_fixture.h"

#include <functional>
#include <sstream>

namespace {

using SimLibraryTest = SimTest;

TEST_F(SimLibraryTest, AnswersEnumerationDriverPciAndLink) {
    writeBoardFile(R"({"boards": [{}, {
        "pci": {"bus": 7, "device": 33, "function": 1, "deviceId": "0xE200", "subsystemId": "0xE20A",
                "headerType": 128},
        "driver": {"kind": 21, "subKind": 3, "version": "12.4.1", "interfaceLevel": 4, "features": "0x1200"},
        "link": 7}]})");
    std::vector<std::uint8_t> entries(256 * kDiagEnvEntrySize);
    ASSERT_EQ(dfc.DFC_InitDiagEnv(entries.data(), 256), 2u);
    const std::uint8_t* e = entries.data() + kDiagEnvEntrySize;
    EXPECT_EQ(readHost32(e, 32), 7u);
    EXPECT_EQ(readHost32(e, 36), 33u);
    EXPECT_EQ(e[40], 1);

    std::uint8_t info[152] = {4};
    ASSERT_EQ(dfc.DFC_GetDrvInfo(1, info), 0u);
    EXPECT_EQ(info[1], 21);
    EXPECT_EQ(info[7], 3);
    EXPECT_STREQ(reinterpret_cast<const char*>(info + 10), "12.4.1");
    EXPECT_EQ(readHost32(info, 136), 4u);
    EXPECT_EQ(readHost32(info, 144), 0x1200u);
    std::uint8_t wrongLayout[152] = {3};
    EXPECT_NE(dfc.DFC_GetDrvInfo(1, wrongLayout), 0u);

    std::uint8_t header[256] = {};
    ASSERT_EQ(dfc.DFC_ReadPciCfg(1, header, 0, 256), 0u);
    EXPECT_EQ(readLe16(header, 0), 0x10DF); // the default vendor
    EXPECT_EQ(readLe16(header, 2), 0xE200);
    EXPECT_EQ(header[14], 128);
    EXPECT_EQ(readLe16(header, 46), 0xE20A);
    EXPECT_NE(dfc.DFC_ReadPciCfg(1, header, 200, 100), 0u); // past the header

    std::uint8_t link[168] = {};
    ASSERT_EQ(dfc.DFC_GetLinkInfo(1, link), 0u);
    EXPECT_EQ(link[21], 7);
    EXPECT_EQ(dfc.TavDfcQueryDriverType(1), 21u);
    EXPECT_NE(dfc.DFC_GetLinkInfo(2, link), 0u); // no such board
}

TEST_F(SimLibraryTest, FaultRuleFromKthCallNTimes) {
    useBoards(R"({"faults": [
        {"call": "DFC_GetLinkInfo", "from": 2, "times": 2, "result": 9},
        {"call": "DFC_IssueMboxWithRetry", "command": "0x02", "status": "0x1234"}]})");
    std::vector<std::uint32_t> results;
    for (int i = 0; i < 4; ++i) {
        std::uint8_t link[168] = {};
        results.push_back(dfc.DFC_GetLinkInfo(0, link));
    }
    EXPECT_EQ(results, (std::vector<std::uint32_t>{0, 9, 9, 0}));

    // A status-only rule answers that status with the mailbox-failure result, and
    // only for its command.
    MailboxImage names;
    setMailboxCommand(names, MAILBOX_READ_NAMES);
    EXPECT_EQ(dfc.DFC_IssueMboxWithRetry(0, names.bytes.data(), 32, 32, 2, 100), 2u);
    EXPECT_EQ(mailboxStatus(names), 0x1234);
    MailboxImage revision;
    setMailboxCommand(revision, MAILBOX_READ_REVISION);
    EXPECT_EQ(IssueMbox(0, revision), 0u);
}

TEST_F(SimLibraryTest, JournalHasOneLinePerCall) {
    const std::string journal = journalOn();
    useBoards(R"({"regions": {}}, {"driver": {"interfaceLevel": 4}})");
    std::uint8_t buffer[16] = {};
    std::uint32_t got = 0;
    ReadRegion(0, 14, 16, got, buffer);
    SliConfigImage s = makeSliConfigImage(SLI_OPCODE_FIRMWARE_VERSION, 1, 0);
    dfc.DFC_IssueMboxWithRetryV2(1, s.bytes.data(), sliConfigWords(s), 1, 100);
    std::istringstream lines(testkit::readText(journal));
    std::vector<std::string> all;
    for (std::string line; std::getline(lines, line);)
        all.push_back(line);
    ASSERT_GE(all.size(), 4u);
    EXPECT_EQ(all[0], "DFC_InitDiagEnv board=- command=- status=0x0000 result=2");
    EXPECT_EQ(all[all.size() - 2], "DFC_IssueMboxWithRetryEx board=0 command=0x17 status=0x00E0 "
                                   "result=2 kind=2 region=14 offset=0 words=4 dataWords=4");
    EXPECT_EQ(
        all.back().rfind("DFC_IssueMboxWithRetryV2 board=1 command=0x9B opcode=0x23 status=0x", 0),
        0u)
        << all.back();
}

// The request's fields end the line: read from what was sent, before the answer (or a
// fault rule's) overwrites it, with names kept to one word.
TEST_F(SimLibraryTest, JournalLineEndsWithTheFieldsOfTheRequest) {
    const std::string journal = journalOn();
    useBoards(R"({"regions": {"14": "000102030405060708090A0B0C0D0E0F", "16": "0011223344556677"},
                  "faults": [{"command": "0x1D", "status": "0x1234"}]},
                 {"driver": {"interfaceLevel": 4, "features": "0x1000"}})");
    const auto lastLine = [&] {
        std::istringstream lines(testkit::readText(journal));
        std::string line, last;
        while (std::getline(lines, line))
            last = line;
        return last;
    };
    const auto mailbox = [](std::uint8_t command, std::vector<std::uint32_t> words) {
        MailboxImage m;
        for (std::size_t i = 0; i < words.size(); ++i)
            setMailboxWord(m, i + 1, words[i]);
        setMailboxCommand(m, command);
        return m;
    };
    struct Case {
        const char* what;
        std::function<void()> call;
        const char* line;
    } cases[] = {
        {"words asked, though the answer says bytes delivered",
         [] {
             std::uint8_t buffer[16];
             std::uint32_t got = 0;
             ReadRegion(0, 14, 16, got, buffer);
         },
         "DFC_IssueMboxWithRetryEx board=0 command=0x17 status=0x0000 result=0 kind=2 region=14 "
         "offset=0 words=4 dataWords=4"},
        {"the dump's region as named and the length asked, not the length delivered",
         [] {
             std::uint8_t buffer[64];
             std::uint32_t length = sizeof buffer;
             dfc.DFC_IssueDumpMBox(0, 2, 0, 32, 0, buffer, &length);
         },
         "DFC_IssueDumpMBox board=0 command=- status=0x0000 result=0 region=32 offset=0 length=64"},
        {"a command a fault rule answers",
         [&] {
             MailboxImage m = mailbox(0x1D, {1, 0x03A11012, 0x77});
             IssueMbox(0, m);
         },
         "DFC_IssueMboxWithRetry board=0 command=0x1D status=0x1234 result=2 "
         "programId=0x03A11012:0x00000077"},
        {"a key name with blanks",
         [&] {
             std::vector<std::uint32_t> words(31, 0);
             words[0] = 13u << 24;
             words[1] = 0x00010220;
             words[2] = 0x0228 | (5u << 16);
             words[15] = 0x4B454B20; // "KEK 1"
             words[16] = 0x31000000;
             MailboxImage m = mailbox(0xF9, words);
             IssueMbox(0, m);
         },
         "DFC_IssueMboxWithRetry board=0 command=0xF9 status=0x0F07 result=2 sub=13 key=KEK%201"},
        {"an object name with a blank, '=' and '%'",
         [] {
             const std::uint8_t data[4] = {1, 2, 3, 4};
             std::uint32_t written = 0;
             SLI_CFG_WriteObject(1, "/a b=c%", data, 4, &written, 1);
         },
         "DFC_IssueMboxWithRetryV2 board=1 command=0x9B opcode=0xAC status=0x0000 result=0 "
         "subsystem=0x01 object=/a%20b%3Dc%25 offset=0 length=4 last=1"},
        {"an unknown command: nothing after the result",
         [&] {
             MailboxImage m = mailbox(0x77, {0x12345678});
             IssueMbox(0, m);
         },
         "DFC_IssueMboxWithRetry board=0 command=0x77 status=0x0001 result=2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        c.call();
        EXPECT_EQ(lastLine(), c.line);
    }
}

TEST_F(SimLibraryTest, RegionWritesLastAndReadsLeaveTheFileAlone) {
    const std::string original =
        R"({"boards": [{"name": "keep-me", "regions": {"20": "0000000000000000"}}]})";
    writeBoardFile(original);
    ASSERT_EQ(startLibrary(), 1u);

    std::uint8_t buffer[8] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(ReadRegion(0, 20, 8, got, buffer), 0u);
    EXPECT_EQ(testkit::readText(boardsPath), original); // nothing changed, nothing written

    MailboxImage m;
    setMailboxCommand(m, UPDATE_REGION);
    setMailboxField(m, 1, 0, 4, 2);
    setMailboxWord(m, 2, (8u << 16) | 20);
    setMailboxWord(m, 4, 8);
    const std::uint8_t ffv[8] = {'F', 'F', 'V', '1', '2', '3', '4', '5'};
    std::copy(std::begin(ffv), std::end(ffv), m.bytes.begin() + 20);
    ASSERT_EQ(IssueMbox(0, m), 0u);

    const std::string written = testkit::readText(boardsPath);
    EXPECT_NE(written.find("\"keep-me\""), std::string::npos) << written;
    EXPECT_FALSE(testkit::exists(boardsPath + ".tmp"));
    // A fresh start of the library reads the written bytes back.
    ASSERT_EQ(startLibrary(), 1u);
    ASSERT_EQ(ReadRegion(0, 20, 8, got, buffer), 0u);
    EXPECT_EQ(std::string(buffer, buffer + 8), "FFV12345");
}

TEST_F(SimLibraryTest, UnusableBoardFilesGiveNoBoardsAndOneMessage) {
    const char* damaged[] = {
        R"({"boards": [{"pci": {"deviceId": "0xE2)",         // cut short
        R"({"boards": [{"regions": {"14": "ABC"}}]})",       // odd hexadecimal
        R"({"boards": [{"pci": {"deviceId": "0x1E200"}}]})", // too large for 16 bits
        R"({"boards": {}})",                                 // not a list
    };
    for (const char* text : damaged) {
        writeBoardFile(text);
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(startLibrary(), 0u) << text;
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(boardsPath), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message; // one line
    }
    // A program enumerates more than once; a missing file is still told once.
    platform::setEnv("DFCSIM_BOARDS", dir.file("missing.json"));
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(startLibrary(), 0u);
    EXPECT_EQ(startLibrary(), 0u);
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("missing.json"), std::string::npos);
    EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
}

// A content kept in a binary file must be a whole file of the board file's own folder:
// a name that leads elsewhere, or a file missing or of another size than the board
// file says, is a damaged board file. A hand-written plain name is read and kept.
TEST_F(SimLibraryTest, BlobFilesAreWholeFilesOfTheBoardFilesFolder) {
    testkit::writeText(dir.file("short.bin"), "0123456789");
    testkit::writeText(dir.file("given.bin"), "FFV12345");
    const struct Case {
        const char* what;
        const char* board;
    } damaged[] = {
        {"parent folder", R"({"regions": {"20": {"file": "../given.bin"}}})"},
        {"absolute path", R"({"flash": {"image": {"file": "/etc/passwd"}}})"},
        {"sub-folder", R"({"objects": {"/prg": {"file": "sub/given.bin"}}})"},
        {"other separator", R"({"objects": {"/prg": {"file": "sub\\given.bin"}}})"},
        {"drive", R"({"flash": {"areas": {"0x0": {"file": "C:given.bin"}}}})"},
        {"missing", R"({"regions": {"20": {"file": "missing.bin"}}})"},
        {"short", R"({"regions": {"20": {"file": "short.bin", "size": 100}}})"},
        {"file and bytes", R"({"regions": {"20": {"file": "given.bin", "hex": "00"}}})"},
    };
    for (const Case& c : damaged) {
        SCOPED_TRACE(c.what);
        writeBoardFile(std::string(R"({"boards": [)") + c.board + "]}");
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(startLibrary(), 0u);
        const std::string message = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(message.find(boardsPath + " is damaged"), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), message.size() - 1) << message;
    }

    useBoards(R"({"regions": {"20": {"file": "given.bin"}, "21": "00"}})");
    std::uint8_t buffer[8] = {};
    std::uint32_t got = 0;
    ASSERT_EQ(ReadRegion(0, 20, 8, got, buffer), 0u);
    EXPECT_EQ(std::string(buffer, buffer + got), "FFV12345");
    // A change to another region writes the board file; the given file stays named.
    MailboxImage m;
    setMailboxCommand(m, UPDATE_REGION);
    setMailboxField(m, 1, 0, 4, 2);
    setMailboxWord(m, 2, (4u << 16) | 21);
    setMailboxWord(m, 4, 4);
    ASSERT_EQ(IssueMbox(0, m), 0u);
    EXPECT_NE(testkit::readText(boardsPath).find(R"("file": "given.bin")"), std::string::npos);
    EXPECT_EQ(testkit::readText(dir.file("given.bin")), "FFV12345");
}

TEST_F(SimLibraryTest, DemoBoardsLoad) {
    platform::setEnv("DFCSIM_BOARDS", WINMARLO_SOURCE_DIR "/demo/boards.json");
    platform::setEnv("DFCSIM_TIMING", "off"); // the demo boards' latencies
    ::testing::internal::CaptureStderr();
    const std::uint32_t n = startLibrary();
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
    ASSERT_EQ(n, 8u);
    for (std::uint32_t b = 0; b < n; ++b) {
        std::uint8_t header[256] = {};
        ASSERT_EQ(dfc.DFC_ReadPciCfg(b, header, 0, 256), 0u);
        EXPECT_EQ(readLe16(header, 0), 0x10DF) << b;
    }
}

} // namespace
