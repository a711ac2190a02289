// The simulator's timing model on a demo update: what it reports waiting is each
// board's latency times the steps the journal shows the card doing, and
// DFCSIM_TIMING=off waits nothing. The report is checked, never the clock.
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <regex>
#include <sstream>
#include <string>

namespace {

// "<kind> <microseconds>" lines of the timing report.
std::map<std::string, std::uint64_t> readReport(const std::string& path) {
    std::map<std::string, std::uint64_t> values;
    std::istringstream in(testkit::readText(path));
    std::string kind;
    std::uint64_t us = 0;
    while (in >> kind >> us)
        values[kind] = us;
    return values;
}

// Journal lines that match.
std::uint64_t lines(const std::string& journal, const std::string& pattern) {
    const std::regex re(pattern);
    std::uint64_t n = 0;
    std::istringstream in(journal);
    for (std::string line; std::getline(in, line);)
        n += std::regex_search(line, re) ? 1 : 0;
    return n;
}

TEST(SimTiming, ReportedWaitsAreLatencyTimesStepsAndOffWaitsNothing) {
    testkit::DemoPackage demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    // Small latencies of distinct sizes, so that each total shows its own count.
    const std::string boards = testkit::readText(demo.file("boards.json"));
    testkit::writeText(demo.file("boards.json"),
                       std::regex_replace(boards, std::regex("\"timing\": \\{[^}]*\\}"),
                                          "\"timing\": {\"mailboxUs\": 3, \"eraseStepUs\": 5, \"chunkUs\": 7, "
                                          "\"objectPieceUs\": 11, \"resetMs\": 1, \"bootMs\": 2}"));
    const std::string report = demo.file("timing.txt");
    const std::vector<std::string> update{"-u", "-o", "-g", "-c", "config", "-p", "common"};

    demo.useTimingModel();
    platform::setEnv("DFCSIM_TIMING_REPORT", report);
    const testkit::RunResult first = demo.run(update, "journal.txt");
    platform::unsetEnv("DFCSIM_TIMING_REPORT");
    ASSERT_EQ(first.status, 0) << first.output;
    const std::string journal = testkit::readText(demo.file("journal.txt"));
    auto r = readReport(report);
    const std::uint64_t chunks = lines(journal, "command=0x1C .*status=0x0000.* program=1 |command=0x81 .* step=[34] ");
    const std::uint64_t resets = lines(journal, "^DFC_ResetAdapter ");
    ASSERT_GT(chunks, 0u);
    EXPECT_EQ(r["chunk"], 7 * chunks);
    EXPECT_EQ(r["mailbox"], 3 * lines(journal, "^DFC_Issue(Mbox|DumpMBox)"));
    EXPECT_EQ(r["erase"], 5 * lines(journal, " erase=1 |command=0x81 .* step=[12] |command=0x01 "));
    EXPECT_EQ(r["objectPiece"],
              11 * lines(journal, "opcode=0xAB status=0x0000 .* descriptors=1 |opcode=0xAC status=0x0000 "));
    EXPECT_EQ(r["reset"], 1000 * resets);
    // Boot time only for resets that start new firmware, and the total sums the kinds.
    EXPECT_GT(r["boot"], 0u);
    EXPECT_LE(r["boot"], 2000 * resets);
    EXPECT_EQ(r["total"], r["mailbox"] + r["erase"] + r["chunk"] + r["objectPiece"] + r["reset"] + r["boot"]);

    // The same boards with the model turned off: the second update still talks to every
    // card, and nothing is waited.
    demo.useTimingModel(false);
    platform::setEnv("DFCSIM_TIMING_REPORT", report);
    const testkit::RunResult second = demo.run(update, "journal-off.txt");
    platform::unsetEnv("DFCSIM_TIMING_REPORT");
    EXPECT_GT(lines(testkit::readText(demo.file("journal-off.txt")), "^DFC_IssueMbox"), 0u);
    r = readReport(report);
    EXPECT_EQ(r["total"], 0u) << second.output;
    EXPECT_EQ(r.size(), 7u);
}

} // namespace
