// The per-adapter update decision and the execution loop against simulated boards, with
// the download engine replaced by a stand-in that answers a chosen result and records
// what it was given.
#include "adapter/board_family.h"
#include "adapter/hba_entry.h"
#include "catalog/payload_catalog.h"
#include "common/run_state.h"
#include "tests/adapter/sim_fixture.h"
#include "tests/testkit/fixture_names.h"
#include "update/execution.h"
#include "update/run_status.h"
#include "update/update_adapter.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <string>
#include <vector>

namespace {

std::deque<std::uint32_t> g_answers; // results the stand-in download gives, in turn
std::vector<std::string> g_downloaded;

std::uint32_t fakeDownload(std::uint32_t, const CluImage& payload, StepTextCallback, ProgressCallback,
                           DownloadSleep) {
    g_downloaded.emplace_back(payload.path);
    if (g_answers.empty())
        return 0;
    const std::uint32_t answer = g_answers.front();
    g_answers.pop_front();
    return answer;
}

std::vector<unsigned> g_sleeps;
void fakeSleep(unsigned ms) { g_sleeps.push_back(ms); }

class UpdateAdapterTest : public SimTest {
  protected:
    void SetUp() override {
        fresh();
        g_answers.clear();
        g_downloaded.clear();
        g_sleeps.clear();
    }
    // A new run: no adapters, payloads or counts. The entries handed out below stay put
    // because the adapter list never grows past its reserve.
    void fresh() {
        run = RunContext{};
        run.adapters.reserve(8);
        run.devices.download = fakeDownload;
        run.devices.sleep = fakeSleep;
    }
    // Put in front of the catalogue, as the newest file listed.
    void payload(const char* file, std::uint32_t imageType, std::uint32_t extType, const char* version,
                 CnaVersion cna = {}) {
        CluImage image;
        image.filename = file;
        image.path = std::string("/payloads/") + file;
        image.imageType = imageType;
        image.extType = extType;
        image.decodedVersion = version;
        image.CNAMajorVer = cna.major;
        image.CNAMinorVer = cna.minor;
        image.CNAReleaseVer = cna.release;
        image.CNABuildVer = cna.build;
        run.payloads.insert(run.payloads.begin(), image);
    }
    HbaEntry& entry(std::uint16_t board, std::uint32_t deviceId, std::uint16_t hbaType = 0) {
        EXPECT_LT(run.adapters.size(), run.adapters.capacity()); // no entry may move
        HbaEntry& e = run.adapters.emplace_back();
        e.adapterNumber = board;
        e.deviceId = deviceId;
        e.hbaType = hbaType;
        e.serialNumber = "SN-DEMO-1";
        e.packagedFamilyId = "02.01.01";
        e.familyId = "02.00.01";
        e.inventoryFwVersion = "02.00.01";
        e.inventoryBcVersion = "02.00.01";
        return e;
    }
    RunContext run;
};

const char* kLegacyBoard = R"({"pci": {"deviceId": "0xF100", "subsystemId": "0xF100"}})";

struct LegacyCase {
    const char* name;
    std::uint32_t policy;
    const char* familyId;
    const char* inventoryVersion;
    const char* packagedFw;
    std::vector<std::uint32_t> answers;
    bool resetFails;
    int result;
    std::uint32_t attempts, failures;
    bool downloaded, succeeded;
};

const LegacyCase kLegacyCases[] = {
    {"current family needs nothing", IfNewer, "02.01.01", "02.01.01", "UD202A3", {}, false, 34, 0, 0, false, false},
    {"newer family on the card needs nothing", IfNewer, "02.02.01", "02.02.01", "UD202A3", {}, false, 34, 0, 0, false, false},
    {"null family forces the download", IfNewer, "02.01.01", "00.00.00", "UD202A3", {0}, false, 0, 1, 0, true, true},
    {"-f downloads regardless", Always, "02.01.01", "02.01.01", "UD202A3", {0}, false, 0, 1, 0, true, true},
    {"older family downloads", IfNewer, "02.00.01", "02.00.01", "UD202A3", {0}, false, 0, 1, 0, true, true},
    {"reset after the download fails", IfNewer, "02.00.01", "02.00.01", "UD202A3", {0}, true, 33, 1, 1, true, false},
    {"reboot-required answer is a failure on legacy FC", IfNewer, "02.00.01", "02.00.01", "UD202A3", {80}, false, 31, 1, 1, true, false},
    {"secure hardware error", IfNewer, "02.00.01", "02.00.01", "UD202A3", {89}, false, 41, 1, 1, true, false},
    {"invalid signature", IfNewer, "02.00.01", "02.00.01", "UD202A3", {90}, false, 42, 1, 1, true, false},
    {"payload missing", IfNewer, "02.00.01", "02.00.01", "UD999A9", {}, false, 32, 1, 1, false, false},
    {"family without a package", IfNewer, "02.00.01", "02.00.01", "NONE", {}, false, 20, 1, 1, false, false},
};

TEST_F(UpdateAdapterTest, LegacyFibreChannelFirmwareStep) {
    for (const LegacyCase& c : kLegacyCases) {
        SCOPED_TRACE(c.name);
        fresh();
        g_downloaded.clear();
        std::string board = kLegacyBoard;
        if (c.resetFails)
            board = R"({"pci": {"deviceId": "0xF100"}, "faults": [{"call": "DFC_ResetAdapter", "result": 1}]})";
        ASSERT_EQ(useBoards(board), 1u);
        payload("fw.all", FC_IMAGE, ALLext, "UD202A3");
        HbaEntry& e = entry(0, 0xF100);
        e.familyId = c.familyId;
        e.inventoryFwVersion = c.inventoryVersion;
        e.packagedFwVersion = c.packagedFw;
        g_answers.assign(c.answers.begin(), c.answers.end());
        run.options.updatePolicy = c.policy;
        // The run counts what the outcome says: an attempt, a failure, a download that
        // makes the rollback companion run.
        ComponentOutcome o;
        o.decided = true;
        o.result = updateAdapter(run, e, ALLext, &o.rebootNeeded, &o.payloadPath);
        EXPECT_EQ(codeNumber(o.result), c.result);
        EXPECT_EQ(o.attempted() ? 1u : 0u, c.attempts);
        EXPECT_EQ(o.failed() ? 1u : 0u, c.failures);
        EXPECT_EQ(!g_downloaded.empty(), c.downloaded);
        EXPECT_EQ(o.downloadSucceeded(), c.succeeded);
        if (c.downloaded) {
            EXPECT_NE(g_downloaded.front().find("fw.all"), std::string::npos);
        }
    }
}

TEST_F(UpdateAdapterTest, InvalidBoardNumber) {
    ASSERT_EQ(useBoards(kLegacyBoard), 1u);
    HbaEntry& e = entry(5, 0xF100);
    ComponentOutcome o;
    o.decided = true;
    o.result = updateAdapter(run, e, ALLext);
    EXPECT_EQ(codeNumber(o.result), 30);
    EXPECT_TRUE(o.failed());
}

const char* kFerroxPorts = R"({"pci": {"deviceId": "0xE200", "function": 0}, "driver": {"interfaceLevel": 4}},
                               {"pci": {"deviceId": "0xE200", "function": 1}, "driver": {"interfaceLevel": 4}})";

TEST_F(UpdateAdapterTest, SecondPortReusesTheCardsOutcome) {
    std::vector<AdapterRecord> records(2);
    records[0].deviceId = records[1].deviceId = 0xE200;
    ASSERT_EQ(useBoards(kFerroxPorts, records), 2u);
    payload("fw.grp", GRP_IMAGE, GRPext, "11.2.216.9", {11, 2, 216, 9});
    HbaEntry& first = entry(0, 0xE200);
    HbaEntry& second = entry(1, 0xE200);
    for (HbaEntry* e : {&first, &second})
        e->packagedFwVersion = "11.2.216.9";
    g_answers = {80};
    bool rebootNeeded = false;
    EXPECT_EQ(codeNumber(updateAdapter(run, first, GRPext, &rebootNeeded)), 37);
    EXPECT_TRUE(rebootNeeded);
    EXPECT_EQ(second.downloadStat, DOWNLOAD_STAT_REBOOT_REQUIRED);
    EXPECT_EQ(codeNumber(updateAdapter(run, second, GRPext)), 37);
    EXPECT_EQ(g_downloaded.size(), 1u); // one download per card
}

TEST_F(UpdateAdapterTest, FerroxOn1_1_21_4GetsTheInterimImageFirst) {
    std::vector<AdapterRecord> records(2);
    records[0].deviceId = records[1].deviceId = 0xE200;
    for (bool interimPresent : {true, false}) {
        SCOPED_TRACE(interimPresent);
        fresh();
        g_downloaded.clear();
        g_sleeps.clear();
        ASSERT_EQ(useBoards(kFerroxPorts, records), 2u);
        payload("main.grp", GRP_IMAGE, GRPext, "1.1.22.0", {1, 1, 22, 0});
        if (interimPresent)
            payload("interim.grp", GRP_IMAGE, GRPext, "1.1.21.300", {1, 1, 21, 300});
        HbaEntry& e = entry(0, 0xE200);
        e.packagedFwVersion = "1.1.22.0";
        e.cnaFwVersion = CnaVersion{1, 1, 21, 4};
        g_answers = {14, 0};
        if (interimPresent) {
            EXPECT_EQ(codeNumber(updateAdapter(run, e, GRPext)), 0);
            ASSERT_EQ(g_downloaded.size(), 2u);
            EXPECT_NE(g_downloaded[0].find("interim.grp"), std::string::npos);
            EXPECT_NE(g_downloaded[1].find("main.grp"), std::string::npos);
            ASSERT_FALSE(g_sleeps.empty());
            EXPECT_EQ(g_sleeps.front(), 3000u);
        } else {
            EXPECT_EQ(codeNumber(updateAdapter(run, e, GRPext)), 32);
            EXPECT_TRUE(g_downloaded.empty()); // the main image is never tried
        }
    }
}

// The reset that ends an update, as the library is asked for it: mode 1 once a legacy
// FC card's download is done, mode 3 when a Ferrox FC card asks for a reset (also
// after its interim image), and none where a reboot is asked for.
TEST_F(UpdateAdapterTest, ResetModeFollowsTheCardAndTheDownloadsAnswer) {
    struct Case {
        const char* name;
        bool ferrox;
        CnaVersion running;
        std::vector<std::uint32_t> answers;
        int result;
        std::vector<std::string> resets;
    };
    const Case cases[] = {
        {"legacy FC, download done", false, {}, {0}, 0, {"DFC_ResetAdapter mode=1"}},
        {"legacy FC, reboot asked: a failure", false, {}, {80}, 31, {}},
        {"Ferrox FC, reset asked", true, {}, {14}, 0, {"DFC_ResetAdapter mode=3"}},
        {"Ferrox FC, reboot asked", true, {}, {80}, 37, {}},
        {"Ferrox FC on 1.1.21.4: the interim image's reset only", true, {1, 1, 21, 4}, {14, 0}, 0,
         {"DFC_ResetAdapter mode=3"}},
    };
    const std::string journal = journalOn();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fresh();
        g_downloaded.clear();
        std::remove(journal.c_str());
        if (c.ferrox) {
            std::vector<AdapterRecord> records(2);
            records[0].deviceId = records[1].deviceId = 0xE200;
            ASSERT_EQ(useBoards(kFerroxPorts, records), 2u);
            payload("main.grp", GRP_IMAGE, GRPext, "1.1.22.0", {1, 1, 22, 0});
            payload("interim.grp", GRP_IMAGE, GRPext, "1.1.21.300", {1, 1, 21, 300});
        } else {
            ASSERT_EQ(useBoards(kLegacyBoard), 1u);
            payload("fw.all", FC_IMAGE, ALLext, "UD202A3");
        }
        HbaEntry& e = entry(0, c.ferrox ? 0xE200 : 0xF100);
        e.packagedFwVersion = c.ferrox ? "1.1.22.0" : "UD202A3";
        e.cnaFwVersion = c.running;
        g_answers.assign(c.answers.begin(), c.answers.end());
        EXPECT_EQ(codeNumber(updateAdapter(run, e, c.ferrox ? GRPext : ALLext)), c.result);
        EXPECT_EQ(g_downloaded.size(), c.answers.size());
        EXPECT_EQ(testkit::journalRequests(journal, {"DFC_ResetAdapter"}), c.resets);
    }
}

struct Vx4Case {
    CnaVersion running;
    bool unsupported;
};

TEST_F(UpdateAdapterTest, Vx4FirmwareTooOldToUpdate) {
    const Vx4Case cases[] = {{{10, 2, 222, 14}, true}, {{10, 2, 222, 15}, false}, {{10, 2, 223, 0}, false}};
    for (const Vx4Case& c : cases) {
        fresh();
        std::vector<AdapterRecord> records(1);
        records[0].deviceId = 0x0724;
        records[0].HBAType = 0x28;
        ASSERT_EQ(useBoards(R"({"pci": {"deviceId": "0x0724"}})", records), 1u);
        HbaEntry& e = entry(0, 0x0724, 8);
        e.cnaFwVersion = c.running;
        const int result = codeNumber(updateAdapter(run, e, UFIext));
        EXPECT_EQ(result == 39, c.unsupported) << result;
        if (c.unsupported) {
            EXPECT_EQ(e.downloadStat, DOWNLOAD_STAT_UNSUPPORTED_FW);
        }
    }
}

// The execution loop: a legacy FC adapter gets firmware then boot code, a Ferrox FC
// adapter firmware only; an unsupported adapter is left out; each adapter's outcomes
// reach the sink before the next adapter is touched.
TEST_F(UpdateAdapterTest, ExecutionPicksComponentsAndHandsOverEachAdapterWhenDone) {
    std::vector<AdapterRecord> records(2);
    records[0].deviceId = 0xF100;
    records[1].deviceId = 0xE200;
    ASSERT_EQ(useBoards(R"({"pci": {"deviceId": "0xF100", "subsystemId": "0xF100"}},
                          {"pci": {"deviceId": "0xE200"}, "driver": {"interfaceLevel": 4}})",
                        records),
              2u);
    payload("fw.all", FC_IMAGE, ALLext, "UD202A3");
    payload("boot.prg", FC_IMAGE, PRGext, "BC202A1");
    payload("fw.grp", GRP_IMAGE, GRPext, "11.2.216.9", {11, 2, 216, 9});
    HbaEntry& legacy = entry(0, 0xF100);
    legacy.supported = 1;
    legacy.fwVersion = "2.00A1";
    legacy.bcVersion = "1.00A1";
    legacy.packagedFwVersion = "UD202A3";
    legacy.packagedBcVersion = "BC202A1";
    entry(0, 0xF100).supported = 0;
    HbaEntry& ferrox = entry(1, 0xE200);
    ferrox.supported = 1;
    ferrox.packagedFwVersion = "11.2.216.9";
    g_answers = {0, 0, 80}; // legacy firmware, legacy boot code, Ferrox (reboot required)

    struct Handed {
        std::vector<ComponentOutcome> outcomes;
        std::size_t downloadsSoFar;
    };
    std::vector<Handed> handed;
    RunOutcome summary;
    summary.selected = {&legacy, &ferrox};
    runExecution(run, summary, [&handed](const AdapterOutcome& o) { handed.push_back({o, g_downloaded.size()}); });
    ASSERT_EQ(handed.size(), 2u);
    const std::vector<ComponentOutcome>& first = handed[0].outcomes;
    ASSERT_EQ(first.size(), 2u);
    EXPECT_EQ(handed[0].downloadsSoFar, 2u); // the Ferrox card is not touched yet
    EXPECT_EQ(first[0].adapter, &legacy);
    EXPECT_EQ(first[0].component, ALLext);
    EXPECT_FALSE(first[0].bootCode);
    EXPECT_EQ(codeNumber(first[0].result), 0);
    EXPECT_EQ(first[0].installedFamily, "02.00.01");
    EXPECT_EQ(first[0].installedVersion, "2.00A1");
    EXPECT_EQ(first[0].packagedFamily, "02.01.01");
    EXPECT_EQ(first[0].packagedVersion, "UD202A3");
    EXPECT_EQ(first[1].component, PRGext);
    EXPECT_TRUE(first[1].bootCode);
    EXPECT_EQ(codeNumber(first[1].result), 0);
    EXPECT_EQ(first[1].installedVersion, "1.00A1");
    EXPECT_EQ(first[1].packagedVersion, "BC202A1");
    EXPECT_EQ(legacy.fwDownloadStatus, 0u);
    EXPECT_EQ(legacy.bcDownloadStatus, 0u);

    const std::vector<ComponentOutcome>& second = handed[1].outcomes;
    ASSERT_EQ(second.size(), 1u);
    EXPECT_EQ(second[0].adapter, &ferrox);
    EXPECT_EQ(second[0].component, GRPext);
    EXPECT_EQ(codeNumber(second[0].result), 37);
    EXPECT_TRUE(second[0].rebootNeeded);
    EXPECT_EQ(ferrox.fwDownloadStatus, 37u);

    EXPECT_TRUE(summary.rebootRequired);
    EXPECT_EQ(summary.untouched, 0u);
    ASSERT_EQ(summary.updated.size(), 2u);
    // The run's counts come from the outcomes: three attempts, none failed, a download
    // that succeeded (the rollback companion runs); exit status 0.
    EXPECT_EQ(summary.attempts(), 3u);
    EXPECT_EQ(summary.failures(), 0u);
    EXPECT_TRUE(summary.anyDownloadSucceeded());
    EXPECT_EQ(exitStatus(summary), 0);
}

// An adapter waiting for a reboot has its firmware skipped with 35 (the run then asks
// for a reboot) and its boot code still updated; a -wwn selection that matches no
// adapter updates nothing.
TEST_F(UpdateAdapterTest, ExecutionSkipsAdapterInRebootStateAndHonoursTheSelection) {
    ASSERT_EQ(useBoards(kLegacyBoard), 1u);
    payload("boot.prg", FC_IMAGE, PRGext, "BC202A1");
    HbaEntry& e = entry(0, 0xF100);
    e.supported = 1;
    e.wwpn = WM_WWPN_PREFIX "000001";
    e.packagedBcVersion = "BC202A1";
    e.adapterInRebootState = 1;

    run.options.wwn = WM_WWPN_PREFIX "FFFFFF";
    int calls = 0;
    const auto count = [&calls](const AdapterOutcome&) { ++calls; };
    RunOutcome summary;
    summary.execution = true;
    runExecution(run, summary, count);
    EXPECT_TRUE(summary.updated.empty());
    EXPECT_EQ(calls, 0);
    EXPECT_TRUE(g_downloaded.empty());

    run.options.wwn = WM_WWPN_PREFIX "000001";
    std::vector<ComponentOutcome> outcomes;
    summary = RunOutcome{};
    summary.execution = true;
    runExecution(run, summary, [&outcomes](const AdapterOutcome& o) { outcomes = o; });
    EXPECT_EQ(summary.updated.size(), 1u);
    EXPECT_TRUE(summary.rebootRequired);
    // The skipped firmware is no attempt; the boot code's update is: the run succeeds.
    EXPECT_EQ(summary.attempts(), 1u);
    EXPECT_EQ(exitStatus(summary), 0);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_EQ(codeNumber(outcomes[0].result), 35);
    EXPECT_TRUE(outcomes[0].rebootNeeded);
    EXPECT_EQ(codeNumber(outcomes[1].result), 0);
    ASSERT_EQ(g_downloaded.size(), 1u); // the boot code only
    EXPECT_NE(g_downloaded[0].find("boot.prg"), std::string::npos);
}

// The ladder in its order: each case fails exactly one more check than the next, so a
// swapped pair of checks gives a different code.
TEST(PreconditionStatus, ChecksInOrder) {
    struct Case {
        const char* name;
        bool haveAdapters;
        RunTally tally;
        std::int32_t inventory, execution;
    };
    const Case cases[] = {
        {"no adapters before anything", false, {}, 17, 17},
        {"no configuration files before no supported adapter", true, {0, 0, 0, 0, 0}, 9, 9},
        {"no valid entries", true, {1, 0, 0, 0, 0}, 10, 10},
        {"no payload files (execution only)", true, {1, 1, 0, 0, 0}, 6, 11},
        {"no valid payload entries (execution only)", true, {1, 1, 1, 0, 0}, 6, 12},
        {"no supported adapter last", true, {1, 1, 1, 1, 0}, 6, 6},
        {"inventory needs no payload", true, {1, 1, 0, 0, 1}, 0, 11},
        {"all hold", true, {1, 1, 1, 1, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(codeNumber(preconditionStatus(c.tally, c.haveAdapters, false)), c.inventory);
        EXPECT_EQ(codeNumber(preconditionStatus(c.tally, c.haveAdapters, true)), c.execution);
    }
}

} // namespace

namespace {

// One outcome per component result: decided (35 is not), with a payload when sent.
ComponentOutcome componentWith(int result, bool downloaded = false) {
    ComponentOutcome o;
    o.result = static_cast<ResultCode>(result);
    o.decided = o.result != ResultCode::RebootPending;
    if (downloaded)
        o.payloadPath = "/pkg/fw.grp";
    return o;
}

struct StatusCase {
    const char* name;
    bool execution;
    std::vector<int> results; // one adapter each
    std::uint32_t untouched;
    bool softVpdNotWritten;
    bool selectionMissed;
    std::uint32_t devicesIncomplete; // of two Devices (inventory)
    int status;
};

// Every rule of the run's exit status, from outcomes alone.
TEST(RunStatus, ExitStatusFollowsTheOutcome) {
    const StatusCase cases[] = {
        {"all updated", true, {0, 37, 38}, 0, false, false, 0, 0},
        {"all current", true, {34, 34}, 0, false, false, 0, 1},
        {"a reboot-pending skip is no attempt", true, {35}, 0, false, false, 0, 1},
        {"every attempt failed", true, {31, 34, 32}, 0, false, false, 0, 2},
        {"some failed", true, {0, 33}, 0, false, false, 0, 4},
        {"unmatched selection", true, {}, 0, false, true, 0, 2},
        {"a stop after an update", true, {0}, 2, false, false, 0, 4},
        {"a stop before any update", true, {}, 3, false, false, 0, 2},
        {"soft VPD lost after success", true, {0}, 0, true, false, 0, 4},
        {"soft VPD lost with nothing to do", true, {34}, 0, true, false, 0, 2},
        {"inventory complete", false, {}, 0, false, false, 0, 0},
        {"inventory one incomplete", false, {}, 0, false, false, 1, 5},
        {"inventory all incomplete", false, {}, 0, false, false, 2, 3},
        {"inventory unmatched selection", false, {}, 0, false, true, 0, 3},
    };
    HbaEntry one, two;
    for (const StatusCase& c : cases) {
        SCOPED_TRACE(c.name);
        RunOutcome o;
        o.execution = c.execution;
        o.haveAdapters = true;
        if (!c.execution && !c.selectionMissed)
            o.selected = {&one, &two};
        for (int result : c.results)
            o.updated.push_back({componentWith(result, result == 0 || result == 33)});
        o.untouched = c.untouched;
        o.softVpdNotWritten = c.softVpdNotWritten;
        o.selectionMissed = c.selectionMissed;
        o.devicesIncomplete = c.devicesIncomplete;
        EXPECT_EQ(exitStatus(o), c.status);
        // A cut document outranks every other rule; a failed precondition every rule
        // of the run's adapters.
        o.precondition = ResultCode::NoPayloadFiles;
        EXPECT_EQ(exitStatus(o), 11);
        o.documentIncomplete = true;
        EXPECT_EQ(exitStatus(o), 14);
    }
    // The rollback companion runs after a completed download only.
    RunOutcome o;
    o.updated.push_back({componentWith(33, true), componentWith(34)});
    EXPECT_FALSE(o.anyDownloadSucceeded());
    o.updated.push_back({componentWith(37, true)});
    EXPECT_TRUE(o.anyDownloadSucceeded());
}

} // namespace
