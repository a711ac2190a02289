// The built program as one of several administrators' tools on a host: one inventory or
// execution at a time (a second run waits for the host-wide lock and says so), and no
// card flashed whose new family the soft VPD files could not record.
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
const char kSep = platform::kPathSeparator;

// A port of a legacy Fibre Channel card running ZD2.80A2, with its VPD.
const char* kLegacyBoard = R"({"name": "legacy0", "pci": {"bus": 4, "function": 0,
  "deviceId": "0xFE00", "subsystemId": "0xFE00", "headerType": 128},
  "driver": {"kind": 3, "interfaceLevel": 0}, "revision": {"hardwareId": "0x577", "firmware": "ZD2.80A2"},
  "names": {"wwpn": "10:00:00:00:DF:41:00:10"},
  "vpd": {"identifier": "Tavrel TV-L7002", "fields": [["SN", "tv7a100231"], ["V1", "Tavrel TV-L7002 adapter"],
                                                      ["V2", "TV-L7002"], ["V3", "T7:E1 T3:E7"]]},
  "regions": {"0": "10000000DF41001020000000DF410010", "16": "10000000DF410010", "20": "0000000000000000"}})";
const char* kLegacyEntry =
    "pci_id=0xFE00\nvendor_id=0x10DF\nsubsys_id=0xFE00\nsubven_id=0x10DF\nfamily_id=01.04.03\n";

// What the program says on standard error while it waits for the lock.
const char* kWaitLine = "waiting for it to end";

// The test holds the lock through the program's own call; an inventory started then
// says once that it waits and for what, creates no document and does not end; once the
// lock is given up it completes.
TEST(RunLock, ARunWaitsForTheHolderOfTheLockAndThenCompletes) {
    testkit::TempDir dir;
    testkit::writeText(dir.file("boards.json"),
                       std::string("{\"boards\": [") + kLegacyBoard + "]}\n");
    fs::create_directories(dir.file("config"));
    testkit::writeText(dir.file("config") + kSep + "site.ini", kLegacyEntry);
    // The soft VPD folder under the ProgramFiles the run is given (Windows: a mutex).
    const std::string folder = dir.file("Tavrel") + kSep + "marlo";
    const std::string lockName = platform::kIsWindows ? std::string(platform::kRunLockMutexName)
                                                      : folder + kSep + platform::kRunLockFileName;
    std::string why;
    ASSERT_EQ(platform::acquireRunLock(folder, nullptr, &why), 0) << why;
    // Given up however the test ends, so that no later run of the program waits for it.
    struct Release {
        ~Release() { platform::releaseRunLock(); }
    } release;

    platform::setEnv("DFCSIM_BOARDS", dir.file("boards.json"));
    platform::setEnv("ProgramFiles", dir.path());
    platform::StartedProcess run;
    const std::string console = dir.file("console.out");
    const bool started = platform::startProcess(
        {testkit::programPath(), "-inv", "-o", "-c", "config"}, dir.path(), console, &run);
    platform::unsetEnv("DFCSIM_BOARDS");
    ASSERT_TRUE(started);

    int status = -2;
    bool ended = false, said = false;
    for (int i = 0; i < 60000 && !ended && !said; ++i) {
        said = testkit::readText(console).find(kWaitLine) != std::string::npos;
        ended = !said && platform::tryWaitProcess(&run, &status);
        platform::sleepMs(1);
    }
    EXPECT_FALSE(ended) << "the run did not wait for the lock: " << testkit::readText(console);
    EXPECT_TRUE(said) << "no word of the wait: " << testkit::readText(console);
    EXPECT_NE(testkit::readText(console).find(lockName), std::string::npos)
        << testkit::readText(console);
    EXPECT_FALSE(testkit::exists(dir.file("inventory.xml")));
    EXPECT_FALSE(ended || platform::tryWaitProcess(&run, &status));
    if (!said)
        platform::killProcess(run);

    platform::releaseRunLock();
    if (!ended)
        status = platform::waitProcess(&run);
    const std::string output = testkit::readText(console);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(output.find(kWaitLine), output.rfind(kWaitLine)) << "said more than once: " << output;
    std::string error;
    EXPECT_NE(testkit::parseXml(testkit::readText(dir.file("inventory.xml")), &error), nullptr)
        << error;
}

// ---------------------------------------------------------------------------------------
// On the demo package (built natively only)

// One journal line as far as telling calls apart goes: call, mailbox command, opcode.
using Call = std::tuple<std::string, std::string, std::string>;

std::set<Call> callsIn(const std::string& journal) {
    std::set<Call> calls;
    std::istringstream lines(testkit::readText(journal));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string call, word, command, opcode;
        words >> call;
        while (words >> word) {
            if (word.rfind("command=", 0) == 0)
                command = word.substr(8);
            else if (word.rfind("opcode=", 0) == 0)
                opcode = word.substr(7);
        }
        calls.emplace(call, command, opcode);
    }
    return calls;
}

// A copy of the demo package; ProgramFiles is the folder itself.
class Demo : public testkit::DemoPackage {
  public:
    // Runs the program with the demo's configuration and payloads; with a file-size
    // limit (bytes) the program may not write more than that to any one file.
    testkit::RunResult run(const char* mode, const std::string& journal = "",
                           std::size_t fileSizeLimit = 0) {
        std::vector<std::string> args{mode, "-o", "-c", "config", "-p", "common"};
        if (fileSizeLimit == 0)
            return DemoPackage::run(args, journal);
        // The limit's signal is ignored, so a write past it fails as on a full disk.
        std::string command = "trap '' XFSZ; exec /usr/bin/prlimit --fsize=" + std::to_string(fileSizeLimit) +
                              " '" + testkit::programPath() + "'";
        for (const std::string& a : args)
            command += " '" + a + "'";
        platform::setEnv("DFCSIM_BOARDS", file("boards.json"));
        platform::setEnv("DFCSIM_TIMING", "off"); // as every other run on the demo boards
        if (!journal.empty())
            platform::setEnv("DFCSIM_JOURNAL", file(journal));
        platform::setEnv("ProgramFiles", path());
        testkit::RunResult r;
        r.status = platform::runProcess({"/bin/sh", "-c", command}, path(), file("console.out"));
        r.output = testkit::readText(file("console.out"));
        platform::unsetEnv("DFCSIM_JOURNAL");
        platform::unsetEnv("DFCSIM_TIMING");
        platform::unsetEnv("DFCSIM_BOARDS");
        return r;
    }

    // The message ids of the Application statuses of the last execution document.
    std::vector<int> codes() const {
        std::vector<int> ids;
        std::string error;
        const auto document = testkit::parseXml(testkit::readText(file("execution.xml")), &error);
        EXPECT_NE(document, nullptr) << error;
        if (document == nullptr)
            return ids;
        for (const auto* device : document->all("Device"))
            for (const auto* application : device->all("Application"))
                ids.push_back(std::stoi(
                    application->child("SPStatus")->child("Message")->attributes.at("id")));
        return ids;
    }

};

// The demo's supported components: two legacy ports (firmware and boot code each), two
// FerroxFC ports, a Ferrox E300 and an Arvo port (firmware and boot code).
const std::size_t kComponents = 9;

// Two updates of different cards, with one ProgramFiles folder, both started while the
// test holds the lock: each says that it waits; once the lock is given up they run one
// after the other, both succeed, and the soft VPD file holds the lines of both (a run
// that read the file before the other wrote it would drop them).
TEST(RunLock, TwoUpdatesOfDifferentCardsAtOnceBothLandInTheSoftVpdFile) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "the demo package is built natively only";
    Demo demo;
    std::string why;
    ASSERT_EQ(platform::acquireRunLock(demo.marlo(), nullptr, &why), 0) << why;
    struct Release {
        bool held = true;
        void now() {
            if (held)
                platform::releaseRunLock();
            held = false;
        }
        ~Release() { now(); }
    } release;
    const char* cards[] = {"10:00:00:10:DF:72:00:20", "10:00:00:00:DF:41:00:10"};
    const std::string names[] = {"a", "b"};
    platform::StartedProcess runs[2];
    for (int i = 0; i < 2; ++i)
        runs[i] = demo.start({"-u", "-o", names[i] + ".xml", "-c", "config", "-p", "common", "-wwn", cards[i]}, "",
                             names[i] + ".out");
    const std::string consoles[] = {demo.file("a.out"), demo.file("b.out")};
    const auto waiting = [&](int i) {
        return testkit::readText(consoles[i]).find(kWaitLine) != std::string::npos;
    };
    for (int i = 0; i < 60000 && !(waiting(0) && waiting(1)); ++i)
        platform::sleepMs(1);
    EXPECT_TRUE(waiting(0) && waiting(1)) << "both runs should wait for the lock";
    release.now();
    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(testkit::waitFor(runs[i]), 0) << testkit::readText(consoles[i]);
    const std::string vpd = testkit::readText(demo.softVpdPath());
    EXPECT_NE(vpd.find("WWPN=10000010DF720020;FW=11.2.216.9;BC=NONE;FID=02.01.01\n"),
              std::string::npos)
        << vpd;
    EXPECT_NE(vpd.find("WWPN=10000000DF410010;FW=ZF282A4;BC=ZU503X3;FID=01.04.03\n"),
              std::string::npos)
        << vpd;
}

// Soft VPD files that cannot be rewritten stop every download before any adapter is
// touched: each component fails with 36, the run with 2 and a line naming the file, run
// after run. Once the way is clear one update records the families and the next finds
// every card current, the legacy card (whose family only the file keeps) included.
TEST(SoftVpdFiles, ThatCannotBeRewrittenStopEveryDownload) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "the demo package is built natively only";
    struct Blocker {
        const char* name;
        void (*block)(const Demo&);
        void (*clear)(const Demo&);
        std::size_t fileSizeLimit;
    };
    const Blocker blockers[] = {
        {"the soft VPD folder is an ordinary file",
         [](const Demo& d) {
             fs::create_directories(d.file("Tavrel"));
             testkit::writeText(d.marlo(), "not a folder\n");
         },
         [](const Demo& d) { fs::remove(d.marlo()); }, 0},
        {"the soft VPD folder is a link to nowhere",
         [](const Demo& d) {
             fs::create_directories(d.file("Tavrel"));
             fs::create_symlink(d.file("gone") + kSep + "marlo", d.marlo());
         },
         [](const Demo& d) { fs::remove(d.marlo()); }, 0},
        {"a folder stands at the soft VPD file's place",
         [](const Demo& d) { fs::create_directories(fs::path(d.softVpdPath()) / "inside"); },
         [](const Demo& d) { fs::remove_all(d.softVpdPath()); }, 0},
        {"the file is larger than the run may write",
         [](const Demo& d) {
             fs::create_directories(d.marlo());
             testkit::writeText(d.softVpdPath(), testkit::foreignSoftVpdLines(0, 256 * 1024));
         },
         [](const Demo&) {}, 128 * 1024},
    };
    if (!testkit::exists("/usr/bin/prlimit"))
        GTEST_SKIP() << "prlimit is not installed";
    std::set<Call> inventoryCalls;
    {
        Demo clean;
        ASSERT_EQ(clean.run("-inv", "journal").status, 0);
        inventoryCalls = callsIn(clean.file("journal"));
    }
    for (const Blocker& b : blockers) {
        SCOPED_TRACE(b.name);
        Demo demo;
        b.block(demo);
        const std::string before = testkit::readText(demo.softVpdPath());
        for (int round = 1; round <= 2; ++round) {
            SCOPED_TRACE("run " + std::to_string(round));
            fs::remove(demo.file("journal"));
            const testkit::RunResult r = demo.run("-u", "journal", b.fileSizeLimit);
            EXPECT_EQ(r.status, 2) << r.output;
            EXPECT_EQ(demo.codes(), std::vector<int>(kComponents, 36));
            const std::set<Call> calls = callsIn(demo.file("journal"));
            EXPECT_TRUE(std::includes(inventoryCalls.begin(), inventoryCalls.end(), calls.begin(),
                                      calls.end()))
                << "an adapter was acted on";
            EXPECT_NE(r.output.find("winmarlo: the soft VPD file " + demo.softVpdPath() +
                                    " cannot be replaced"),
                      std::string::npos)
                << r.output;
            EXPECT_EQ(testkit::readText(demo.softVpdPath()), before);
        }
        b.clear(demo);
        EXPECT_EQ(demo.run("-u").status, 0);
        EXPECT_EQ(demo.codes(), std::vector<int>(kComponents, 0));
        EXPECT_EQ(demo.run("-u").status, 1);
        EXPECT_EQ(demo.codes(), std::vector<int>(kComponents, 34));
    }
}

// A soft VPD file that passes the check before the downloads but cannot take the lines
// the run adds: the family records of a card are cleared in the file before its flash
// is rewritten, so a component whose records cannot be written then is not flashed at
// all (36); the run ends with 4 and a line naming the file, which keeps its old
// content. The next run flashes the legacy card again (its family was not recorded)
// and again does not end in success; once the file can be written, one run records the
// families and the next finds every card current.
TEST(SoftVpdFiles, AWriteThatFailsAtTheEndIsNeverSuccess) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "the demo package is built natively only";
    if (!testkit::exists("/usr/bin/prlimit"))
        GTEST_SKIP() << "prlimit is not installed";
    // The limit binds the simulated adapters too (their library runs in the program's
    // process), which keep what was downloaded in files beside the board file: the old
    // lines outweigh the largest file a clean update leaves in the folder.
    std::size_t largest = 0;
    {
        Demo clean;
        ASSERT_EQ(clean.run("-u").status, 0);
        for (const fs::directory_entry& entry : fs::recursive_directory_iterator(clean.path()))
            if (entry.is_regular_file())
                largest = std::max<std::size_t>(largest, entry.file_size());
    }
    Demo demo;
    fs::create_directories(demo.marlo());
    const std::string old = testkit::foreignSoftVpdLines(0, std::max<std::size_t>(64 * 1024, largest + 1));
    testkit::writeText(demo.softVpdPath(), old);
    // The old lines fit, with room for less than one more.
    const std::size_t limit = old.size() + 40;

    testkit::RunResult r = demo.run("-u", "", limit);
    EXPECT_EQ(r.status, 4) << r.output;
    EXPECT_EQ(demo.codes(), (std::vector<int>{0, 36, 0, 36, 0, 0, 0, 0, 36}));
    const std::string named =
        "winmarlo: the soft VPD file " + demo.softVpdPath() + " could not be written";
    EXPECT_NE(r.output.find(named), std::string::npos) << r.output;
    EXPECT_EQ(testkit::readText(demo.softVpdPath()), old);

    r = demo.run("-u", "", limit);
    EXPECT_EQ(r.status, 4) << r.output;
    // The legacy and Arvo ports download again (as far as their records can be
    // cleared); the Ferrox cards keep their family on the card.
    EXPECT_EQ(demo.codes(), (std::vector<int>{0, 36, 0, 36, 34, 34, 34, 0, 36}));
    EXPECT_NE(r.output.find(named), std::string::npos) << r.output;

    EXPECT_EQ(demo.run("-u").status, 0);
    EXPECT_EQ(demo.run("-u").status, 1);
    EXPECT_EQ(demo.codes(), std::vector<int>(kComponents, 34));
    EXPECT_EQ(testkit::readText(demo.softVpdPath()).substr(0, old.size()), old);
}

} // namespace
