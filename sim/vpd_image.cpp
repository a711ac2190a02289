// The VPD encoding of a board's keywords (see vpd_image.h). The closing "RV" field
// carries the checksum byte that makes every byte up to it sum to zero.
#include "sim/vpd_image.h"

#include <cctype>
#include <stdexcept>
#include <string>

namespace dfcsim {

namespace {

using nlohmann::json;

void putResource(std::vector<std::uint8_t>& out, std::uint8_t tag,
                 const std::vector<std::uint8_t>& body) {
    out.push_back(tag);
    out.push_back(std::uint8_t(body.size()));
    out.push_back(std::uint8_t(body.size() >> 8));
    out.insert(out.end(), body.begin(), body.end());
}

void putField(std::vector<std::uint8_t>& body, const std::string& keyword,
              const std::string& value) {
    if (keyword.size() != 2)
        throw std::runtime_error("VPD keyword \"" + keyword + "\" needs two characters");
    if (value.size() > 255)
        throw std::runtime_error("VPD value of " + keyword + " is longer than 255 bytes");
    body.insert(body.end(), keyword.begin(), keyword.end());
    body.push_back(std::uint8_t(value.size()));
    body.insert(body.end(), value.begin(), value.end());
}

std::vector<std::uint8_t> hexBytes(const std::string& text) {
    std::string digits;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            digits += c;
        else if (c != ' ' && c != ':' && c != '-')
            throw std::runtime_error("bad hexadecimal text for vpd");
    if (digits.size() % 2 != 0)
        throw std::runtime_error("odd number of hexadecimal digits for vpd");
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        bytes.push_back(std::uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

} // namespace

std::vector<std::uint8_t> encodeVpd(const json& vpd) {
    if (!vpd.is_object())
        throw std::runtime_error("vpd must be an object");
    if (vpd.contains("hex"))
        return hexBytes(vpd.at("hex").get<std::string>());

    const std::string identifier = vpd.value("identifier", std::string("Tavrel adapter"));
    std::vector<std::uint8_t> out;
    putResource(out, 0x82, std::vector<std::uint8_t>(identifier.begin(), identifier.end()));

    std::vector<std::uint8_t> fields;
    if (const auto f = vpd.find("fields"); f != vpd.end()) {
        if (f->is_array()) {
            for (const json& pair : *f) {
                if (!pair.is_array() || pair.size() != 2)
                    throw std::runtime_error("vpd fields are [keyword, value] pairs");
                putField(fields, pair[0].get<std::string>(), pair[1].get<std::string>());
            }
        } else if (f->is_object()) {
            for (const auto& [keyword, value] : f->items())
                putField(fields, keyword, value.get<std::string>());
        } else {
            throw std::runtime_error("vpd fields must be a list or an object");
        }
    }
    if (vpd.value("rv", true)) {
        // The checksum byte makes the bytes up to it sum to zero.
        std::uint8_t sum = 0;
        for (std::uint8_t b : out)
            sum = std::uint8_t(sum + b);
        const std::size_t size = fields.size() + 4;
        sum = std::uint8_t(sum + 0x90 + std::uint8_t(size) + std::uint8_t(size >> 8));
        for (std::uint8_t b : fields)
            sum = std::uint8_t(sum + b);
        sum = std::uint8_t(sum + 'R' + 'V' + 1);
        fields.insert(fields.end(), {'R', 'V', 1, std::uint8_t(0x100 - sum)});
    }
    putResource(out, 0x90, fields);
    out.push_back(0x78); // end tag

    if (vpd.value("wordSwapped", false)) {
        while (out.size() % 4 != 0)
            out.push_back(0);
        for (std::size_t i = 0; i < out.size(); i += 4) {
            std::swap(out[i], out[i + 3]);
            std::swap(out[i + 1], out[i + 2]);
        }
    }
    return out;
}

} // namespace dfcsim
