// What only the tests, benchmarks and fuzz targets ask of the system: setting and
// reading environment variables for the programs they start, starting a program
// without waiting for it, ending it, and running a shell command. A library of its own
// (winmarlo_process_control) that the program does not link: a program that runs as
// root or administrator carries none of it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

std::optional<std::string> getEnv(const std::string& name);
void setEnv(const std::string& name, const std::string& value);
void unsetEnv(const std::string& name);

// Runs a command line through the system's command interpreter (Windows: COMSPEC or
// "cmd.exe" with "/c"; POSIX: /bin/sh -c), waits, and returns its exit value, or -1
// when it could not be started.
int runShellCommand(const std::string& commandLine);

// A program started without waiting for it, so that it can be ended from outside.
struct StartedProcess {
    std::int64_t id = -1;   // process id
    void* handle = nullptr; // Windows process handle
};
// Starts a program as runProcess (platform.h) does, without waiting; false when it
// could not be started. With an errorPath, standard error goes to that file instead.
bool startProcess(const std::vector<std::string>& argv, const std::string& workingDir,
                  const std::string& outputPath, StartedProcess* process,
                  const std::string& errorPath = "");
// Ends a started program at once, as a power cut would (POSIX SIGKILL, Windows
// TerminateProcess): it runs no more of its own code.
void killProcess(const StartedProcess& process);
// Waits for a started program to end and returns its exit value; -1 when it ended
// through a signal or cannot be waited for.
int waitProcess(StartedProcess* process);
// Whether a started program has ended, without waiting; when it has, its exit value
// (as waitProcess gives it) is stored and the process is done with.
bool tryWaitProcess(StartedProcess* process, int* exitValue);

} // namespace platform
