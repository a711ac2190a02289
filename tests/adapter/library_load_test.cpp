// Where the adapter access library may come from, and what happens when the file there
// is damaged, is not a library at all, or lacks a function: the program never crashes,
// says why on standard error and in the debug file, and runs as on a system without
// adapters (17). The built program is copied into a fresh folder for each case, so the
// library beside it is the one the case puts there.
#include "platform/platform.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::string kSep(1, platform::kPathSeparator);
const std::string kLibrary = platform::kAdapterLibraryName;

// The demo's legacy adapter and its configuration entry: with the real library the
// inventory lists it (status 0), without one the run finds no adapters (17).
const std::string kConfig =
    "pci_id=0xFE00\nvendor_id=0x10DF\nsubsys_id=0xFE00\nsubven_id=0x10DF\nfamily_id=01.04.03\n";

std::string buildFolder() { return fs::path(testkit::programPath()).parent_path().string(); }
std::string realLibrary() { return buildFolder() + kSep + kLibrary; }
// Built beside the test programs: named like the adapter library, offering only
// DFC_InitDiagEnv.
std::string partialLibrary() {
    return (fs::path(platform::moduleFileName()).parent_path() /
            (platform::kIsWindows ? "libdfc-partial.dll" : "libdfc-partial.so"))
        .string();
}

std::string readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

void putLe(std::string& bytes, std::size_t offset, std::uint64_t value, std::size_t width) {
    for (std::size_t i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A copy of the program in dir/<folder>, with `library` (bytes) beside it unless empty.
std::string installProgram(const testkit::TempDir& dir, const std::string& folder, const std::string* library) {
    const std::string target = dir.file(folder);
    fs::create_directories(target);
    const std::string program = target + kSep + fs::path(testkit::programPath()).filename().string();
    fs::copy_file(testkit::programPath(), program);
    if (library != nullptr)
        writeBytes(target + kSep + kLibrary, *library);
    return program;
}

// Runs a copied program in dir on the demo boards with a configuration folder.
testkit::RunResult runCopy(const testkit::TempDir& dir, const std::string& program, const std::string& workDir) {
    fs::create_directories(dir.file("config"));
    testkit::writeText(dir.file("config" + kSep + "site.ini"), kConfig);
    // A copy: the library writes back what a board keeps.
    testkit::writeText(dir.file("boards.json"), testkit::readText(WINMARLO_SOURCE_DIR "/demo/boards.json"));
    platform::setEnv("DFCSIM_BOARDS", dir.file("boards.json"));
    platform::setEnv("DFCSIM_TIMING", "off"); // the demo boards' latencies
    platform::setEnv("ProgramFiles", dir.path());
    const std::string output = dir.file("console.out");
    testkit::RunResult r;
    r.status = platform::runProcess(
        {program, "-inv", "-o", dir.file("inventory.xml"), "-g", dir.file("debug.log"), "-c", dir.file("config")},
        workDir, output);
    r.output = testkit::readText(output);
    platform::unsetEnv("DFCSIM_BOARDS");
    platform::unsetEnv("DFCSIM_TIMING");
    return r;
}

// The header check on the format of this platform's libraries, on mutations of the
// real library: each claims more than the file holds.
TEST(LibraryLoad, HeaderCheckRefusesFilesThatClaimMoreThanTheyHold) {
    const std::string real = readBytes(realLibrary());
    ASSERT_GT(real.size(), 8192u);
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::vector<Case> cases = {
        {"empty", ""},
        {"text", "this is not a library\n"},
        {"first 4096 bytes", real.substr(0, 4096)},
        {"all but the last byte", real.substr(0, real.size() - 1)},
    };
    if (platform::kIsWindows) {
        std::string lfanew = real;
        putLe(lfanew, 0x3C, real.size() - 8, 4);
        cases.push_back({"NT headers past the end", lfanew});
    } else {
        ASSERT_EQ(real.substr(0, 6), std::string("\x7F" "ELF\x02\x01", 6)); // 64-bit, little-endian
        // The section table dropped from the header: only the segment check is left
        // to notice the cut.
        std::string cut = real.substr(0, 4096);
        putLe(cut, 40, 0, 8); // e_shoff
        putLe(cut, 60, 0, 2); // e_shnum
        cases.push_back({"cut, without a section table", cut});
        std::string phoff = real;
        putLe(phoff, 32, real.size() - 16, 8); // e_phoff
        cases.push_back({"program headers past the end", phoff});
    }
    testkit::TempDir dir;
    const std::string path = dir.file(kLibrary);
    writeBytes(path, real);
    EXPECT_EQ(platform::checkLibraryFile(path), "");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeBytes(path, c.bytes);
        EXPECT_NE(platform::checkLibraryFile(path), "");
    }
    fs::remove(path);
    fs::create_directories(path);
    EXPECT_NE(platform::checkLibraryFile(path), "");
}

TEST(LibraryLoad, UnusableLibraryBesideTheProgramIsReportedAndFindsNoAdapters) {
    const std::string real = readBytes(realLibrary());
    struct Case {
        const char* name;
        std::string library;
        int status;
        const char* reason; // on standard error and in the debug file; empty: no complaint
    };
    const Case cases[] = {
        {"the real library", real, 0, ""},
        {"first 4096 bytes of the real library", real.substr(0, 4096), 17, "cut short"},
        {"zero-length file", "", 17, "too short"},
        {"text file", std::string(8, ' ') + "a text file named like the library, longer than any header\n", 17,
         "not a"},
        {"library without most functions", readBytes(partialLibrary()), 17, "lacks the function DFC_GetLibVer"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        const std::string program = installProgram(dir, "bin", &c.library);
        const testkit::RunResult r = runCopy(dir, program, dir.path());
        EXPECT_EQ(r.status, c.status) << r.output;
        const auto root = testkit::parseXml(testkit::readText(dir.file("inventory.xml")));
        ASSERT_NE(root, nullptr);
        EXPECT_EQ(root->all("Device").size(), c.status == 0 ? 2u : 0u);
        const std::string log = testkit::readText(dir.file("debug.log"));
        if (c.status == 0) {
            EXPECT_EQ(r.output.find("Adapter access library"), std::string::npos) << r.output;
            continue;
        }
        const std::string line = "Adapter access library ";
        EXPECT_NE(r.output.find(line), std::string::npos) << r.output;
        EXPECT_NE(r.output.find(c.reason), std::string::npos) << r.output;
        const std::size_t at = log.find(line);
        ASSERT_NE(at, std::string::npos) << log;
        const std::string logLine = log.substr(at, log.find('\n', at) - at);
        EXPECT_NE(logLine.find(c.reason), std::string::npos) << logLine;
        EXPECT_NE(logLine.find("; running as on a system without adapters"), std::string::npos) << logLine;
    }
}

// The current folder is no place to load code from, whatever the environment says.
TEST(LibraryLoad, LibraryInTheCurrentFolderIsNeverLoaded) {
    const std::string real = readBytes(realLibrary());
    struct Case {
        const char* name;
        const char* libraryPath; // LD_LIBRARY_PATH (POSIX only); null: left unset
    };
    const Case cases[] = {
        {"plain", nullptr},
        {"an empty LD_LIBRARY_PATH element", ":/nonexistent-folder"},
        {"a relative LD_LIBRARY_PATH element", "."},
    };
    for (const Case& c : cases) {
        if (c.libraryPath != nullptr && platform::kIsWindows)
            continue;
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        const std::string program = installProgram(dir, "bin", nullptr);
        const std::string work = dir.file("work");
        fs::create_directories(work);
        writeBytes(work + kSep + kLibrary, real);
        const auto saved = platform::getEnv("LD_LIBRARY_PATH");
        if (c.libraryPath != nullptr)
            platform::setEnv("LD_LIBRARY_PATH", c.libraryPath);
        const testkit::RunResult r = runCopy(dir, program, work);
        if (saved)
            platform::setEnv("LD_LIBRARY_PATH", *saved);
        else
            platform::unsetEnv("LD_LIBRARY_PATH");
        EXPECT_EQ(r.status, 17) << r.output;
        const std::string log = testkit::readText(dir.file("debug.log"));
        EXPECT_NE(log.find("Adapter access library"), std::string::npos) << log;
        if (c.libraryPath != nullptr) {
            EXPECT_NE(r.output.find("LD_LIBRARY_PATH"), std::string::npos) << r.output;
        }
    }
}

} // namespace
