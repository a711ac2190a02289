// The management library's part in building the adapter table. That library is never
// present in this program, so both steps answer "not available" at once.
#pragma once

#include <cstdint>

constexpr int KOVA_NOT_AVAILABLE = 72;

// Would merge the converged functions the management library reports; returns 72.
int mergeKovaConvergedFunctions();

// Would match the management library's converged functions to boards; returns 72.
int matchKovaConvergedFunctions();
