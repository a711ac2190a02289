// Hexadecimal text of the board file (see hex_text.h).
#include "sim/hex_text.h"

#include <cctype>
#include <cstdio>
#include <stdexcept>

namespace dfcsim {

std::vector<std::uint8_t> hexBytes(const std::string& text, const std::string& what) {
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c != ' ' && c != ':' && c != '-' && c != '\n' && c != '\t')
            throw std::runtime_error("bad hexadecimal text for " + what);
    }
    if (digits.size() % 2 != 0)
        throw std::runtime_error("odd number of hexadecimal digits for " + what);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(digits.size() / 2);
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(std::uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string hexText(const std::vector<std::uint8_t>& bytes, std::size_t bytesPerLine) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2 + bytes.size() / 4);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i != 0 && i % 4 == 0)
            text += bytesPerLine != 0 && i % bytesPerLine == 0 ? '\n' : ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}

std::string hexWord(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(value));
    return text;
}

} // namespace dfcsim
