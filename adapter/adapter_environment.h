// The adapter access environment: this file owns the legacy command-line switches, the
// board enumeration and the adapter table built at start-up. It reports what it found and
// leaves the decision of what runs next to its caller.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>
#include <string>
#include <vector>

struct AdapterRecord {
    std::uint32_t bus = 0;
    std::uint32_t device = 0;
    std::uint8_t function = 0;
    std::uint16_t deviceId = 0;
    std::uint32_t flags = 0; // ADAPTER_FLAG_*
    std::uint16_t hardwareId = 0;
    std::uint16_t subsystemId = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t subsystemVendorId = 0;
    std::uint32_t factoryIeee[2] = {0, 0};
    FixedText<32> serialNumber;
    FixedText<80> modelName;
    std::uint16_t oemVpd = 0;
    std::uint32_t HBAType = 0;
    std::uint32_t mailboxPayload = 0;
    std::uint32_t interfaceLevel4 = 0;
    std::uint32_t fcoeDriver = 0;
    // The driver answered and is of a kind the program talks to: only then is it known
    // how the board frames its answers (a level-4 driver reverses the name bytes).
    bool driverKnown = false;
    // The read-revision command failed at discovery: the hardware id, and so the family
    // and the download rules it gives, are not known.
    bool revisionUnread = false;
};

constexpr std::uint32_t ADAPTER_FLAG_MULTI_FUNCTION = 0x04000000;
constexpr std::uint32_t ADAPTER_FLAG_MODEL_FROM_VPD = 0x20000000;

// Size of one enumeration entry of DFC_InitDiagEnv, in bytes.
constexpr std::size_t kDiagEnvEntrySize = 108;

struct AdapterEnvironment {
    bool noKova = false;           // "/nokova" anywhere in the command line
    bool noVpdModelNames = false;  // "/c" anywhere in the command line
    std::uint32_t boardCount = 0;  // n, as the library reports it
    std::uint32_t totalCount = 0;  // n plus the management library's adapters (none)
    std::vector<std::uint8_t> enumeration; // n entries of kDiagEnvEntrySize bytes, during start-up
    std::vector<AdapterRecord> table;      // one record per board
    std::string message; // the last user-facing error text of start-up; never shown
};

extern AdapterEnvironment adapterEnv;

// Returned by initAdapterEnvironment when the library reports no board at all: the
// table is empty and the adapter identification has nothing to do.
constexpr int ADAPTER_ENV_NO_BOARDS = -1;

// Applies the legacy switches found in the command line (its arguments after the
// program's name joined with single blanks), enumerates the boards and fills the
// adapter table. Returns 0 when the table is ready, ADAPTER_ENV_NO_BOARDS when there is
// no board, or the exit status (62, 63, 64).
int initAdapterEnvironment(const std::string& commandLine);

// Releases the adapter table.
void releaseAdapterEnvironment();
