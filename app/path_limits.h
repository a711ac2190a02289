// The paths a run builds from its options, its program folder and the environment,
// checked whole against the fields that keep them before anything is written. A path
// too long for its field is refused, never cut: a shorter path names another file.
#pragma once

#include "common/run_state.h"

#include <cstddef>
#include <optional>
#include <string>

struct OverlongPath {
    std::string what;      // which path it is ("the payload folder", ...)
    std::string path;      // the path, whole
    std::size_t limit = 0; // the most characters its field holds
};

// The first path of an inventory or execution that its field cannot hold whole: the
// configuration and payload folders, the soft VPD files under the program-files
// folders, and for an execution every payload file the run would read, made absolute.
// None when every path fits, and for the other modes.
std::optional<OverlongPath> findOverlongPath(const RunOptions& options, const RunPaths& paths);

// The line on standard error that refuses the path, naming it.
std::string overlongPathLine(const OverlongPath& overlong);
