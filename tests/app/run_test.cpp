// The built program, run end to end in a temporary folder on a system without
// adapters: exit statuses, console output, documents and the debug file.
#include "app/entry.h"
#include "common/run_state.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

namespace {

struct StatusCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    const char* consoleStart; // what standard output begins with ("" for nothing at all)
    const char* reason;       // what the line on standard error says ("" for nothing at all)
};

const std::string kHelpStart = "  -c <directory_path> - Specify the configuration directory.\n";

const StatusCase kStatusCases[] = {
    {"no arguments shows the help", {}, 0, kHelpStart.c_str(), ""},
    {"-h", {"-inv", "-h"}, 0, kHelpStart.c_str(), ""},
    {"-H", {"-H"}, 0, kHelpStart.c_str(), ""},
    {"a longer argument beginning with -h is no help", {"-inv", "-hx"}, 16, "", "unknown option -hx; "},
    {"version", {"-v"}, 0, "11.2.216.9\n", ""},
    {"version with -s writes no XML", {"-v", "-s"}, 0, "11.2.216.9\n", ""},
    {"inventory without adapters", {"-inv"}, 17, "", "no adapters found"},
    {"execution without adapters", {"-u"}, 17, "", "no adapters found"},
    {"conflicting modes", {"-v", "-inv"}, 22, "", "-v cannot be combined with -inv"},
    {"unknown option", {"-inv", "-zz"}, 16, "", "unknown option -zz; "},
    {"over-long option value", {"-inv", "-c", std::string(210, 'c')}, 16, "",
     "the folder after -c has 210 characters or more"},
    {"argument of 254 characters passes the length check", {"-inv", std::string(254, 'a')}, 16, "",
     "is no option (options begin with -)"},
    {"argument of 255 characters", {"-inv", std::string(255, 'a')}, 51, "", "argument 2 has 255 characters"},
    {"twenty arguments after the name", std::vector<std::string>(20, "-s"), 27, "", "more than 19 arguments"},
    {"image query with an extension not accepted", {"-e", "image.bin"}, 18, "",
     "image.bin is no image file name: it must contain .ALL, .GRP or .PRG"},
    {"image query on a file that cannot be decoded", {"-e", "missing.grp"}, 19, "",
     "the version of missing.grp could not be decoded: there is no such file"},
};

class ProgramStatusTest : public ::testing::TestWithParam<StatusCase> {};

// Standard output as before; standard error holds one "winmarlo: " line saying why
// when the status is not 0, and nothing otherwise.
TEST_P(ProgramStatusTest, ExitStatusAndConsole) {
    const StatusCase& c = GetParam();
    testkit::TempDir dir;
    const testkit::RunResult r = testkit::runProgram(c.args, dir.path(), true);
    EXPECT_EQ(r.status, c.status);
    if (c.consoleStart[0] == '\0') {
        EXPECT_EQ(r.output, "");
    } else {
        EXPECT_EQ(r.output.rfind(c.consoleStart, 0), 0u) << r.output;
    }
    if (c.reason[0] == '\0') {
        EXPECT_EQ(r.errors, "");
    } else {
        EXPECT_EQ(r.errors.rfind("winmarlo: ", 0), 0u) << r.errors;
        EXPECT_NE(r.errors.find(c.reason), std::string::npos) << r.errors;
        EXPECT_EQ(std::count(r.errors.begin(), r.errors.end(), '\n'), 1) << r.errors;
    }
}

INSTANTIATE_TEST_SUITE_P(Runs, ProgramStatusTest, ::testing::ValuesIn(kStatusCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(ProgramRun, InventoryWithoutAdaptersWritesEmptyRootAndDebugLog) {
    testkit::TempDir dir;
    const testkit::RunResult r = testkit::runProgram({"-inv", "-o", "-g", "-s"}, dir.path(), true);
    EXPECT_EQ(r.status, 17);
    const std::string xml = testkit::readText(dir.file("inventory.xml"));
    EXPECT_EQ(xml, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMInventory lang=\"en\"/>\n");
    EXPECT_EQ(r.output, xml); // -s echoes the document, and standard output holds nothing else
    EXPECT_EQ(r.errors.rfind("winmarlo: no adapters found", 0), 0u) << r.errors;
    auto root = testkit::parseXml(xml);
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->name, "SVMInventory");
    EXPECT_TRUE(testkit::xmllintAccepts(dir.file("inventory.xml")));

    const std::string log = testkit::readText(dir.file("debug.log"));
    for (const char* line : {"\n[Command Line Options]\n", "Utility Name    = winmarlo.exe\n",
                             "Utility Version = 11.2.216.9\n", "\n[defineDirectoryPaths]\n",
                             "Pri FID Log = ", "\n[Inventory Mode]\n", "\n[Return Code]\nReturn Status = 17\n",
                             "\n[Exiting]\n", "Closing output file = inventory.xml\n",
                             "Closing debug file = debug.log\n"})
        EXPECT_NE(log.find(line), std::string::npos) << line;
    // The utility's own directory is created under the program-files directory (under
    // Wine that directory comes from Wine's registry, so take the path from the log).
    const std::size_t at = log.find("Pri FID Log = ");
    ASSERT_NE(at, std::string::npos);
    std::string fidLog = log.substr(at + 14, log.find('\n', at) - at - 14);
    ASSERT_GT(fidLog.size(), std::string("tavCNAFID.cfg").size());
    fidLog.resize(fidLog.size() - std::string("tavCNAFID.cfg").size() - 1);
    EXPECT_TRUE(testkit::exists(fidLog)) << fidLog;
    EXPECT_NE(fidLog.find("Tavrel"), std::string::npos);
}

TEST(ProgramRun, ExecutionWithoutAdaptersRunsOnce) {
    testkit::TempDir dir;
    const testkit::RunResult r = testkit::runProgram({"-u", "-o", "-g"}, dir.path());
    EXPECT_EQ(r.status, 17);
    EXPECT_EQ(testkit::readText(dir.file("execution.xml")),
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMExecution lang=\"en\"/>\n");
    const std::string log = testkit::readText(dir.file("debug.log"));
    EXPECT_NE(log.find("updateRollBack is not needed\n"), std::string::npos);
    // One run only: the run header appears once.
    EXPECT_EQ(log.find("[Command Line Options]"), log.rfind("[Command Line Options]"));
}

// An image query writes no document, so -o leaves no file; -g gets its closing
// sections whether the query succeeds or not.
TEST(ProgramRun, ImageQueryWithOutputFilesClosesTheDebugLog) {
    testkit::TempDir dir;
    ASSERT_EQ(writeImageFile(dir.file("fw.grp"), buildGrpImage({})), 0);
    const struct {
        const char* image;
        int status;
    } cases[] = {{"image.bin", 18}, {"missing.grp", 19}, {"fw.grp", 0}};
    for (const auto& c : cases) {
        const testkit::RunResult r = testkit::runProgram({"-e", c.image, "-o", "out.xml", "-g", "dbg.log"}, dir.path());
        EXPECT_EQ(r.status, c.status) << c.image;
        EXPECT_FALSE(testkit::exists(dir.file("out.xml"))) << c.image;
        const std::string log = testkit::readText(dir.file("dbg.log"));
        EXPECT_NE(log.find("\n[Exiting]\n"), std::string::npos) << c.image << log;
        EXPECT_NE(log.find("Closing debug file = dbg.log\n"), std::string::npos) << c.image << log;
    }
}

// The run lock makes the utility's folder before the run looks for it: the first run
// still says it created the folder, the next that it exists.
TEST(ProgramRun, FirstRunSaysTheFolderWasCreated) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "the folder lies in Wine's program-files folder, shared by every test";
    testkit::TempDir dir;
    for (const char* said : {"The marlo dir was successfully created\n", "The marlo dir already exists\n"}) {
        const testkit::RunResult r = testkit::runProgram({"-inv", "-g"}, dir.path());
        EXPECT_EQ(r.status, 17);
        const std::string log = testkit::readText(dir.file("debug.log"));
        const std::size_t at = log.find("Attemping to create the marlo dir\n");
        ASSERT_NE(at, std::string::npos) << log;
        EXPECT_EQ(log.find(said, at), log.find('\n', at) + 1) << log;
    }
}

struct ImageQueryCase {
    const char* fileName;
    ImageBytes bytes;
    int status;
    const char* console;
};

ImageBytes damagedGrp() {
    GrpImageLayout layout;
    layout.magic = 0x12345678;
    return buildGrpImage(layout);
}

ImageBytes cutTo(ImageBytes bytes, std::size_t size) {
    bytes.resize(size);
    return bytes;
}

TEST(ProgramRun, ImageQueryPrintsTheDecodedVersion) {
    PrgImageLayout prg;
    prg.versionWord = makeLegacyVersionWord(3, 0x79, 2, 0, 2, 1, 3);
    prg.rom = PciRomLayout{};
    AllImageLayout all;
    AifRecordLayout awc, dwc;
    awc.kind = kAwcKind;
    awc.bodySize = 32;
    dwc.kind = kDwcKind;
    dwc.versionWord = makeLegacyVersionWord(11, 0x29, 2, 0, 2, 1, 3);
    all.records = {awc, dwc};
    const ImageQueryCase cases[] = {
        {"fw.grp", buildGrpImage({}), 0, "11.2.216.9\n"},
        {"boot.prg", buildPrgImage(prg), 0, "FB202A3\n"},
        {"fw.all", buildAllImage(all), 0, "UD202A3\n"},
        {"bad.grp", damagedGrp(), 19, ""},
        {"cut.all", cutTo(buildAllImage(all), 100), 19, ""},
    };
    for (const ImageQueryCase& c : cases) {
        testkit::TempDir dir;
        ASSERT_EQ(writeImageFile(dir.file(c.fileName), c.bytes), 0);
        const testkit::RunResult r = testkit::runProgram({"-e", dir.file(c.fileName), "-g"}, dir.path(), true);
        EXPECT_EQ(r.status, c.status) << c.fileName;
        EXPECT_EQ(r.output, c.console) << c.fileName;
        EXPECT_EQ(r.errors.empty(), c.status == 0) << r.errors;
        const std::string log = testkit::readText(dir.file("debug.log"));
        // The debug log is closed with its exit step whether the query succeeded or not.
        EXPECT_NE(log.find("\n[Exiting]\n"), std::string::npos) << c.fileName;
        if (c.status != 0) {
            EXPECT_NE(log.find("ERROR - Image decode failed. Image file = " + dir.file(c.fileName) + ", Status = 19\n"),
                      std::string::npos)
                << log;
        }
    }
}

TEST(ProgramRun, VersionRunEndsAfterTheFirstRun) {
    testkit::TempDir dir;
    const testkit::RunResult r = testkit::runProgram({"-v", "-g"}, dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "11.2.216.9\n"); // printed once, not twice
    const std::string log = testkit::readText(dir.file("debug.log"));
    EXPECT_NE(log.find("\n[displayVersion]\n"), std::string::npos);
}

struct FailureCase {
    std::vector<std::string> args;
    int status;
    const char* message;
};

const FailureCase kFailureCases[] = {
    {{"-u", "-o", "-zz"}, 16, "Unknown argument(s)."},
    {{"-v", "-inv", "-o"}, 22, "Invalid argument(s) detected."},
    {{"-inv", "-o", "-c", std::string(210, 'c')}, 16, "Unknown argument(s)."},
};

TEST(ProgramRun, ArgumentErrorsWriteTheFailureDocument) {
    for (const FailureCase& c : kFailureCases) {
        testkit::TempDir dir;
        const testkit::RunResult r = testkit::runProgram(c.args, dir.path());
        EXPECT_EQ(r.status, c.status);
        const std::string xml = testkit::readText(dir.file("inventory.xml"));
        auto root = testkit::parseXml(xml);
        ASSERT_NE(root, nullptr) << xml;
        EXPECT_TRUE(testkit::xmllintAccepts(dir.file("inventory.xml")));
        EXPECT_EQ(root->name, "SVMInventory");
        const auto* status = root->child("SPStatus");
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->attributes.at("result"), "false");
        const auto* message = status->child("Message");
        ASSERT_NE(message, nullptr);
        EXPECT_EQ(message->attributes.at("id"), std::to_string(c.status));
        EXPECT_EQ(message->text, c.message);
    }
}

TEST(ProgramRun, OutputFileInMissingFolderFallsBack) {
    testkit::TempDir dir;
    const testkit::RunResult r =
        testkit::runProgram({"-u", "-o", dir.file("nowhere") + "/x.xml"}, dir.path());
    EXPECT_EQ(r.status, 17);
    EXPECT_TRUE(testkit::exists(dir.file("execution.xml")));
}

TEST(ProgramRun, UnwritableDebugFileGives13) {
    testkit::TempDir dir;
    // A folder named like the default debug file, with something inside.
    std::string blocked = dir.file("debug.log");
    std::filesystem::create_directories(blocked + "/inside");
    const testkit::RunResult r = testkit::runProgram({"-inv", "-g", "-o", "-s"}, dir.path());
    EXPECT_EQ(r.status, 13);
    EXPECT_NE(r.output.find("<Message id=\"13\" > Unable to initialize debug log. </Message>"),
              std::string::npos);
}

struct LibraryUseCase {
    const char* name;
    std::vector<std::string> args;
    int status;
    bool asksLibrary;
    bool writesInventory; // inventory.xml, the document or the failure document
};

// On the demo boards, only inventories and executions whose arguments passed, and a
// command line that begins with "@", start the adapter library. Help, the version, the
// image query and refused arguments end as before without asking it anything.
TEST(Entry, OnlyRunsThatUseAdaptersStartTheLibrary) {
    const LibraryUseCase cases[] = {
        {"inventory", {"-inv", "-o", "-c", "config"}, 0, true, true},
        {"@ ends once the adapters are identified", {"@answers", "-inv", "-o"}, 0, true, false},
        {"help", {"-h", "-inv", "-o"}, 0, false, false},
        {"version", {"-v"}, 0, false, false},
        {"image query", {"-e", "missing.grp"}, 19, false, false},
        {"refused inventory", {"-inv", "-o", "-zz"}, 16, false, true},
        {"refused execution", {"-u", "-o", "-c", "config", "-x"}, 16, false, true},
        {"twenty arguments", std::vector<std::string>(20, "-inv"), 27, false, false},
    };
    for (const LibraryUseCase& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::DemoPackage demo;
        if (!demo.ready())
            GTEST_SKIP() << "the build made no demo package";
        const testkit::RunResult r = demo.run(c.args, "journal.txt");
        EXPECT_EQ(r.status, c.status) << r.output;
        const std::string journal = testkit::readText(demo.file("journal.txt"));
        EXPECT_EQ(journal.find("DFC_InitDiagEnv") != std::string::npos, c.asksLibrary) << journal;
        EXPECT_EQ(testkit::exists(demo.file("inventory.xml")), c.writesInventory);
    }
}

TEST(Entry, RefusesWithoutAdministratorRightsEvenForHelp) {
    std::string name = "winmarlo", help = "-h";
    char* argv[] = {name.data(), help.data()};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(winmarloMain(2, argv, [] { return 0; }), 15);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "Not an Administrative user! Exiting...\n");
}

TEST(Entry, OverLongArgumentIsRefusedSilently) {
    std::string name = "winmarlo", inv = "-inv", longArgument(255, 'x');
    char* argv[] = {name.data(), inv.data(), longArgument.data()};
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(winmarloMain(3, argv), 51);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "");
    std::string message;
    EXPECT_EQ(checkArgumentLengths(readCommandLine(3, argv), message), 51);
    EXPECT_NE(message.find("Invalid argument length:\n" + longArgument), std::string::npos);
}

} // namespace
