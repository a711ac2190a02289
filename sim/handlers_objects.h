// Handlers of the object store, the firmware-version and family-value requests
// (SLI_CFG, command 0x9B) and of the region reconstruct (erase, UPDATE_REGION kinds
// 1 and 3). They join the dispatch table of handlers.cpp.
#pragma once

#include "sim/handlers.h"

namespace dfcsim {

// Statuses of a failed embedded request: response status, additional status. The
// mailbox status of such an answer is (additional << 8) | status.
constexpr std::uint8_t EMBEDDED_NOT_FOUND = 0x01;    // additional 0xA0
constexpr std::uint8_t EMBEDDED_BAD_REQUEST = 0x02;  // additional 0x00
constexpr std::uint8_t EMBEDDED_SIGNATURE = 0x17;    // additional 0x56 invalid, 0x57 missing
constexpr std::uint16_t STATUS_BAD_ADDRESS = 0x0004; // erase of no region's sector

// The texts the firmware-version request (0x23) answers: the active firmware's
// ("" while the card runs none) and the version of the image the "/prg" object in
// flash holds.
std::string activeFirmwareOf(const Board& board);
std::string flashFirmwareOf(const Board& board);

// 0x9B: SLI_CFG, dispatched by opcode and subsystem.
MailboxReply sliConfigCommand(MailboxCall& call);
// 0x01: erase of a configuration region's flash sector.
MailboxReply configRegionEraseCommand(MailboxCall& call);
// UPDATE_REGION of kinds other than 2 (3 prepares, 1 creates a region of a length).
MailboxReply updateRegionOtherKind(MailboxCall& call);

} // namespace dfcsim
