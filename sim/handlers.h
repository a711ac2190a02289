// The mailbox commands the simulated adapter understands: one small handler per
// command code, found through one dispatch table.
#pragma once

#include "sim/board.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace dfcsim {

// Mailbox statuses of the simulated adapter.
constexpr std::uint16_t STATUS_OK = 0;
constexpr std::uint16_t STATUS_UNKNOWN_COMMAND = 0x0001;
constexpr std::uint16_t STATUS_BAD_LENGTH = 0x0003;
constexpr std::uint16_t STATUS_REGION_ABSENT = 0xE0;
constexpr std::uint16_t STATUS_PARAMETER_UNAVAILABLE = 0xFA;

// Library results of the simulated library.
constexpr std::uint32_t RESULT_OK = 0;
constexpr std::uint32_t RESULT_BAD_ARGUMENT = 1;   // no such board, sizes out of range
constexpr std::uint32_t RESULT_MAILBOX_FAILED = 2; // the adapter answered a nonzero status

// One mailbox as the handler sees it: the words (the sim's own copy) and, for the
// call with a data buffer, that buffer.
struct MailboxCall {
    Board& board;
    std::vector<std::uint8_t>& mailbox; // whole words, host order
    std::uint8_t* data = nullptr;       // data buffer of the mailbox-with-data call
    std::size_t dataBytes = 0;
    bool changed = false; // set when the board's lasting state changed
};

struct MailboxReply {
    std::uint16_t status = STATUS_OK;
    std::uint32_t result = 0; // 0: derived from the status
};

using MailboxHandler = MailboxReply (*)(MailboxCall& call);

// The handler of a classic command code, or null when the adapter does not know it.
MailboxHandler findHandler(std::uint8_t command);

// Runs the command in the mailbox: writes the status into word 0 and returns the
// library result.
std::uint32_t runMailbox(MailboxCall& call);

// Copies up to `length` bytes of a region from `offset`; the reply the region-read
// paths share. Returns the status and result, with `delivered` set.
MailboxReply readRegionBytes(const Board& board, std::uint32_t region, std::uint32_t offset,
                             std::uint32_t length, std::uint8_t* out, std::uint32_t& delivered);

} // namespace dfcsim
