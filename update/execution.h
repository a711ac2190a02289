// The execution of an update run: the per-adapter loop and the run's precondition
// ladder. For each selected adapter it picks the components (firmware; boot code too
// for a legacy FC adapter), updates them one by one, and hands the adapter's outcome
// records to the caller as soon as the adapter is finished. It writes no document:
// the report renders the records.
#pragma once

#include "common/run_state.h"
#include "run/run_context.h"
#include "run/run_outcome.h"

#include <cstdint>
#include <functional>
#include <vector>

// Takes the outcomes of one adapter, firmware first, as soon as it is finished.
using AdapterOutcomeSink = std::function<void(const AdapterOutcome&)>;

// Whether the run works on this adapter: it is supported, and it is the -wwn one when
// a selection was given.
bool isSelected(const HbaEntry& entry, const RunOptions& options);

// The selected adapters, in list order.
std::vector<const HbaEntry*> selectedAdapters(const RunContext& run);

// Updates every selected adapter into outcome (its updated adapters, the reboot, the
// adapters a stop left untouched). A stop request is honoured only between adapters:
// once there is one, no further adapter is touched. Each finished adapter's outcomes go
// to the sink before the next adapter starts.
void runExecution(RunContext& run, RunOutcome& outcome, const AdapterOutcomeSink& sink);

// The run's preconditions, in the order they are checked: no adapters 17, no
// configuration files 9, no valid configuration entries 10, then for an execution no
// payload files 11 and no valid payload entries 12, and no supported adapters 6.
// Returns Success when they all hold.
ResultCode preconditionStatus(const RunTally& tally, bool haveAdapters, bool execution);
