// Owns the board set the library serves: read from the board file at every
// enumeration, written back whenever a board's lasting state changes, the boards of
// one card then sharing what the card holds.
#pragma once

#include "sim/board.h"

#include <cstdint>
#include <vector>

namespace dfcsim {

// (Re)reads the board file named by DFCSIM_BOARDS, or "dfcsim-boards.json" beside the
// library. A missing or damaged file leaves zero boards and one message on stderr.
void loadBoards();
// Loads the boards on first use.
void ensureBoardsLoaded();
// The board, or null when the number names none.
Board* boardAt(std::uint32_t board);
std::uint32_t boardCount();

// The board file's own rules, for calls that name no board.
const std::vector<FaultRule>& unboardedFaults();
// Notes that lasting state changed and writes the board file back. With the board that
// changed, the other boards of its card first take over what the card shares.
void boardStateChanged(const Board* changed = nullptr);

} // namespace dfcsim
