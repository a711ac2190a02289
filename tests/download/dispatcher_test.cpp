// The dispatcher: file kinds, which boards take which files, preparing the board,
// signature retries and the final mapping.
#include "download/dispatcher.h"

#include "image/all_image.h"
#include "tests/download/flash_fixture.h"

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

TEST_F(FlashTest, ANewerBoardWithItsLinkDownGoesToLoopbackFirst) {
    for (const int link : {1, 7, 2}) {
        SCOPED_TRACE(link);
        sleeps.clear();
        useBoard(board(56, "\"link\": " + std::to_string(link)), record(56));
        PrgImageLayout layout;
        layout.versionWord = programWord(2, 0x63);
        const std::string path = image("fw.prg", buildPrgImage(layout));
        const int before = sent("DFC_ConfigLoopback");
        EXPECT_EQ(download(path, stepText, progress), 0u);
        const bool down = link != 2;
        EXPECT_EQ(sent("DFC_ConfigLoopback") - before, down ? 1 : 0);
        EXPECT_EQ(sleeps, down ? std::vector<unsigned>{500} : std::vector<unsigned>{});
    }
    EXPECT_EQ(steps.front(), "Opening File");
    EXPECT_EQ(steps.back(), "Image Successfully Downloaded");
}

} // namespace
