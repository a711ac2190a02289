// The run driver: one pass through exactly one mode, then the result code. It wires
// the execution (update/) to the documents (report/).
#pragma once

#include "common/run_state.h"
#include "update/execution.h"

#include <cstdint>

// Parses the options, opens the files, runs the mode; returns the result code.
int runUtility(int argc, char** argv);

// Result codes of an execution and of an inventory run, from the run counters.
std::int32_t updateStatus();
std::int32_t inventoryStatus();

// Writes the inventory document of the run's adapters.
void writeInventory(const RunOptions& options);
// Runs the execution and writes its document, each Device as its adapter finishes;
// returns the run-level results.
ExecutionSummary writeExecution(const RunOptions& options);

// Numbers the adapters that share one physical card (same serial number, bus and
// domain) with one group number, 0, 1, 2 ... in list order.
void assignGroupNumbers();

// Releases the lists and closes the output and debug files.
void exitUtility(RunOptions& options);
