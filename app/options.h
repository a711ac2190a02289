// Command-line options and the texts that describe the utility.
#pragma once

#include "common/run_state.h"

#include <cstddef>
#include <string>
#include <vector>

constexpr int kVersionMajor = 11, kVersionMinor = 2, kVersionRelease = 216, kVersionBuild = 9;
constexpr const char* kUtilityName = "winmarlo.exe";

// Fills options from the argument vector; returns 0 or the last argument error
// (16, 21 or 22), with *problem (when given) saying which argument was the first one
// refused and why. Also sets the configuration and payload folders as given and
// derives the program's folder again.
int parseOptions(RunOptions& options, RunPaths& paths, int argc, char** argv, std::string* problem = nullptr);

// The command line, read once before anything starts: every later step reads this
// record, never the argument vector.
struct CommandLine {
    std::vector<std::string> arguments; // as given, the program's name first
    // The first argument after the program's name with 255 characters or more; 0 when
    // there is none.
    int overlongArgument = 0;
    // An argument after the program's name is exactly -h (in any case), wherever it
    // stands, or there is no argument at all.
    bool helpAsked = false;
    // -s: standard output carries the XML document alone.
    bool documentOnStandardOutput = false;
    // What parseOptions made of the arguments: the options and folders, its status (0,
    // 16, 21 or 22) and the first argument it refused, and why.
    RunOptions options;
    RunPaths paths;
    int parseStatus = 0;
    std::string argumentProblem;
    // The arguments after the program's name joined with single blanks. The adapter
    // environment finds its legacy switches ("/nokova", "/c") anywhere in it, even
    // inside a path; one that begins with "@" ends the run once the adapters are
    // identified.
    std::string joined;
};

// Reads the whole command line into one record; the option parser runs here, once.
CommandLine readCommandLine(int argc, char** argv);

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
// Writes every argument, the program's name first, to the debug file.
void echoCommandLine(const std::vector<std::string>& arguments);
