// Adapter selection against the configuration list and the family table, and the
// payload catalogue built from image files written by the image writer.
#include "adapter/hba_entry.h"
#include "catalog/payload_catalog.h"
#include "image/file_extension.h"
#include "platform/platform.h"
#include "tests/catalog/catalog_fixture.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

namespace {

class PayloadCatalogTest : public CatalogTest {
  protected:
    static HbaEntry adapter(std::uint32_t subsystem, const char* fw, std::uint16_t hbaType = 0) {
        HbaEntry e;
        e.adapterNumber = 200; // no board of the adapter table: never a Ferrox FC board
        e.vendorId = 0x10DF;
        e.subVendorId = 0x10DF;
        e.deviceId = 0xF100;
        e.subDeviceId = subsystem;
        e.fwVersion = fw;
        e.hbaType = hbaType;
        return e;
    }
    AdapterList adapters_;
    PayloadList payloads_;
};

TEST_F(PayloadCatalogTest, SelectsAdaptersAndTakesFamilyVersions) {
    ASSERT_EQ(makeFamilyIdTable(families_), 0);
    // The second names a subsystem the family lacks, the third a family not in the table.
    addConfigEntry(configs_, tally_, 0xF100, 0x10DF, 0xF100, 0x10DF, "02.01.01");
    addConfigEntry(configs_, tally_, 0xF100, 0x10DF, 0xF1FF, 0x10DF, "02.01.01");
    addConfigEntry(configs_, tally_, 0xF100, 0x10DF, 0xF126, 0x10DF, "77.77.77");
    adapters_ = {adapter(0xF100, "UD201A4"), adapter(0xF100, "ZD282A4"), adapter(0xF1FF, "UD201A4"),
                 adapter(0xF126, "UF201A4"), adapter(0xF1AA, "UD201A4")};
    const HbaEntry& legacy = adapters_[0];
    const HbaEntry& zd = adapters_[1];
    HbaEntry& absentRow = adapters_[2];
    const HbaEntry& unknownFamily = adapters_[3];
    const HbaEntry& unmatched = adapters_[4];

    EXPECT_EQ(assignConfigEntries(adapters_, configs_, families_, tally_), 3);
    EXPECT_EQ(tally_.adaptersSupported, 3u);

    EXPECT_EQ(legacy.supported, 1);
    EXPECT_EQ(legacy.packagedFamilyId.str(), "02.01.01");
    EXPECT_EQ(legacy.packagedFwVersion.str(), "UD202A3");
    EXPECT_EQ(legacy.packagedBcVersion.str(), "UU700X1");

    EXPECT_EQ(zd.supported, 0); // a ZD legacy adapter is never selected
    EXPECT_EQ(zd.packagedFamilyId.str(), "");

    EXPECT_EQ(absentRow.supported, 1);
    EXPECT_EQ(absentRow.packagedFwVersion.str(), "NONE");
    EXPECT_EQ(absentRow.packagedBcVersion.str(), "NONE");
    EXPECT_EQ(getFamilyImageVersions(families_, &absentRow, "02.01.01"), 1);

    EXPECT_EQ(unknownFamily.supported, 1);
    EXPECT_EQ(unknownFamily.packagedFwVersion.str(), "NONE");
    EXPECT_NE(debugText().find("Could not find id = 77.77.77\nCould not determine the family fw and bc\n"),
              std::string::npos);

    EXPECT_EQ(unmatched.supported, 0);
}

TEST_F(PayloadCatalogTest, CatalogueDecodesImagesAndFindsThemByVersion) {
    const std::string payloadDir = dir_.file("");
    GrpImageLayout grp;
    writeImageFile(dir_.file("fw.grp"), buildGrpImage(grp));
    PrgImageLayout boot;
    boot.versionWord = makeLegacyVersionWord(3, 0x79, 2, 0, 2, 1, 3);
    writeImageFile(dir_.file("boot.prg"), buildPrgImage(boot));
    testkit::writeText(dir_.file("notes.txt"), "not an image");
    testkit::writeText(dir_.file("broken.all"), "short");

    int status = 0;
    const std::vector<std::string> names =
        makeFileNameList(payloadDir.c_str(), &status, FILE_LIST_PAYLOAD);
    ASSERT_EQ(status, 0);
    makePayloadList(payloadDir.c_str(), names, &status, payloads_, tally_);
    EXPECT_EQ(payloads_.size(), 2u);
    EXPECT_EQ(tally_.payloadEntriesValid, 2u);
    EXPECT_GE(tally_.payloadFilesFound, 3u);

    const CluImage* grpRecord = nullptr;
    const CluImage* prgRecord = nullptr;
    for (const CluImage& r : payloads_) {
        EXPECT_EQ(r.sortedVersion.str(), "N/A");
        EXPECT_EQ(r.legacyType.str(), "N/A");
        (r.extType == GRPext ? grpRecord : prgRecord) = &r;
    }
    ASSERT_NE(grpRecord, nullptr);
    ASSERT_NE(prgRecord, nullptr);
    EXPECT_EQ(grpRecord->imageType, 32u);
    EXPECT_EQ(grpRecord->CNAMajorVer, 11u);
    EXPECT_EQ(grpRecord->CNABuildVer, 9u);
    // What the download takes is settled here, once: where the file is and its kind.
    EXPECT_EQ(grpRecord->path, platform::absolutePath(dir_.file("fw.grp")));
    EXPECT_EQ(grpRecord->fileKind, FILE_KIND_GRP);
    EXPECT_EQ(prgRecord->path, platform::absolutePath(dir_.file("boot.prg")));
    EXPECT_EQ(prgRecord->fileKind, FILE_KIND_OTHER);
    EXPECT_EQ(prgRecord->aifFlag, 1u);

    HbaEntry e = adapter(0xF100, "UD201A4");
    e.packagedBcVersion = prgRecord->decodedVersion.view();
    e.packagedFwVersion = "11.2.216.9";
    EXPECT_EQ(findCatalogImage(payloads_, e, prgRecord->imageType, PRGext), prgRecord);
    EXPECT_EQ(findCatalogImage(payloads_, e, prgRecord->imageType, ALLext), nullptr); // never as firmware
    EXPECT_EQ(findCatalogImage(payloads_, e, 32, GRPext), grpRecord);
    EXPECT_EQ(findCatalogImage(payloads_, e, 64, GRPext), nullptr);
    EXPECT_NE(debugText().find("Code not decode image version. File = broken.all Status = "), std::string::npos);
}

TEST_F(PayloadCatalogTest, MissingNameListIsStatusOne) {
    int status = 0;
    makePayloadList(dir_.file("").c_str(), {}, &status, payloads_, tally_);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(payloads_.empty());
}

} // namespace
