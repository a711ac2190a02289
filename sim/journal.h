// The call journal: one line per library call, appended to the file named by
// DFCSIM_JOURNAL when it is set, so that a test can prove what was sent.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dfcsim {

struct JournalEntry {
    const char* call;
    std::optional<std::uint32_t> board;
    std::optional<std::uint32_t> command;
    std::optional<std::uint32_t> opcode;
    std::uint32_t status = 0; // mailbox status (0 for calls without a mailbox)
    std::uint32_t result = 0; // library result
    std::string fields;       // the request's " key=value" pairs (journal_fields.h)
};

// The file DFCSIM_JOURNAL names, or none when the journal is off. A call asks once,
// and decodes its fields only when there is a file.
std::optional<std::string> journalFile();

// Appends "<call> board=<n> command=0x<cc> [opcode=0x<oo>] status=0x<ssss> result=<r>"
// and then the entry's fields to the file; a missing board or command is written "-".
void journal(const std::string& file, const JournalEntry& entry);

} // namespace dfcsim
