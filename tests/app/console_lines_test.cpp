// What the built program says on standard error besides its documents: the progress
// display when standard error is a terminal and nothing of it otherwise, and a plain
// "winmarlo: " line naming the folder, file, line or adapter and the reason for every
// failure and every warning, the exit statuses staying what they were.
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/fixture_names.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kSep(1, platform::kPathSeparator);
const std::vector<std::string> kUpdate = {"-u", "-o", "-g", "-c", "config", "-p", "common"};

// The legacy demo adapter's record.
const std::string kLegacyRecord =
    "pci_id=0xFE00\nvendor_id=0x10DF\nsubsys_id=0xFE00\nsubven_id=0x10DF\nfamily_id=01.04.03\n";

// Whether the demo package has its payload files. A build without the package (the
// Windows build) gets the boards and the configuration from the source tree instead.
bool withPayloads(testkit::DemoPackage& demo) {
    if (demo.ready())
        return true;
    fs::copy(WINMARLO_SOURCE_DIR "/demo/boards.json", demo.file("boards.json"));
    fs::copy(WINMARLO_SOURCE_DIR "/demo/config", demo.file("config"), fs::copy_options::recursive);
    fs::create_directories(demo.file("common"));
    return false;
}

// Each Application of an execution document: port name, component, version before and
// after (the Package's), and whether it reached the package.
struct Updated {
    std::string port, component, before, after;
    bool reached;
};

std::vector<Updated> applicationsOf(const std::string& xml) {
    std::vector<Updated> all;
    const auto root = testkit::parseXml(xml);
    if (root == nullptr)
        return all;
    for (const testkit::XmlElement* device : root->all("Device"))
        for (const testkit::XmlElement* application : device->all("Application")) {
            const bool bios = application->attributes.at("componentType") == "BIOS";
            const char* version = bios ? "tavBcVer" : "tavFwVer";
            const testkit::XmlElement* package = application->child("Package");
            const testkit::XmlElement* status = application->child("SPStatus");
            if (package == nullptr || status == nullptr)
                continue;
            all.push_back({device->attributes.at("wwpn"), bios ? "boot code" : "firmware",
                           application->attributes.at(version), package->attributes.at(version),
                           status->attributes.at("result") == "true"});
        }
    return all;
}

// Under a terminal the update shows its steps in place, the bytes and percent of each
// download, and ends with a table of every component before -> after; the documents are
// those of a run whose standard error is a file.
TEST(ConsoleLines, ATerminalShowsTheUpdateAsItGoesAndATableAtTheEnd) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "no pseudo-terminal under Wine: the Windows build's console detection is only compiled";
    if (!testkit::exists("/usr/bin/script"))
        GTEST_SKIP() << "util-linux script is not installed";
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "no demo package in this build (the native build makes it)";
    demo.useTimingModel(); // the cards take their time, so the display has something to show
    const testkit::RunResult r = demo.runInTerminal(kUpdate);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string& screen = r.output;

    EXPECT_NE(screen.find("\r\033[K"), std::string::npos) << "no line rewritten in place";
    EXPECT_TRUE(std::regex_search(screen, std::regex(R"(Found \d+ adapters, \d+ supported by the package \(not: TV-X43001, TV-X41001\)\.)")))
        << screen;
    for (const char* step : {": checking", ": erasing", ": downloading", ": resetting", ": writing the family ID"})
        EXPECT_NE(screen.find(step), std::string::npos) << step;
    EXPECT_TRUE(std::regex_search(screen, std::regex(R"(downloading [\d.]+ (B|KiB|MiB) of [\d.]+ (B|KiB|MiB) \(\d+%\))"))) << screen;

    const std::vector<Updated> applications = applicationsOf(testkit::readText(demo.file("execution.xml")));
    ASSERT_FALSE(applications.empty());
    const std::size_t table = screen.find("\nAdapter ");
    ASSERT_NE(table, std::string::npos) << screen;
    const std::string rows = screen.substr(table);
    for (const Updated& u : applications) {
        SCOPED_TRACE(u.port + " " + u.component);
        ASSERT_TRUE(u.reached);
        EXPECT_NE(u.before, u.after);
        EXPECT_TRUE(std::regex_search(rows, std::regex("\n" + u.port + " [^\n]* " + u.component + " +" + u.before +
                                                       " +-> " + u.after + " +updated\n")))
            << rows;
    }

    // The same update with standard error in a file: nothing of the display, the same
    // document.
    testkit::DemoPackage quiet;
    const testkit::RunResult plain = quiet.run(kUpdate, "", true);
    EXPECT_EQ(plain.status, 0);
    EXPECT_EQ(plain.output, "");
    EXPECT_EQ(plain.errors, "");
    EXPECT_EQ(testkit::readText(quiet.file("execution.xml")), testkit::readText(demo.file("execution.xml")));
}

// Standard error in a file (as every log and pipe): an inventory, a clean update and
// the same update again (status 1) say nothing of the display; only the status-1 run
// has its one closing line.
TEST(ConsoleLines, NoTerminalNoDisplay) {
    testkit::DemoPackage demo;
    const bool payloads = withPayloads(demo);
    const testkit::RunResult inventory = demo.run({"-inv", "-o", "-c", "config"}, "", true);
    EXPECT_EQ(inventory.status, 0);
    EXPECT_EQ(inventory.output, "");
    EXPECT_EQ(inventory.errors, "");
    if (!payloads)
        GTEST_SKIP() << "no demo payload files in this build for the update (the native build makes them)";
    const testkit::RunResult first = demo.run(kUpdate, "", true);
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.output, "");
    EXPECT_EQ(first.errors, "");
    const testkit::RunResult again = demo.run(kUpdate, "", true);
    EXPECT_EQ(again.status, 1);
    EXPECT_EQ(again.output, "");
    EXPECT_TRUE(std::regex_match(again.errors, std::regex("winmarlo: nothing was updated: \\d+ component\\(s\\) "
                                                          "already at the package's version; -f downloads the "
                                                          "package's images again\n")))
        << again.errors;
}

struct ReasonCase {
    const char* name;
    std::function<void(testkit::DemoPackage&)> prepare;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> lines; // each is found in one line of standard error
    const char* document = "";      // found in the XML document written with -o, when given
    bool payloads = false;          // needs the demo package's payload files
};

void writeSiteFile(testkit::DemoPackage& demo, const std::string& text) {
    fs::create_directories(demo.file("site"));
    testkit::writeText(demo.file("site" + kSep + "site.ini"), text);
}

const std::string kLongImage = "legacy-firmware-ZF282A4-release1.all"; // 36 characters

const ReasonCase kReasonCases[] = {
    {"a folder without configuration files", [](testkit::DemoPackage& d) { fs::create_directories(d.file("empty")); },
     {"-u", "-c", "empty", "-p", "common"}, 9,
     {"winmarlo: no configuration files (names containing .ini) in empty" + kSep + "; give the folder"}},
    {"a comment line over the length limit",
     [](testkit::DemoPackage& d) { writeSiteFile(d, "# " + std::string(140, 'x') + "\n" + kLegacyRecord); },
     {"-u", "-c", "site", "-p", "common"}, 10,
     {"site" + kSep + "site.ini, line 1: longer than 127 characters (a comment too)",
      "the rest of the file is ignored", "winmarlo: no valid configuration record in the configuration files of site"}},
    {"a UTF-8 byte-order mark",
     [](testkit::DemoPackage& d) { writeSiteFile(d, "\xEF\xBB\xBF# Demo site\n" + kLegacyRecord); },
     {"-inv", "-c", "site"}, 10,
     {"site" + kSep + "site.ini, line 1: the file begins with a UTF-8 byte-order mark"}},
    {"a blank line inside a record",
     [](testkit::DemoPackage& d) { writeSiteFile(d, "# two records\n\n" + kLegacyRecord.substr(0, 14) + "\n" +
                                                    kLegacyRecord.substr(14)); },
     {"-u", "-c", "site", "-p", "common"}, 10,
     {"site" + kSep + "site.ini, line 4: a blank line inside the record that begins on line 3"}},
    {"a rejected record beside valid ones is a warning",
     [](testkit::DemoPackage& d) {
         testkit::writeText(d.file("config" + kSep + "extra.ini"), "pci_id=0xFE00\nvendor_id=0xZZ\n");
     },
     {"-inv", "-c", "config"}, 0,
     {"config" + kSep + "extra.ini, line 2: the vendor_id value 0xZZ is no nonzero hexadecimal number; the "
      "record that begins on line 1 is skipped"}},
    {"an image name over the name limit",
     [](testkit::DemoPackage& d) { // the legacy firmware image takes a name too long
         for (const auto& entry : fs::directory_iterator(d.file("common")))
             if (entry.path().extension() == ".all")
                 fs::rename(entry.path(), d.file("common" + kSep + kLongImage));
     },
     kUpdate, 4,
     {"common" + kSep + kLongImage + " is skipped: a file name may have at most 31 characters, this one has 36",
      "), firmware cannot be updated: no payload file holds firmware ZF282A4 for model ",
      "), firmware: Update failed. Unable to open image file. (result 32); no payload file holds firmware ZF282A4 ",
      "(files that could not be read are reported above); add that image to the payload folder"},
     // the document keeps its text
     "<Message id=\"32\"> Update failed. Unable to open image file. </Message>", true},
    // The card's image is missing while another model's image of the same version is
    // there: the plan says so before anything is flashed, with the files looked at, and
    // the card's second port is not told to run the program again.
    {"a card's image missing from the package",
     [](testkit::DemoPackage& d) { fs::remove(d.file("common" + kSep + "ferrox-11.2.216.9.grp")); }, kUpdate, 4,
     {"winmarlo: before updating: adapter 10000010" WM_PREFIX_BYTE "720020 (TV-F21012), firmware cannot be updated: "
      "no payload file holds firmware 11.2.216.9 for model TV-F21012 (family 02.01.01); looked at "
      "ferrox-g6-11.2.216.9.grp (11.2.216.9, an image for other models); add that image to the payload folder\n"
      "winmarlo: before updating: adapter 10000010" WM_PREFIX_BYTE "720021 (TV-F21012), firmware cannot be updated: "
      "the card's other port 10000010" WM_PREFIX_BYTE "720020 cannot be updated (see above)",
      "720021 (TV-F21012), firmware: Update failed. The firmware download failed. (result 31); nothing was sent to "
      "this port: the card's other port 10000010" WM_PREFIX_BYTE "720020 failed (see above), and this port is "
      "updated with it\n"},
     "", true},
    {"an output file that falls back to the default name", [](testkit::DemoPackage&) {},
     {"-inv", "-o", "no-such-folder" + kSep + "inventory-here.xml", "-c", "config"}, 0,
     {"winmarlo: the XML document no-such-folder" + kSep +
      "inventory-here.xml cannot be created; it is written to inventory.xml instead"}},
    {"no adapters", [](testkit::DemoPackage& d) { testkit::writeText(d.file("boards.json"), "{\"boards\": []}\n"); },
     {"-inv", "-c", "config"}, 17, {"winmarlo: no adapters found"}},
    {"no adapter the configuration names",
     [](testkit::DemoPackage& d) {
         writeSiteFile(d, "pci_id=0x1234\nvendor_id=0x10DF\nsubsys_id=0x1234\nsubven_id=0x10DF\nfamily_id=01.04.03\n");
     },
     {"-inv", "-c", "site"}, 6,
     {"winmarlo: no adapter found is listed in the configuration files of site" + kSep + " (found: ",
      " (pci_id=FE00 vendor_id=10DF subsys_id=FE00 subven_id=10DF)"}},
    {"a port name that selects nothing", [](testkit::DemoPackage&) {},
     {"-u", "-wwn", WM_WWPN_PREFIX_COLONS ":00:00:99", "-c", "config", "-p", "common"}, 2,
     {"winmarlo: no supported adapter has the port name " WM_WWPN_PREFIX "000099 given with -wwn"}, "", true},
};

class ReasonTest : public ::testing::TestWithParam<ReasonCase> {};

TEST_P(ReasonTest, TheStatusStaysAndStandardErrorSaysWhy) {
    const ReasonCase& c = GetParam();
    testkit::DemoPackage demo;
    if (!withPayloads(demo) && c.payloads)
        GTEST_SKIP() << "no demo payload files in this build (the native build makes them)";
    c.prepare(demo);
    const testkit::RunResult r = demo.run(c.args, "", true);
    EXPECT_EQ(r.status, c.status) << r.errors;
    EXPECT_EQ(r.output, ""); // standard output has nothing of it
    std::istringstream lines(r.errors);
    for (std::string line; std::getline(lines, line);)
        EXPECT_EQ(line.rfind("winmarlo: ", 0), 0u) << line;
    for (const std::string& wanted : c.lines)
        EXPECT_NE(r.errors.find(wanted), std::string::npos) << wanted << "\nin:\n" << r.errors;
    if (c.document[0] != '\0') {
        const std::string xml = testkit::readText(demo.file("execution.xml"));
        EXPECT_NE(xml.find(c.document), std::string::npos) << xml;
    }
}

INSTANTIATE_TEST_SUITE_P(Failures, ReasonTest, ::testing::ValuesIn(kReasonCases), [](const auto& info) {
    std::string name;
    for (const char* c = info.param.name; *c != '\0'; ++c)
        name += std::isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
    return name;
});

} // namespace
