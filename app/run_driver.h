// The run driver: one pass through exactly one mode, then the result code. It wires
// the execution (update/) to the documents (report/).
#pragma once

#include "report/json_summary.h"
#include "report/xml_writer.h"
#include "run/run_context.h"
#include "update/execution.h"

#include <cstdint>

#include <string>

struct CommandLine;

// Runs the mode the parsed options ask for (run.options, from the command line; its
// parse status says whether they passed the parser): opens the files, discovers, runs;
// returns the result code. Never called for a help request: the entry answers it.
int runUtility(RunContext& run, const CommandLine& commandLine);

// Result codes of an execution and of an inventory run, from the run counters.
std::int32_t updateStatus(const RunContext& run);
std::int32_t inventoryStatus(const RunContext& run);

// Writes the inventory document of the run's adapters.
void writeInventory(RunContext& run, XmlDocument& document, JsonSummary* json = nullptr);
// Runs the execution and writes its document, each Device as its adapter finishes
// (after the watcher, when there is one, has seen the adapter's outcomes); returns the
// run-level results.
ExecutionSummary writeExecution(RunContext& run, XmlDocument& document, JsonSummary* json = nullptr,
                                const AdapterOutcomeSink& watcher = {});

// Numbers the adapters that share one physical card (same serial number, bus and
// domain) with one group number, 0, 1, 2 ... in list order.
void assignGroupNumbers(AdapterList& adapters);

// Releases the lists and closes the output and debug files. Returns the empty text
// when the XML document reached its file whole, else why not.
std::string exitUtility(RunContext& run, XmlDocument& document);
