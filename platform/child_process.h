// Starting a program and waiting for it, shared by the program's own platform library
// (runProcess) and the tests' process control (process_control.h). Only platform
// sources include this header.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform::detail {

// A started program: its process id and, on Windows, its process handle.
struct Child {
    std::int64_t id = -1;
    void* handle = nullptr;
};

// Starts a program with arguments (argv[0] is the program path) in a working folder
// (the current one when empty). Standard output and standard error go to outputPath
// when it is given, standard error to errorPath instead when that is given too.
// Returns false when the program could not be started.
bool startChild(const std::vector<std::string>& argv, const std::string& workingDir,
                const std::string& outputPath, const std::string& errorPath, Child* child);

// Waits for a started program and returns its exit value; -1 when it ended through a
// signal or cannot be waited for. The child is done with afterwards.
int waitChild(Child* child);

// The value of an environment variable, or none when it is not set (on Windows, also
// when it does not fit 32767 characters).
std::optional<std::string> environmentValue(const std::string& name);

} // namespace platform::detail
