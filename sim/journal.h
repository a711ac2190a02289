// The call journal: one line per library call, appended to the file named by
// DFCSIM_JOURNAL when it is set, so that a test can prove what was sent.
#pragma once

#include <cstdint>
#include <optional>

namespace dfcsim {

struct JournalEntry {
    const char* call;
    std::optional<std::uint32_t> board;
    std::optional<std::uint32_t> command;
    std::optional<std::uint32_t> opcode;
    std::uint32_t status = 0; // mailbox status (0 for calls without a mailbox)
    std::uint32_t result = 0; // library result
};

// Appends "<call> board=<n> command=0x<cc> [opcode=0x<oo>] status=0x<ssss> result=<r>";
// a missing board or command is written as "-".
void journal(const JournalEntry& entry);

} // namespace dfcsim
