// The board's own compatibility list (see vpd_list.h). The scan is lenient: ids may
// carry "0x", and anything between them that is no hexadecimal digit separates them.
#include "download/vpd_list.h"

#include "adapter/adapter_vpd.h"

#include <cctype>
#include <cstddef>

namespace {

constexpr std::size_t kScanLimit = 256;

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    const char u = char(std::toupper(static_cast<unsigned char>(c)));
    return u >= 'A' && u <= 'F' ? u - 'A' + 10 : -1;
}

// Reads hexadecimal digits from list[at]; false when there are none.
bool readHex(const char* list, std::size_t& at, std::uint32_t& value) {
    value = 0;
    const std::size_t start = at;
    while (at < kScanLimit && list[at] != '\0' && hexDigit(list[at]) >= 0) {
        value = (value << 4) | std::uint32_t(hexDigit(list[at]));
        ++at;
    }
    return at != start;
}

} // namespace

int CheckVpdList(const char* list, std::uint32_t type, std::uint32_t id) {
    if (list == nullptr)
        return 1;
    bool inSection = false;
    std::size_t at = 0;
    while (at < kScanLimit && list[at] != '\0') {
        const char c = list[at];
        if (c == 'T' || c == 't') {
            ++at;
            std::uint32_t sectionType = 0;
            inSection = readHex(list, at, sectionType) && at < kScanLimit && list[at] == ':' &&
                        sectionType == type;
            if (at < kScanLimit && list[at] == ':')
                ++at;
            continue;
        }
        if ((c == '0') && at + 1 < kScanLimit && (list[at + 1] == 'X' || list[at + 1] == 'x'))
            at += 2;
        std::uint32_t value = 0;
        if (readHex(list, at, value)) {
            if (inSection && value == id)
                return 0;
            continue;
        }
        ++at; // commas, blanks and anything else between ids
    }
    return 1;
}

std::string readVpdCompatList(std::uint32_t board) {
    AdapterVpd vpd;
    if (readAdapterVpd(board, vpd) != 0)
        return {};
    return vpd.v3Text.str();
}
