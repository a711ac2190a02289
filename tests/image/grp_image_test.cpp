// GRP images through getGRPBuildVersion, the header checks, the image record dump and
// the dispatch by extension kind.
#include "common/run_state.h"
#include "image/clu_image.h"
#include "image/grp_image.h"
#include "image/verify_fw_file.h"
#include "tests/image/image_test_support.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

struct GrpCase {
    const char* name;
    std::function<void(GrpImageLayout&)> change;
    int status;
    std::uint32_t imageType;
    std::string version;
    std::vector<std::string> logged;
    std::vector<std::string> notLogged;
};

const std::string kMagicBad = "GRP Header magic number bad";
const std::string kSignatureBad = "GRP Header signature bad";

const GrpCase kGrpCases[] = {
    {"plain", [](GrpImageLayout&) {}, 0, GRP_IMAGE, "11.2.216.9",
     {"RM_STATUS_OK - Ferrox firmware file GRP Header magic number is OK = FEAA0001\n",
      "RM_STATUS_OK - Ferrox firmware file GRP Header signature is OK    = F7A20000\n",
      "RM_STATUS_OK - Ferrox firmware file GRP Header pSignature is OK   = F7A2\n",
      "GRP GetFerroxBuildString = 11.2.216.9\n", "Ferrox firmware version  = 11.2.216.9\n"},
     {}},
    {"g6",
     [](GrpImageLayout& s) {
         s.magic = 0xFEAA0003;
         s.signature = 0xF70C1234;
         s.buildString = "1.1.21.4";
     },
     0, GRP_G6_IMAGE, "1.1.21.4", {"pSignature is OK   = F70C\n"}, {}},
    {"plain magic with the g6 signature fails both checks quietly",
     [](GrpImageLayout& s) { s.signature = 0xF70C0000; }, 1, NO_IMAGE, "0.0.0.0", {}, {kMagicBad, kSignatureBad}},
    {"g6 magic with the plain signature",
     [](GrpImageLayout& s) { s.magic = 0xFEAA0003; }, 1, NO_IMAGE, "0.0.0.0",
     {"RM_STATUS_ERROR - Ferrox firmware file GRP Header magic number bad = FEAA0003\n"}, {kSignatureBad}},
    {"unknown signature",
     [](GrpImageLayout& s) { s.signature = 0x12345678; }, 1, NO_IMAGE, "0.0.0.0",
     {"RM_STATUS_ERROR - Ferrox firmware file GRP Header signature bad    = 12345678\n"}, {kMagicBad}},
    {"build string starting with a letter",
     [](GrpImageLayout& s) { s.buildString = "v11.2"; }, 0, GRP_IMAGE, "", {"GRP GetFerroxBuildString = \n"}, {}},
    {"build string without a NUL",
     [](GrpImageLayout& s) {
         s.terminated = false;
         s.buildString = "1.";
     },
     1, NO_IMAGE, "", {"RM_STATUS_ERROR - Ferrox firmware file GRP Header version decode bad.\n"}, {}},
    {"digits and dots longer than the field are cut",
     [](GrpImageLayout& s) { s.buildString = std::string(100, '7') + " tail"; }, 0, GRP_IMAGE, std::string(63, '7'),
     {}, {}},
    {"header of 139 bytes", [](GrpImageLayout& s) { s.bodySize = 0; }, 197, NO_IMAGE, "0.0.0.0",
     {"RM_STATUS_ERROR_SHORT_FWIMAGE - GRP fileLength is smaller than the GRP header length! Status = 197\n"}, {}},
    {"large file", [](GrpImageLayout& s) { s.bodySize = 1 << 20; }, 0, GRP_IMAGE, "11.2.216.9", {}, {}},
};

class GrpDecode : public ::testing::TestWithParam<GrpCase> {};

TEST_P(GrpDecode, StatusTypeVersionAndLog) {
    const GrpCase& c = GetParam();
    testkit::TempDir dir;
    GrpImageLayout layout;
    c.change(layout);
    ImageBytes bytes = buildGrpImage(layout);
    if (layout.bodySize == 0)
        bytes.pop_back();
    const std::string path = writeFixture(dir, "fw.grp", bytes);

    DebugLogCapture log;
    CluImage record;
    record.extType = GRPext;
    EXPECT_EQ(verifyFwFile(path.c_str(), &record), static_cast<std::uint32_t>(c.status));
    EXPECT_EQ(record.imageType, c.imageType);
    EXPECT_EQ(record.decodedVersion, c.version);
    EXPECT_EQ(record.sortedVersion, "N/A");
    EXPECT_EQ(record.legacyType, "N/A");
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("\n[getGRPBuildVersion]\nInput file = " + path + "\n\n[getGRPBuildString]\n", 0), 0u)
        << text;
    for (const std::string& line : c.logged)
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n--- in ---\n" << text;
    for (const std::string& line : c.notLogged)
        EXPECT_EQ(text.find(line), std::string::npos) << line << "\n--- in ---\n" << text;
}

INSTANTIATE_TEST_SUITE_P(Headers, GrpDecode, ::testing::ValuesIn(kGrpCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(GrpFiles, MissingEmptyAndMisnamedFiles) {
    testkit::TempDir dir;
    const std::string empty = writeFixture(dir, "empty.grp", {});
    const std::string misnamed = writeFixture(dir, "fw.bin", buildGrpImage({}));
    const std::string folder = dir.file("folder.grp");
    std::filesystem::create_directory(folder);
    struct {
        std::string path;
        int status;
        const char* line;
    } cases[] = {
        {dir.file("missing.grp"), 199, "RM_STATUS_ERROR_READING_RESOURCE - Unable to open ifstream! Status = 199\n"},
        {folder, 199, "Unable to open ifstream!"}, // a folder opens on some systems but cannot be read
        {empty, 197, "GRP fileLength is smaller than the GRP header length!"},
        {misnamed, 194,
         "RM_STATUS_ERROR_INCOMP_IMAGE - Invalid GRP image extension! Status = 194\n"
         "Invalid GRP Image! Not a Ferrox Image!\n"},
    };
    for (const auto& c : cases) {
        DebugLogCapture log;
        CluImage record;
        EXPECT_EQ(getGRPBuildVersion(c.path.c_str(), &record), c.status) << c.path;
        EXPECT_EQ(record.decodedVersion, "0.0.0.0");
        EXPECT_TRUE(log.has(c.line)) << log.text();
    }
    EXPECT_EQ(getGRPBuildVersion(nullptr, nullptr), 4);
}

TEST(GrpFiles, HeaderKindTests) {
    testkit::TempDir dir;
    GrpImageLayout g6;
    g6.magic = 0xFEAA0003;
    g6.signature = 0xF70C0000;
    const std::string plain = writeFixture(dir, "a.grp", buildGrpImage({}));
    const std::string sixth = writeFixture(dir, "b.grp", buildGrpImage(g6));
    // The header tests look at the contents only, whatever the name.
    const std::string renamed = writeFixture(dir, "c.bin", buildGrpImage({}));
    EXPECT_EQ(isGrpFile(plain.c_str()), 0);
    EXPECT_EQ(isGrpFile(renamed.c_str()), 0);
    EXPECT_EQ(isGrpFile(sixth.c_str()), 194);
    EXPECT_EQ(isGrpG6File(sixth.c_str()), 0);
    EXPECT_EQ(isGrpG6File(plain.c_str()), 194);
    EXPECT_EQ(isGrpG6File(dir.file("none.grp").c_str()), 194);
    EXPECT_EQ(checkGrpExtension("x.GRP.bak"), 0);
    EXPECT_EQ(checkGrpExtension("x.Grp"), 194);
}

TEST(VerifyFwFile, DispatchesByExtensionKind) {
    DebugLogCapture log;
    CluImage record;
    record.imageType = GRP_IMAGE;
    record.extType = UFIext;
    EXPECT_EQ(verifyFwFile("x.ufi", &record), 6u);
    EXPECT_EQ(record.imageType, NO_IMAGE);
    record.extType = PRGext;
    EXPECT_EQ(verifyFwFile("missing.prg", &record), 0xFFFA0000u);
    EXPECT_EQ(record.imageType, FC_IMAGE);
    EXPECT_EQ(verifyFwFile(nullptr, &record), 4u);
    EXPECT_EQ(verifyFwFile("x.grp", nullptr), 4u);
    EXPECT_TRUE(log.has("[verifyFwFile] - Invalid arguments!\n"));
}

TEST(PrintCLUImage, WritesEveryField) {
    CluImage record;
    record.legacyVersion = makeLegacyVersionWord(7, 0x29, 2, 0, 2, 3, 3);
    record.CNAMajorVer = 11;
    record.CNAMinorVer = 2;
    record.CNAReleaseVer = 216;
    record.CNABuildVer = 9;
    record.legacyType = "OF";
    record.imageType = GRP_G6_IMAGE;
    record.extType = ALLext;
    record.filename = "fw.all";
    record.decodedVersion = "OF202X3";
    record.sortedVersion = "N/A";
    record.asicRevisionId = 0xAB;
    DebugLogCapture log;
    printCLUImage(&record);
    printCLUImage(nullptr);
    EXPECT_EQ(log.text(), "version              : 2\n"
                          "revision             : 0\n"
                          "fixlevel             : 2\n"
                          "dist_type            : X (3)\n"
                          "dist_cnt             : 3\n"
                          "filename             : fw.all\n"
                          "decodedVersion       : OF202X3\n"
                          "sortedVersion        : N/A\n"
                          "legacyType           : OF\n"
                          "isBER                : 0\n"
                          "asicRevisionId       : AB\n"
                          "CNAMajorVer          : 11\n"
                          "CNAMinorVer          : 2\n"
                          "CNAReleaseVer        : 216\n"
                          "CNABuildVer          : 9\n"
                          "Image Type           : 64 (GRP_G6_IMAGE)\n"
                          "extType              : 1 (ALLext)\n"
                          "\n[printCLUImage] - Invalid argument!\n");
    EXPECT_STREQ(imageTypeName(3), "VX3_IMAGE");
    EXPECT_STREQ(imageTypeName(5), "N/A");
    EXPECT_STREQ(extTypeName(UFIext), "UFIext");
    EXPECT_STREQ(extTypeName(2), "N/A");
}

} // namespace
