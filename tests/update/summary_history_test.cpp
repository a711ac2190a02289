// The JSON summary (-json) and the update history (history.jsonl), through the built
// program on the demo package: the summary says what the XML says and fits its schema;
// the history gets one whole line per download attempt and is never written through
// anything but an ordinary file.
#include "common/sha256.h"
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"
#include "update/history.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using nlohmann::json;

namespace {

json readJson(const std::string& path) {
    return json::parse(testkit::readText(path), nullptr, /*allow_exceptions=*/false);
}

std::vector<json> historyLines(const std::string& path) {
    std::vector<json> lines;
    std::istringstream in(testkit::readText(path));
    for (std::string line; std::getline(in, line);)
        lines.push_back(json::parse(line, nullptr, false));
    return lines;
}

// Validates the file against the shipped schema with the system's JSON Schema
// validator; true on Windows, where it does not run.
bool schemaAccepts(const testkit::DemoPackage& demo, const std::string& path) {
    if (platform::kIsWindows)
        return true;
    const std::string script = demo.file("validate.py");
    testkit::writeText(script, "import json, sys, jsonschema\n"
                               "schema = json.load(open(sys.argv[1]))\n"
                               "jsonschema.Draft202012Validator.check_schema(schema)\n"
                               "jsonschema.Draft202012Validator(schema).validate(json.load(open(sys.argv[2])))\n");
    return platform::runProcess({"/usr/bin/python3", script, WINMARLO_SOURCE_DIR "/doc/winmarlo-summary.schema.json",
                                 path},
                                "", demo.file("validate.out")) == 0;
}

// (port name, component) -> (result code, installed version, packaged version) as the
// execution document gives them.
using Table = std::map<std::pair<std::string, std::string>, std::tuple<std::string, std::string, std::string>>;

Table fromXml(const std::string& path) {
    Table table;
    const auto root = testkit::parseXml(testkit::readText(path));
    if (root == nullptr)
        return table;
    for (const testkit::XmlElement* device : root->all("Device"))
        for (const testkit::XmlElement* app : device->all("Application")) {
            const bool boot = app->attributes.at("componentType") == "BIOS";
            const std::string key = boot ? "tavBcVer" : "tavFwVer";
            const testkit::XmlElement* status = app->child("SPStatus");
            const testkit::XmlElement* package = app->child("Package");
            table[{device->attributes.at("wwpn"), boot ? "bootCode" : "firmware"}] = {
                status->child("Message")->attributes.at("id"), app->attributes.at(key), package->attributes.at(key)};
        }
    return table;
}

Table fromJson(const json& summary) {
    Table table;
    for (const json& adapter : summary["adapters"])
        for (const json& c : adapter["components"])
            if (adapter.value("supported", true))
                table[{adapter["portName"], c["component"]}] = {std::to_string(c["resultCode"].get<int>()),
                                                            c["installed"]["version"], c["packaged"]["version"]};
    return table;
}

TEST(JsonSummary, SaysWhatTheDocumentsSayAndFitsItsSchema) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    // Inventory, default name.
    testkit::RunResult r = demo.run({"-inv", "-o", "-json", "-c", "config", "-p", "common"});
    ASSERT_EQ(r.status, 0) << r.output;
    json inventory = readJson(demo.file("inventory.json"));
    ASSERT_FALSE(inventory.is_discarded());
    EXPECT_EQ(inventory["mode"], "inventory");
    EXPECT_EQ(inventory["exitStatus"], 0);
    const auto inventoryXml = testkit::parseXml(testkit::readText(demo.file("inventory.xml")));
    ASSERT_NE(inventoryXml, nullptr);
    // The Devices, then the adapters the package does not update, each with its reason.
    std::size_t unsupported = 0;
    for (const json& adapter : inventory["adapters"])
        if (!adapter.value("supported", true)) {
            ++unsupported;
            EXPECT_NE(adapter.value("reason", ""), "") << adapter;
        }
    EXPECT_GT(unsupported, 0u);
    EXPECT_EQ(inventory["adapters"].size() - unsupported, inventoryXml->all("Device").size());
    EXPECT_EQ(inventory["endReason"], "completed");
    // The inventory shows the plan of an update with the same options, for every
    // component an update takes (the boot code of a card that has none is listed
    // without a plan).
    for (const json& adapter : inventory["adapters"])
        for (const json& c : adapter["components"]) {
            EXPECT_EQ(c["pendingReboot"], false) << c;
            if (c["packaged"].is_null() || !adapter.value("supported", true)) {
                EXPECT_FALSE(c.contains("action")) << c;
                continue;
            }
            EXPECT_EQ(c["action"], "update") << c;
            EXPECT_NE(c.value("file", ""), "") << c;
        }
    EXPECT_TRUE(schemaAccepts(demo, demo.file("inventory.json")));

    // The update, under a name of its own.
    r = demo.run({"-u", "-o", "-json", "first.json", "-c", "config", "-p", "common"});
    ASSERT_EQ(r.status, 0) << r.output;
    const json first = readJson(demo.file("first.json"));
    ASSERT_FALSE(first.is_discarded());
    EXPECT_EQ(first["mode"], "execution");
    EXPECT_EQ(first["exitStatus"], 0);
    EXPECT_EQ(first["rebootRequired"], false);
    const Table xml = fromXml(demo.file("execution.xml"));
    ASSERT_FALSE(xml.empty());
    EXPECT_EQ(fromJson(first), xml);
    for (const json& adapter : first["adapters"])
        for (const json& c : adapter["components"]) {
            if (!adapter.value("supported", true))
                continue;
            EXPECT_EQ(c["outcome"], "success") << c;
            EXPECT_EQ(c["action"], "update") << c;
        }
    EXPECT_TRUE(schemaAccepts(demo, demo.file("first.json")));

    // Nothing left to do: every component current, status 1, in the default name.
    r = demo.run({"-u", "-json", "-c", "config", "-p", "common"});
    ASSERT_EQ(r.status, 1) << r.output;
    const json second = readJson(demo.file("execution.json"));
    EXPECT_EQ(second["exitStatus"], 1);
    EXPECT_EQ(second["exitMessage"], "Nothing needed updating.");
    ASSERT_FALSE(second["adapters"].empty());
    for (const json& adapter : second["adapters"])
        for (const json& c : adapter["components"]) {
            if (!adapter.value("supported", true))
                continue;
            EXPECT_EQ(c["outcome"], "current") << c;
            EXPECT_EQ(c["action"], "current") << c;
            EXPECT_EQ(c["resultCode"], 34);
        }
    EXPECT_TRUE(schemaAccepts(demo, demo.file("execution.json")));
}

// A package without one card's image: the inventory's plan already says so for both
// ports of the card (no longer claiming an update), and the execution's summary
// carries the same plan beside the results.
TEST(JsonSummary, PlanOfAPackageMissingAnImage) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    fs::remove(fs::path(demo.file("common")) / "ferrox-11.2.216.9.grp");
    for (const char* mode : {"-inv", "-u"}) {
        const testkit::RunResult r = demo.run({mode, "-json", "plan.json", "-c", "config", "-p", "common"});
        EXPECT_EQ(r.status, std::string(mode) == "-inv" ? 0 : 4) << r.output;
        const json summary = readJson(demo.file("plan.json"));
        ASSERT_FALSE(summary.is_discarded());
        std::map<std::string, int> actions;
        for (const json& adapter : summary["adapters"])
            for (const json& c : adapter["components"])
                actions[c.value("action", std::string("none"))] += 1;
        EXPECT_EQ(actions["noImage"], 1) << mode;
        EXPECT_EQ(actions["sameCard"], 1) << mode;
        EXPECT_GT(actions["update"], 0) << mode;
        EXPECT_TRUE(schemaAccepts(demo, demo.file("plan.json"))) << mode;
    }
}

TEST(JsonSummary, FailedComponentCarriesItsMessage) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    // The first legacy port's reset after its download fails.
    demo.addFaults(R"({"call": "DFC_ResetAdapter", "result": 1, "times": 0})", true);
    const testkit::RunResult r = demo.run({"-u", "-json", "s.json", "-c", "config", "-p", "common"});
    EXPECT_EQ(r.status, 4) << r.output;
    const json summary = readJson(demo.file("s.json"));
    ASSERT_FALSE(summary.is_discarded());
    EXPECT_EQ(summary["exitStatus"], 4);
    EXPECT_EQ(summary["exitMessage"], "Some updates failed.");
    const json& component = summary["adapters"][0]["components"][0];
    EXPECT_EQ(component["resultCode"], 33);
    EXPECT_EQ(component["outcome"], "failed");
    EXPECT_EQ(component["message"], "Update failed. Adapter reset failed.");
    EXPECT_TRUE(schemaAccepts(demo, demo.file("s.json")));
}

TEST(JsonSummary, NoAdaptersAndRefusedTargets) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    testkit::writeText(demo.file("boards.json"), "{\"boards\": []}\n");
    // A folder at the summary's name is left alone; the run's status is its own.
    fs::create_directory(demo.file("taken.json"));
    testkit::RunResult r = demo.run({"-inv", "-json", "taken.json", "-c", "config", "-p", "common"});
    EXPECT_EQ(r.status, 17);
    EXPECT_TRUE(fs::is_directory(demo.file("taken.json")));
    EXPECT_NE(r.output.find("the JSON summary taken.json could not be written"), std::string::npos) << r.output;

    r = demo.run({"-inv", "-json", "none.json", "-c", "config", "-p", "common"});
    EXPECT_EQ(r.status, 17);
    const json summary = readJson(demo.file("none.json"));
    EXPECT_EQ(summary["exitStatus"], 17);
    EXPECT_EQ(summary["exitMessage"], "No adapters found.");
    EXPECT_EQ(summary["endReason"], "noAdapters"); // the library loaded: not libraryMissing
    EXPECT_TRUE(summary["adapters"].empty());
    EXPECT_TRUE(schemaAccepts(demo, demo.file("none.json")));

    // Without -json no summary appears.
    r = demo.run({"-inv", "-c", "config", "-p", "common"});
    EXPECT_FALSE(fs::exists(demo.file("inventory.json")));
}

TEST(UpdateHistory, OneWholeLinePerDownloadAttemptOnlyEverAppended) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    const std::string history = demo.marlo() + platform::kPathSeparator + kHistoryFileName;
    testkit::RunResult r = demo.run({"-u", "-json", "-c", "config", "-p", "common"});
    ASSERT_EQ(r.status, 0) << r.output;
    const std::vector<json> lines = historyLines(history);
    // Every component the summary reports as downloaded has its line; the second port
    // of a Ferrox card shares its card's download and has none.
    const json summary = readJson(demo.file("execution.json"));
    std::size_t downloads = 0;
    for (const json& adapter : summary["adapters"])
        for (const json& component : adapter["components"])
            downloads += component.contains("resultCode") ? 1 : 0; // an unsupported adapter's have none
    ASSERT_EQ(lines.size(), downloads - 1);
    for (const json& line : lines) {
        ASSERT_FALSE(line.is_discarded());
        EXPECT_EQ(line["resultCode"], 0);
        EXPECT_NE(line["from"]["version"], line["to"]["version"]);
        const std::string payload = demo.file("common") + platform::kPathSeparator + line["payload"]["file"].get<std::string>();
        EXPECT_EQ(line["payload"]["sha256"], fileSha256(payload)) << line;
        EXPECT_EQ(line["time"].get<std::string>().size(), 20u);
    }
    EXPECT_EQ(lines[0]["portName"], "10000000DF410010");
    EXPECT_EQ(lines[0]["component"], "firmware");
    EXPECT_EQ(lines[1]["component"], "bootCode");

    // Nothing downloaded: nothing added. Downloaded again (-f): added after the old lines.
    const std::string before = testkit::readText(history);
    r = demo.run({"-u", "-c", "config", "-p", "common"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(testkit::readText(history), before);
    r = demo.run({"-f", "-c", "config", "-p", "common"});
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string after = testkit::readText(history);
    EXPECT_EQ(after.rfind(before, 0), 0u);
    EXPECT_EQ(historyLines(history).size(), 2 * lines.size());

    // A history that cannot be written is said once and changes nothing else.
    fs::remove(history);
    fs::create_directory(history);
    r = demo.run({"-f", "-c", "config", "-p", "common"});
    EXPECT_EQ(r.status, 0) << r.output;
    const std::string said = "the update history could not be written";
    ASSERT_NE(r.output.find(said), std::string::npos) << r.output;
    EXPECT_EQ(r.output.find(said, r.output.find(said) + 1), std::string::npos) << r.output;
}

TEST(UpdateHistory, AppendsWholeLinesOnlyToAnOrdinaryFile) {
    struct Case {
        const char* name;
        std::function<void(const std::string& history, const std::string& elsewhere)> prepare;
        bool written;
    };
    const Case cases[] = {
        {"absent", [](const std::string&, const std::string&) {}, true},
        {"link", [](const std::string& history, const std::string& elsewhere) {
             testkit::writeText(elsewhere, "not the history\n");
             fs::create_symlink(elsewhere, history);
         }, false},
        {"folder", [](const std::string& history, const std::string&) { fs::create_directory(history); }, false},
        {"damaged last line", [](const std::string& history, const std::string&) {
             testkit::writeText(history, "{\"time\": \"2026-01-01T00:00:00Z\"}\n{\"time\": \"20");
         }, true},
    };
    ComponentOutcome o;
    o.installedVersion = "11.0.270.18";
    o.packagedVersion = "11.2.216.9";
    o.packagedFamily = "02.01.01";
    for (const Case& c : cases) {
        if (platform::kIsWindows && std::string(c.name) == "link")
            continue; // making a link needs a privilege the test account may lack
        SCOPED_TRACE(c.name);
        testkit::TempDir dir;
        const std::string history = dir.file(kHistoryFileName);
        const std::string elsewhere = dir.file("elsewhere.txt");
        c.prepare(history, elsewhere);
        const std::string before = fs::is_regular_file(history) ? testkit::readText(history) : "";
        o.payloadPath = dir.file("payload.grp");
        testkit::writeText(o.payloadPath, "abc");
        const std::string first = appendHistory(dir.path() + platform::kPathSeparator, o, std::chrono::system_clock::now());
        const std::string second = appendHistory(dir.path() + platform::kPathSeparator, o, std::chrono::system_clock::now());
        if (!c.written) {
            EXPECT_FALSE(first.empty());
            EXPECT_FALSE(second.empty());
            EXPECT_EQ(fs::is_directory(history), std::string(c.name) == "folder");
            if (fs::exists(elsewhere)) {
                EXPECT_EQ(testkit::readText(elsewhere), "not the history\n");
            }
            continue;
        }
        EXPECT_EQ(first, "");
        EXPECT_EQ(second, "");
        const std::string text = testkit::readText(history);
        // What stood there stays, and the records start on lines of their own.
        ASSERT_EQ(text.rfind(before, 0), 0u);
        if (!before.empty() && before.back() != '\n') {
            EXPECT_EQ(text.at(before.size()), '\n');
        }
        std::istringstream rest(text.substr(before.size()));
        std::vector<json> added;
        for (std::string line; std::getline(rest, line);)
            if (!line.empty())
                added.push_back(json::parse(line, nullptr, false));
        ASSERT_EQ(added.size(), 2u) << text;
        for (const json& line : added) {
            ASSERT_FALSE(line.is_discarded()) << text;
            EXPECT_EQ(line["payload"]["file"], "payload.grp");
            EXPECT_EQ(line["payload"]["sha256"], "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
            EXPECT_EQ(line["from"]["version"], "11.0.270.18");
            EXPECT_EQ(line["to"]["family"], "02.01.01");
        }
        EXPECT_EQ(text.back(), '\n');
    }
}

// FIPS 180-2 examples, and a message that ends exactly where padding needs a block of
// its own, fed in uneven pieces.
TEST(Sha256, KnownDigests) {
    const struct {
        std::string message;
        const char* digest;
    } cases[] = {
        {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
         "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
    };
    for (const auto& c : cases) {
        Sha256 whole;
        whole.update(c.message.data(), c.message.size());
        EXPECT_EQ(sha256Hex(whole.finish()), c.digest) << c.message.size();
        Sha256 pieces;
        for (std::size_t at = 0, step = 1; at < c.message.size(); at += step, step = step * 2 % 97 + 1)
            pieces.update(c.message.data() + at, std::min(step, c.message.size() - at));
        EXPECT_EQ(sha256Hex(pieces.finish()), c.digest) << c.message.size();
    }
}

} // namespace
