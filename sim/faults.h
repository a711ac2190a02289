// The fault layer: rules of a board that make a call answer something else. It sits
// in front of the handlers and knows nothing of what they do.
#pragma once

#include "sim/board.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace dfcsim {

// What a call is, as far as fault rules can tell.
struct CallKey {
    const char* call;
    std::optional<std::uint32_t> command; // classic command code of a mailbox call
    std::optional<std::uint32_t> opcode;  // SLI_CFG opcode
    std::optional<std::uint32_t> sub;     // security command (0xF9): its subcommand
};

struct FaultAnswer {
    // Set: the call is answered with this library result, without the board. Unset: the
    // board answers, and the fields below are written over its answer.
    std::optional<std::uint32_t> result;
    std::optional<std::uint16_t> status; // written into the mailbox when set
    std::optional<std::uint8_t> responseStatus;
    std::optional<std::uint8_t> responseAdditional;
    std::optional<std::uint32_t> length;
    std::optional<std::uint32_t> count; // DFC_InitDiagEnv: the adapter count answered
};

// Counts this call against every matching rule of the board and returns the answer
// of the first rule whose turn it is, or none. A rule with only a status answers the
// library result 2, as a mailbox failure does. A due rule with an exit code ends the
// process at once (std::_Exit), as if it had been killed at that call; a due stop rule
// asks the process to stop politely and lets the call go on.
std::optional<FaultAnswer> applyFaults(Board& board, const CallKey& key);

// The same for a call that names no board, against the board file's own rules. `use`
// is the process's count of such calls so far, this one included: the file, and so
// each rule's own count, is read afresh at every enumeration.
std::optional<FaultAnswer> applyUnboardedFaults(const std::vector<FaultRule>& rules,
                                                const CallKey& key, std::uint32_t use);

} // namespace dfcsim
