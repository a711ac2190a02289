// The simulated adapter library under the program's adapter layer, for benchmarks:
// loads the library built beside the program, writes a board file into a temporary
// folder and fills the adapter table as start-up would.
#pragma once

#include "adapter/adapter_environment.h"
#include "bench/bench_files.h"

#include <string>
#include <vector>

struct BenchSim {
    BenchFolder folder;
    std::string boardsPath;
    std::string journalPath;
};

// The one simulator session of a benchmark program (library loaded on first use;
// the program ends when it cannot be loaded).
BenchSim& benchSim();

// Writes {"boards": [boards]}, lets the library read it and gives every board a
// table record (records given here, else empty ones) with its interface level.
// Returns the board count.
std::uint32_t useBenchBoards(const std::string& boards, std::vector<AdapterRecord> records = {});

// Turns the call journal on (a fresh, empty file) or off.
void benchJournal(bool on);

// Lines of the journal so far.
std::size_t journalLines();

// The journal's lines without their status and result, each with its count, in
// order of first appearance ("DFC_IssueMboxWithRetry board=0 command=0x1C: 4").
std::string journalSummary();
