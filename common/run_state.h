// The records of a run that every subsystem may be handed: its options, its counters
// and its folders. Declared here so that the lower subsystems (catalogue, update,
// reports) can read and count without reaching up into the run driver, which owns
// the one instance of each.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>

enum RunMode : std::uint32_t {
    RUN_MODE_NONE = 0,
    Inventory = 1,
    Execution = 2,
    ImageQuery = 3,
    Help = 4,
    Version = 5,
};

enum UpdatePolicy : std::uint32_t {
    UPDATE_POLICY_NONE = 0,
    IfNewer = 1,
    Always = 2,
};

// outputTargets bits
constexpr std::uint32_t OUTPUT_TO_STDOUT = 0x1; // -s
constexpr std::uint32_t OUTPUT_TO_FILE = 0x2;   // -o

// Payload extension kinds, as carried by CluImage extType; they also name the component
// an update step downloads (firmware: ALLext, UFIext, GRPext; boot code: PRGext).
constexpr std::uint32_t ALLext = 1;
constexpr std::uint32_t PRGext = 5;
constexpr std::uint32_t UFIext = 10;
constexpr std::uint32_t GRPext = 14;

struct RunOptions {
    std::uint32_t updatePolicy = UPDATE_POLICY_NONE;
    std::uint32_t outputTargets = 0;
    std::uint32_t mode = RUN_MODE_NONE;
    FixedText<24> wwn;         // 16 upper-case hexadecimal digits after validation
    FixedText<254> imageFile;  // -e
    FixedText<254> outputFile; // XML output file name
    FixedText<254> debugFile;  // empty: no debug file
    FixedText<254> jsonFile;   // -json: the JSON summary's file name; empty: none
};

// What discovery and the package reading counted; the run's preconditions are decided
// from them.
struct RunTally {
    std::uint32_t configFilesRead = 0;
    std::uint32_t configEntriesValid = 0;
    std::uint32_t payloadFilesFound = 0;
    std::uint32_t payloadEntriesValid = 0;
    std::uint32_t adaptersSupported = 0;
};

// The folders and files of a run, each folder text ending in the platform's path
// separator.
struct RunPaths {
    FixedText<221> binaryDir;  // program directory, at most 220 characters
    FixedText<211> configDir;  // at most 210 characters
    FixedText<211> payloadDir; // at most 210 characters
    FixedText<254> tempFile;   // only reported in the debug file
};
