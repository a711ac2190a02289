// The mailbox layer against the simulated adapter library: the cost of one library
// call inside the simulator, of one mailbox round trip through the program's layer
// (with and without the call journal), of the region reads discovery makes, and the
// simulator's own cost per MiB of a 64 MiB image streamed to it.
#include "adapter/adapter_objects.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"
#include "adapter/regions.h"
#include "bench/bench_sim.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace {

// A legacy board with a 512-byte region 14 and a level-4 board.
const char* kBoards = R"({"revision": {"hardwareId": "0x577", "firmware": "2.82A4"},
                          "regions": {"14": {"text": ")"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      "0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF0123456789ABCDEF"
                      R"("}}},
                         {"driver": {"interfaceLevel": 4}, "regions": {"16": "10000010200072DF"}})";

// The simulator's own cost of one call: no mailbox, nothing journalled (range 0) or
// journalled (range 1).
void BM_SimLinkInfoCall(benchmark::State& state) {
    useBenchBoards(kBoards);
    benchJournal(state.range(0) != 0);
    std::uint8_t info[168];
    for (auto _ : state)
        benchmark::DoNotOptimize(dfc.DFC_GetLinkInfo(0, info));
    benchJournal(false);
}
BENCHMARK(BM_SimLinkInfoCall)->Arg(0)->Arg(1);

// One read-revision mailbox through IssueMbox.
void BM_IssueMboxReadRevision(benchmark::State& state) {
    useBenchBoards(kBoards);
    benchJournal(state.range(0) != 0);
    for (auto _ : state) {
        MailboxImage m;
        setMailboxCommand(m, MAILBOX_READ_REVISION);
        benchmark::DoNotOptimize(IssueMbox(0, m));
    }
    benchJournal(false);
}
BENCHMARK(BM_IssueMboxReadRevision)->Arg(0)->Arg(1);

// 512 bytes of region 14 in classic 108-byte chunks (legacy board).
void BM_ReadConfigRegionClassic(benchmark::State& state) {
    useBenchBoards(kBoards);
    std::uint8_t buffer[512];
    for (auto _ : state) {
        std::uint32_t length = sizeof buffer;
        benchmark::DoNotOptimize(readConfigRegion(0, 14, 0, length, buffer));
    }
}
BENCHMARK(BM_ReadConfigRegionClassic);

// The factory address of a level-4 board in one dump call.
void BM_ReadConfigRegionDump(benchmark::State& state) {
    useBenchBoards(kBoards);
    std::uint8_t buffer[8];
    for (auto _ : state) {
        std::uint32_t length = sizeof buffer;
        benchmark::DoNotOptimize(readConfigRegion(1, 16, 0, length, buffer));
    }
}
BENCHMARK(BM_ReadConfigRegionDump);

// A 64 MiB image streamed as a download streams it, from a fresh board each time, the
// journal off: LOAD_AREA chunks of 108 bytes through the mailbox layer (one erase step
// first), and "/prg" pieces of 1024 bytes through the object layer. The simulator
// keeps the bytes in a binary file beside the board file as they arrive and writes
// the board file once at the end. Nearly all of the time is the simulator's: the
// layers above it only fill the mailbox.
constexpr std::uint32_t kStreamBytes = 64u << 20;
constexpr std::uint32_t kStreamAddress = 0x100000;

void reportStream(benchmark::State& state, const char* name, double cpuSeconds) {
    const double perMiB = cpuSeconds * 1e3 / (kStreamBytes >> 20) / double(state.iterations());
    state.counters["cpu_ms_per_MiB"] = perMiB;
    state.SetBytesProcessed(std::int64_t(state.iterations()) * kStreamBytes);
    std::printf("%s: %.3f ms CPU per MiB streamed into the simulator\n", name, perMiB);
}

void BM_SimLoadAreaStream(benchmark::State& state) {
    const std::vector<std::uint8_t> body(kStreamBytes, 0x5A);
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        useBenchBoards(R"({"revision": {"hardwareId": "0x577", "firmware": "2.82A4"},
                           "flash": {"eraseStep": 67108864}})");
        state.ResumeTiming();
        const std::clock_t start = std::clock();
        MailboxImage erase;
        setMailboxCommand(erase, LOAD_AREA);
        setMailboxField(erase, 1, 16, 8, 1);
        setMailboxWord(erase, 2, kStreamAddress);
        setMailboxWord(erase, 3, kStreamBytes);
        if (IssueMbox(0, erase) != 0 || mailboxField(erase, 1, 8, 8) != 2)
            state.SkipWithError("the erase was refused");
        std::uint32_t address = kStreamAddress;
        for (std::uint32_t at = 0; at < kStreamBytes; at += 108) {
            const std::uint32_t n = std::min<std::uint32_t>(108, kStreamBytes - at);
            MailboxImage m;
            setMailboxCommand(m, LOAD_AREA);
            setMailboxField(m, 1, 16, 8, at + n == kStreamBytes ? 4 : 3);
            setMailboxWord(m, 2, address);
            setMailboxWord(m, 3, n);
            setMailboxWord(m, 4, 20);
            std::memcpy(m.bytes.data() + 20, body.data() + at, n);
            if (IssueMbox(0, m) != 0) {
                state.SkipWithError("a chunk was refused");
                break;
            }
            address = mailboxWord(m, 2);
        }
        cpu += double(std::clock() - start) / CLOCKS_PER_SEC;
    }
    reportStream(state, "LOAD_AREA", cpu);
}
BENCHMARK(BM_SimLoadAreaStream)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_SimObjectWriteStream(benchmark::State& state) {
    const std::vector<std::uint8_t> image(kStreamBytes, 0x5A);
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        useBenchBoards(R"({"pci": {"deviceId": "0xE200"}, "revision": {"firmware": "10.2.315.26"},
                           "driver": {"interfaceLevel": 4, "features": "0x1000"}})");
        state.ResumeTiming();
        const std::clock_t start = std::clock();
        std::uint32_t written = 0;
        if (SLI_CFG_WriteObject(0, "/prg", image.data(), kStreamBytes, &written, 1) != 0 ||
            written != kStreamBytes)
            state.SkipWithError("the object write failed");
        cpu += double(std::clock() - start) / CLOCKS_PER_SEC;
    }
    reportStream(state, "object write", cpu);
}
BENCHMARK(BM_SimObjectWriteStream)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
