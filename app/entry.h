// The process entry: the command line read once, the start-up checks (administrator,
// argument lengths and count), the trace settings, the help request, then for the runs
// that use adapters the run lock, the adapter library and its environment, and the run
// driver. winmarloMain is the whole program.
#pragma once

#include "app/options.h"
#include "platform/platform.h"

#include <string>

// Returns 0, or 51 when an argument after the program name has 255 characters or
// more; the message then names the argument.
int checkArgumentLengths(const CommandLine& commandLine, std::string& message);

// Whether the process runs with administrator rights (1) or not (0).
using AdministratorTest = int (*)();

// The whole program; returns the exit status. Tests pass their own administrator test
// to see the refusal path.
int winmarloMain(int argc, char** argv,
                 AdministratorTest isAdministrator = platform::isAdministratorUser);
