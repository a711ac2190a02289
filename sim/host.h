// The simulator's own operating-system boundary: the library cannot use the
// program's platform layer, so what it needs from the system (environment variables,
// its own folder, a polite stop) lives here, one file per system, picked by the build.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dfcsim {

// An environment variable as the process sees it now (also values set after start).
std::optional<std::string> hostEnv(const char* name);

// The folder that holds this library, with a trailing separator; empty if unknown.
std::string hostLibraryDir();

// Asks the process that loaded the library to stop politely, as an operator's Ctrl-C
// or a service manager would: POSIX raises SIGTERM; Windows sends Ctrl-Break to the
// process group whose leader this process is (none when it was not started as one).
void hostRequestStop();

// Sleeps about this many microseconds (at least, as far as the system's timers allow).
void hostSleepUs(std::uint64_t us);

} // namespace dfcsim
