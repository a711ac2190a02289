// The built program against the demo boards with hostile input: paths full of blanks,
// quotes, shell metacharacters and non-ASCII letters, adapter texts full of XML
// metacharacters, and option values and configuration values at their length limits.
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

// The legacy demo adapter (two ports) and its configuration entry.
const std::string kConfig =
    "pci_id=0xFE00\nvendor_id=0x10DF\nsubsys_id=0xFE00\nsubven_id=0x10DF\nfamily_id=01.04.03\n";

// Runs the program in dir with the demo boards (as given, or edited by the caller).
testkit::RunResult runOnDemoBoards(const testkit::TempDir& dir, const std::vector<std::string>& args,
                                   const std::string& boards) {
    const std::string path = dir.file("boards.json");
    testkit::writeText(path, boards);
    platform::setEnv("DFCSIM_BOARDS", path);
    const testkit::RunResult r = testkit::runProgram(args, dir.path());
    platform::unsetEnv("DFCSIM_BOARDS");
    return r;
}

std::string demoBoards() { return testkit::readText(WINMARLO_SOURCE_DIR "/demo/boards.json"); }

// Every file name below the folder, so that a test can show nothing else appeared.
std::vector<std::string> namesBelow(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(fs::path(folder)))
        names.push_back(entry.path().filename().string());
    return names;
}

struct PathCase {
    const char* name;
    std::string folder; // relative to the working folder; never holds "/c" (that switches model names off)
    bool posixOnly;     // characters Windows does not allow in file names
};

const PathCase kPathCases[] = {
    {"blanks", " a folder  with blanks", false}, // Windows drops a trailing blank
    {"shell metacharacters", "x'; touch INJECTED; $(touch INJECTED) `touch INJECTED` & echo INJECTED %OS% !x! ^(y)", false},
    {"non-ASCII letters", "Z\xC3\xBCrich-caf\xC3\xA9", false},
    {"quotes and redirections", "say \"hi\" | tee INJECTED < in > INJECTED", true},
};

TEST(UnsafeInput, PathsInEveryFileOptionAreTakenLiterally) {
    for (const PathCase& c : kPathCases) {
        if (c.posixOnly && platform::kIsWindows)
            continue;
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        const std::string base = c.folder + kSep;
        // -c and -p lose their double quotes by design (a quoted directory must work);
        // the other options keep them.
        std::string dirs = base;
        std::erase(dirs, '"');
        fs::create_directories(fs::path(dir.file(base)));
        fs::create_directories(fs::path(dir.file(dirs + "settings")));
        fs::create_directories(fs::path(dir.file(dirs + "payload")));
        testkit::writeText(dir.file(dirs + "settings" + kSep + "site.ini"), kConfig);
        const testkit::RunResult r = runOnDemoBoards(
            dir,
            {"-inv", "-o", base + "in ventory.xml", "-g", base + "de bug.log", "-c", base + "settings", "-p",
             base + "payload"},
            demoBoards());
        EXPECT_EQ(r.status, 0) << r.output;
        const std::string xmlPath = dir.file(base + "in ventory.xml");
        const auto root = testkit::parseXml(testkit::readText(xmlPath));
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->all("Device").size(), 2u);
        EXPECT_TRUE(testkit::xmllintAccepts(xmlPath));
        EXPECT_NE(testkit::readText(dir.file(base + "de bug.log")).find("Return Status = 0"), std::string::npos);

        // The image query reads the file the path names.
        GrpImageLayout grp;
        grp.buildString = "11.2.216.9 (quoted)";
        ASSERT_EQ(writeImageFile(dir.file(base + "im age.grp"), buildGrpImage(grp)), 0);
        const testkit::RunResult e = testkit::runProgram({"-e", base + "im age.grp"}, dir.path());
        EXPECT_EQ(e.status, 0) << e.output;
        EXPECT_NE(e.output.find("11.2.216.9"), std::string::npos) << e.output;

        for (const std::string& name : namesBelow(dir.path()))
            EXPECT_NE(name, "INJECTED"); // what an interpreter would have made of the folder names
    }
}

// The model description comes from the adapter's VPD and lands in attributes.
TEST(UnsafeInput, AdapterTextsWithXmlMetacharactersStayWellFormed) {
    std::string boards = demoBoards();
    const std::string plain = "Tavrel TV-L7002 dual-port 4Gb Fibre Channel host bus adapter";
    const std::string hostile = "<Tavrel> & \\\"TV\\\" 'L7002' ]]> <!-- &amp;";
    for (std::size_t at = boards.find(plain); at != std::string::npos; at = boards.find(plain))
        boards.replace(at, plain.size(), hostile);
    testkit::TempDir dir;
    fs::create_directories(dir.file("settings"));
    testkit::writeText(dir.file("settings" + kSep + "site.ini"), kConfig);
    const testkit::RunResult r = runOnDemoBoards(dir, {"-inv", "-o", "-c", "settings"}, boards);
    EXPECT_EQ(r.status, 0) << r.output;
    std::string error;
    const auto root = testkit::parseXml(testkit::readText(dir.file("inventory.xml")), &error);
    ASSERT_NE(root, nullptr) << error;
    EXPECT_TRUE(testkit::xmllintAccepts(dir.file("inventory.xml")));
    const auto devices = root->all("Device");
    ASSERT_EQ(devices.size(), 2u);
    for (const auto* device : devices)
        // The strict reader keeps entity references as written.
        EXPECT_EQ(device->attributes.at("display"),
                  "&lt;Tavrel&gt; &amp; &quot;TV&quot; 'L7002' ]]&gt; &lt;!-- &amp;amp;");
}

struct LimitCase {
    const char* name;
    std::size_t folderLength; // length of the -c value
    std::string familyId;
    int status;
};

TEST(UnsafeInput, ValuesAtAndJustPastTheirLimits) {
    const LimitCase cases[] = {
        {"-c value of 209 characters", 209, "01.04.03", 0},
        {"-c value of 210 characters is refused", 210, "01.04.03", 16},
        {"family ID of 15 characters", 8, "01.04.03.000000", 0},
        {"family ID of 16 characters rejects the record", 8, "01.04.03.0000000", 10},
    };
    for (const LimitCase& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        // Nested folders, so that no single name outgrows what file systems allow.
        std::string folder(c.folderLength, 's');
        for (std::size_t i = 60; i < folder.size(); i += 61)
            folder[i] = kSep[0];
        ASSERT_NE(folder.back(), kSep[0]);
        fs::create_directories(dir.file(folder));
        std::string config = kConfig;
        config.replace(config.find("01.04.03"), 8, c.familyId);
        testkit::writeText(dir.file(folder + kSep + "site.ini"), config);
        const testkit::RunResult r = runOnDemoBoards(dir, {"-inv", "-o", "-c", folder}, demoBoards());
        EXPECT_EQ(r.status, c.status) << r.output;
        const auto root = testkit::parseXml(testkit::readText(dir.file("inventory.xml")));
        ASSERT_NE(root, nullptr);
    }
}

} // namespace
