// The process entry: the start-up checks (administrator, argument lengths), the help
// request, the trace settings, the run lock, the adapter library and its environment,
// then the run driver. winmarloMain is the whole program.
#pragma once

#include "platform/platform.h"

#include <string>

// Returns 0 or 51 when an argument after the program name has 255 characters or more;
// the message then names the argument.
int checkArgumentLengths(int argc, char** argv, std::string& message);
// The index of the first argument of 255 characters or more; 0 when there is none.
int firstOverlongArgument(int argc, char** argv);

// Shows the help text and returns 1 when an argument is exactly "-h" (any case) or
// there is no argument at all; 0 otherwise.
int hasHelpOption(int argc, char** argv);

// Whether the process runs with administrator rights (1) or not (0).
using AdministratorTest = int (*)();

// The whole program; returns the exit status. Tests pass their own administrator test
// to see the refusal path.
int winmarloMain(int argc, char** argv,
                 AdministratorTest isAdministrator = platform::isAdministratorUser);
