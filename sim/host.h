// The simulator's own operating-system boundary: the library cannot use the
// program's platform layer, so the two things it needs from the system live here,
// one file per system, picked by the build.
#pragma once

#include <optional>
#include <string>

namespace dfcsim {

// An environment variable as the process sees it now (also values set after start).
std::optional<std::string> hostEnv(const char* name);

// The folder that holds this library, with a trailing separator; empty if unknown.
std::string hostLibraryDir();

} // namespace dfcsim
