// Owns the adapter inventory: one HbaEntry per adapter of the adapter table, with its
// names, versions, PCI identity and family state (family assignment from catalog/).
// The probe and controller-attributes requests behind the Ferrox FC boot-code version
// are in cntl_attributes.cpp.
#pragma once

#include "common/fixed_text.h"
#include "run/run_context.h"

#include <cstdint>
#include <string>

// Statuses the inventory leaves as the run's last status.
constexpr std::uint32_t INVENTORY_NO_ADAPTERS = 17;

// Statuses of the probe and the additional-attributes request.
constexpr std::uint32_t SLI_RESULT_OK = 0;
constexpr std::uint32_t SLI_RESULT_NO_EXTENDED_MAILBOX = 2;
constexpr std::uint32_t SLI_RESULT_OUT_OF_MEMORY = 35;

// Default version texts.
constexpr const char* kFcDefaultVersion = "XX0.00A0";
constexpr const char* kCnaDefaultVersion = "0.0.0.0";
constexpr const char* kNoBootCode = "NONE";

// Builds the run's adapter list from the adapter table, assigning family IDs from the
// run's soft VPD entries and family-ID table. Returns 17 when there are no adapters,
// else the last status the steps left (0, 84 or 33); the run's message holds the last
// text the steps wrote.
std::uint32_t makeHbaList(RunContext& run);

// Fills wwpn (finally the factory IEEE text), wwnn, ieee and namesStatus of the entry;
// may set lastStatus to 84 or 33. The names read are written as text into message.
void getWWN(HbaEntry* entry, std::uint32_t& lastStatus, std::string& message);

// Texts of the additional-attributes answer: four texts (the first is the boot-code
// version), each cut at 32 bytes and at the first blank, and one of 16 bytes.
struct CntlAddlAttributes {
    FixedText<33> texts[4];
    FixedText<17> extra;
};

// The result of a probe or attributes request from the library result, the mailbox
// status and the response's status and additional status.
std::uint32_t sliCommandResult(std::uint32_t libraryResult, std::uint16_t mailboxStatus,
                               std::uint8_t status, std::uint8_t additional);

// Sends the embedded probe request (opcode 0x42); returns its result.
std::uint32_t SC_PerformCommonProbe(std::uint32_t board);

// Sends COMMON_GET_CNTL_ADDL_ATTRIBUTES (opcode 0x79, one data segment); returns 0
// with out filled, 2 without the extended mailbox, 35 without memory, or the result.
std::uint32_t SC_PerformCommonGetCntlAddlAttributes(std::uint32_t board, CntlAddlAttributes* out);

// Formats a boot-code version word ("SB2.100A5"); the first letter becomes "F" on
// the secure board (its device row says so).
void formatBootCodeVersion(std::uint32_t word, std::uint32_t deviceId, FixedText<32>& out);

// 1 when both texts split into four dotted decimal numbers and any of them differs.
std::uint16_t versionsNeedReboot(const char* active, const char* flash);
