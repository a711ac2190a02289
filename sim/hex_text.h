// Bytes and words as the board file writes them: hexadecimal text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace dfcsim {

// Hexadecimal bytes; blanks, colons, dashes and line breaks between them are ignored.
// Throws std::runtime_error naming `what` for anything else or an odd digit count.
std::vector<std::uint8_t> hexBytes(const std::string& text, const std::string& what);

// Bytes in groups of four separated by blanks; with bytesPerLine, a line break instead
// of the blank every that many bytes.
std::string hexText(const std::vector<std::uint8_t>& bytes, std::size_t bytesPerLine = 0);

// "0x" and eight upper-case digits.
std::string hexWord(std::uint32_t value);

} // namespace dfcsim
