// Builds the plan of an update (run/run_plan.h) from the run's adapters and package,
// with the update's own decision: what the execution will do, known before it starts.
#pragma once

#include "run/run_context.h"
#include "run/run_plan.h"

// The plan for every selected adapter's components (firmware; boot code too for a
// legacy FC adapter), in the order the execution takes them. Changes nothing in the
// run, sends nothing to a card and writes nothing to the debug log: the decision is
// made on a copy of the adapters.
RunPlan planExecution(const RunContext& run);

// The plan of one component, or null when the plan does not hold it.
const ComponentPlan* findComponentPlan(const RunPlan& plan, const HbaEntry* adapter, bool bootCode);
