// The timing model (see timing.h): latencies from the board file, waits on the host's
// clock, and the totals written out when the library goes away.
#include "sim/timing.h"

#include "sim/host.h"

#include <chrono>
#include <cstdio>
#include <string>

namespace dfcsim {

namespace {

// The report's name of each kind, in WaitKind order.
constexpr std::array<const char*, kWaitKinds> kReportNames{"mailbox", "erase", "chunk",
                                                           "objectPiece", "reset", "boot"};

// What the model waited, by kind, for the life of the process; written to the report
// file by the destructor, which runs when the process ends or the library is unloaded.
struct Totals {
    std::array<std::uint64_t, kWaitKinds> us{};
    bool enabled = true;
    std::string reportPath;
    // Time slept beyond what was asked: taken off the next wait, so that the host's
    // wake-up delays do not add up over thousands of short waits.
    std::chrono::steady_clock::duration overslept{};

    ~Totals() {
        if (reportPath.empty())
            return;
        std::FILE* out = std::fopen(reportPath.c_str(), "w");
        if (out == nullptr)
            return;
        std::uint64_t total = 0;
        for (const std::uint64_t u : us)
            total += u;
        std::fprintf(out, "total %llu\n", static_cast<unsigned long long>(total));
        for (std::size_t k = 0; k < kWaitKinds; ++k)
            std::fprintf(out, "%s %llu\n", kReportNames[k], static_cast<unsigned long long>(us[k]));
        std::fclose(out);
    }
};

Totals g_totals;

} // namespace

void configureTiming() {
    const std::optional<std::string> mode = hostEnv("DFCSIM_TIMING");
    g_totals.enabled = !(mode && *mode == "off");
    g_totals.reportPath = hostEnv("DFCSIM_TIMING_REPORT").value_or("");
}

void modelWait(const Timing& timing, WaitKind kind) {
    const std::uint64_t us = timing.us[std::size_t(kind)];
    if (!g_totals.enabled || us == 0)
        return;
    g_totals.us[std::size_t(kind)] += us;
    using namespace std::chrono;
    const auto asked = duration_cast<steady_clock::duration>(microseconds(us));
    if (g_totals.overslept >= asked) {
        g_totals.overslept -= asked;
        return;
    }
    const auto wanted = asked - g_totals.overslept;
    const auto start = steady_clock::now();
    hostSleepUs(std::uint64_t(duration_cast<microseconds>(wanted).count()));
    const auto slept = steady_clock::now() - start;
    g_totals.overslept = slept > wanted ? slept - wanted : steady_clock::duration::zero();
}

} // namespace dfcsim
