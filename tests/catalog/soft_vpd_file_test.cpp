#include "tests/catalog/catalog_fixture.h"

#include "adapter/hba_entry.h"
#include "platform/platform.h"
#include "tests/testkit/fixture_names.h"

#include <filesystem>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// The list as "address|fw|bc|fid|type|location;" items.
std::string listedEntries(const SoftVpd& vpd) {
    std::string out;
    for (const VPDEntry& e : vpd.entries)
        out += e.address.str() + "|" + e.fw_ver.str() + "|" + e.bc_ver.str() + "|" +
               e.fid_ver.str() + "|" + std::to_string(e.cnaType) + "|" +
               std::to_string(e.location) + ";";
    return out;
}

HbaEntry fcAdapter(const char* wwpn, const char* fw, const char* bc, const char* family) {
    HbaEntry a;
    a.hbaType = 0;
    a.wwpn = wwpn;
    a.mac = "00-00-00-00-00-00";
    a.packagedFwVersion = fw;
    a.packagedBcVersion = bc;
    a.packagedFamilyId = family;
    return a;
}

HbaEntry nicAdapter(std::uint16_t hbaType, const char* mac, const char* fw, const char* family) {
    HbaEntry a;
    a.hbaType = hbaType;
    a.mac = mac;
    a.wwpn = "2000000000000000";
    a.packagedFwVersion = fw;
    a.packagedFamilyId = family;
    return a;
}

class SoftVpdTest : public CatalogTest {
  protected:
    void SetUp() override {
        CatalogTest::SetUp();
        fs::create_directories(dir_.file("pri"));
        fs::create_directories(dir_.file("sec"));
        softVpd_.primaryPath = primary();
    }
    std::string primary() const {
        return dir_.file("pri") + platform::kPathSeparator + "tavCNAFID.cfg";
    }
    std::string secondary() const {
        return dir_.file("sec") + platform::kPathSeparator + "tavCNAFID.cfg";
    }
};

// ---------------------------------------------------------------------------------------
// Reading

struct LineCase {
    const char* line;
    const char* entry; // listedEntries() after reading it as the primary file
};

const LineCase kLineCases[] = {
    {"MAC=" WM_MAC_PREFIX_DASHES "-12-34-56;FW=10.2.315.45;FID=01.04.03",
     WM_MAC_PREFIX_DASHES "-12-34-56|10.2.315.45|N/A|01.04.03|2|0;"},
    {"WWPN=" WM_WWPN_PREFIX "ABCDEF;FW= UD202A3;BC=UU700X1;FID=02.01.01",
     WM_WWPN_PREFIX "ABCDEF|UD202A3|UU700X1|02.01.01|8|0;"},
    {"FID=02.01.01;BC=UU700X1;FW=UD202A3;WWPN=" WM_WWPN_PREFIX "ABCDEF\r",
     WM_WWPN_PREFIX "ABCDEF|UD202A3|UU700X1|02.01.01|8|0;"},
    {"WWPN=" WM_WWPN_PREFIX "ABCDEF", WM_WWPN_PREFIX "ABCDEF|N/A|N/A|N/A|8|0;"},
    {"# MAC addresses of the lab", ""},
    {"FW=UD202A3;BC=UU700X1;FID=02.01.01", ""},
    {"", ""},
    // Field limits: a 23-character address and 31-character versions are kept; one
    // character more and the line is skipped, never cut.
    {"WWPN=" WM_WWNN_PREFIX_COLONS_LOWER ":00:00:01;FW=1234567890123456789012345678901;BC=N;FID=F",
     WM_WWNN_PREFIX_COLONS_LOWER ":00:00:01|1234567890123456789012345678901|N|F|8|0;"},
    {"WWPN=" WM_WWNN_PREFIX_COLONS_LOWER ":00:00:01x;FW=1;BC=2;FID=3", ""},
    {"MAC=" WM_MAC_PREFIX_DASHES "-12-34-56;FW=12345678901234567890123456789012;FID=3", ""},
    {"WWPN=1;FW=2;BC=3;FID=01.01.01.01.01.01.01.01.01.01.01", ""},
};

TEST_F(SoftVpdTest, ReadsEntryLines) {
    for (const LineCase& c : kLineCases) {
        softVpd_.entries.clear();
        testkit::writeText(primary(), std::string(c.line) + "\n");
        EXPECT_EQ(readCNAVpdFile(softVpd_, primary().c_str(), VPD_PRIMARY), 0);
        EXPECT_EQ(listedEntries(softVpd_), c.entry) << c.line;
    }
    EXPECT_NE(debugText().find("\nProcessing " + primary() +
                               "...\nMAC=" WM_MAC_PREFIX_DASHES "-12-34-56;"
                               "FW=10.2.315.45; BC=N/A; FID=01.04.03\n"),
              std::string::npos);
    EXPECT_NE(debugText().find("the WWPN value is longer than 23 characters"), std::string::npos);
}

TEST_F(SoftVpdTest, ReadsSecondaryFirstAndFindsTheFirstEntryForAnAddress) {
    softVpd_.secondaryPath = secondary();
    testkit::writeText(secondary(),
                       "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A3;BC=UU700X1;FID=02.01.01\n");
    testkit::writeText(primary(),
                       "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A1;BC=UU700A0;FID=02.00.01\n"
                       "MAC=" WM_MAC_PREFIX_DASHES "-00-00-01;FW=11.2.216.9;FID=02.01.01\n");
    EXPECT_EQ(createCNAVpdList(softVpd_), 0);
    EXPECT_EQ(listedEntries(softVpd_),
              WM_WWPN_PREFIX "000001|UD202A3|UU700X1|02.01.01|8|1;"
              WM_WWPN_PREFIX "000001|UD202A1|UU700A0|02.00.01|8|0;"
              WM_MAC_PREFIX_DASHES "-00-00-01|11.2.216.9|N/A|02.01.01|2|0;");
    EXPECT_NE(debugText().find(
                  "\n[printCNAEntries]\naddress  = " WM_WWPN_PREFIX "000001\nfw_ver   = UD202A3\n"
                  "bc_ver   = UU700X1\nfid_ver  = 02.01.01\nlocation = 1\ncnaType  = 8\n\n"),
              std::string::npos);

    // NIC and iSCSI functions are keyed by MAC address, every other kind by WWPN.
    struct Find {
        HbaEntry adapter;
        int found;
        const VPDEntry* entry;
    };
    const VPDEntry* secondaryEntry = &softVpd_.entries.front();
    const VPDEntry* macEntry = &*std::next(softVpd_.entries.begin(), 2);
    Find finds[] = {
        {fcAdapter(WM_WWPN_PREFIX "000001", "", "", ""), 1, secondaryEntry},
        {nicAdapter(2, WM_MAC_PREFIX_DASHES "-00-00-01", "", ""), 1, macEntry},
        {nicAdapter(4, WM_MAC_PREFIX_DASHES "-00-00-01", "", ""), 1, macEntry},
        {nicAdapter(8, WM_MAC_PREFIX_DASHES "-00-00-01", "", ""), 0, nullptr},
        {fcAdapter(WM_WWPN_PREFIX "000002", "", "", ""), 0, nullptr},
    };
    for (Find& f : finds) {
        EXPECT_EQ(findVPDEntry(softVpd_, &f.adapter), f.found) << f.adapter.hbaType;
        EXPECT_EQ(f.adapter.familyEntry, f.entry) << f.adapter.hbaType;
    }
}

TEST_F(SoftVpdTest, AbsentFilesAreReportedAndLeaveTheListEmpty) {
    EXPECT_EQ(createCNAVpdList(softVpd_), 0);
    EXPECT_TRUE(softVpd_.entries.empty());
    const std::string log = debugText();
    EXPECT_NE(log.find("\n[createCNAVpdList]\nLog path is not set, exiting\nFile " + primary() +
                       " does not exist!\n\n[printCNAEntries]\n"),
              std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Recording downloads and writing back

TEST_F(SoftVpdTest, UpdateRunWritesBothFilesAndReadsBackTheSame) {
    softVpd_.secondaryPath = secondary();
    testkit::writeText(secondary(),
                       "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A1;BC=UU700A0;FID=02.00.01\n");
    testkit::writeText(primary(), "# kept by the field team\n"
                                  "MAC=" WM_MAC_PREFIX_DASHES "-00-00-02;FW=11.0.270.18;FID=02.00.01\n");
    createCNAVpdList(softVpd_);

    // An adapter whose entry came from the secondary file: firmware, then boot code.
    HbaEntry fromSecondary = fcAdapter(WM_WWPN_PREFIX "000001", "UD202A3", "UU700X1", "02.01.01");
    EXPECT_EQ(updateCNA_VPD_Data(softVpd_, &fromSecondary, 0), 0);
    fromSecondary.packagedFamilyId = "99.99.99";
    EXPECT_EQ(updateCNA_VPD_Data(softVpd_, &fromSecondary, 1), 0);
    // Adapters without entries get new primary entries; the longest values all fit.
    HbaEntry newFc =
        fcAdapter(WM_WWNN_PREFIX_COLONS_LOWER ":00:00:03", "1234567890123456789012345678901",
                  "ABCDEFGHIJABCDEFGHIJABCDEFGHIJA", "01.02.03.04.05.06.07.08.09.10.1");
    EXPECT_EQ(updateCNA_VPD_Data(softVpd_, &newFc, 0), 0);
    HbaEntry newNic = nicAdapter(2, WM_MAC_PREFIX_DASHES "-00-00-04", "11.2.216.9", "02.01.01");
    EXPECT_EQ(updateCNA_VPD_Data(softVpd_, &newNic, 0), 0);
    const std::string log = debugText();
    EXPECT_NE(log.find("\n[updateCNA_VPD_Data]\nFound a match! Updating VPDEntry "
                       "pointer!\nUpdating existing entry!\n"),
              std::string::npos);

    EXPECT_EQ(updateCNAVPDFile(softVpd_), 0);
    EXPECT_EQ(testkit::readText(secondary()),
              "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A3;BC=UU700X1;FID=99.99.99\n");
    EXPECT_EQ(testkit::readText(primary()),
              "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A3;BC=UU700X1;FID=99.99.99\n"
              "MAC=" WM_MAC_PREFIX_DASHES "-00-00-02;FW=11.0.270.18;FID=02.00.01\n"
              "WWPN=" WM_WWNN_PREFIX_COLONS_LOWER ":00:00:03;FW=1234567890123456789012345678901;"
              "BC=ABCDEFGHIJABCDEFGHIJABCDEFGHIJA;FID=01.02.03.04.05.06.07.08.09.10.1\n"
              "MAC=" WM_MAC_PREFIX_DASHES "-00-00-04;FW=11.2.216.9;FID=02.01.01\n");
    EXPECT_NE(debugText().find("Writing: MAC=" WM_MAC_PREFIX_DASHES
                               "-00-00-04;FW=11.2.216.9;FID=02.01.01\n"),
              std::string::npos);
    // No temporary file is left behind.
    for (const char* folder : {"pri", "sec"})
        EXPECT_EQ(*platform::listDirectory(dir_.file(folder)),
                  std::vector<std::string>{"tavCNAFID.cfg"});

    // What was written reads back as the same entries, the longest line included; the
    // updated entry now comes from both files, and MAC lines carry no boot code.
    softVpd_.entries.clear();
    createCNAVpdList(softVpd_);
    EXPECT_EQ(listedEntries(softVpd_),
              WM_WWPN_PREFIX "000001|UD202A3|UU700X1|99.99.99|8|1;"
              WM_WWPN_PREFIX "000001|UD202A3|UU700X1|99.99.99|8|0;"
              WM_MAC_PREFIX_DASHES "-00-00-02|11.0.270.18|N/A|02.00.01|2|0;"
              WM_WWNN_PREFIX_COLONS_LOWER ":00:00:03|1234567890123456789012345678901|"
              "ABCDEFGHIJABCDEFGHIJABCDEFGHIJA|01.02.03.04.05.06.07.08.09.10.1|8|0;"
              WM_MAC_PREFIX_DASHES "-00-00-04|11.2.216.9|N/A|02.01.01|2|0;");
}

TEST_F(SoftVpdTest, AFailedWriteLeavesWhatStandsAtTheFilesPlace) {
    const std::string old = "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A1;BC=UU700A0;FID=02.00.01\n";
    testkit::writeText(primary(), old);
    createCNAVpdList(softVpd_);
    HbaEntry adapter = fcAdapter(WM_WWPN_PREFIX "000001", "UD202A3", "UU700X1", "02.01.01");
    updateCNA_VPD_Data(softVpd_, &adapter, 0);

    // A folder where the file should be is left as it stands.
    fs::remove(primary());
    fs::create_directories(fs::path(primary()) / "inside");
    EXPECT_EQ(updateCNAVPDFile(softVpd_), 1);
    EXPECT_TRUE(fs::is_directory(fs::path(primary()) / "inside"));
    const std::string log = debugText();
    EXPECT_NE(log.find("Log path does not exist, exiting\n"),
              std::string::npos); // no secondary path
    EXPECT_NE(log.find("Log path: " + primary() +
                       "\nWriting: WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A3;"
                       "BC=UU700A0;FID=02.01.01\nWarning: Unable to create updated CNA file!\n"),
              std::string::npos);
    // No temporary file is left behind.
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("pri")), fs::directory_iterator()), 1);

    // Once the way is clear, the same list is written.
    fs::remove_all(primary());
    EXPECT_EQ(updateCNAVPDFile(softVpd_), 0);
    EXPECT_EQ(testkit::readText(primary()),
              "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A3;BC=UU700A0;FID=02.01.01\n");
}

// Links planted at names the program writes are never written through: not at the
// fixed name its temporary file once had (today's temporary names are random and
// created exclusively, so this guards against a return to a fixed name), nor at the
// file itself, where the link is replaced by an ordinary file holding the new lines.
TEST_F(SoftVpdTest, LinksPlantedAtItsNamesAreNeverWrittenThrough) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "making links needs a privilege there";
    const std::string victim = dir_.file("victim"), other = dir_.file("other");
    testkit::writeText(victim, "victim\n");
    testkit::writeText(other, "other\n");
    fs::create_symlink(victim, primary() + ".tmp");
    fs::create_symlink(other, primary());
    createCNAVpdList(softVpd_);
    HbaEntry adapter = fcAdapter(WM_WWPN_PREFIX "000001", "UD202A3", "UU700X1", "02.01.01");
    updateCNA_VPD_Data(softVpd_, &adapter, 0);

    EXPECT_EQ(updateCNAVPDFile(softVpd_), 0);
    EXPECT_EQ(testkit::readText(victim), "victim\n");
    EXPECT_EQ(testkit::readText(other), "other\n");
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(primary())));
    EXPECT_EQ(testkit::readText(primary()),
              "WWPN=" WM_WWPN_PREFIX "000001;FW=UD202A3;BC=UU700X1;FID=02.01.01\n");
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(primary() + ".tmp")));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_.file("pri")), fs::directory_iterator()), 2);
}

// Before anything is downloaded the run proves that each soft VPD file could be rewritten
// now; a file whose place or folder cannot take it is named, and nothing is left behind.
TEST_F(SoftVpdTest, TheReplaceableCheckRefusesWhatCouldNotBeRewritten) {
    const char sep = platform::kPathSeparator;
    struct Case {
        const char* name;
        std::string primaryPath, secondaryPath;
        void (*prepare)(const std::string& dir);
        int result;
    };
    const std::string pri = primary(), sec = secondary();
    const Case cases[] = {
        {"no file yet", pri, "", [](const std::string&) {}, 0},
        {"ordinary files", pri, sec,
         [](const std::string& dir) {
             const char s = platform::kPathSeparator;
             testkit::writeText(dir + s + "pri" + s + "tavCNAFID.cfg", "WWPN=1;FW=2;BC=3;FID=4\n");
             testkit::writeText(dir + s + "sec" + s + "tavCNAFID.cfg", "");
         },
         0},
        {"its folder is missing", dir_.file("gone") + sep + "tavCNAFID.cfg", "",
         [](const std::string&) {}, 1},
        {"its folder is an ordinary file", dir_.file("flat") + sep + "tavCNAFID.cfg", "",
         [](const std::string& dir) {
             testkit::writeText(dir + platform::kPathSeparator + "flat", "not a folder\n");
         },
         1},
        {"a folder stands at the secondary file's place", pri, sec,
         [](const std::string& dir) {
             const char s = platform::kPathSeparator;
             fs::create_directories(dir + s + "sec" + s + "tavCNAFID.cfg" + s + "inside");
         },
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        softVpd_.entries.clear();
        for (const char* folder : {"pri", "sec"}) {
            fs::remove_all(dir_.file(folder));
            fs::create_directories(dir_.file(folder));
        }
        c.prepare(dir_.path());
        softVpd_.primaryPath = c.primaryPath;
        softVpd_.secondaryPath = c.secondaryPath;
        createCNAVpdList(softVpd_);
        const auto before = testkit::readText(c.primaryPath);
        EXPECT_EQ(checkCNAVPDFilesReplaceable(softVpd_), c.result);
        EXPECT_EQ(testkit::readText(c.primaryPath), before);
        const std::string refused = c.secondaryPath.empty() ? c.primaryPath : c.secondaryPath;
        EXPECT_EQ(debugText().find("Soft VPD file " + refused + " cannot be replaced: ") !=
                      std::string::npos,
                  c.result != 0);
        for (const char* folder : {"pri", "sec"})
            for (const auto& e : fs::directory_iterator(dir_.file(folder)))
                EXPECT_EQ(e.path().filename().string(), "tavCNAFID.cfg");
    }
}

TEST_F(SoftVpdTest, AnAddressLongerThanTheFieldIsNeverRecorded) {
    HbaEntry adapter =
        fcAdapter(WM_WWNN_PREFIX_COLONS_LOWER ":00:00:01:02", "UD202A3", "UU700X1", "02.01.01");
    EXPECT_EQ(updateCNA_VPD_Data(softVpd_, &adapter, 0), 1);
    EXPECT_TRUE(softVpd_.entries.empty());
    EXPECT_EQ(adapter.familyEntry, nullptr);
}

} // namespace
