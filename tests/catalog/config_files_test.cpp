#include "tests/catalog/catalog_fixture.h"

#include "platform/platform.h"
#include "tests/testkit/fixture_names.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <vector>

namespace fs = std::filesystem;

namespace {

// The configuration list as "device/vendor/subsystem/subvendor=family;" items.
std::string listedEntries(const ConfigList& list) {
    std::string out;
    for (const ConfigEntry& e : list) {
        char item[96];
        std::snprintf(item, sizeof item, "%X/%X/%X/%X=%s;", e.deviceId, e.vendorId, e.subSystemId,
                      e.subVendorId, e.familyId.c_str());
        out += item;
    }
    return out;
}

class ConfigFilesTest : public CatalogTest {
  protected:
    void SetUp() override {
        CatalogTest::SetUp();
        fs::create_directories(configPath());
        configDir_ = configPath() + platform::kPathSeparator;
    }
    std::string configPath() const { return dir_.file("config"); }
    std::string configFile(const std::string& name) const {
        return configPath() + platform::kPathSeparator + name;
    }
    // Lists and reads the configuration directory; returns the read status.
    int readAll() {
        int status = -1;
        const std::vector<std::string> list =
            makeFileNameList(configDir_.c_str(), &status, FILE_LIST_CONFIG);
        EXPECT_EQ(status, 0);
        readConfigFiles(configDir_.c_str(), list, &status, configs_, tally_);
        return status;
    }
    std::string configDir_;
};

// ---------------------------------------------------------------------------------------
// File-name lists

TEST_F(ConfigFilesTest, ListsAcceptedNamesNewestFirstAndLogsTheRest) {
    const std::string name31 = std::string(27, 'n') + ".ini";
    const std::string name32 = std::string(28, 'n') + ".ini";
    for (const std::string name :
         {"a.ini", "b.INI", "c.Ini", "readme.txt", name31.c_str(), name32.c_str()})
        testkit::writeText(configFile(name), "x\n");
    fs::create_directories(configFile("folder.ini"));

    int status = -1;
    const std::vector<std::string> list =
        makeFileNameList(configDir_.c_str(), &status, FILE_LIST_CONFIG);
    EXPECT_EQ(status, 0);
    // Newest-first: the reverse of the order in which the directory is enumerated.
    EXPECT_EQ(list, (std::vector<std::string>{name31, "b.INI", "a.ini"}));

    const std::string log = debugText();
    EXPECT_NE(log.find("\n[makeFileNameList]\n"), std::string::npos);
    EXPECT_NE(log.find("Skipping unsupported file = c.Ini\n"), std::string::npos);
    EXPECT_NE(log.find("Skipping unsupported file = readme.txt\n"), std::string::npos);
    EXPECT_NE(log.find("Skipping file = " + name32 + "\nThe file name is longer than expected.\n"),
              std::string::npos);
    EXPECT_EQ(log.find("folder.ini"), std::string::npos);
}

// One package gives one result on every machine: whatever order the folder hands out,
// names are enumerated as a Windows folder lists them, letters compared as upper case
// (so '_' comes after the letters), for both kinds of list.
TEST_F(ConfigFilesTest, NamesAreEnumeratedInWindowsFolderOrder) {
    // Created in an order that is neither the listed one nor its reverse, so that a
    // folder handing out names by creation (either way) cannot pass for a sorted one.
    for (const char* name : {"b.ini", "a.ini", "C.INI", "ab.ini", "A_x.ini"})
        testkit::writeText(configFile(name), "x\n");
    int status = -1;
    // newest-first: the reverse of a.ini, ab.ini, A_x.ini, b.ini, C.INI
    EXPECT_EQ(makeFileNameList(configDir_.c_str(), &status, FILE_LIST_CONFIG),
              (std::vector<std::string>{"C.INI", "b.ini", "A_x.ini", "ab.ini", "a.ini"}));

    for (const char* name : {"Z.grp", "y.PRG", "_.all"})
        testkit::writeText(configFile(name), "x\n");
    EXPECT_EQ(makeFileNameList(configDir_.c_str(), &status, FILE_LIST_PAYLOAD),
              (std::vector<std::string>{"_.all", "Z.grp", "y.PRG"}));
}

TEST_F(ConfigFilesTest, PayloadKindListsImageNamesAndUnknownKindListsNothing) {
    for (const char* name : {"fw.grp", "boot.PRG", "pkg.all", "site.ini"})
        testkit::writeText(configFile(name), "x\n");
    int status = -1;
    std::vector<std::string> listed =
        makeFileNameList(configDir_.c_str(), &status, FILE_LIST_PAYLOAD);
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed, (std::vector<std::string>{"boot.PRG", "fw.grp", "pkg.all"}));
    EXPECT_NE(debugText().find("Skipping unsupported file = site.ini\n"), std::string::npos);

    status = -1;
    EXPECT_TRUE(makeFileNameList(configDir_.c_str(), &status, 7).empty());
    EXPECT_EQ(status, 0);
}

TEST_F(ConfigFilesTest, MissingAndEmptyDirectories) {
    int status = -1;
    const std::string missing = dir_.file("missing") + platform::kPathSeparator;
    EXPECT_TRUE(makeFileNameList(missing.c_str(), &status, FILE_LIST_CONFIG).empty());
    EXPECT_EQ(status, 1);

    // An empty directory lists fine, and nothing is then read or counted.
    const std::vector<std::string> none =
        makeFileNameList(configDir_.c_str(), &status, FILE_LIST_CONFIG);
    EXPECT_TRUE(none.empty());
    EXPECT_EQ(status, 0);
    readConfigFiles(configDir_.c_str(), none, &status, configs_, tally_);
    EXPECT_EQ(status, 1);
    EXPECT_TRUE(configs_.empty());
    EXPECT_EQ(tally_.configFilesRead, 0u);
}

// ---------------------------------------------------------------------------------------
// Records

struct RecordCase {
    const char* name;
    const char* text;
    const char* entries; // listedEntries() afterwards
    unsigned valid;      // configEntriesValid afterwards
    const char* logged;  // must appear in the debug file ("" for no check)
};

#define ONE_RECORD                                                                                 \
    "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=02.00.02\n"
#define ONE_ENTRY "F100/10DF/F100/10DF=02.00.02;"

const RecordCase kRecordCases[] = {
    {"comment, then one record", "# adapters of one site\n" ONE_RECORD, ONE_ENTRY, 1,
     "Closing = site.ini\n"},
    {"blank and // lines before a record", "\n   \n// note\n" ONE_RECORD, ONE_ENTRY, 1, ""},
    {"blanks around the = of the record start",
     "pci_id = 0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=02.00.02\n",
     ONE_ENTRY, 1, ""},
    {"hex ids without prefix and with trailing text",
     "pci_id=F100\nvendor_id=0x10DFzz\nsubsys_id=f100;x\nsubven_id=10DF\nfamily_id=02.00.02 ; "
     "new\n",
     ONE_ENTRY, 1, ""},
    {"vendor id 0 rejects the record; the next line has no pci_id and ends the file",
     "pci_id=0xF100\nvendor_id=0\nsubsys_id=0xF100\n" ONE_RECORD, "", 0,
     "Error: vendor_id value not in hex format!\nError: no pci_id!\nClosing = site.ini\n"},
    {"a pci_id that is not hex starts a new record with the next line", "pci_id=zz\n" ONE_RECORD,
     ONE_ENTRY, 1, "Error: pci_id value not in hex format!\n\n"},
    {"a pci_id without value starts a new record with the next line", "pci_id=\n" ONE_RECORD,
     ONE_ENTRY, 1, "Error: pci_id value not found!\n\n"},
    {"a first token without pci_id ends the file", "vendor_id=0x10DF\n" ONE_RECORD, "", 0,
     "Error: no pci_id!\n"},
    {"a comment inside a record ends the file",
     "pci_id=0xF100\n# vendor "
     "follows\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=02.00.02\n",
     "", 0, "Error: no vendor_id!\n"},
    {"subsys_id without value", "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=\nsubven_id=0x10DF\n",
     "", 0, "Error: subsys_id value not found!\n"},
    {"subven_id of 0x0000", "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x0000\n",
     "", 0, "Error: subven_id value not in hex format!\n"},
    {"no family_id line",
     "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily=1\n", "", 0,
     "Error: no familyId!\n"},
    {"family_id without value",
     "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=\n" ONE_RECORD,
     ONE_ENTRY, 1, "Error: family_id value not found!\n"},
    {"a record cut short by the end of the file", "pci_id=0xF100\n", "", 0,
     "Error: no vendor_id!\n"},
    // Limits: values and family IDs of 15 characters are kept, 16 reject the record.
    {"15-character values are kept",
     "pci_id=00000000000F100\nvendor_id=0000000000010DF\nsubsys_id=0xF100\nsubven_id=0x10DF\n"
     "family_id=02.00.02.000000\n",
     "F100/10DF/F100/10DF=02.00.02.000000;", 1, ""},
    {"a 16-character family ID rejects the record",
     "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=02.00.02."
     "0000000\n" ONE_RECORD,
     ONE_ENTRY, 1, "Error: family_id value is longer than 15 characters!"},
    {"a 16-character vendor id rejects the record",
     "pci_id=0xF100\nvendor_id=00000000000010DF\n" ONE_RECORD, ONE_ENTRY, 1,
     "Error: vendor_id value is longer than 15 characters!"},
    {"a 16-character pci_id rejects the record", "pci_id=000000000000F100\n" ONE_RECORD, ONE_ENTRY,
     1, "Error: pci_id value is longer than 15 characters!"},
    // Lines 2 to 5 hold at most 31 characters: exactly 31 is one line, a longer one is
    // split and its rest taken as the next line.
    {"a 31-character id line is one line",
     "pci_id=0xF100\nvendor_id=0x10DF               "
     "\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=02.00.02\n",
     ONE_ENTRY, 1, ""},
    {"a 32-character id line is split",
     "pci_id=0xF100\nvendor_id=0x10DF               "
     "x\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=02.00.02\n",
     "", 0, "Error: no subsys_id!\n"},
    {"the first record for a model wins within a file",
     ONE_RECORD
     "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=01.04.03\n",
     ONE_ENTRY, 2, ""},
    {"records for two models",
     ONE_RECORD
     "pci_id=0xE200\nvendor_id=0x10DF\nsubsys_id=0xE209\nsubven_id=0x10DF\nfamily_id=01.04.03\n",
     ONE_ENTRY "E200/10DF/E209/10DF=01.04.03;", 2, ""},
};

class ConfigRecordTest : public ConfigFilesTest,
                         public ::testing::WithParamInterface<RecordCase> {};

TEST_P(ConfigRecordTest, ReadsRecords) {
    const RecordCase& c = GetParam();
    testkit::writeText(configFile("site.ini"), c.text);
    EXPECT_EQ(readAll(), 0);
    EXPECT_EQ(listedEntries(configs_), c.entries);
    EXPECT_EQ(tally_.configEntriesValid, c.valid);
    EXPECT_EQ(tally_.configFilesRead, 1u);
    EXPECT_NE(debugText().find(c.logged), std::string::npos) << debugText();
}

INSTANTIATE_TEST_SUITE_P(Cases, ConfigRecordTest, ::testing::ValuesIn(kRecordCases),
                         [](const auto& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c != '\0'; ++c)
                                 name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

// Files are read newest-first, so of two files that describe one model the later name
// wins, with names compared without regard to case; where their family IDs differ the
// debug file and standard error say which file was used and which ignored.
TEST_F(ConfigFilesTest, LaterNameWinsForAModelAndAConflictIsReported) {
    struct Case {
        const char* firstFamily;  // in a.ini
        const char* secondFamily; // in B.ini, which is read first
        const char* conflict;     // the line, or "" when there is none
    };
    const Case cases[] = {
        {"01.01.01", "02.02.02",
         "Configuration conflict for adapter pci_id=F100 vendor_id=10DF subsys_id=F100 subven_id=10DF: "
         "family_id=02.02.02 from B.ini is used, family_id=01.01.01 from a.ini is ignored\n"},
        {"02.02.02", "02.02.02", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstFamily);
        configs_.clear();
        tally_ = RunTally{};
        const std::string record = "pci_id=0xF100\nvendor_id=0x10DF\nsubsys_id=0xF100\nsubven_id=0x10DF\nfamily_id=";
        testkit::writeText(configFile("a.ini"), record + c.firstFamily + "\n");
        testkit::writeText(configFile("B.ini"), record + c.secondFamily + "\n");
        const std::size_t logged = debugText().size();
        ::testing::internal::CaptureStderr();
        readAll();
        const std::string errors = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(listedEntries(configs_),
                  std::string("F100/10DF/F100/10DF=") + c.secondFamily + ";");
        EXPECT_EQ(tally_.configEntriesValid, 2u);
        EXPECT_EQ(tally_.configFilesRead, 2u);
        EXPECT_EQ(errors, *c.conflict != '\0' ? "winmarlo: " + std::string(c.conflict) : std::string());
        const std::string log = debugText().substr(logged);
        EXPECT_LT(log.find("Opening file = B.ini"), log.find("Opening file = a.ini"));
        EXPECT_EQ(log.find("Configuration conflict") != std::string::npos, *c.conflict != '\0') << log;
        if (*c.conflict != '\0') {
            EXPECT_NE(log.find(c.conflict), std::string::npos) << log;
        }
    }

    printConfigEntries(configs_);
    EXPECT_NE(
        debugText().find("\n\n[Discovered Configuration Entries]\n\nConfiguration #1\n"
                         "--- deviceId    = F100\n--- vendorId    = 10DF\n--- subSystemId = F100\n"
                         "--- subVendorId = 10DF\n--- family      = 02.02.02\n\n"),
        std::string::npos);
}

TEST_F(ConfigFilesTest, OpenFailureSetsStatus18UntilAFileOpens) {
    testkit::writeText(configFile("good.ini"), ONE_RECORD);
    struct Order {
        const char* first;
        const char* second;
        int status;
    };
    for (const Order order :
         {Order{"good.ini", "gone.ini", 18}, Order{"gone.ini", "good.ini", 0}}) {
        int status = -1;
        readConfigFiles(configDir_.c_str(), {order.first, order.second}, &status, configs_, tally_);
        EXPECT_EQ(status, order.status) << order.first;
    }
    EXPECT_EQ(tally_.configFilesRead, 4u);
    EXPECT_NE(debugText().find("\nOpening file = gone.ini\nAttempting to open = "),
              std::string::npos);
    EXPECT_NE(debugText().find("Config file could not be opened!\n\n"), std::string::npos);
}

// ---------------------------------------------------------------------------------------
// Value extraction and hex ids

TEST(ConfigValues, GetKeyValue) {
    struct Case {
        const char* line;
        const char* key;
        int result;
        const char* value;
    };
    const Case cases[] = {
        {"pci_id=0xF100", "pci_id", 0, "0xF100"},
        {"  pci_id   =   0xF100 ; comment", "pci_id", 0, "0xF100"},
        {"family_id=02.00.02\r\n", "family_id", 0, "02.00.02"},
        {"pci_id 0xF100", "pci_id", 1, "N/A"},
        {"pci_id=", "pci_id", 1, "N/A"},
        {"pci_id=;0xF100", "pci_id", 1, "N/A"},
        {"vendor_id=0x10DF", "pci_id", 1, "N/A"},
        {"", "pci_id", 1, "N/A"},
        // Keys that end in their delimiter, as the soft VPD lines use them; the BC inside
        // the address is not the BC= key.
        {"WWPN=" WM_WWPN_PREFIX "BC0001;FW= UD202A3;BC=UU700X1", "BC=", 0, "UU700X1"},
        {"WWPN=" WM_WWPN_PREFIX "BC0001;FW= UD202A3;BC=UU700X1", "FW=", 0, "UD202A3"},
    };
    for (const Case& c : cases) {
        std::string value = "stale";
        EXPECT_EQ(getKeyValue(c.line, c.key, value), c.result) << c.line;
        EXPECT_EQ(value, c.value) << c.line;
    }
}

TEST(ConfigValues, ParseHexId) {
    struct Case {
        const char* text;
        int result;
        std::uint32_t value;
    };
    const Case cases[] = {
        {"F100", 0, 0xF100},
        {"0xF100", 0, 0xF100},
        {"0xF100zz", 0, 0xF100},
        {" 0XF100", 0, 0xF100},
        {"0", 1, 0},
        {"0x0000", 1, 0},
        {"zz", 1, 0},
        {"", 1, 0},
        {"0x", 1, 0},
        {"123456789", 0, 0xFFFFFFFFu}, // beyond 32 bits: saturates, matches no adapter
    };
    for (const Case& c : cases) {
        std::uint32_t value = 7;
        EXPECT_EQ(parseHexId(&value, c.text), c.result) << c.text;
        EXPECT_EQ(value, c.value) << c.text;
    }
}

} // namespace
