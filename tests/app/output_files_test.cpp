#include "app/output_files.h"
#include "common/run_state.h"
#include "log/debug_log.h"
#include "platform/platform.h"
#include "platform/process_control.h"
#include "report/xml_writer.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

// Runs in a fresh temporary folder as the current directory, so that fallback names
// land there.
class OutputFilesTest : public ::testing::Test {
  protected:
    void SetUp() override {
        previous_ = fs::current_path();
        fs::current_path(dir_.path());
    }
    void TearDown() override {
        closeDebugFile();
        fs::current_path(previous_);
    }
    // A non-empty directory of that name: no file of the name can be created.
    void block(const std::string& name) {
        fs::create_directories(fs::path(name) / "inside");
    }
    testkit::TempDir dir_;
    fs::path previous_;
};

struct FileCase {
    const char* name;
    std::uint32_t mode;
    const char* debugFile;
    const char* outputFile;
    std::vector<std::string> blocked;
    int status;
    const char* finalDebug;
    const char* finalOutput;
};

const FileCase kFileCases[] = {
    {"user debug file falls back to debug.log", Inventory, "missing/d.log", "", {}, 0, "debug.log", ""},
    {"default debug file that cannot be made", Inventory, "debug.log", "", {"debug.log"}, 13, "debug.log", ""},
    {"default debug name in capitals is still the default", Inventory, "DEBUG.LOG", "", {"DEBUG.LOG"}, 13, "DEBUG.LOG", ""},
    {"user debug file and fallback both fail", Inventory, "missing/d.log", "", {"debug.log"}, 13, "debug.log", ""},
    {"execution output falls back to execution.xml", Execution, "", "missing/out.xml", {}, 0, "", "execution.xml"},
    {"version output falls back to inventory.xml", Version, "", "missing/out.xml", {}, 0, "", "inventory.xml"},
    {"default inventory name that cannot be made", Inventory, "", "inventory.xml", {"inventory.xml"}, 14, "", "inventory.xml"},
    {"user output and fallback both fail", Inventory, "", "missing/out.xml", {"inventory.xml"}, 14, "", "inventory.xml"},
};

TEST_F(OutputFilesTest, FallbacksAndStatuses) {
    for (const FileCase& c : kFileCases) {
        SCOPED_TRACE(c.name);
        testkit::TempDir work;
        fs::current_path(work.path());
        for (const auto& b : c.blocked)
            block(b);
        RunOptions options;
        options.mode = c.mode;
        options.debugFile = c.debugFile;
        options.outputFile = c.outputFile;
        options.outputTargets = c.outputFile[0] != '\0' ? OUTPUT_TO_FILE : 0;
        XmlDocument document;
        EXPECT_EQ(openOutputFiles(options, document), c.status);
        EXPECT_EQ(options.debugFile.str(), c.finalDebug);
        EXPECT_EQ(options.outputFile.str(), c.finalOutput);
        if (c.status == 0 && c.finalDebug[0] != '\0') {
            EXPECT_TRUE(fs::is_regular_file(c.finalDebug));
        }
        if (c.status == 0 && c.finalOutput[0] != '\0') {
            EXPECT_TRUE(fs::is_regular_file(c.finalOutput));
        }
        closeDebugFile();
        document.close();
        fs::current_path(dir_.path());
    }
}

TEST_F(OutputFilesTest, ExistingOutputIsRecreatedNotAppended) {
    testkit::writeText("execution.xml", "old content\n");
    RunOptions options;
    options.mode = Execution;
    options.debugFile = "debug.log";
    options.outputFile = "execution.xml";
    options.outputTargets = OUTPUT_TO_FILE;
    XmlDocument document;
    ASSERT_EQ(openOutputFiles(options, document), 0);
    document.print("new\n");
    document.close();
    closeDebugFile();
    EXPECT_EQ(testkit::readText("execution.xml"), "new\n");
    EXPECT_NE(testkit::readText("debug.log").find("Removed output file. File = execution.xml\n"
                                                  "Successfully created output file! File = execution.xml\n"),
              std::string::npos);
}

TEST_F(OutputFilesTest, DirectoryTexts) {
    const std::string sep(1, platform::kPathSeparator);
    RunPaths paths;
    paths.binaryDir = "bin" + sep;
    paths.configDir = "\"my conf\"";
    defineDirectoryPaths(paths);
    EXPECT_EQ(paths.configDir.str(), "my conf" + sep);
    EXPECT_EQ(paths.payloadDir.str(), "bin" + sep + "common" + sep);

    paths.configDir = "conf" + sep;
    paths.payloadDir = "p";
    defineDirectoryPaths(paths);
    EXPECT_EQ(paths.configDir.str(), "conf" + sep);
    EXPECT_EQ(paths.payloadDir.str(), "p"); // one character: left as it is
}

TEST_F(OutputFilesTest, SoftVpdLogPaths) {
    const std::string sep(1, platform::kPathSeparator);
    const std::string primary = dir_.file("pf");
    const std::string secondary = dir_.file("pf86");
    platform::setEnv("ProgramFiles", primary);
    platform::setEnv("PROGRAMFILES(x86)", secondary);
    SoftVpd vpd;
    tavCNAFIDLogPaths(vpd);
    const std::string marlo = sep + "Tavrel" + sep + "marlo";
    EXPECT_EQ(vpd.primaryPath.str(), primary + marlo + sep + "tavCNAFID.cfg");
    EXPECT_TRUE(fs::is_directory(primary + marlo));
    // The secondary directory is never created, and without its file the path is cleared.
    EXPECT_TRUE(vpd.secondaryPath.empty());
    EXPECT_FALSE(fs::exists(secondary));

    fs::create_directories(secondary + marlo);
    testkit::writeText(secondary + marlo + sep + "tavCNAFID.cfg", "");
    tavCNAFIDLogPaths(vpd);
    EXPECT_EQ(vpd.secondaryPath.str(), secondary + marlo + sep + "tavCNAFID.cfg");
    platform::unsetEnv("PROGRAMFILES(x86)");
}

// Without ProgramFiles, a POSIX build keeps its state where the system keeps a
// package's variable state; Windows names no folder then, and nothing is created.
TEST_F(OutputFilesTest, SoftVpdFolderWithoutProgramFiles) {
    const std::optional<std::string> programFiles = platform::getEnv("ProgramFiles");
    platform::unsetEnv("ProgramFiles");
    platform::unsetEnv("PROGRAMFILES(x86)");
    SoftVpd vpd;
    tavCNAFIDLogPaths(vpd, false);
    const std::string folder = primaryMarloFolder();
    if (programFiles)
        platform::setEnv("ProgramFiles", *programFiles);
    const bool windows = platform::kPathSeparator == '\\';
    EXPECT_EQ(folder, windows ? "" : "/var/lib/winmarlo");
    EXPECT_EQ(vpd.primaryPath.str(), windows ? "" : "/var/lib/winmarlo/tavCNAFID.cfg");
    EXPECT_TRUE(vpd.secondaryPath.empty());
}
} // namespace
