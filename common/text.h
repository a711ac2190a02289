// Small text helpers shared by the subsystems.
#pragma once

#include "common/format_check.h"

#include <cctype>
#include <cstdarg>
#include <string>
#include <string_view>

// Equal texts when letters are compared without regard to case.
inline bool equalsIgnoreCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

// The text with every double-quote character removed.
inline std::string withoutQuotes(std::string_view text) {
    std::string result;
    for (char c : text)
        if (c != '"')
            result += c;
    return result;
}

// The parts (texts, views, characters) appended one after the other. Appending keeps
// clear of the false "may overlap" warning GCC 12 gives at -O3 for a literal plus a
// temporary string.
template <typename... Parts> std::string joinText(const Parts&... parts) {
    std::string text;
    (text += ... += parts);
    return text;
}

// printf-style formatting into a string.
std::string formatText(const char* format, ...) WM_PRINTF(1, 2);
// The same with the arguments of a variadic caller, who ends the list (va_end) after.
std::string formatTextList(const char* format, va_list args);
