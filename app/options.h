// Command-line options and the texts that describe the utility.
#pragma once

#include "common/run_state.h"

#include <cstddef>
#include <string>

constexpr int kVersionMajor = 11, kVersionMinor = 2, kVersionRelease = 216, kVersionBuild = 9;
constexpr const char* kUtilityName = "winmarlo.exe";

// Fills options from the argument vector; returns 0 or the last argument error
// (16, 21 or 22), with *problem (when given) saying which argument was the first one
// refused and why. Also sets the configuration and payload folders as given and
// derives the program's folder again.
int parseOptions(RunOptions& options, RunPaths& paths, int argc, char** argv, std::string* problem = nullptr);

// Validates a WWN (16 hexadecimal digits, or eight colon-separated pairs) and
// rewrites it into 16 upper-case digits. Returns 1 when valid, 0 otherwise.
int isValidWwn(std::string& wwn);

// The program's folder from its own file name, cut after its last separator; "." plus
// separator when the name is longer than nameLimit or cannot be had.
FixedText<221> deriveBinaryDir(const char* programArgument, std::size_t nameLimit);

void displayHelp();
void displayVersion();
void displayUtilityName();
void displayUtilityVersion();
void echoCommandLine(int argc, char** argv);
