// The firmware download through the object store against the simulated library: a
// GRP file written as "/prg" with its change status, its trace lines, and the ways it
// fails.
#include "adapter/adapter_objects.h"
#include "adapter/object_reads.h"
#include "download/ffs_download.h"
#include "image/image_status.h"
#include "tests/adapter/object_fixture.h"
#include "tools/image_writer.h"

#include <vector>

namespace {

TEST_F(ObjectTest, DownloadFirmwareFileAsPrg) {
    useBoards(ferrox(R"("prgChangeStatus": 2)"));
    traceSettings.LOG_MODE = TRACE_KEYS_AND_OBJECTS;
    GrpImageLayout layout;
    layout.buildString = "11.2.216.9 (release)";
    layout.bodySize = 1200;
    const std::string file = dir.file("fw.grp");
    const ImageBytes image = buildGrpImage(layout);
    ASSERT_EQ(writeImageFile(file, image), 0);
    ASSERT_EQ(FFS_VerifyGrpFile(file.c_str()), 0u);
    EXPECT_EQ(FFS_VerifyGrpG6File(file.c_str()), 194u);

    std::vector<std::uint32_t> pieces; // bytes written after each piece
    EXPECT_EQ(FFS_DownloadFirmware(0, file.c_str(),
                                   [&](std::uint32_t written, std::uint32_t length) {
                                       EXPECT_EQ(length, image.size());
                                       pieces.push_back(written);
                                   }),
              RESET_REQUIRED);
    ASSERT_EQ(pieces.size(), (image.size() + 1023) / 1024);
    EXPECT_EQ(pieces.front(), 1024u);
    EXPECT_EQ(pieces.back(), image.size());
    startLibrary();
    std::vector<std::uint8_t> back(4096);
    std::uint32_t got = 0;
    ASSERT_EQ(SLI_CFG_ReadObject(0, "/prg", back.data(), 4096, &got), 0u);
    back.resize(got);
    EXPECT_EQ(back, image);
    // The simulated board now has the image's version in flash; the running one stays.
    FixedText<33> active, flash;
    ASSERT_EQ(FFS_GetFwVersion(0, &active, &flash), 0u);
    EXPECT_EQ(active, "10.2.315.26");
    EXPECT_EQ(flash, "11.2.216.9");

    const std::string log = debugText();
    const std::string size = std::to_string(image.size());
    EXPECT_NE(log.find("[FFS_DownloadFile] Calling SLI_CFG_WriteObject: board: 0, fileName: " +
                       file + ", objectName: /prg, objectsize: " + size + " bytes\n"),
              std::string::npos);
    EXPECT_NE(log.find("[FFS_DownloadFile] " + size + " bytes written\n"), std::string::npos);
    EXPECT_NE(log.find("[SLI_CFG_WriteObject]pWriteSubRsp->change_status: 0x2\n"),
              std::string::npos);
    EXPECT_EQ(log.find("Error"), std::string::npos); // a reset request is no error
}

TEST_F(ObjectTest, DownloadFirmwareFailures) {
    useBoards(ferrox());
    traceSettings.LOG_MODE = TRACE_KEYS_AND_OBJECTS;
    const std::string odd = dir.file("odd.grp");
    testkit::writeText(odd, std::string(1026, 'x'));
    const std::string absent = dir.file("absent.grp");
    EXPECT_EQ(FFS_DownloadFirmware(0, ""), 4u);
    EXPECT_EQ(FFS_DownloadFirmware(0, absent.c_str()), 1u);
    EXPECT_EQ(FFS_DownloadFirmware(0, odd.c_str()), 194u);
    const std::string log = debugText();
    EXPECT_NE(log.find("[FFS_DownloadFile] Error opening file " + absent + ":\n"),
              std::string::npos);
    EXPECT_NE(log.find("[FFS_DownloadFile] Error SLI_CFG_WriteObject returned: 194\n"),
              std::string::npos);
    EXPECT_NE(log.find("[FFS_DownloadFirmware] Error FFS_DownloadFile returned: 194\n"),
              std::string::npos);
}

} // namespace
