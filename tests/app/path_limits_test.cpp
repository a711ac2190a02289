// Paths too long for the fields that keep them: refused whole, at each limit and one
// past it, and a run that meets one ends before it writes anything of its own.
#include "app/path_limits.h"
#include "common/run_state.h"
#include "platform/platform.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

namespace fs = std::filesystem;

namespace {

const std::string kSep(1, platform::kPathSeparator);
// What the soft VPD file adds to the program-files folder: "/Tavrel/marlo/tavCNAFID.cfg".
const std::size_t kSoftVpdTail = 27;

// A folder path under base of exactly n characters, in parts short enough for any
// file system; created when asked.
std::string pathOfLength(const std::string& base, std::size_t n, bool create = false) {
    std::string path = base;
    while (n - path.size() > 101)
        path += kSep + std::string(50, 'd');
    path += kSep + std::string(n - path.size() - 1, 'e');
    if (create)
        fs::create_directories(path);
    return path;
}

// Sets an environment variable for a test and puts the old value back.
class EnvValue {
  public:
    EnvValue(const char* name, const std::string& value) : name_(name), old_(platform::getEnv(name)) {
        platform::setEnv(name, value);
    }
    ~EnvValue() {
        if (old_)
            platform::setEnv(name_, *old_);
        else
            platform::unsetEnv(name_);
    }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

RunPaths shortPaths(const testkit::TempDir& dir) {
    RunPaths paths;
    paths.binaryDir = dir.path() + kSep;
    return paths;
}

RunOptions optionsFor(std::uint32_t mode) {
    RunOptions options;
    options.mode = mode;
    return options;
}

struct SoftVpdCase {
    const char* variable;
    const char* what;
};

TEST(PathLimits, SoftVpdFilesAtTheLimitAndOnePast) {
    for (const SoftVpdCase c : {SoftVpdCase{"ProgramFiles", "the soft VPD file "},
                                SoftVpdCase{"PROGRAMFILES(x86)", "the secondary soft VPD file "}}) {
        testkit::TempDir dir;
        const EnvValue primary("ProgramFiles", dir.path());
        const std::string fits = pathOfLength(dir.path(), 253 - kSoftVpdTail);
        const std::string over = pathOfLength(dir.path(), 254 - kSoftVpdTail);
        {
            const EnvValue value(c.variable, fits);
            EXPECT_FALSE(findOverlongPath(optionsFor(Inventory), shortPaths(dir))) << c.variable;
        }
        const EnvValue value(c.variable, over);
        for (const std::uint32_t mode : {Inventory, Execution}) {
            const std::optional<OverlongPath> found = findOverlongPath(optionsFor(mode), shortPaths(dir));
            ASSERT_TRUE(found) << c.variable;
            EXPECT_EQ(found->path, over + kSep + "Tavrel" + kSep + "marlo" + kSep + "tavCNAFID.cfg");
            EXPECT_EQ(found->limit, 253u);
            const std::string line = overlongPathLine(*found);
            EXPECT_EQ(line.rfind(c.what + found->path + " has 254 characters", 0), 0u) << line;
        }
        // Other modes build none of these paths; and the check creates nothing.
        EXPECT_FALSE(findOverlongPath(optionsFor(ImageQuery), shortPaths(dir)));
        EXPECT_FALSE(fs::exists(over));
        EXPECT_FALSE(fs::exists(dir.file("Tavrel")));
    }
}

TEST(PathLimits, PayloadFolderAtTheLimitAndOnePast) {
    testkit::TempDir dir;
    const EnvValue programFiles("ProgramFiles", dir.path());
    // The default payload folder is the program folder's "common" and a separator.
    RunPaths paths;
    paths.binaryDir = pathOfLength(dir.path(), 202) + kSep;
    EXPECT_FALSE(findOverlongPath(optionsFor(Execution), paths));
    paths.binaryDir = pathOfLength(dir.path(), 203) + kSep;
    const std::optional<OverlongPath> found = findOverlongPath(optionsFor(Inventory), paths);
    ASSERT_TRUE(found);
    EXPECT_EQ(found->what, "the payload folder");
    EXPECT_EQ(found->path, paths.binaryDir.str() + "common" + kSep);
    EXPECT_EQ(found->limit, 210u);
    // The longest -p the parser takes still fits with its separator.
    paths = shortPaths(dir);
    paths.payloadDir = pathOfLength(dir.path(), 209);
    EXPECT_FALSE(findOverlongPath(optionsFor(Execution), paths));
}

// A payload folder fits its field, and a payload file name has at most 31 characters:
// only a relative folder made absolute under a deep working folder is too long.
TEST(PathLimits, PayloadFilesAtTheLimitAndOnePast) {
    testkit::TempDir dir;
    const EnvValue programFiles("ProgramFiles", dir.path());
    const std::string working = pathOfLength(dir.path(), 215, true);
    fs::create_directories(working + kSep + "common");
    const fs::path previous = fs::current_path();
    fs::current_path(working);
    RunPaths paths = shortPaths(dir);
    paths.payloadDir = "common";
    const std::string folder = working + kSep + "common" + kSep; // 223 characters
    const std::string fits = std::string(253 - folder.size() - 4, 'f') + ".grp";
    testkit::writeText(folder + fits, "");
    // Files the catalogue would not read are not looked at.
    testkit::writeText(folder + std::string(31, 'x'), "");
    testkit::writeText(folder + std::string(40, 'y') + ".grp", "");
    const std::optional<OverlongPath> none = findOverlongPath(optionsFor(Execution), paths);

    const std::string over = std::string(254 - folder.size() - 4, 'g') + ".grp";
    testkit::writeText(folder + over, "");
    const std::optional<OverlongPath> found = findOverlongPath(optionsFor(Execution), paths);
    // An inventory reads no payload file.
    const std::optional<OverlongPath> inventory = findOverlongPath(optionsFor(Inventory), paths);
    fs::current_path(previous);

    EXPECT_FALSE(none) << none->path;
    ASSERT_TRUE(found);
    EXPECT_EQ(found->what, "the payload file");
    EXPECT_EQ(found->path, folder + over);
    EXPECT_EQ(found->path.size(), 254u);
    EXPECT_FALSE(inventory);
}

// The whole run: a program-files folder one character too long for the soft VPD file
// ends the run with 21 and one line naming the path; the utility's folder, the run
// lock and the soft VPD file are never made, and the document says the status.
TEST(PathLimits, RunRefusesAnOverlongProgramFilesFolder) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "Wine takes ProgramFiles from its own registry";
    for (const std::size_t length : {253 - kSoftVpdTail, 254 - kSoftVpdTail}) {
        testkit::TempDir dir;
        const std::string working = pathOfLength(dir.path(), length, true);
        const testkit::RunResult r = testkit::runProgram({"-inv", "-o", "-g"}, working, true);
        const bool over = length + kSoftVpdTail > 253;
        EXPECT_EQ(r.status, over ? 21 : 17) << r.errors;
        EXPECT_EQ(fs::exists(working + kSep + "Tavrel"), !over);
        const std::string xml = testkit::readText(working + kSep + "inventory.xml");
        if (!over)
            continue;
        const std::string path = working + kSep + "Tavrel" + kSep + "marlo" + kSep + "tavCNAFID.cfg";
        EXPECT_EQ(r.errors, "winmarlo: the soft VPD file " + path +
                                " has 254 characters, more than the 253 this program keeps; nothing was written, "
                                "use a shorter path\n");
        EXPECT_NE(xml.find("Invalid argument length detected."), std::string::npos) << xml;
        const std::string log = testkit::readText(working + kSep + "debug.log");
        EXPECT_NE(log.find("Closing debug file = debug.log\n"), std::string::npos) << log;
        EXPECT_EQ(log.find("Attemping to create the marlo dir"), std::string::npos);
    }
}

} // namespace
