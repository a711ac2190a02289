// The built program with input from outside that is odd rather than hostile: an image
// query on something that is no ordinary file, adapter and configuration texts that are
// not UTF-8, and two configuration files that disagree about one adapter.
#include "platform/platform.h"
#include "platform/process_control.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kSep(1, platform::kPathSeparator);

// The legacy demo adapter (two ports); its family 01.04.03 is in the family table.
const std::string kRecord = "pci_id=0xFE00\nvendor_id=0x10DF\nsubsys_id=0xFE00\nsubven_id=0x10DF\nfamily_id=";

// Runs the program in dir with the demo boards (as given), killing it when it has not
// ended after a generous while: a run that hangs fails instead of stalling the suite.
testkit::RunResult runWatched(const testkit::TempDir& dir, const std::vector<std::string>& args,
                              const std::string& boards, bool* hung) {
    testkit::writeText(dir.file("boards.json"), boards);
    platform::setEnv("DFCSIM_BOARDS", dir.file("boards.json"));
    const testkit::RunResult r = testkit::runProgram(args, dir.path());
    platform::unsetEnv("DFCSIM_BOARDS");
    *hung = r.status == testkit::kHungStatus;
    return r;
}

std::string demoBoards() { return testkit::readText(WINMARLO_SOURCE_DIR "/demo/boards.json"); }

// -e reads only ordinary files: a FIFO would block the open until a writer came, a
// device never ends; each ends at once with the decode failure.
TEST(OutsideInput, ImageQueryOnAnythingButAnOrdinaryFileEndsWith19) {
    testkit::TempDir dir;
    struct Case {
        const char* name;
        const char* file;
        bool posixOnly;
    };
    const Case cases[] = {
        {"directory", "folder.grp", false},
        {"FIFO without a writer", "fifo.grp", true},
        {"link to a device that never ends", "zero.all", true},
    };
    fs::create_directories(dir.file("folder.grp"));
    if (!platform::kIsWindows) {
        ASSERT_EQ(platform::runProcess({"/usr/bin/mkfifo", dir.file("fifo.grp")}, "", ""), 0);
        fs::create_symlink("/dev/zero", dir.file("zero.all"));
    }
    for (const Case& c : cases) {
        if (c.posixOnly && platform::kIsWindows)
            continue;
        SCOPED_TRACE(c.name);
        bool hung = false;
        const testkit::RunResult r = runWatched(dir, {"-e", c.file}, "{\"boards\": []}", &hung);
        ASSERT_FALSE(hung) << "the image query did not end";
        EXPECT_EQ(r.status, 19) << r.output;
        EXPECT_NE(r.output.find(std::string(c.file) + " is not an ordinary file"), std::string::npos) << r.output;
    }
}

// VPD bytes of a legacy adapter whose long name (V1) holds the Latin-1 byte 0xE9.
std::string vpdHex(const std::string& description) {
    const auto resource = [](unsigned tag, const std::string& body) {
        return std::string(1, static_cast<char>(tag)) + static_cast<char>(body.size() & 0xFF) +
               static_cast<char>(body.size() >> 8) + body;
    };
    const auto field = [](const std::string& keyword, const std::string& value) {
        return keyword + static_cast<char>(value.size()) + value;
    };
    const std::string bytes = resource(0x82, "Tavrel TV-L7002 4Gb Fibre Channel Adapter") +
                              resource(0x90, field("SN", "tv7a100231") + field("V1", description) +
                                                 field("V2", "TV-L7002") + field("V3", "T7:E1 T3:E7")) +
                              "\x78";
    std::string hex;
    for (unsigned char b : bytes) {
        const char digits[] = "0123456789ABCDEF";
        hex += digits[b >> 4];
        hex += digits[b & 15];
    }
    return hex;
}

// Replaces every "vpd" object of the board file (the legacy ports hold the first two)
// with raw bytes; the board file itself must stay UTF-8, so the bytes go as hex.
std::string withRawVpd(std::string boards, const std::string& hex, int count) {
    std::size_t at = 0;
    for (int n = 0; n < count; ++n) {
        at = boards.find("\"vpd\": {", at);
        if (at == std::string::npos)
            return {};
        std::size_t end = boards.find('{', at);
        for (int depth = 0;; ++end) {
            depth += boards[end] == '{' ? 1 : boards[end] == '}' ? -1 : 0;
            if (depth == 0)
                break;
        }
        const std::string replacement = "\"vpd\": {\"hex\": \"" + hex + "\"}";
        boards.replace(at, end + 1 - at, replacement);
        at += replacement.size();
    }
    return boards;
}

// Bytes that are not UTF-8, from an adapter's VPD and from a configuration file, reach
// the documents as the Latin-1 characters of their values, and every document parses.
TEST(OutsideInput, TextsThatAreNotUtf8KeepTheDocumentsWellFormed) {
    testkit::TempDir dir;
    fs::create_directories(dir.file("settings"));
    fs::create_directories(dir.file("payload"));
    GrpImageLayout grp;
    grp.buildString = "11.2.216.9";
    ASSERT_EQ(writeImageFile(dir.file("payload" + kSep + "fw.grp"), buildGrpImage(grp)), 0);
    const std::string boards = withRawVpd(demoBoards(), vpdHex("Tavrel TV-L7002 caf\xE9 adapter"), 2);
    ASSERT_FALSE(boards.empty());
    bool hung = false;

    testkit::writeText(dir.file("settings" + kSep + "site.ini"), kRecord + "01.04.03\n");
    const testkit::RunResult inventory = runWatched(dir, {"-inv", "-o", "-c", "settings"}, boards, &hung);
    EXPECT_EQ(inventory.status, 0) << inventory.output;
    std::string error;
    auto root = testkit::parseXml(testkit::readText(dir.file("inventory.xml")), &error);
    ASSERT_NE(root, nullptr) << error;
    EXPECT_TRUE(testkit::xmllintAccepts(dir.file("inventory.xml")));
    const auto devices = root->all("Device");
    ASSERT_EQ(devices.size(), 2u);
    for (const auto* device : devices)
        EXPECT_EQ(device->attributes.at("display"), "Tavrel TV-L7002 caf\xC3\xA9 adapter");

    // A family ID no table knows: each update fails, and its Package names the family.
    testkit::writeText(dir.file("settings" + kSep + "site.ini"), kRecord + "01.04.0\xE9\n");
    const testkit::RunResult execution =
        runWatched(dir, {"-u", "-o", "-c", "settings", "-p", "payload"}, boards, &hung);
    EXPECT_EQ(execution.status, 2) << execution.output;
    root = testkit::parseXml(testkit::readText(dir.file("execution.xml")), &error);
    ASSERT_NE(root, nullptr) << error;
    EXPECT_TRUE(testkit::xmllintAccepts(dir.file("execution.xml")));
    std::size_t packages = 0;
    for (const auto* device : root->all("Device"))
        for (const auto* application : device->all("Application"))
            if (const auto* package = application->child("Package")) {
                ++packages;
                EXPECT_EQ(package->attributes.at("version"), "01.04.0\xC3\xA9");
            }
    EXPECT_GT(packages, 0u);
}

// Two configuration files give the legacy adapter different family IDs. Their names
// differ in case, and they are read in the reverse of the order a Windows folder lists
// them in (B.ini before a.ini) on every platform, so B.ini wins everywhere and both
// files are named on standard error.
TEST(OutsideInput, ConflictingConfigurationFilesGiveOneWinnerOnEveryPlatform) {
    testkit::TempDir dir;
    fs::create_directories(dir.file("settings"));
    testkit::writeText(dir.file("settings" + kSep + "a.ini"), kRecord + "01.04.03\n");
    testkit::writeText(dir.file("settings" + kSep + "B.ini"), kRecord + "02.01.01\n");
    bool hung = false;
    const testkit::RunResult r = runWatched(dir, {"-inv", "-o", "-g", "-c", "settings"}, demoBoards(), &hung);
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string line = "Configuration conflict for adapter pci_id=FE00 vendor_id=10DF subsys_id=FE00 "
                             "subven_id=10DF: family_id=02.01.01 from B.ini is used, family_id=01.04.03 from "
                             "a.ini is ignored\n";
    EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
    const std::string log = testkit::readText(dir.file("debug.log"));
    EXPECT_NE(log.find(line), std::string::npos);
    EXPECT_NE(log.find("Searching for FamilyID = 02.01.01\n"), std::string::npos);
    EXPECT_EQ(log.find("Searching for FamilyID = 01.04.03\n"), std::string::npos);
}

} // namespace
