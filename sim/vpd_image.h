// A board's VPD given as keywords in the board file, encoded the way an adapter keeps
// it in configuration region 14: PCI VPD resources (identifier string, read-only
// fields closed by "RV", end tag), optionally with every 32-bit word byte-reversed.
#pragma once

#include <nlohmann/json.hpp>

#include <cstdint>
#include <vector>

namespace dfcsim {

// Encodes a board's "vpd" value: {"identifier", "fields" (list of [keyword, value]
// pairs, or an object), "rv" (default true), "wordSwapped" (default false)}, or
// {"hex": raw bytes}. Throws std::exception on damaged values.
std::vector<std::uint8_t> encodeVpd(const nlohmann::json& vpd);

} // namespace dfcsim
