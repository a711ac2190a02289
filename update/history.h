// The update history: one JSON line per download attempt, appended to
// "history.jsonl" in the soft VPD folder, so that what was flashed, when, from which
// file, is known long after the run's documents are gone. Lines are only ever added:
// never rewritten, never truncated; a history that cannot be written never stops or
// fails a run.
#pragma once

#include "run/run_outcome.h"

#include <chrono>
#include <string>

constexpr const char* kHistoryFileName = "history.jsonl";

// The line (without its end) that records this download attempt.
std::string historyLine(const ComponentOutcome& outcome, std::chrono::system_clock::time_point when,
                        const std::string& payloadSha256);

// SHA-256 of a file in lower-case hexadecimal; empty when it cannot be read.
std::string fileSha256(const std::string& path);

// Appends the attempt's line to the history in `folder` (ending in the path
// separator). Returns an empty text, or what failed.
std::string appendHistory(const std::string& folder, const ComponentOutcome& outcome,
                          std::chrono::system_clock::time_point when);
