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

// The outcome of a discovered run before anything else: its mode and selected adapters.
RunOutcome discoveredOutcome(const RunContext& run);
// Settles what the run may do once its configuration (and, for an execution, its
// payloads) is read: the precondition, an unmatched -wwn selection, and an
// inventory's incomplete Devices.
void settleOutcome(const RunContext& run, RunOutcome& outcome);
// Runs the execution of a settled outcome and writes its document, each Device as its
// adapter finishes (after the watcher, when there is one, has seen its outcomes).
void writeExecution(RunContext& run, RunOutcome& outcome, XmlDocument& document,
                    const AdapterOutcomeSink& watcher = {});

// Numbers the adapters that share one physical card (same serial number, bus and
// domain) with one group number, 0, 1, 2 ... in list order.
void assignGroupNumbers(AdapterList& adapters);

// Releases the lists and closes the output and debug files. Returns the empty text
// when the XML document reached its file whole, else why not.
std::string exitUtility(RunContext& run, XmlDocument& document);
