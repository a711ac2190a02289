// The outcome record of one component update of one adapter: what the execution
// produces and the report renders. A plain record, header only, so the report can
// read it without reaching into the update.
#pragma once

#include <cstdint>
#include <string>

struct HbaEntry;

struct ComponentOutcome {
    const HbaEntry* adapter = nullptr;
    std::uint32_t component = 0; // payload extension kind: ALLext, UFIext, GRPext, or PRGext
    bool bootCode = false;
    std::string installedFamily;  // the adapter's inventory version text before this update
    std::string installedVersion; // its firmware or boot-code version before this update
    std::string packagedFamily;   // the package family ID after the update (a special release clears it)
    std::string packagedVersion;
    std::int32_t result = 0; // result code (the report's result-code table)
    bool rebootNeeded = false;
    // The payload file a download was started with (the last one, after an interim
    // image); empty when nothing was sent to the card.
    std::string payloadPath;
    double seconds = 0; // how long the update of this component took
};
