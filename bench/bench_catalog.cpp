// Reading the package's configuration files and the soft VPD file, as every
// inventory and execution run does at start-up.
#include "bench/bench_files.h"
#include "catalog/config_files.h"
#include "common/run_state.h"
#include "catalog/soft_vpd_file.h"
#include "tests/testkit/fixture_names.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

BenchFolder& folder() {
    static BenchFolder f;
    return f;
}

// A configuration folder whose one file holds `records` records.
std::string configFolder(int records) {
    const std::string dir = folder().file("config" + std::to_string(records));
    if (!std::filesystem::exists(dir)) {
        std::filesystem::create_directories(dir);
        std::ofstream out(dir + "/site.ini");
        for (int i = 0; i < records; ++i) {
            char id[16];
            std::snprintf(id, sizeof id, "0x%04X", 0xE000 + i);
            out << "# model " << i << "\npci_id=" << id << "\nvendor_id=0x10DF\nsubsys_id=" << id
                << "\nsubven_id=0x10DF\nfamily_id=02.01." << (i % 100) << "\n";
        }
    }
    return dir + "/";
}

void BM_ReadConfigFiles(benchmark::State& state) {
    const std::string dir = configFolder(int(state.range(0)));
    for (auto _ : state) {
        int status = 0;
        const std::vector<std::string> files =
            makeFileNameList(dir.c_str(), &status, FILE_LIST_CONFIG);
        ConfigList configs;
        RunTally tally;
        readConfigFiles(dir.c_str(), files, &status, configs, tally);
        benchmark::DoNotOptimize(configs.data());
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReadConfigFiles)->Arg(16)->Arg(1024)->Unit(benchmark::kMicrosecond);

// A soft VPD file of `lines` adapters.
std::string vpdFile(int lines) {
    const std::string path = folder().file("vpd" + std::to_string(lines) + ".cfg");
    if (!std::filesystem::exists(path)) {
        std::ofstream out(path);
        for (int i = 0; i < lines; ++i) {
            char wwpn[24];
            std::snprintf(wwpn, sizeof wwpn, WM_WWPN_PREFIX "%06X", i);
            out << "WWPN=" << wwpn << ";FW=UD202A3;BC=UU700X1;FID=02.01.01\n";
        }
    }
    return path;
}

void BM_ReadSoftVpdFile(benchmark::State& state) {
    const std::string path = vpdFile(int(state.range(0)));
    for (auto _ : state) {
        SoftVpd vpd;
        benchmark::DoNotOptimize(readCNAVpdFile(vpd, path.c_str(), VPD_PRIMARY));
    }
    state.SetItemsProcessed(std::int64_t(state.iterations()) * state.range(0));
}
BENCHMARK(BM_ReadSoftVpdFile)->Arg(16)->Arg(1024)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
