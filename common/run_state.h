// Process-wide run state shared by every subsystem: the run's options, its counters,
// the directory texts and the shared message buffer. Owned here so that the lower
// subsystems (catalogue, update, reports) can read and count without reaching up
// into the run driver.
#pragma once

#include "common/fixed_text.h"
#include "common/format_check.h"

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
};

struct RunTally {
    std::uint32_t configFilesRead = 0;
    std::uint32_t configEntriesValid = 0;
    std::uint32_t payloadFilesFound = 0;
    std::uint32_t payloadEntriesValid = 0;
    std::uint32_t adaptersSupported = 0;
    std::uint32_t devicesListed = 0;
    std::uint32_t devicesIncomplete = 0;
    std::uint32_t updateAttempts = 0;
    std::uint32_t updateFailures = 0;
    bool selectionMissed = false;
    bool anyDownloadSucceeded = false;
};

extern RunTally runTally;

// Console echo of the XML documents: the outputTargets value of the run.
extern std::uint32_t consoleEcho;

// Directory texts, each ending in the platform's path separator.
extern FixedText<221> binaryDir;  // program directory, at most 220 characters
extern FixedText<211> configDir;  // at most 210 characters
extern FixedText<211> payloadDir; // at most 210 characters

// Files the run reads and writes besides its outputs.
extern FixedText<254> tempFile;        // only reported in the debug file
extern FixedText<254> primaryFidLog;   // soft VPD file under the program-files directory
extern FixedText<254> secondaryFidLog; // the same under the secondary one, or empty

// The shared message buffer: start-up and discovery format their user-facing error
// texts here; they are never shown. Large enough for a 254-character argument and
// the text around it.
extern char sharedMessage[512];

// Formats into the shared message buffer (printf-style).
void setSharedMessage(const char* format, ...) WM_PRINTF(1, 2);

// Clears every process-wide value above; tests call it to start from fresh state.
void resetRunState();
