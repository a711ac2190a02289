// The built program ended abruptly (a simulator rule ends the process at a call, as a
// kill would) part way through a forced update whose firmware files are larger than
// the simulated library holds in memory: the legacy boards' flash and the Ferrox
// boards' firmware objects stream to binary files beside the board file, replacing
// the files an update before wrote. The board file always reads (it never names a file
// that is not whole), a rerun completes, and then only the files it names are left.
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

// Beyond the 1 MiB the library holds of an arriving image.
constexpr std::size_t kBodyBytes = 3u << 20;
constexpr std::size_t kGrpBodyBytes = 2u << 20;

class LargeFlashDemo : public testkit::DemoPackage {
  public:
    // The demo's payloads, large: the legacy firmware container with a body of
    // kBodyBytes, the Ferrox firmware files with bodies of kGrpBodyBytes.
    explicit LargeFlashDemo(const ImageBytes& body) {
        const std::string common = "common" + std::string(1, platform::kPathSeparator);
        AifRecordLayout record;
        record.kind = kDwcKind;
        record.versionWord = 0x07E12894; // ZF282A4, as the demo package's container
        record.body = body;
        writeImageFile(file(common + "legacy-ZF282A4.all"), buildAllImage({{record}, false}));
        GrpImageLayout grp;
        grp.buildString = "11.2.216.9 demo";
        grp.bodySize = kGrpBodyBytes;
        writeImageFile(file(common + "ferrox-11.2.216.9.grp"), buildGrpImage(grp));
        grp.magic = grp_layout::kMagicG6;
        grp.signature = grp_layout::kKindG6 << 16;
        writeImageFile(file(common + "ferrox-g6-11.2.216.9.grp"), buildGrpImage(grp));
    }
    testkit::RunResult run(const char* mode, const std::string& journal = "") {
        return DemoPackage::run({mode, "-o", "-g", "-c", "config", "-p", "common"}, journal);
    }
    platform::StartedProcess start(const char* mode) {
        return DemoPackage::start({mode, "-o", "-g", "-c", "config", "-p", "common"});
    }
    // A system reboot since the last run: firmware waiting for one starts.
    void reboot() {
        const std::string text = testkit::readText(file("boards.json"));
        testkit::writeText(file("boards.json"), "{\"reboot\": true, " + text.substr(text.find('{') + 1));
    }
    // The library's binary files of the board file ("boards.<index>.<field>.<n>.bin[.tmp]").
    std::vector<std::string> blobFiles() const {
        std::vector<std::string> names;
        for (const std::string& name : platform::listDirectory(path()).value_or(std::vector<std::string>{}))
            if (name.rfind("boards.", 0) == 0 && (name.find(".bin") != std::string::npos))
                names.push_back(name);
        return names;
    }
};

std::vector<std::uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BoardFiles, KilledDuringLargeDownloadsLeavesABoardFileThatReadsAndARerunCompletes) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "POSIX only";
    ImageBytes body(kBodyBytes);
    for (std::size_t i = 0; i < body.size(); ++i)
        body[i] = static_cast<std::uint8_t>(i * 7 + (i >> 12));
    // A clean update, and the calls it makes on the first board that takes each kind of
    // stream: LOAD_AREA calls of the container, "/prg" pieces of a firmware file.
    LargeFlashDemo finished(body);
    ASSERT_TRUE(finished.ready());
    ASSERT_EQ(finished.run("-f", "journal.txt").status, 0);
    int areaCalls = 0, pieces = 0;
    std::istringstream journal(testkit::readText(finished.file("journal.txt")));
    for (std::string line; std::getline(journal, line);) {
        areaCalls += line.find(" board=0 command=0x81 ") != std::string::npos ? 1 : 0;
        pieces += line.find(" board=2 command=0x9B opcode=0xAC ") != std::string::npos ? 1 : 0;
    }
    ASSERT_GT(areaCalls, 20000);
    ASSERT_GT(pieces, 2000);
    // The process ends as the call arrives: half way (the bytes so far in a temporary
    // file), at the last one (the old contents still named).
    const std::string area = R"("command": "0x81")", piece = R"("command": "0x9B", "opcode": "0xAC")";
    const struct Point {
        std::string rule;
        int from;
    } points[] = {{area, areaCalls / 2}, {area, areaCalls}, {piece, pieces / 2}, {piece, pieces}};
    for (const Point& p : points) {
        SCOPED_TRACE(p.rule + " from " + std::to_string(p.from));
        // The boards as the clean update left them: the run replaces what it wrote.
        LargeFlashDemo demo(body);
        for (const std::string& name : finished.blobFiles())
            fs::copy_file(finished.file(name), demo.file(name));
        fs::copy_file(finished.file("boards.json"), demo.file("boards.json"), fs::copy_options::overwrite_existing);
        demo.addFaults("{" + p.rule + ", \"from\": " + std::to_string(p.from) + ", \"exit\": 99}");
        ASSERT_EQ(demo.run("-f").status, 99);
        demo.dropFaults();

        // The board file and every file it names read whole (else the library would
        // serve no boards and say so), and the update completes.
        demo.reboot();
        const testkit::RunResult rerun = demo.run("-f");
        EXPECT_EQ(rerun.status, 0) << rerun.output;
        EXPECT_EQ(rerun.output.find("dfcsim:"), std::string::npos) << rerun.output;
        // Afterwards: no temporary file, no file the board file does not name, the
        // legacy boards' flash holds the container's body.
        const std::string boards = testkit::readText(demo.file("boards.json"));
        int areas = 0, objects = 0;
        for (const std::string& name : demo.blobFiles()) {
            EXPECT_NE(boards.find("\"file\": \"" + name + "\""), std::string::npos) << name << " left over";
            // The legacy ports (boards 0 and 1) take the container of this test; another
            // family's card keeps the package's own.
            const bool legacyBoard = name.rfind("boards.0.", 0) == 0 || name.rfind("boards.1.", 0) == 0;
            if (legacyBoard && name.find(".area-") != std::string::npos) {
                ++areas;
                EXPECT_TRUE(readBytes(demo.file(name)) == body) << name;
            }
            objects += name.find(".object-_prg.") != std::string::npos ? 1 : 0;
        }
        EXPECT_GT(areas, 0);
        EXPECT_GT(objects, 0);
    }
}

} // namespace
