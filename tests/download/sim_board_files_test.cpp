// The simulated library keeps large contents (a downloaded firmware object, a flash
// image) in binary files beside its board file: downloads end in a small board file
// that names complete files, a re-read serves the same bytes, unchanged contents are
// not written again, and only the library's own files that nothing names are removed.
#include "adapter/adapter_objects.h"
#include "download/ffs_download.h"
#include "image/image_status.h"
#include "tests/download/flash_fixture.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

using BoardFilesTest = FlashTest;

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST_F(BoardFilesTest, LargeContentsRoundTripThroughFilesBesideASmallBoardFile) {
    // Board 0 takes firmware as the "/prg" object, board 1 (family 0xF700) by DOWN_LOAD.
    ASSERT_EQ(useBoards(ferrox(R"("prgChangeStatus": 2)") + ", " + board(32), {AdapterRecord{}, record(32)}),
              2u);
    // Larger than the library holds in memory while it arrives (1 MiB), and a PRG image
    // larger than the board file keeps as text (4 KiB).
    GrpImageLayout grpLayout;
    grpLayout.bodySize = 1536 * 1024;
    const ImageBytes grp = buildGrpImage(grpLayout);
    const std::string grpPath = image("fw.grp", grp);
    PrgImageLayout prgLayout;
    prgLayout.versionWord = programWord(2, 0x12);
    prgLayout.bodySize = 8192;
    const ImageBytes prg = buildPrgImage(prgLayout);
    const std::string prgPath = image("fw.prg", prg);
    // What the library must leave alone, and what a download killed halfway left.
    testkit::writeText(dir.file("boards.notes.bin"), "mine");
    testkit::writeText(dir.file("other.0.object-_prg.1.bin"), "another board file's");
    testkit::writeText(dir.file("boards.1.flash-image.7.bin.tmp"), "cut short");

    ASSERT_EQ(FFS_DownloadFirmware(0, grpPath.c_str()), RESET_REQUIRED);
    ASSERT_EQ(downloadPayload(1, payloadForPath(prgPath.c_str()), nullptr, nullptr, [](unsigned) {}), 0u);

    const std::string objectFile = "boards.0.object-_prg.1.bin", imageFile = "boards.1.flash-image.1.bin";
    const std::string written = boardFile();
    EXPECT_LT(written.size(), 16u * 1024) << "contents kept as text";
    EXPECT_NE(written.find("\"file\": \"" + objectFile + "\""), std::string::npos) << written;
    EXPECT_NE(written.find("\"file\": \"" + imageFile + "\""), std::string::npos) << written;
    EXPECT_EQ(readBytes(dir.file(objectFile)), grp);
    EXPECT_EQ(readBytes(dir.file(imageFile)), prg);
    EXPECT_TRUE(testkit::exists(dir.file("boards.notes.bin")));
    EXPECT_TRUE(testkit::exists(dir.file("other.0.object-_prg.1.bin")));
    EXPECT_FALSE(testkit::exists(dir.file("boards.1.flash-image.7.bin.tmp")));

    // A fresh read of the board file serves the object from its file.
    ASSERT_EQ(startLibrary({AdapterRecord{}, record(32)}), 2u);
    std::vector<std::uint8_t> back(grp.size() + 1024);
    std::uint32_t got = 0;
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/prg", back.data(), std::uint32_t(back.size()), &got), 0u);
    back.resize(got);
    EXPECT_EQ(back, grp);

    // A reset that starts the new firmware writes the board file; the contents it did
    // not change keep their files.
    const auto listing = [&] {
        std::vector<std::string> names = platform::listDirectory(dir.path()).value_or(std::vector<std::string>{});
        std::sort(names.begin(), names.end());
        return names;
    };
    const std::vector<std::string> before = listing();
    ASSERT_EQ(dfc.DFC_ResetAdapter(1, 1), 0u);
    EXPECT_NE(boardFile(), written);
    EXPECT_NE(boardFile().find("\"file\": \"" + imageFile + "\""), std::string::npos);
    EXPECT_EQ(listing(), before);

    // New firmware replaces the object: its old file goes, the new one is complete.
    grpLayout.buildString = "11.2.300.1 (release)";
    const ImageBytes newer = buildGrpImage(grpLayout);
    ASSERT_EQ(FFS_DownloadFirmware(0, image("newer.grp", newer).c_str()), RESET_REQUIRED);
    EXPECT_EQ(boardFile().find(objectFile), std::string::npos);
    EXPECT_FALSE(testkit::exists(dir.file(objectFile)));
    const std::string next = "boards.0.object-_prg.2.bin";
    EXPECT_NE(boardFile().find("\"file\": \"" + next + "\""), std::string::npos) << boardFile();
    EXPECT_EQ(readBytes(dir.file(next)), newer);
    EXPECT_TRUE(testkit::exists(dir.file("boards.notes.bin")));
    EXPECT_TRUE(testkit::exists(dir.file("other.0.object-_prg.1.bin")));
}

// The window between a content's file and the board file naming it: the board file
// cannot be written after the new object's file is complete. The old board file still
// names the old file, whole and unchanged; the next write that succeeds removes the
// file nothing came to name.
TEST_F(BoardFilesTest, ABoardFileNotReplacedKeepsNamingTheOldContents) {
    ASSERT_EQ(useBoards(ferrox(R"("prgChangeStatus": 2)")), 1u);
    GrpImageLayout layout;
    layout.bodySize = 1280 * 1024; // streamed to its file as it arrives
    const ImageBytes first = buildGrpImage(layout);
    ASSERT_EQ(FFS_DownloadFirmware(0, image("first.grp", first).c_str()), RESET_REQUIRED);
    const std::string written = boardFile();
    ASSERT_NE(written.find(R"("file": "boards.0.object-_prg.1.bin")"), std::string::npos) << written;

    // A folder where the board file's temporary file goes: that write fails.
    std::filesystem::create_directory(boardsPath + ".tmp");
    layout.buildString = "11.2.300.1 (release)";
    const ImageBytes second = buildGrpImage(layout);
    ::testing::internal::CaptureStderr();
    FFS_DownloadFirmware(0, image("second.grp", second).c_str());
    const std::string message = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(message.find("cannot be written"), std::string::npos) << message;
    EXPECT_EQ(boardFile(), written);
    EXPECT_EQ(readBytes(dir.file("boards.0.object-_prg.1.bin")), first);
    EXPECT_EQ(readBytes(dir.file("boards.0.object-_prg.2.bin")), second);
    std::filesystem::remove(boardsPath + ".tmp");

    // A fresh read of the old board file serves the old object.
    ASSERT_EQ(startLibrary(), 1u);
    std::vector<std::uint8_t> back(first.size() + 1024);
    std::uint32_t got = 0;
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/prg", back.data(), std::uint32_t(back.size()), &got), 0u);
    back.resize(got);
    EXPECT_EQ(back, first);

    // The next write names the new object's file; the file no board file named is gone.
    ASSERT_EQ(FFS_DownloadFirmware(0, image("second.grp", second).c_str()), RESET_REQUIRED);
    const std::string now = boardFile();
    EXPECT_EQ(now.find("boards.0.object-_prg.2.bin"), std::string::npos) << now;
    EXPECT_FALSE(testkit::exists(dir.file("boards.0.object-_prg.2.bin")));
    EXPECT_FALSE(testkit::exists(dir.file("boards.0.object-_prg.1.bin")));
    EXPECT_NE(now.find(R"("file": "boards.0.object-_prg.3.bin")"), std::string::npos) << now;
    EXPECT_EQ(readBytes(dir.file("boards.0.object-_prg.3.bin")), second);
}

} // namespace
