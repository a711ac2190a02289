// The run driver: one pass through exactly one mode, then the result code. It wires
// the execution (update/) to the documents (report/).
#pragma once

#include "report/json_summary.h"
#include "report/xml_writer.h"
#include "run/run_context.h"
#include "update/execution.h"

#include <cstdint>

#include <string>

// Runs the mode the parsed options ask for (parseStatus: what the parser returned):
// opens the files, discovers, runs; returns the result code.
int runUtility(RunContext& run, int parseStatus, int argc, char** argv);

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
