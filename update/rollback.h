// The rollback companion of an update run: when it is started and how its outcome is logged.
#pragma once

#include "run/run_context.h"

// Runs the companion "UpdRollBack.exe" from the run's payload directory, output discarded,
// when any download of the run succeeded; logs its exit value, and says a failing one
// on standard error.
void updateRollBack(const RunContext& run, bool anyDownloadSucceeded);
