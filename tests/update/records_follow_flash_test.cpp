// Records follow the flash, run end to end on the demo package: a download that fails
// after it has begun to rewrite a card's flash leaves no record that claims the
// package's family for that card (the soft VPD line reads the null family), the run
// says that the flash is incomplete (standard error and the JSON summary), and the
// next update downloads the component again, after which a third run has nothing to do.
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <string>
#include <vector>

namespace {

const std::vector<std::string> kUpdate = {"-u", "-o", "-g", "-c", "config", "-p", "common", "-json", "summary.json"};
const std::vector<std::string> kForce = {"-f", "-o", "-g", "-c", "config", "-p", "common", "-json", "summary.json"};

// The soft VPD line of a port, or empty.
std::string softVpdLine(const testkit::DemoPackage& demo, const std::string& wwpn) {
    const std::string text = testkit::readText(demo.softVpdPath());
    const std::size_t at = text.find("WWPN=" + wwpn + ";");
    return at == std::string::npos ? std::string() : text.substr(at, text.find('\n', at) - at);
}

struct Case {
    const char* name;
    const char* rule; // on the legacy card's first port
    const char* component;
};

TEST(RecordsFollowTheFlash, AFailedDownloadAfterItsEraseIsReportedAndRepairedByTheNextRun) {
    const Case cases[] = {
        {"boot code cut after its erase", R"({"call": "DFC_IssueMboxWithRetry", "command": "0x1C", "from": 100, "result": 2})",
         "bootCode"},
        {"firmware cut after its erase", R"({"call": "DFC_IssueMboxWithRetry", "command": "0x81", "from": 100, "result": 2})",
         "firmware"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::DemoPackage demo;
        if (!demo.ready())
            GTEST_SKIP() << "the build made no demo package";
        ASSERT_EQ(demo.run(kUpdate).status, 0);
        const std::string port = "10000000DF410010";
        ASSERT_NE(softVpdLine(demo, port).find(";FID=01.04.03"), std::string::npos) << softVpdLine(demo, port);

        demo.addFaults(c.rule, true);
        const testkit::RunResult failed = demo.run(kForce, "", true);
        EXPECT_EQ(failed.status, 4) << failed.errors;
        EXPECT_NE(failed.errors.find("the card's flash was left incomplete: run the update again before the host is "
                                     "rebooted"),
                  std::string::npos)
            << failed.errors;
        const auto summary = nlohmann::json::parse(testkit::readText(demo.file("summary.json")));
        EXPECT_TRUE(summary.at("flashIncomplete").get<bool>());
        int incomplete = 0;
        for (const auto& adapter : summary.at("adapters"))
            for (const auto& component : adapter.at("components"))
                if (component.value("flashIncomplete", false)) {
                    ++incomplete;
                    EXPECT_EQ(adapter.at("wwpn"), port);
                    EXPECT_EQ(component.at("component"), c.component);
                }
        EXPECT_EQ(incomplete, 1);
        // Nothing claims the package's family for the port whose flash is incomplete.
        EXPECT_NE(softVpdLine(demo, port).find(";FID=00.00.00"), std::string::npos) << softVpdLine(demo, port);

        demo.dropFaults();
        const testkit::RunResult repaired = demo.run(kUpdate, "", true);
        EXPECT_EQ(repaired.status, 0) << repaired.errors;
        EXPECT_NE(softVpdLine(demo, port).find(";FID=01.04.03"), std::string::npos) << softVpdLine(demo, port);
        const auto after = nlohmann::json::parse(testkit::readText(demo.file("summary.json")));
        EXPECT_FALSE(after.at("flashIncomplete").get<bool>());
        EXPECT_EQ(demo.run(kUpdate).status, 1);
    }
}

// A port whose identity could not be read is never updated and never gets a soft VPD
// line: its names may be another port's, and its family (and with it how its image is
// downloaded) is not known. The other cards are updated as usual.
TEST(RecordsFollowTheFlash, APortWhoseIdentityWasNotReadIsLeftAlone) {
    struct Identity {
        const char* name;
        std::size_t board;
        const char* rule;
        const char* port;   // its names as an inventory without faults reads them
        const char* reason; // on standard error
        bool namesUnread;
    };
    const Identity cases[] = {
        {"the driver did not answer", 4, R"({"call": "DFC_GetDrvInfo", "from": 1, "result": 1})", "10000010DF730030",
         "its port names could not be read", true},
        {"the revision read failed", 0,
         R"({"call": "DFC_IssueMboxWithRetry", "command": "0x11", "from": 1, "result": 4, "times": 2})",
         "10000000DF410010", "its hardware revision could not be read", false},
    };
    for (const Identity& c : cases) {
        SCOPED_TRACE(c.name);
        testkit::DemoPackage demo;
        if (!demo.ready())
            GTEST_SKIP() << "the build made no demo package";
        demo.addBoardFaults(c.board, c.rule);
        const testkit::RunResult run = demo.run(kUpdate, "", true);
        EXPECT_EQ(run.status, 4) << run.errors;
        EXPECT_NE(run.errors.find(c.reason), std::string::npos) << run.errors;
        const auto summary = nlohmann::json::parse(testkit::readText(demo.file("summary.json")));
        int refused = 0;
        for (const auto& adapter : summary.at("adapters")) {
            bool refusedHere = false;
            for (const auto& component : adapter.at("components"))
                refusedHere = refusedHere || component.value("resultCode", 0) == 30;
            if (!refusedHere)
                continue;
            ++refused;
            EXPECT_EQ(adapter.value("namesUnreadable", false), c.namesUnread);
            EXPECT_NE(adapter.value("wwpn", "") == c.port, c.namesUnread);
            for (const auto& component : adapter.at("components")) // nothing claims success or current
                EXPECT_TRUE(component.value("outcome", "") != "success" && component.value("outcome", "") != "current")
                    << component.dump();
        }
        EXPECT_EQ(refused, 1);
        EXPECT_EQ(softVpdLine(demo, c.port), "");
        // The other cards are updated: a rerun without the fault has only this port to do.
        demo.dropFaults();
        EXPECT_EQ(demo.run(kUpdate).status, 0);
        EXPECT_NE(softVpdLine(demo, c.port).find(";FID="), std::string::npos);
        EXPECT_EQ(demo.run(kUpdate).status, 1);
    }
}

} // namespace
