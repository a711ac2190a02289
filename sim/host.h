// The simulator's own operating-system boundary: the library cannot use the
// program's platform layer, so what it needs from the system (environment variables,
// its own folder, a polite stop, files created exclusively) lives here, one file per system, picked by the build.
#pragma once

#include <cstddef>
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

// A file this library creates and writes (a binary file of the board file's folder).
struct HostFile;
// Creates the file for writing, never over an existing name or through a link
// (POSIX O_CREAT|O_EXCL|O_NOFOLLOW, Windows CREATE_NEW). Null when it cannot.
HostFile* hostCreateFile(const std::string& path);
// Appends bytes; false when not all of them could be written.
bool hostWriteFile(HostFile* file, const void* bytes, std::size_t count);
// Closes the file; false when that failed. Null is allowed and true.
bool hostCloseFile(HostFile* file);

// Sleeps about this many microseconds (at least, as far as the system's timers allow).
void hostSleepUs(std::uint64_t us);

} // namespace dfcsim
