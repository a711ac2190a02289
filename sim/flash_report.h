// What the flash of every simulated board holds, as a JSON document: for a person or a
// test to check a card against what the program claimed, without asking the card
// through the library (which would count as calls and run fault rules).
#pragma once

#include "sim/board.h"

#include <nlohmann/json.hpp>

namespace dfcsim {

// The report of a board set as read from its file (see sim/README.md, "What the flash
// holds"). Throws std::runtime_error when a binary file the set names cannot be read.
nlohmann::json flashReport(const BoardSet& set);

} // namespace dfcsim
