// The rollback companion of an update run: when it is started and how its outcome is logged.
#pragma once

// Runs the companion "UpdRollBack.exe" from the payload directory, output discarded,
// when any download of the run succeeded; logs its exit value.
void updateRollBack();
