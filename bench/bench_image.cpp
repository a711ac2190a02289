// The image side of the program: the word checksum, the three image readers (as
// `winmarlo -e` and the payload catalogue use them) and the version forms.
#include "bench/bench_files.h"
#include "image/all_image.h"
#include "image/clu_image.h"
#include "image/file_checksum.h"
#include "image/grp_image.h"
#include "image/prg_image.h"
#include "image/version_forms.h"
#include "tools/image_writer.h"

#include <benchmark/benchmark.h>

#include <cstdio>

namespace {

constexpr std::size_t kMiB = 1 << 20;

BenchFolder& folder() {
    static BenchFolder f;
    return f;
}

// Files of about `bytes` bytes, written once per program.
const std::string& allFile(std::size_t bytes) {
    static std::string path;
    if (path.empty()) {
        AllImageLayout layout;
        AifRecordLayout awc;
        awc.kind = kAwcKind;
        awc.versionWord = 0x01020304;
        awc.bodySize = 32;
        AifRecordLayout dwc;
        dwc.versionWord = 0x07E12894;
        dwc.bodySize = bytes / 2;
        AifRecordLayout fwc;
        fwc.kind = kFwcKind;
        fwc.versionWord = 0x07E12894;
        fwc.bodySize = bytes / 2;
        layout.records = {awc, dwc, fwc};
        path = folder().file("bench.all");
        writeImageFile(path, buildAllImage(layout));
    }
    return path;
}

const std::string& prgFile(std::size_t bytes) {
    static std::string path;
    if (path.empty()) {
        PrgImageLayout layout;
        layout.versionWord = 0x03E750F3;
        layout.rom = PciRomLayout{};
        layout.bodySize = bytes;
        path = folder().file("bench.prg");
        writeImageFile(path, buildPrgImage(layout));
    }
    return path;
}

const std::string& grpFile(std::size_t bytes) {
    static std::string path;
    if (path.empty()) {
        GrpImageLayout layout;
        layout.bodySize = bytes;
        path = folder().file("bench.grp");
        writeImageFile(path, buildGrpImage(layout));
    }
    return path;
}

void BM_FileChecksum(benchmark::State& state) {
    const std::string& path = prgFile(16 * kMiB);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    for (auto _ : state) {
        std::rewind(file);
        benchmark::DoNotOptimize(FileChecksum(file, std::uint64_t(size) / 4 - 1));
    }
    std::fclose(file);
    state.SetBytesProcessed(std::int64_t(state.iterations()) * size);
}
BENCHMARK(BM_FileChecksum)->Unit(benchmark::kMillisecond);

void BM_ReadAllImage(benchmark::State& state) {
    const std::string& path = allFile(16 * kMiB);
    for (auto _ : state) {
        CluImage record;
        benchmark::DoNotOptimize(getALLBuildVersion(path.c_str(), &record));
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(16 * kMiB));
}
BENCHMARK(BM_ReadAllImage)->Unit(benchmark::kMillisecond);

void BM_ReadPrgImage(benchmark::State& state) {
    const std::string& path = prgFile(16 * kMiB);
    for (auto _ : state) {
        CluImage record;
        benchmark::DoNotOptimize(getPRGBuildVersion(path.c_str(), &record));
    }
}
BENCHMARK(BM_ReadPrgImage)->Unit(benchmark::kMicrosecond);

void BM_ReadGrpImage(benchmark::State& state) {
    const std::string& path = grpFile(16 * kMiB);
    for (auto _ : state) {
        CluImage record;
        benchmark::DoNotOptimize(getGRPBuildVersion(path.c_str(), &record));
    }
}
BENCHMARK(BM_ReadGrpImage)->Unit(benchmark::kMicrosecond);

void BM_EncodeLegacyVersion(benchmark::State& state) {
    char text[32];
    std::uint32_t word = 0x07E12894;
    for (auto _ : state) {
        benchmark::DoNotOptimize(encodeLegacyVersion(word++, text, sizeof text));
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_EncodeLegacyVersion);

void BM_CompareFamilyIds(benchmark::State& state) {
    for (auto _ : state) {
        benchmark::DoNotOptimize(compareFamilyIDs("02.01.01", "02.00.17"));
    }
}
BENCHMARK(BM_CompareFamilyIds);

void BM_EncodeCnaVersion(benchmark::State& state) {
    std::uint32_t major = 0, minor = 0, release = 0, build = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(encodeCNAVersion(&major, &minor, &release, &build, 32, "11.2.216.9"));
    }
}
BENCHMARK(BM_EncodeCnaVersion);

} // namespace

BENCHMARK_MAIN();
