#include "bench/bench_sim.h"

#include "adapter/dfc_library.h"
#include "platform/platform.h"
#include "platform/process_control.h"
#include "tests/testkit/adapter_table.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <utility>

BenchSim& benchSim() {
    static BenchSim sim;
    static const bool loaded = [] {
        if (loadDfcLibrary(WINMARLO_LIBRARY_DIR) != 0) {
            std::fprintf(stderr, "the simulated library cannot be loaded: %s\n", dfcLoadProblem().c_str());
            std::exit(2);
        }
        return true;
    }();
    (void)loaded;
    return sim;
}

std::uint32_t useBenchBoards(const std::string& boards, std::vector<AdapterRecord> records) {
    BenchSim& sim = benchSim();
    sim.boardsPath = sim.folder.file("boards.json");
    std::ofstream(sim.boardsPath) << "{\"boards\": [" << boards << "]}\n";
    platform::setEnv("DFCSIM_BOARDS", sim.boardsPath);
    return testkit::startAdapterTable(256, std::move(records));
}

void benchJournal(bool on) {
    BenchSim& sim = benchSim();
    if (!on) {
        platform::unsetEnv("DFCSIM_JOURNAL");
        return;
    }
    sim.journalPath = sim.folder.file("journal.txt");
    std::remove(sim.journalPath.c_str());
    platform::setEnv("DFCSIM_JOURNAL", sim.journalPath);
}

std::size_t journalLines() {
    std::ifstream in(benchSim().journalPath);
    std::size_t n = 0;
    for (std::string line; std::getline(in, line);)
        ++n;
    return n;
}

std::string journalSummary() {
    std::ifstream in(benchSim().journalPath);
    std::vector<std::pair<std::string, std::size_t>> counts;
    for (std::string line; std::getline(in, line);) {
        const std::string key = line.substr(0, line.find(" status="));
        auto it = counts.begin();
        while (it != counts.end() && it->first != key)
            ++it;
        if (it == counts.end())
            counts.emplace_back(key, 1);
        else
            ++it->second;
    }
    std::string text;
    for (const auto& [key, n] : counts)
        text += "  " + key + ": " + std::to_string(n) + "\n";
    return text;
}
