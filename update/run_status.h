// The exit status of an inventory or execution run: one function, from the run's
// outcome, so that every status rule lives once.
#pragma once

#include "run/run_outcome.h"

#include <cstdint>

// The document that did not reach its file (14), the first failed precondition, then
// the rules of the inventory (3 every Device incomplete or -wwn unmatched, 5 some
// incomplete) or of the execution (2 every update failed or -wwn unmatched, 4 some
// failed, 1 nothing attempted), where adapters a stop left untouched and soft VPD files
// that could not be written are updates not done.
std::int32_t exitStatus(const RunOutcome& outcome);
