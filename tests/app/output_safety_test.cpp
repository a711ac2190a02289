// The built program as an administrator's tool around its own outputs: it replaces only
// ordinary files, never writes through a link, reports a document it could not write
// whole, keeps standard output for the document under -s, and leaves nothing behind in
// the modes that only read.
#include "platform/platform.h"
#include "platform/process_control.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kSep = platform::kPathSeparator;

// A run with standard output and standard error kept apart, through the system's
// command interpreter, in `workingDir`. Paths are used unquoted: the temporary folders
// hold no blanks.
struct SplitRun {
    int status = -1;
    std::string out, err;
};

SplitRun runSplit(const std::string& program, const std::vector<std::string>& args,
                  const std::string& workingDir, const std::string& captureDir) {
    const std::string out = captureDir + kSep + "stdout.txt",
                      err = captureDir + kSep + "stderr.txt";
    std::string command = (platform::kIsWindows ? "cd /d " : "cd ") + workingDir + " && " + program;
    for (const auto& a : args)
        command += " " + a;
    command += " > " + out + " 2> " + err;
    SplitRun r;
    r.status = platform::runShellCommand(command);
    r.out = testkit::readText(out);
    r.err = testkit::readText(err);
    return r;
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& entry : fs::recursive_directory_iterator(dir))
        names.push_back(entry.path().string());
    return names;
}

// What stands at the -o or -g path before the run.
enum class Planted { Fifo, Directory, Device, LinkToFile };

struct PlantedCase {
    const char* name;
    Planted planted;
    const char* option; // "-o" or "-g"
    const char* fallback;
};

const PlantedCase kPlantedCases[] = {
    {"FIFO as the document", Planted::Fifo, "-o", "inventory.xml"},
    {"FIFO as the debug log", Planted::Fifo, "-g", "debug.log"},
    {"empty directory as the document", Planted::Directory, "-o", "inventory.xml"},
    {"the null device as the document", Planted::Device, "-o", "inventory.xml"},
    {"link to a file as the document", Planted::LinkToFile, "-o", nullptr},
};

// Nothing at the path that is not an ordinary file is removed, truncated or written
// through: the run falls back to the default name and says why on standard error. A
// link is replaced by a file of the program's own; what it named is untouched.
TEST(OutputSafety, OnlyOrdinaryFilesAreReplaced) {
    for (const PlantedCase& c : kPlantedCases) {
        SCOPED_TRACE(c.name);
        if (platform::kIsWindows &&
            (c.planted == Planted::Fifo || c.planted == Planted::LinkToFile))
            continue; // neither can be made here without extra rights
        testkit::TempDir dir, elsewhere;
        std::string path = dir.file("planted");
        const std::string victim = elsewhere.file("victim.txt");
        switch (c.planted) {
        case Planted::Fifo:
            ASSERT_EQ(platform::runShellCommand("mkfifo " + path), 0);
            break;
        case Planted::Directory:
            fs::create_directory(path);
            break;
        case Planted::Device:
            // A null device of the test's own where it may make one (as root), so that
            // a fault of the program can never reach the system's; else the system's,
            // which a user without rights cannot have removed anyway.
            if (platform::kIsWindows || platform::runShellCommand("mknod " + path + " c 1 3 2>/dev/null") != 0)
                path = platform::kNullDevice;
            break;
        case Planted::LinkToFile:
            testkit::writeText(victim, "precious\n");
            fs::create_symlink(victim, path);
            break;
        }
        const testkit::RunResult r = testkit::runProgram({"-inv", c.option, path}, dir.path());
        EXPECT_EQ(r.status, 17) << r.output;
        switch (c.planted) {
        case Planted::Fifo:
            EXPECT_TRUE(fs::is_fifo(path));
            break;
        case Planted::Directory:
            EXPECT_TRUE(fs::is_directory(path));
            break;
        case Planted::Device:
            if (!platform::kIsWindows) {
                EXPECT_TRUE(fs::is_character_file(path));
            }
            break;
        case Planted::LinkToFile:
            EXPECT_EQ(testkit::readText(victim), "precious\n");
            EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(path)));
            EXPECT_NE(testkit::readText(path).find("<SVMInventory"), std::string::npos);
            break;
        }
        if (c.fallback != nullptr) {
            EXPECT_TRUE(fs::is_regular_file(dir.file(c.fallback)));
            EXPECT_NE(r.output.find("winmarlo: " + path + " is "), std::string::npos) << r.output;
        }
    }
}

// Exclusive creation, with which an output file is made afresh: a link planted at the
// name is never written through, even a dangling one that would create the file it
// names.
TEST(OutputSafety, ExclusiveCreationNeverFollowsAPlantedLink) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "links need extra rights";
    testkit::TempDir dir;
    const std::string victim = dir.file("victim"), name = dir.file("out.xml");
    fs::create_symlink(victim, name);
    EXPECT_EQ(platform::createFileExclusive(name), nullptr);
    EXPECT_FALSE(fs::exists(victim));
    EXPECT_TRUE(platform::removeFileName(name));
    EXPECT_FALSE(fs::exists(fs::symlink_status(name)));
    std::FILE* file = platform::createFileExclusive(name);
    ASSERT_NE(file, nullptr);
    std::fclose(file);
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(name)));
}

// A document the file system refuses part way (a file-size limit below its size) is a
// failed run: status 14 and a line naming the file, never 0 with a cut file.
TEST(OutputSafety, DocumentCutByTheFileSystemEndsWith14) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "a file-size limit is a POSIX shell's";
    testkit::DemoPackage dir;
    ASSERT_TRUE(dir.ready());
    testkit::TempDir capture;
    platform::setEnv("DFCSIM_BOARDS", dir.file("boards.json"));
    platform::setEnv("DFCSIM_TIMING", "off");
    platform::setEnv("ProgramFiles", dir.path());
    // 1024 bytes (two blocks of 512), well below the demo inventory; the signal a write
    // past the limit raises is ignored, so the write fails instead.
    const SplitRun r =
        runSplit("ulimit -f 2 && trap '' XFSZ && exec " + testkit::programPath(),
                 {"-inv", "-o", "-c", "config", "-p", "common"}, dir.path(), capture.path());
    platform::unsetEnv("DFCSIM_BOARDS");
    platform::unsetEnv("DFCSIM_TIMING");
    EXPECT_EQ(r.status, 14) << r.err;
    EXPECT_NE(r.err.find("inventory.xml could not be written completely"), std::string::npos)
        << r.err;
    EXPECT_EQ(fs::file_size(dir.file("inventory.xml")), 1024u);
}

// With -s, standard output carries the document and nothing else, also when the
// settings file beside the program has a key it does not know; without -s that text
// stays where it always was.
TEST(OutputSafety, StandardOutputIsTheDocumentWithS) {
    // A copy of the program with the trace file and a settings file beside it.
    testkit::TempDir bin, dir, capture;
    const fs::path built = testkit::programPath();
    const std::string program = bin.file(built.filename().string());
    fs::copy_file(built, program);
    fs::copy_file(built.parent_path() / platform::kAdapterLibraryName,
                  bin.file(platform::kAdapterLibraryName));
    testkit::writeText(bin.file("tavdbg.log"), "");
    testkit::writeText(bin.file("RM.INI"), "LOG_MODE=0\nNO_SUCH_KEY=1\n");
    testkit::writeText(capture.file("boards.json"), "{\"boards\": []}\n");
    platform::setEnv("DFCSIM_BOARDS", capture.file("boards.json"));
    platform::setEnv("ProgramFiles", dir.path());
    struct Case {
        std::vector<std::string> args;
        bool documentOnStdout;
    };
    const Case cases[] = {
        {{"-inv", "-s"}, true}, {{"-u", "-o", "-S"}, true}, {{"-inv", "-o"}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args[0] + " " + c.args.back());
        const SplitRun r = runSplit(program, c.args, dir.path(), capture.path());
        EXPECT_EQ(r.status, 17);
        if (c.documentOnStdout) {
            std::string error;
            EXPECT_NE(testkit::parseXml(r.out, &error), nullptr) << error << "\n" << r.out;
            EXPECT_NE(r.err.find("Unkonw Token Found"), std::string::npos) << r.err;
        } else {
            EXPECT_EQ(r.out, "Unkonw Token Found");
        }
    }
    platform::unsetEnv("DFCSIM_BOARDS");
}

// Help, version, image query and runs ended by an argument error create no folder and
// no file: neither in the working folder nor under the program-files folder.
TEST(OutputSafety, ReadOnlyModesLeaveNoTrace) {
    testkit::TempDir work, programFiles, aside;
    ASSERT_EQ(writeImageFile(aside.file("fw.grp"), buildGrpImage({})), 0);
    testkit::writeText(aside.file("boards.json"), "{\"boards\": []}\n");
    platform::setEnv("DFCSIM_BOARDS", aside.file("boards.json"));
    platform::setEnv("ProgramFiles", programFiles.path());
    const std::vector<std::vector<std::string>> runs = {
        {},
        {"-h"},
        {"-v"},
        {"-v", "-s"},
        {"-e", aside.file("fw.grp")},
        {"-e", "x.grp"},
        {"-inv", "-zz"},
        {"-u", "-inv"},
        {"-c", "-inv"},
        {"-u", "-wwn", "12"},
    };
    for (const auto& args : runs) {
        SCOPED_TRACE(args.empty() ? std::string("no arguments") : args[0] + " " + args.back());
        const int status = platform::runProcess(
            [&] {
                std::vector<std::string> argv{testkit::programPath()};
                argv.insert(argv.end(), args.begin(), args.end());
                return argv;
            }(),
            work.path(), aside.file("console.out"));
        EXPECT_NE(status, -1);
        EXPECT_EQ(namesIn(work.path()), std::vector<std::string>{});
        // Under Wine the program-files folder comes from Wine's registry.
        if (!platform::kIsWindows) {
            EXPECT_EQ(namesIn(programFiles.path()), std::vector<std::string>{});
        }
    }
    platform::unsetEnv("DFCSIM_BOARDS");
}

} // namespace
