// Executions of the demo package that end early: stopped politely (SIGTERM) in the
// middle of a card's download, or killed outright. The files on disk tell what was
// done: the finished Devices, a debug log of whole lines, the soft VPD lines.
#include "platform/platform.h"
#include "platform/process_control.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

const char kSep = platform::kPathSeparator;

// Reads the simulator's journal of the demo copy, line by line.
std::vector<std::string> journalOf(const testkit::DemoPackage& demo) {
    std::vector<std::string> lines;
    std::istringstream in(testkit::readText(demo.file("journal.txt")));
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// An execution of the demo copy, journalled, started without waiting.
platform::StartedProcess startUpdate(testkit::DemoPackage& demo) {
    return demo.start({"-u", "-o", "-g", "-json", "-c", "config", "-p", "common"}, "journal.txt");
}

// The waited-for exit status of a started run (kHungStatus for one that never ends).
int finish(platform::StartedProcess& process) {
    return testkit::waitFor(process);
}

std::size_t count(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// Killed where it starts the third adapter's firmware write (the simulated library ends
// the process there, as a power cut would): the document on disk already holds the two
// finished Devices, and the debug log ends with a whole line narrating that download.
TEST(InterruptedExecution, KilledRunLeavesTheFinishedDevicesAndWholeLogLines) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "no demo package in this build";
    demo.addFaults(R"({"call": "DFC_IssueMboxWithRetryV2", "opcode": "0xAC", "exit": 99})");
    platform::StartedProcess process = startUpdate(demo);
    ASSERT_EQ(finish(process), 99);
    const std::string document = testkit::readText(demo.file("execution.xml"));
    EXPECT_EQ(count(document, "</Device>"), 2u) << document;
    const std::string log = testkit::readText(demo.file("debug.log"));
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log.back(), '\n');
    const std::size_t lastLine = log.find_last_not_of('\n');
    EXPECT_NE(log.rfind("Beginning adapter download.", lastLine), std::string::npos);
    EXPECT_EQ(log.substr(log.rfind('\n', lastLine) + 1, lastLine - log.rfind('\n', lastLine)),
              "File path = " + demo.file("common") + kSep + "ferrox-11.2.216.9.grp");
}

// A board number in a journal line, or -1 for a call without one.
int boardOf(const std::string& line) {
    std::smatch m;
    return std::regex_search(line, m, std::regex(" board=(\\d+) ")) ? std::stoi(m[1]) : -1;
}

// A polite stop (SIGTERM, raised by the simulator at the first card's first download
// command and again at its first reset): that card's downloads and resets complete, no
// later adapter gets a command, the document holds its Device alone and parses, its
// soft VPD line is written, and the run exits with 4 (an update succeeded, others were
// not done) and says so on standard error.
TEST(InterruptedExecution, PoliteStopFinishesTheAdapterInProgressOnly) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "the simulator's stop reaches only a process group of its own there";
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "no demo package in this build";
    demo.addFaults(R"({"command": "0x81", "stop": true}, )"
                   R"({"call": "DFC_ResetAdapter", "stop": true})",
                   true);
    platform::StartedProcess process = startUpdate(demo);
    const int status = finish(process);
    std::size_t stopAt = 0; // journal lines up to the first stop
    const std::vector<std::string> journal = journalOf(demo);
    for (std::size_t i = 0; i < journal.size() && stopAt == 0; ++i)
        if (journal[i].find("board=0 command=0x81") != std::string::npos)
            stopAt = i + 1;
    ASSERT_NE(stopAt, 0u) << "the run ended before its first download";
    EXPECT_EQ(status, 4);

    const std::vector<std::string>& lines = journal;
    std::set<int> boardsAfter;
    for (std::size_t i = stopAt; i < lines.size(); ++i)
        boardsAfter.insert(boardOf(lines[i]));
    boardsAfter.erase(-1);
    EXPECT_EQ(boardsAfter, std::set<int>{0}) << "a later adapter was touched after the stop";
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.back(), "DFC_ResetAdapter board=0 command=- status=0x0000 result=0 mode=1")
        << "the card's download did not end with its reset";
    EXPECT_GE(count(testkit::readText(demo.file("journal.txt")), "board=0 command=0x1C"), 1u)
        << "the boot code of the card in progress was not downloaded";

    std::string error;
    const auto root = testkit::parseXml(testkit::readText(demo.file("execution.xml")), &error);
    ASSERT_NE(root, nullptr) << error;
    EXPECT_TRUE(testkit::xmllintAccepts(demo.file("execution.xml")));
    const auto devices = root->all("Device");
    ASSERT_EQ(devices.size(), 1u);
    EXPECT_EQ(devices[0]->attributes.at("wwpn"), "10000000DF410010");
    for (const auto* app : devices[0]->all("Application"))
        EXPECT_EQ(app->child("SPStatus")->attributes.at("result"), "true");
    EXPECT_NE(root->child("RebootRequired"), nullptr);

    EXPECT_EQ(testkit::readText(demo.softVpdPath()),
              "WWPN=10000000DF410010;FW=ZF282A4;BC=ZU503X3;FID=01.04.03\n");
    const std::string console = testkit::readText(demo.file("console.out"));
    EXPECT_NE(console.find("winmarlo: stopped on request"), std::string::npos) << console;
    EXPECT_NE(testkit::readText(demo.file("debug.log")).find("\n[Stop requested]\n"),
              std::string::npos);

    // The summary says the run was stopped and lists the adapters it left as they were.
    const std::string summary = testkit::readText(demo.file("execution.json"));
    EXPECT_NE(summary.find("\"endReason\": \"stopped\""), std::string::npos) << summary;
    EXPECT_NE(summary.find("\"exitMessage\": \"Stopped on request: "), std::string::npos) << summary;
    EXPECT_GE(count(summary, "\"notAttempted\": true"), 1u) << summary;
}

} // namespace
