// What a simulated Ferrox FC board answers to the inventory's probe and
// additional-attributes requests (board key "cntlAttributes").
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <cstdint>
#include <string>

namespace dfcsim {

struct CntlAttributes {
    std::array<std::string, 4> texts; // 32 bytes each in the answer; the first is the boot code
    std::string extra;                // 16 bytes in the answer
    std::uint8_t status = 0;          // response status; nonzero fails the request
    std::uint8_t additional = 0;      // response additional status
};

// Reads "cntlAttributes" of a board object. Throws std::exception on damaged values,
// like the rest of the board reader.
void readCntlAttributes(const nlohmann::json& board, CntlAttributes& out);

} // namespace dfcsim
