// The dispatcher: file kinds, which boards take which files, preparing the board,
// signature retries and the final mapping.
#include "download/dispatcher.h"

#include "download/wakeup.h"
#include "image/all_image.h"
#include "tests/download/flash_fixture.h"

#include <cstdio>

namespace {

TEST(DownloadFileKind, ByExtensionInOneCaseOnly) {
    struct Case {
        const char* name;
        std::uint32_t kind;
    } cases[] = {
        {"fw.all", FILE_KIND_ALL},    {"FW.ALL", FILE_KIND_ALL},   {"x.dwc", FILE_KIND_DWC},
        {"X.BWC", FILE_KIND_BWC},     {"a.b.fwc", FILE_KIND_FWC},  {"c.ufi", FILE_KIND_UFI},
        {"d.GRP", FILE_KIND_GRP},     {"FW.Grp", FILE_KIND_OTHER}, {"fw.prg", FILE_KIND_OTHER},
        {"fw.allx", FILE_KIND_OTHER}, {"fw", FILE_KIND_OTHER},     {"grp.prg", FILE_KIND_OTHER},
    };
    for (const Case& c : cases)
        EXPECT_EQ(downloadFileKind(c.name), c.kind) << c.name;
    EXPECT_EQ(isAifFile("image.aif.prg"), 1);
    EXPECT_EQ(isAifFile("image.aif"), 2);
    EXPECT_EQ(isAifFile("image.AIF"), 2);
}

TEST_F(FlashTest, DriverTypeRefinedBySubKind) {
    struct Case {
        int kind, subKind;
        std::uint32_t type;
    } cases[] = {{2, 1, 10}, {2, 2, 12}, {2, 3, 11}, {2, 0, 2}, {3, 1, 3}, {16, 0, 16}};
    for (const Case& c : cases) {
        useBoard("{\"driver\": {\"kind\": " + std::to_string(c.kind) +
                     ", \"subKind\": " + std::to_string(c.subKind) + "}}",
                 record(32));
        std::uint32_t type = 99;
        EXPECT_EQ(GetDriverType(0, type), 0u);
        EXPECT_EQ(type, c.type) << c.kind << "/" << c.subKind;
    }
}

TEST_F(FlashTest, BoardsThatCannotTakeAFile) {
    AdapterRecord converged = record(32, 0x0714);
    converged.HBAType = 0x28;
    AdapterRecord ferroxConverged = record(0, 0xE260);
    ferroxConverged.HBAType = 0x28;
    AdapterRecord ferrox = record(0, 0xE200);
    struct Case {
        const char* what;
        AdapterRecord board;
        const char* file;
        std::uint32_t result;
    } cases[] = {
        {".ufi on a Fibre Channel board", record(32), "fw.ufi", DOWNLOAD_NOT_SUITABLE},
        {".ufi on a converged function", converged, "fw.ufi", DOWNLOAD_UFI_NOT_SUPPORTED},
        {".ufi on a Ferrox converged function", ferroxConverged, "fw.ufi", DOWNLOAD_NOT_SUITABLE},
        {"PRG on a converged function", converged, "fw.prg", DOWNLOAD_NOT_SUITABLE},
        {".grp on an older board", record(32), "fw.grp", DOWNLOAD_NOT_SUITABLE},
        {"PRG on a Ferrox board", ferrox, "fw.prg", DOWNLOAD_NOT_SUITABLE},
        {"no file at all", record(32), "missing.prg", OPEN_FILE_ERROR},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        useBoard(board(32), c.board);
        const std::string path = dir.file(c.file);
        EXPECT_EQ(UpdateTindleFirmwareWithFeedback(0, path.c_str(), nullptr, nullptr), c.result);
        EXPECT_EQ(sent("DFC_IssueMbox"), 0);
    }
}

TEST_F(FlashTest, AFileTooShortForItsFirstWordSendsNothing) {
    useBoard(board(32), record(32));
    const std::string path = image("tiny.prg", ImageBytes{1, 2, 3});
    EXPECT_EQ(UpdateTindleFirmwareWithFeedback(0, path.c_str(), stepText, progress),
              INVALID_IMAGE_ERROR | ERROR_READING_FILE);
    EXPECT_EQ(sent("DFC_IssueMbox"), 0);
    EXPECT_EQ(steps, std::vector<std::string>{"Opening File"});
}

TEST_F(FlashTest, ARefusedSignatureIsTriedFourTimesThenASecurityError) {
    useBoard(board(32, R"("flash": {"signatureStatus": "0x0F0B"})"), record(32));
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x11);
    const std::string path = image("sig.prg", buildPrgImage(layout));
    EXPECT_EQ(UpdateTindleFirmwareWithFeedback(0, path.c_str(), nullptr, nullptr), SECURITY_ERROR);
    EXPECT_EQ(sent("command=0x1C status=0x0F0B"), 4);
}

TEST_F(FlashTest, NoFlashBecomesTheNoFlashError) {
    useBoard(board(32, R"("flash": {"noFlash": true})"), record(32));
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x11);
    const std::string path = image("nf.prg", buildPrgImage(layout));
    EXPECT_EQ(UpdateTindleFirmwareWithFeedback(0, path.c_str(), nullptr, nullptr), NO_FLASH_ERROR);
}

// Loopback set for a download is cleared after it, whatever the download gave; a
// loopback that cannot be set or cleared is told in the debug log with its status.
TEST_F(FlashTest, LoopbackSetForADownloadIsClearedAfterItWhateverItGave) {
    const std::string set = "DFC_ConfigLoopback enable=1 kind=15";
    const std::string clear = "DFC_ConfigLoopback enable=0 kind=15";
    const std::string notSet = "Loopback for the download not set (link state unread or loopback "
                               "refused). Adapter 0 Stat 000000C8\n";
    const std::string notCleared =
        "Loopback set for the download not cleared. Adapter 0 Stat 00000006\n";
    const std::string noFlash = R"("link": 7, "flash": {"noFlash": true})";
    const std::string linkUnread = R"("faults": [{"call": "DFC_GetLinkInfo", "result": 1}])";
    const std::string setRefused = R"("faults": [{"call": "DFC_ConfigLoopback", "result": 5}])";
    const std::string clearRefused =
        R"("faults": [{"call": "DFC_ConfigLoopback", "from": 2, "result": 6}])";
    struct Case {
        const char* what;
        std::string more;
        std::uint32_t result;
        bool setSent, clearSent;
        std::vector<unsigned> sleeps;
        std::string line; // the debug line it gives, or empty
    } cases[] = {
        {"link down", R"("link": 1)", 0, true, true, {500}, ""},
        {"down persistently, failing", noFlash, NO_FLASH_ERROR, true, true, {500}, ""},
        {"link up", R"("link": 2)", 0, false, false, {}, ""},
        {"link state unread", R"("link": 1, )" + linkUnread, 0, false, false, {}, notSet},
        {"loopback refused", R"("link": 1, )" + setRefused, 0, true, false, {}, notSet},
        {"clearing refused", R"("link": 1, )" + clearRefused, 0, true, true, {500}, notCleared},
    };
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x63);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(journal.c_str());
        sleeps.clear();
        useBoard(board(56, c.more), record(56));
        const std::string path = image("fw.prg", buildPrgImage(layout));
        const std::size_t logged = debugText().size();
        EXPECT_EQ(download(path, stepText, progress), c.result);
        // The loopback calls bracket every DOWN_LOAD command of the download.
        std::vector<std::string> wanted = testkit::journalRequests(journal, {"0x1C"});
        EXPECT_FALSE(wanted.empty());
        if (c.setSent)
            wanted.insert(wanted.begin(), set);
        if (c.clearSent)
            wanted.push_back(clear);
        EXPECT_EQ(testkit::journalRequests(journal, {"DFC_ConfigLoopback", "0x1C"}), wanted);
        EXPECT_EQ(sleeps, c.sleeps);
        const std::string log = debugText().substr(logged);
        if (c.line.empty()) {
            EXPECT_EQ(log.find("Loopback"), std::string::npos) << log;
        } else {
            EXPECT_NE(log.find(c.line), std::string::npos) << log;
        }
    }
    EXPECT_EQ(steps.front(), "Opening File");
}

// The wakeup parameters are read before anything is programmed: a read that fails
// ends the download with MAILBOX_ERROR, and the debug log keeps the read's own status.
TEST_F(FlashTest, AFailedWakeupReadIsToldWithItsOwnStatus) {
    useBoard(R"({"revision": {"hardwareId": 32, "firmware": "1.00A0"},
                 "regions": {"4": {"refused": true, "status": "0xFFF7"}}})",
             record(32));
    WakeupRecord record;
    const std::uint32_t readStatus = ReadWakeupParameters(0, record);
    ASSERT_NE(readStatus, 0u);
    ASSERT_NE(readStatus, MAILBOX_ERROR);
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x11);
    EXPECT_EQ(download(image("fw.prg", buildPrgImage(layout))), MAILBOX_ERROR);
    EXPECT_EQ(sent("command=0x1C"), 0);
    char line[96];
    std::snprintf(line, sizeof line, "Reading the wakeup parameters failed. Adapter 0 Stat %08lX\n",
                  static_cast<unsigned long>(readStatus));
    EXPECT_NE(debugText().find(line), std::string::npos) << debugText();
}

} // namespace
