// The step texts and progress a download reports through its callbacks, and the OEM
// marker the programming checks consult.
#pragma once

#include "adapter/adapter_environment.h"
#include "adapter/mailbox.h"
#include "download/download_status.h"

#include <cstdint>

// Traces the step and hands its text to the caller's callback, when there is one.
inline void reportStep(const StepTextCallback& stepText, const char* text) {
    TraceMboxStep("%s", text);
    tellStep(stepText, text);
}

// Hands a step's percent (and, for a streamed step, its bytes sent of total) to the
// caller's callback, when there is one.
inline void reportProgress(const ProgressCallback& callback, std::uint32_t percent, std::uint64_t done = 0,
                           std::uint64_t total = 0) {
    if (callback)
        callback(percent, done, total);
}

// True when the board's VPD marks it as an OEM board.
inline bool isOemBoard(std::uint32_t board) {
    return board < adapterEnv.table.size() && adapterEnv.table[board].oemVpd != 0;
}
