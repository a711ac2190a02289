// The rollback companion of an update run: when it is started and how its outcome is logged.
#pragma once

#include "run/run_context.h"

// Runs the companion "UpdRollBack.exe" from the run's payload directory, output discarded,
// when any download of the run succeeded; logs its exit value.
void updateRollBack(const RunContext& run);
