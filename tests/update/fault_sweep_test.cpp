// The built program on the demo package with the simulated library failing, or ending
// the process, at the calls a clean inventory and execution make. Whatever happens,
// the exit status is a documented one, nothing crashes, the documents written parse
// and the soft VPD file is never left half written.
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;

const std::set<int> kDocumentedStatuses{0,  1,  2,  3,  4,  5,  6,  9,  10, 11, 12, 13,
                                        14, 16, 17, 18, 19, 21, 22, 27, 51, 62, 63, 64};

// The code an exit rule ends the process with; not a status the program uses.
constexpr int kKilled = 99;

// One journal line, as far as fault rules can tell calls apart.
struct Call {
    std::string call;
    std::optional<int> board;
    std::string command; // "0x17", or "" when the call carries no mailbox
    std::string opcode;  // SLI_CFG opcode, or ""
};

std::vector<Call> readJournal(const std::string& path) {
    std::vector<Call> calls;
    std::istringstream lines(testkit::readText(path));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        Call c;
        std::string word;
        words >> c.call;
        while (words >> word) {
            const auto value = word.substr(word.find('=') + 1);
            if (word.rfind("board=", 0) == 0 && value != "-")
                c.board = std::stoi(value);
            else if (word.rfind("command=", 0) == 0 && value != "-")
                c.command = value;
            else if (word.rfind("opcode=", 0) == 0)
                c.opcode = value;
        }
        calls.push_back(c);
    }
    return calls;
}

// A fresh copy of the demo package the program runs in, with the checks this file
// makes of what a run leaves behind.
class DemoCopy : public testkit::DemoPackage {
  public:
    testkit::RunResult run(const char* mode, const std::string& journal = "") {
        return DemoPackage::run({mode, "-o", "-g", "-c", "config", "-p", "common"}, journal);
    }
    // Starts a run without waiting for it, for the caller to end from outside.
    platform::StartedProcess start(const char* mode) {
        return DemoPackage::start({mode, "-o", "-g", "-c", "config", "-p", "common"});
    }

    // The last execution left an adapter waiting for a system reboot (one killed
    // between its firmware write and its reset is skipped until then).
    bool rebootRequested() const {
        return testkit::readText(file("execution.xml"))
                   .find("<RebootRequired>1</RebootRequired>") != std::string::npos;
    }
    // A system reboot, which starts the firmware waiting in each board's flash.
    void rebootSystem() {
        const std::string text = testkit::readText(file("boards.json"));
        testkit::writeText(file("boards.json"),
                           "{\"reboot\": true, " + text.substr(text.find('{') + 1));
    }
    // Reruns an interrupted execution, rebooting and running once more when it asks
    // for a reboot; returns the exit status of the last run.
    int completeUpdate() {
        int status = run("-u").status;
        if (status == 0 && rebootRequested()) {
            rebootSystem();
            status = run("-u").status;
        }
        return status;
    }

    // Every XML document in the folder parses.
    void expectDocumentsParse() const {
        for (const char* name : {"inventory.xml", "execution.xml"}) {
            if (!testkit::exists(file(name)))
                continue;
            std::string error;
            EXPECT_NE(testkit::parseXml(testkit::readText(file(name)), &error), nullptr)
                << name << ": " << error;
            EXPECT_TRUE(testkit::xmllintAccepts(file(name))) << name;
        }
    }

    // The soft VPD files are absent or made of whole lines of one of the two forms.
    void expectSoftVpdIntact() const {
        for (const bool secondary : {false, true}) {
            const std::string path = softVpdPath(secondary);
            if (!testkit::exists(path))
                continue;
            const std::string text = testkit::readText(path);
            EXPECT_TRUE(text.empty() || text.back() == '\n') << path << ": last line cut";
            const std::regex line(
                "WWPN=[^;=]*;FW=[^;=]*;BC=[^;=]*;FID=[^;=]*|MAC=[^;=]*;FW=[^;=]*;FID=[^;=]*");
            std::istringstream lines(text);
            std::string l;
            while (std::getline(lines, l))
                EXPECT_TRUE(std::regex_match(l, line)) << path << ": soft VPD line: " << l;
        }
    }
};

void expectDocumented(const testkit::RunResult& r, const char* mode) {
    // A crash shows as -1 (POSIX) or as an exception code outside the table.
    EXPECT_TRUE(kDocumentedStatuses.count(r.status) != 0)
        << mode << " exited with " << r.status << "\n"
        << r.output;
}

// The inventory a run ends with, for comparing final states.
std::string inventoryOf(DemoCopy& demo) {
    EXPECT_EQ(demo.run("-inv").status, 0);
    return testkit::readText(demo.file("inventory.xml"));
}

// The running firmware and boot code of every adapter in an inventory document, by
// "<wwpn> <componentType>".
std::map<std::string, std::string> versionsIn(const std::string& inventory) {
    std::map<std::string, std::string> versions;
    const auto root = testkit::parseXml(inventory);
    if (root == nullptr)
        return versions;
    for (const testkit::XmlElement* device : root->all("Device"))
        for (const testkit::XmlElement* app : device->all("Application")) {
            const auto& a = app->attributes;
            const auto fw = a.find("tavFwVer"), bc = a.find("tavBcVer");
            versions[device->attributes.at("wwpn") + " " + a.at("componentType")] =
                fw != a.end()   ? fw->second
                : bc != a.end() ? bc->second
                                : "";
        }
    return versions;
}

// The form an inventory gives a component of which the card holds no whole image (no
// boot code, the default firmware texts): what a download stopped after its erase
// leaves, since the simulated flash reports what it holds.
bool blankForm(const std::string& version) {
    static const std::regex blank("NONE|[A-Z]{2}000A0|0\\.0\\.0\\.0");
    return std::regex_match(version, blank);
}

// An interrupted or faulted update never starts what a broken download left: before
// and after a system reboot, every component runs its old or its new version, or shows
// that the card holds none.
void expectOldOrNewVersions(DemoCopy& demo, const std::map<std::string, std::string>& before,
                            const std::map<std::string, std::string>& after) {
    for (const bool reboot : {false, true}) {
        if (reboot)
            demo.rebootSystem();
        const testkit::RunResult inventory = demo.run("-inv");
        expectDocumented(inventory, "-inv");
        EXPECT_EQ(inventory.output.find("dfcsim:"), std::string::npos) << inventory.output;
        for (const auto& [component, version] :
             versionsIn(testkit::readText(demo.file("inventory.xml"))))
            EXPECT_TRUE(version == before.at(component) || version == after.at(component) || blankForm(version))
                << component << " runs " << version << (reboot ? " after a reboot" : "");
    }
}

// The calls a clean inventory and a clean execution of the demo package make.
// And the inventories before and after.
struct Baseline {
    std::vector<Call> inventory, execution;
    std::string before, after;
};

Baseline cleanRun() {
    DemoCopy demo;
    Baseline b;
    EXPECT_EQ(demo.run("-inv", "inventory.journal").status, 0);
    b.before = testkit::readText(demo.file("inventory.xml"));
    EXPECT_EQ(demo.run("-u", "execution.journal").status, 0);
    b.inventory = readJournal(demo.file("inventory.journal"));
    b.execution = readJournal(demo.file("execution.journal"));
    b.after = inventoryOf(demo);
    return b;
}

// After an interrupted or faulted execution (its faults dropped): the files are whole,
// every component runs its old or its new version, a rerun (rebooting when it asks)
// ends in the inventory of an uninterrupted update, and the next execution has
// nothing to do.
void expectRecovery(DemoCopy& demo, const Baseline& clean) {
    demo.expectSoftVpdIntact();
    expectOldOrNewVersions(demo, versionsIn(clean.before), versionsIn(clean.after));
    const int rerun = demo.completeUpdate();
    EXPECT_TRUE(rerun == 0 || rerun == 1) << "rerun exited with " << rerun;
    demo.expectDocumentsParse();
    demo.expectSoftVpdIntact();
    EXPECT_EQ(inventoryOf(demo), clean.after);
    EXPECT_EQ(demo.run("-u").status, 1);
    demo.expectSoftVpdIntact();
}

std::string ruleKey(const Call& c) {
    std::string rule = "\"call\": \"" + c.call + "\"";
    if (!c.command.empty())
        rule += ", \"command\": \"" + c.command + "\"";
    if (!c.opcode.empty())
        rule += ", \"opcode\": \"" + c.opcode + "\"";
    return rule;
}

// Every distinct call (with its command and SLI_CFG opcode) of the clean runs fails on
// every board from its first use on: once with a library error result, and for
// mailbox calls once more with a bad mailbox status.
TEST(FaultSweep, EveryCallFailingLeavesDocumentedStatusesAndWholeFiles) {
    // Under Wine every program start costs much more than natively, and this sweep
    // starts a few hundred; the native run covers the same code.
    if (platform::kIsWindows)
        GTEST_SKIP() << "too slow under Wine";
    const Baseline clean = cleanRun();
    ASSERT_FALSE(clean.execution.empty());
    ASSERT_FALSE(versionsIn(clean.before).empty());
    ASSERT_NE(versionsIn(clean.before), versionsIn(clean.after));
    std::set<std::tuple<std::string, std::string, std::string>> points;
    for (const auto* calls : {&clean.inventory, &clean.execution})
        for (const Call& c : *calls)
            if (c.board) // calls without a board never reach the fault rules
                points.insert({c.call, c.command, c.opcode});
    int runs = 0;
    std::map<int, int> statuses; // exit status -> runs, for the report
    for (const auto& [call, command, opcode] : points) {
        const Call c{call, std::nullopt, command, opcode};
        std::vector<std::string> answers{"\"result\": 1"};
        if (!command.empty())
            answers.push_back("\"status\": \"0x0001\"");
        for (const std::string& answer : answers) {
            const std::string rule =
                "{" + ruleKey(c) + ", \"from\": 1, \"times\": 0, " + answer + "}";
            SCOPED_TRACE(rule);
            DemoCopy demo;
            demo.addFaults(rule);
            for (const char* mode : {"-inv", "-u"}) {
                const testkit::RunResult r = demo.run(mode);
                expectDocumented(r, mode);
                ++statuses[r.status];
                // The simulator took the board file with its rules.
                EXPECT_EQ(r.output.find("dfcsim:"), std::string::npos) << r.output;
                demo.expectDocumentsParse();
                demo.expectSoftVpdIntact();
            }
            // With the fault gone, every adapter runs its old or its new firmware and
            // boot code, also after a reboot, and an execution completes the update.
            demo.dropFaults();
            expectRecovery(demo, clean);
            ++runs;
        }
    }
    // The rules took effect: some runs ended in something other than success.
    EXPECT_LT(statuses[0], 2 * runs);
    std::cout << "[ fault sweep ] " << points.size() << " fault points, " << runs
              << " faulted inventory and execution pairs; exit statuses:";
    for (const auto& [status, n] : statuses)
        std::cout << ' ' << status << "x" << n;
    std::cout << '\n';
    RecordProperty("faultPoints", static_cast<int>(points.size()));
}

// The execution killed at one call of many (every 5th board call of a clean
// execution, a download's run of chunks counting as its first, middle and last
// chunk): the soft VPD file and the board file stay whole, and the next execution
// finishes the update.
TEST(InterruptedRun, KilledExecutionLeavesWholeFilesAndARerunCompletes) {
    // The kill is a simulator rule ending the process; the native run covers the
    // program's side, and Wine would make the many starts slow.
    if (platform::kIsWindows)
        GTEST_SKIP() << "POSIX only";
    const Baseline clean = cleanRun();
    // A rule counts a board's calls from the last DFC_InitDiagEnv; (board, count) is
    // the place the process dies.
    std::vector<std::pair<int, int>> places;
    std::vector<const Call*> calls; // the call at each place
    std::vector<int> counts(64, 0);
    for (const Call& c : clean.execution) {
        if (c.call == "DFC_InitDiagEnv")
            counts.assign(counts.size(), 0);
        if (!c.board || *c.board >= static_cast<int>(counts.size()))
            continue;
        places.push_back({*c.board, ++counts[static_cast<std::size_t>(*c.board)]});
        calls.push_back(&c);
    }
    // Firmware-sized payloads stream tens of thousands of alike chunks; a run of calls
    // alike on one board stands for its first, middle and last call, so that the kill
    // points spread over every adapter's whole update.
    const auto alike = [&](std::size_t a, std::size_t b) {
        return places[a].first == places[b].first && calls[a]->call == calls[b]->call &&
               calls[a]->command == calls[b]->command && calls[a]->opcode == calls[b]->opcode;
    };
    std::vector<std::pair<int, int>> candidates;
    for (std::size_t start = 0, end = 0; start < places.size(); start = end) {
        for (end = start + 1; end < places.size() && alike(start, end); ++end) {
        }
        for (const std::size_t i : {start, (start + end - 1) / 2, end - 1})
            if (candidates.empty() || candidates.back() != places[i])
                candidates.push_back(places[i]);
    }
    std::set<std::pair<int, int>> kills;
    for (std::size_t index = 0; index < candidates.size() && kills.size() < 60; index += 5)
        kills.insert(candidates[index]);
    ASSERT_FALSE(kills.empty());
    for (const auto& [board, count] : kills) {
        const std::string rule =
            "{\"exit\": " + std::to_string(kKilled) + ", \"from\": " + std::to_string(count) + "}";
        SCOPED_TRACE("board " + std::to_string(board) + " call " + std::to_string(count));
        DemoCopy demo;
        // Only the chosen board gets the rule: the index-th "pci" key is its own.
        std::string text = testkit::readText(demo.file("boards.json"));
        std::size_t at = 0;
        for (int i = 0; i <= board; ++i)
            at = text.find("\"pci\":", i == 0 ? 0 : at + 1);
        ASSERT_NE(at, std::string::npos);
        text.insert(at, "\"faults\": [" + rule + "], ");
        testkit::writeText(demo.file("boards.json"), text);

        EXPECT_EQ(demo.run("-u").status, kKilled);
        demo.dropFaults();
        expectRecovery(demo, clean);
    }
    std::cout << "[ interrupted ] " << kills.size() << " kill points\n";
    RecordProperty("killPoints", static_cast<int>(kills.size()));
}

// A killed run reaped; -1 when a signal ended it. Waits at most about a minute.
int reap(platform::StartedProcess& process) {
    const int status = testkit::waitFor(process, 60);
    if (status == testkit::kHungStatus)
        ADD_FAILURE() << "the run did not end";
    return status;
}

// Watches a started run until it ends or `killNow()` says so, and kills it then.
// Returns whether it was killed; `status` gets its exit status (-1 after a kill).
template <typename KillNow>
bool killWhen(platform::StartedProcess& process, KillNow killNow, int& status) {
    while (!platform::tryWaitProcess(&process, &status)) {
        if (killNow()) {
            platform::killProcess(process);
            status = reap(process);
            // The program may have ended on its own between the last look and the
            // kill: that run was not interrupted.
            return status == -1;
        }
        std::this_thread::yield();
    }
    return false;
}

// SIGKILL from outside while the program rewrites a soft VPD file (seen by its
// temporary file appearing): each file keeps exactly its old or its new content, and
// a rerun brings the system to the state an uninterrupted run leaves.
TEST(InterruptedRun, KilledWhileWritingTheSoftVpdFilesEachKeepsItsOldOrNewContent) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "POSIX only";
    // Lines of adapters this system does not have, which the program keeps: enough of
    // them that rewriting a file takes long enough for a kill to land in the middle.
    const std::string oldPrimary = testkit::foreignSoftVpdLines(0, 1600 * 1024),
                      oldSecondary = testkit::foreignSoftVpdLines(0x100000, 1600 * 1024);
    const auto seeded = [&](DemoCopy& demo) {
        demo.writeSoftVpd(false, oldPrimary);
        demo.writeSoftVpd(true, oldSecondary);
    };
    std::string newPrimary, newSecondary;
    Baseline clean;
    {
        DemoCopy demo;
        seeded(demo);
        clean.before = inventoryOf(demo);
        ASSERT_EQ(demo.run("-u").status, 0);
        newPrimary = testkit::readText(demo.softVpdPath(false));
        newSecondary = testkit::readText(demo.softVpdPath(true));
        clean.after = inventoryOf(demo);
    }
    ASSERT_NE(newPrimary, oldPrimary);

    int landed = 0, attempts = 0;
    for (; attempts < 30 && landed < 4; ++attempts) {
        DemoCopy demo;
        seeded(demo);
        // The rewrite's temporary file beside a soft VPD file, "tavCNAFID.cfg.<random>.tmp"
        // (the probe before the downloads is named "...probe" and replaces nothing).
        const auto writing = [](const std::string& softVpd) {
            const fs::path path(softVpd);
            const std::string prefix = path.filename().string() + ".";
            for (const std::string& name : platform::listDirectory(path.parent_path().string())
                                               .value_or(std::vector<std::string>{}))
                if (name.rfind(prefix, 0) == 0 && name.size() > prefix.size() + 4 &&
                    name.compare(name.size() - 4, 4, ".tmp") == 0)
                    return true;
            return false;
        };
        platform::StartedProcess process = demo.start("-u");
        int status = 0;
        if (!killWhen(
                process,
                [&] { return writing(demo.softVpdPath(false)) || writing(demo.softVpdPath(true)); },
                status))
            continue; // the write went by between two looks
        SCOPED_TRACE("attempt " + std::to_string(attempts));
        // The kill landed inside a write when its temporary file outlives the process
        // (a finished write has renamed it away); either way the files must be whole.
        if (writing(demo.softVpdPath(false)) || writing(demo.softVpdPath(true)))
            ++landed;
        const std::string primary = testkit::readText(demo.softVpdPath(false));
        const std::string secondary = testkit::readText(demo.softVpdPath(true));
        EXPECT_TRUE(primary == oldPrimary || primary == newPrimary)
            << "primary file changed part way";
        EXPECT_TRUE(secondary == oldSecondary || secondary == newSecondary)
            << "secondary file changed part way";
        expectRecovery(demo, clean);
        EXPECT_NE(testkit::readText(demo.softVpdPath(false)).find(oldPrimary.substr(0, 4096)),
                  std::string::npos)
            << "the other adapters' lines were lost";
    }
    std::cout << "[ interrupted ] " << landed << " kills inside a soft VPD write in " << attempts
              << " runs\n";
    EXPECT_GT(landed, 0) << "no kill landed inside a soft VPD write";
}

// SIGKILL from outside at times spread over a whole execution (wherever the program
// or the simulated adapters happen to be): the files stay whole and a rerun completes.
TEST(InterruptedRun, KilledAtSpreadTimesLeavesWholeFilesAndARerunCompletes) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "POSIX only";
    Baseline clean;
    std::chrono::steady_clock::duration whole{};
    {
        DemoCopy demo;
        clean.before = inventoryOf(demo);
        const auto begin = std::chrono::steady_clock::now();
        ASSERT_EQ(demo.run("-u").status, 0);
        whole = std::chrono::steady_clock::now() - begin;
        clean.after = inventoryOf(demo);
    }
    constexpr int kPoints = 10;
    int killed = 0;
    for (int i = 1; i <= kPoints; ++i) {
        SCOPED_TRACE("kill at " + std::to_string(i) + "/" + std::to_string(kPoints + 1) +
                     " of a run");
        DemoCopy demo;
        platform::StartedProcess process = demo.start("-u");
        const auto deadline = std::chrono::steady_clock::now() + whole * i / (kPoints + 1);
        int status = 0;
        if (killWhen(process, [&] { return std::chrono::steady_clock::now() >= deadline; }, status))
            ++killed;
        expectRecovery(demo, clean);
    }
    std::cout << "[ interrupted ] " << killed << " kills at spread times\n";
    EXPECT_GT(killed, kPoints / 2);
}

} // namespace
