// The name lists of lookupModelName: Ferrox FC and E300 names by subsystem pair, and
// the name table of older Fibre Channel boards, read top to bottom, first match wins.
#pragma once

#include <cstddef>
#include <cstdint>

// What a name rule asks of the board's channels: a partner function on the same bus
// and device, or the multi-function flag, makes a board dual-channel.
enum class Channels : std::uint8_t { Any, Single, Dual };

struct ModelNameRule {
    std::uint16_t hardwareId;
    std::uint16_t deviceId;          // 0: any
    std::uint16_t subsystemVendorId; // 0: any
    std::uint16_t subsystemId;       // 0: any
    std::uint32_t family;            // family code of the board, 0: any
    Channels channels;
    const char* name;
};

struct SubsystemName {
    std::uint16_t subsystemVendorId;
    std::uint16_t subsystemId;
    const char* name;
};

extern const ModelNameRule kLegacyModelNameRules[];
extern const std::size_t kLegacyModelNameRuleCount;

extern const SubsystemName kFerroxE300Names[];
extern const std::size_t kFerroxE300NameCount;
extern const char* const kFerroxE300SingleName;
extern const char* const kFerroxE300MultiName;

extern const SubsystemName kFerroxFCNames[];
extern const std::size_t kFerroxFCNameCount;
extern const char* const kFerroxFCSingleName;
extern const char* const kFerroxFCMultiName;

// Subsystem pairs of the OEM Ferrox FCoE and NIC functions, which carry their own
// family base name.
extern const SubsystemName kFerroxOemConvergedPairs[];
extern const std::size_t kFerroxOemConvergedPairCount;

constexpr const char* kUnknownModelName = "Unknown";
