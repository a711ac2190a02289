// The execution of an update run: the per-adapter loop and the run's precondition
// ladder. For each selected adapter it picks the components (firmware; boot code too
// for a legacy FC adapter), updates them one by one, and hands the adapter's outcome
// records to the caller as soon as the adapter is finished. It writes no document:
// the report renders the records.
#pragma once

#include "common/run_state.h"
#include "run/run_context.h"
#include "update/outcome.h"

#include <cstdint>
#include <functional>
#include <vector>

// The outcomes of one adapter, firmware first.
using AdapterOutcomeSink = std::function<void(const std::vector<ComponentOutcome>&)>;

struct ExecutionSummary {
    bool rebootRequired = false;   // some component asked for a reboot, or was skipped for one
    std::uint32_t untouched = 0;   // selected adapters left as they were by a stop request
    bool selectionMatched = false; // some adapter was selected
};

// Whether the run works on this adapter: it is supported, and it is the -wwn one when
// a selection was given.
bool isSelected(const HbaEntry& entry, const RunOptions& options);

// The selected adapters, in list order.
std::vector<const HbaEntry*> selectedAdapters(const RunContext& run);

// Updates every selected adapter. A stop request is honoured only between adapters:
// once there is one, no further adapter is touched. Each finished adapter's outcomes go
// to the sink before the next adapter starts.
ExecutionSummary runExecution(RunContext& run, const AdapterOutcomeSink& sink);

// The run's preconditions, in the order they are checked: no adapters 17, no
// configuration files 9, no valid configuration entries 10, then for an execution no
// payload files 11 and no valid payload entries 12, and no supported adapters 6.
// Returns 0 when they all hold.
std::int32_t preconditionStatus(const RunTally& tally, bool haveAdapters, bool execution);
