// The process-wide run state (see run_state.h): its storage and its reset.
#include "common/run_state.h"

#include <cstdarg>
#include <cstdio>

RunTally runTally;
std::uint32_t consoleEcho = 0;
FixedText<221> binaryDir;
FixedText<211> configDir;
FixedText<211> payloadDir;
FixedText<254> tempFile;
FixedText<254> primaryFidLog;
FixedText<254> secondaryFidLog;
char sharedMessage[512];

void setSharedMessage(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(sharedMessage, sizeof sharedMessage, format, args);
    va_end(args);
}

void resetRunState() {
    runTally = RunTally{};
    consoleEcho = 0;
    binaryDir.clear();
    configDir.clear();
    payloadDir.clear();
    tempFile.clear();
    primaryFidLog.clear();
    secondaryFidLog.clear();
    sharedMessage[0] = '\0';
}
