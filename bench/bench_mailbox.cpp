// The mailbox layer against the simulated adapter library: the cost of one library
// call inside the simulator, of one mailbox round trip through the program's layer
// (with and without the call journal), and of the region reads discovery makes.
#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"
#include "adapter/regions.h"
#include "bench/bench_sim.h"

#include <benchmark/benchmark.h>

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

} // namespace

BENCHMARK_MAIN();
