// Downloads through the simulated adapter library: a 4 MiB PRG image (DOWN_LOAD), a
// 4 MiB ALL file (LOAD_AREA) and an 8 MiB GRP file (the "/prg" object write). Each
// reports the library calls the journal counted against the protocol's minimum for
// that image, and the CPU time per MiB (program and simulator together, in-process,
// journal off; the board file's write-back at the end is included).
//
// The minimum, from the download sequence (dispatcher, PRG and AIF programming, the
// object write):
//   PRG (family 0xF700)  1 erase + ceil(length / 108) DOWN_LOAD chunks, and 5 fixed:
//        the wakeup record read (READ_REGION), the driver type query, the VPD
//        compatibility list (READ_REGION through the data call), and the wakeup slot
//        update after loading (READ_REGION + UPDATE_REGION).
//   ALL (family 0xF980, one DWC record)  ceil(extent / 0x10000) LOAD_AREA erase steps
//        + ceil(body / 108) LOAD_AREA chunks, and 12 fixed: the wakeup record read by
//        the dispatcher, by the container programming and again after the record
//        (3 READ_REGION), the family word of a newer family at each of the 5 places
//        that ask for it (dispatcher, record check, VPD fetch, container, record:
//        READ_REGION of memory), the driver type query, the link state, the VPD
//        compatibility list, and the wakeup write (UPDATE_REGION).
//   GRP (FerroxFC)  ceil(size / 1024) "/prg" write pieces, and 1 fixed: the driver
//        information that tells whether the extended V2 call is there.
// The same count is taken on a small image of the kind and shown: a change to the
// sequence then shows up as a fixed part other than the one derived here.
#include "adapter/dfc_library.h"
#include "bench/bench_sim.h"
#include "download/dispatcher.h"
#include "platform/platform.h"
#include "tools/image_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <ctime>
#include <fstream>
#include <map>
#include <string>

namespace {

constexpr std::size_t kMiB = 1 << 20;
constexpr std::uint32_t kChunk = 108;
constexpr std::uint32_t kPiece = 1024;
constexpr std::uint32_t kEraseStep = 0x10000;

std::uint64_t ceilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

struct Case {
    std::size_t fixed;
    std::string board;
    AdapterRecord record;
    std::string path;
    std::uint64_t bytes = 0;
    std::uint64_t variable = 0; // erase steps, chunks or pieces the image needs
};

std::uint32_t programWord(std::uint32_t type, std::uint32_t id) {
    return makeLegacyVersionWord(type, id, 1, 0, 0, 1, 2);
}

std::string legacyBoard(unsigned hardwareId) {
    return R"({"revision": {"hardwareId": )" + std::to_string(hardwareId) +
           R"(, "firmware": "1.00A0"}, "regions": {"4": ")" + std::string(120, '0') + "\"}}";
}

AdapterRecord record(std::uint16_t hardwareId, std::uint16_t deviceId) {
    AdapterRecord r;
    r.hardwareId = hardwareId;
    r.deviceId = deviceId;
    return r;
}

// A PRG image of `bytes` bytes for family 0xF700 (hardware id 32).
Case prgCase(std::size_t bytes, const std::string& name) {
    Case c{5, legacyBoard(32), record(32, 0), benchSim().folder.file(name), bytes, 0};
    PrgImageLayout layout;
    layout.versionWord = programWord(2, 0x12);
    layout.bodySize = bytes - 48 - 4;
    writeImageFile(c.path, buildPrgImage(layout));
    c.variable = 1 + ceilDiv(bytes, kChunk);
    return c;
}

// An ALL file of about `bytes` bytes for family 0xF980 (hardware id 56): one DWC
// record that holds one PRG image.
Case allCase(std::size_t bytes, const std::string& name) {
    Case c{12, legacyBoard(56), record(56, 0), benchSim().folder.file(name), 0, 0};
    PrgImageLayout prg;
    prg.versionWord = programWord(2, 0x63);
    prg.bodySize = bytes - 128 - 8 - 48 - 8 - 4;
    const ImageBytes image = buildPrgImage(prg);
    AifRecordLayout r;
    r.kind = kDwcKind;
    r.versionWord = prg.versionWord;
    ImageBytes body(4, 0);
    body.insert(body.end(), image.begin(), image.end());
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    r.eraseExtent = std::uint32_t(ceilDiv(body.size(), kEraseStep) * kEraseStep);
    const std::uint64_t bodySize = body.size();
    r.body = std::move(body);
    const ImageBytes file = buildAllImage({{r}, false});
    writeImageFile(c.path, file);
    c.bytes = file.size();
    c.variable = ceilDiv(r.eraseExtent, kEraseStep) + ceilDiv(bodySize, kChunk);
    return c;
}

// Downloads here never wait: the simulated link is the board file's, not a wire.
void noSleep(unsigned) {}

// A GRP file of `bytes` bytes for a FerroxFC board (device 0xE200, level 4).
Case grpCase(std::size_t bytes, const std::string& name) {
    Case c{1, R"({"pci": {"deviceId": "0xE200"}, "revision": {"firmware": "10.2.315.26"},
               "driver": {"interfaceLevel": 4, "features": "0x1000"}, "prgChangeStatus": 2})",
           record(0, 0xE200), benchSim().folder.file(name), bytes, 0};
    GrpImageLayout layout;
    layout.bodySize = bytes - 140;
    writeImageFile(c.path, buildGrpImage(layout));
    c.variable = ceilDiv(bytes, kPiece);
    return c;
}

std::uint32_t download(const Case& c) {
    useBenchBoards(c.board, {c.record});
    return downloadPayload(0, payloadForPath(c.path.c_str()), nullptr, nullptr, noSleep);
}

// Library calls of one download, journal on.
std::size_t countCalls(const Case& c, std::uint32_t& result, std::string* summary = nullptr) {
    useBenchBoards(c.board, {c.record});
    benchJournal(true);
    result = downloadPayload(0, payloadForPath(c.path.c_str()), nullptr, nullptr, noSleep);
    const std::size_t n = journalLines();
    if (summary != nullptr)
        *summary = journalSummary();
    benchJournal(false);
    return n;
}

void runCase(benchmark::State& state, const char* name, const Case& big, const Case& small) {
    std::uint32_t result = 0, smallResult = 0;
    std::string summary;
    const std::size_t calls = countCalls(big, result, &summary);
    // The fixed part a small image of the kind shows beyond its erase steps and chunks.
    const std::size_t smallFixed = countCalls(small, smallResult) - small.variable;
    const std::size_t fixed = big.fixed;
    const std::size_t minimum = big.variable + fixed;
    double cpu = 0;
    for (auto _ : state) {
        state.PauseTiming();
        useBenchBoards(big.board, {big.record});
        state.ResumeTiming();
        const std::clock_t start = std::clock();
        benchmark::DoNotOptimize(download(big));
        cpu += double(std::clock() - start) / CLOCKS_PER_SEC;
    }
    const double mib = double(big.bytes) / kMiB;
    state.counters["result"] = result;
    state.counters["calls"] = double(calls);
    state.counters["minimum"] = double(minimum);
    state.counters["fixed"] = double(fixed);
    state.counters["small_image_fixed"] = double(smallFixed);
    state.counters["ratio"] = double(calls) / double(minimum);
    state.counters["cpu_ms_per_MiB"] = cpu * 1e3 / mib / double(state.iterations());
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(big.bytes));
    std::printf("%s: %.2f MiB, result %u, calls %zu, minimum %zu (%llu variable + %zu fixed), "
                "measured / minimum %.2f, CPU %.2f ms per MiB\n",
                name, mib, unsigned(result), calls, minimum,
                static_cast<unsigned long long>(big.variable), fixed, double(calls) / double(minimum),
                cpu * 1e3 / mib / double(state.iterations()));
    std::printf("%s calls by kind:\n%s", name, summary.c_str());
}

void BM_DownloadPrg(benchmark::State& state) {
    static const Case big = prgCase(4 * kMiB, "big.prg"), small = prgCase(1024, "small.prg");
    runCase(state, "PRG", big, small);
}
BENCHMARK(BM_DownloadPrg)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DownloadAll(benchmark::State& state) {
    static const Case big = allCase(4 * kMiB, "big.all"), small = allCase(1024, "small.all");
    runCase(state, "ALL", big, small);
}
BENCHMARK(BM_DownloadAll)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_DownloadGrp(benchmark::State& state) {
    static const Case big = grpCase(8 * kMiB, "big.grp"), small = grpCase(2048, "small.grp");
    runCase(state, "GRP", big, small);
}
BENCHMARK(BM_DownloadGrp)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();
