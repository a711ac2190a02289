// The progress display of a terminal, drawn into strings with a clock the test moves:
// redraws of a streaming download are paced while every step and the last state are
// drawn, the status line fits one row, and the closing table gives each component's
// versions before and after with its result.
#include "adapter/hba_entry.h"
#include "report/progress_display.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

struct Screen {
    std::vector<std::string> statuses, lines;
    std::chrono::steady_clock::time_point clock{};

    ProgressOutput output() {
        ProgressOutput out;
        out.status = [this](const std::string& text) { statuses.push_back(text); };
        out.line = [this](const std::string& text) { lines.push_back(text); };
        out.now = [this] { return clock; };
        return out;
    }
    std::size_t statusesWith(const std::string& text) const {
        return std::size_t(std::count_if(statuses.begin(), statuses.end(),
                                         [&](const std::string& s) { return s.find(text) != std::string::npos; }));
    }
};

HbaEntry adapter(const char* wwpn, const char* model) {
    HbaEntry e;
    e.wwpn = wwpn;
    e.model = model;
    return e;
}

TEST(ProgressDisplay, AStreamingDownloadIsRedrawnAtMostTenTimesASecondAndEndsOnItsLastState) {
    Screen screen;
    ProgressDisplay display(screen.output(), 120);
    const HbaEntry card = adapter("10000000DF410010", "TV-L7002");
    display.updating(2);
    display.componentStarts(card, false);
    display.step("Loading Image");
    // 20000 chunks of 108 bytes, 1 ms apart: 20 seconds of download.
    const std::uint64_t total = 20000 * 108;
    for (std::uint64_t chunk = 1; chunk <= 20000; ++chunk) {
        screen.clock += std::chrono::milliseconds(1);
        display.progress(std::uint32_t(chunk * 100 / 20000), chunk * 108, total);
    }
    // At most one redraw in 100 ms (a redraw that would show the same text is left out).
    const std::size_t redraws = screen.statusesWith(" of 2.1 MiB (");
    EXPECT_GE(redraws, 100u);
    EXPECT_LE(redraws, 201u);
    EXPECT_EQ(screen.statuses.back(),
              "[1/2] 10000000DF410010 TV-L7002 firmware: downloading 2.1 MiB of 2.1 MiB (100%)");
}

TEST(ProgressDisplay, EveryStepIsDrawnHoweverFastTheyCome) {
    Screen screen; // the clock never moves
    ProgressDisplay display(screen.output(), 120);
    const HbaEntry card = adapter("10000000DF410010", "TV-L7002");
    display.updating(1);
    display.componentStarts(card, true);
    for (const char* step : {"Opening File", "Reading AIF Header #2", "Erasing Flash ROM Sectors", "Loading Image"})
        display.step(step);
    display.progress(50, 64, 128); // neither the first draw of its step nor the last state: waits
    display.progress(100, 128, 128);
    display.step("Resetting Adapter");
    display.step("Writing Family ID");
    const std::string at = "[1/1] 10000000DF410010 TV-L7002 boot code";
    const std::vector<std::string> expected = {
        at + ": checking",
        at + ": checking the image",
        at + ", record 2: checking the image",
        at + ", record 2: erasing",
        at + ", record 2: downloading",
        at + ", record 2: downloading 128 B of 128 B (100%)",
        at + ": resetting",
        at + ": writing the family ID",
    };
    EXPECT_EQ(screen.statuses, expected);
}

// The model goes first, then a container's record number; the bytes and percent stay
// whole.
TEST(ProgressDisplay, ANarrowTerminalKeepsTheProgressAndDropsTheModelThenTheRecord) {
    Screen screen;
    ProgressDisplay display(screen.output(), 72);
    const HbaEntry card = adapter("10000000DF410010", "TV-L7002 with a long model name");
    display.componentStarts(card, false);
    display.step("Reading AIF Header #2");
    display.step("Loading Image");
    screen.clock += std::chrono::seconds(1);
    display.progress(50, 3 * 1024 * 1024, 6 * 1024 * 1024);
    ASSERT_FALSE(screen.statuses.empty());
    for (const std::string& status : screen.statuses)
        EXPECT_LT(status.size(), 72u) << status;
    EXPECT_EQ(screen.statuses.back(), "[1/1] 10000000DF410010 firmware: downloading 3.0 MiB of 6.0 MiB (50%)");
}

// A line that fits with the model at "1.0 MiB" but not at "978.0 KiB" is drawn without
// it for the whole stream, so the line does not jump as the bytes count up.
TEST(ProgressDisplay, AStreamKeepsOneLayoutWhileItsBytesCountUp) {
    Screen screen;
    ProgressDisplay display(screen.output(), 80);
    const HbaEntry card = adapter("10000010DF720020", "TV-F21012");
    display.updating(6);
    display.componentStarts(card, false);
    display.step("Writing Firmware Object");
    const std::uint64_t total = 2883584; // 2.75 MiB
    for (std::uint64_t done = 0; done < total;) {
        done = std::min(total, done + 98 * 1024);
        screen.clock += std::chrono::seconds(1);
        display.progress(std::uint32_t(done * 100 / total), done, total);
    }
    std::size_t streamed = 0, withModel = 0;
    for (const std::string& status : screen.statuses) {
        EXPECT_LT(status.size(), 80u) << status;
        if (status.find(" of 2.8 MiB (") == std::string::npos)
            continue;
        ++streamed;
        withModel += status.find("TV-F21012") != std::string::npos ? 1 : 0;
    }
    EXPECT_EQ(streamed, 29u);
    EXPECT_EQ(withModel, 0u);
}

TEST(ProgressDisplay, TheTableGivesEachComponentBeforeAndAfterWithItsResult) {
    Screen screen;
    ProgressDisplay display(screen.output(), 120);
    const HbaEntry legacy = adapter("10000000DF410010", "TV-L7002");
    const HbaEntry ferrox = adapter("10000010DF720020", "TV-F21012");
    const auto outcome = [](const HbaEntry& e, bool bootCode, const char* before, const char* after, int result) {
        ComponentOutcome o;
        o.adapter = &e;
        o.bootCode = bootCode;
        o.installedVersion = before;
        o.packagedVersion = after;
        o.result = static_cast<ResultCode>(result);
        return o;
    };
    display.updating(2);
    display.componentStarts(legacy, false);
    display.adapterFinished({outcome(legacy, false, "ZF280A2", "ZF282A4", 0),
                             outcome(legacy, true, "ZU503A13", "ZU503A13", 34)});
    display.componentStarts(ferrox, false);
    display.adapterFinished({outcome(ferrox, false, "11.0.270.18", "11.2.216.9", 31)});
    display.finish();
    EXPECT_EQ(screen.statuses.back(), ""); // the status line is gone
    const std::vector<std::string> expected = {
        "[1/2] 10000000DF410010 TV-L7002 firmware ZF280A2 -> ZF282A4: updated",
        "[1/2] 10000000DF410010 TV-L7002 boot code ZU503A13 -> ZU503A13: already current",
        "[2/2] 10000010DF720020 TV-F21012 firmware 11.0.270.18 -> 11.0.270.18: failed (31: Update failed. The "
        "firmware download failed.)",
        "",
        // With the model the failed row would be 124 characters: the model gives way.
        "Adapter           Component  Before         After        Result",
        "10000000DF410010  firmware   ZF280A2     -> ZF282A4      updated",
        "10000000DF410010  boot code  ZU503A13    -> ZU503A13     already current",
        "10000010DF720020  firmware   11.0.270.18 -> 11.0.270.18  failed (31: Update failed. The firmware "
        "download failed.)",
        "Done: 1 updated, 1 current, 1 failed; no reboot needed.",
    };
    EXPECT_EQ(screen.lines, expected);

    // At 60 columns the table gives up the model, the version before and the failure's
    // message, in that order, and keeps every result.
    Screen narrow;
    ProgressDisplay small(narrow.output(), 60);
    small.updating(2);
    small.componentStarts(legacy, false);
    small.adapterFinished({outcome(legacy, false, "ZF280A2", "ZF282A4", 0)});
    small.componentStarts(ferrox, false);
    small.adapterFinished({outcome(ferrox, false, "11.0.270.18", "11.2.216.9", 37)});
    small.finish(true, "execution.xml, debug.log");
    const std::vector<std::string> table(narrow.lines.end() - 4, narrow.lines.end());
    EXPECT_EQ(table, (std::vector<std::string>{
                         "Adapter           Component  After       Result",
                         "10000000DF410010  firmware   ZF282A4     updated",
                         "10000010DF720020  firmware   11.2.216.9  updated; reboot to complete",
                         "Done: 1 updated, 1 pending; reboot the system to complete the update; written: "
                         "execution.xml, debug.log.",
                     }));
}

// Down to 40 columns the bytes and percent of a download stay whole: the rest of the
// line gives way. A stop request shows at once, in front.
TEST(ProgressDisplay, FortyColumnsKeepTheBytesAndPercentAndTheStopShows) {
    Screen screen;
    ProgressDisplay display(screen.output(), 40);
    const HbaEntry card = adapter("10000010DF720020", "TV-F21012");
    display.updating(6);
    display.componentStarts(card, false);
    display.step("Writing Firmware Object");
    const std::uint64_t total = 2883584;
    for (const std::uint64_t done : {std::uint64_t(888000), total}) {
        screen.clock += std::chrono::seconds(1);
        display.progress(std::uint32_t(done * 100 / total), done, total);
        ASSERT_FALSE(screen.statuses.empty());
        EXPECT_LT(screen.statuses.back().size(), 40u) << screen.statuses.back();
    }
    EXPECT_NE(screen.statuses.back().find(" 2.8 MiB of 2.8 MiB (100%)"), std::string::npos) << screen.statuses.back();
    EXPECT_EQ(screen.statusesWith(" KiB of 2.8 MiB (30%)"), 1u);
    display.stopping();
    EXPECT_EQ(screen.statuses.back(), "[stopping] 2.8 MiB of 2.8 MiB (100%)");
    display.adapterFinished({});
    display.stopping(); // said once
    EXPECT_EQ(screen.statuses.back(), "");
}

} // namespace
