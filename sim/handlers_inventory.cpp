// Handlers of the inventory's Ferrox FC requests (see handlers_inventory.h), and the
// reading of the board key "cntlAttributes" they answer from (inventory_answers.h).
#include "sim/handlers_inventory.h"

#include "common/bytes.h"
#include "sim/inventory_answers.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace dfcsim {

namespace {

constexpr std::size_t kImageBytes = 256; // the segment starts behind the mailbox
constexpr std::size_t kSegmentLengthWord = 8;
constexpr std::size_t kTextFields[4] = {404, 436, 468, 500};
constexpr std::size_t kTextBytes = 32;
constexpr std::size_t kExtraField = 540;
constexpr std::size_t kExtraBytes = 16;
constexpr std::uint32_t kAttributesMinimum = kExtraField + kExtraBytes;
// Mailbox status of a request the adapter answered with a failed response.
constexpr std::uint16_t kStatusResponseFailed = 0x0001;

std::uint32_t word(const MailboxCall& c, std::size_t i) {
    return i * 4 + 4 <= c.mailbox.size() ? readHost32(c.mailbox.data(), i * 4) : 0;
}

// Writes text into a field of `size` bytes: cut to the field, NUL-padded when shorter.
void putField(std::uint8_t* at, std::size_t size, const std::string& text) {
    std::memset(at, 0, size);
    std::memcpy(at, text.data(), std::min(size, text.size()));
}

MailboxReply cntlAttributes(MailboxCall& c, std::uint8_t* payload, std::uint32_t length) {
    if (length < kAttributesMinimum)
        return {STATUS_BAD_LENGTH, 0};
    const CntlAttributes& a = c.board.cntlAttributes;
    if (a.status != 0) {
        payload[4] = a.status;
        payload[5] = a.additional;
        return {kStatusResponseFailed, 0};
    }
    std::memset(payload + 4, 0, length - 4);
    for (std::size_t i = 0; i < 4; ++i)
        putField(payload + kTextFields[i], kTextBytes, a.texts[i]);
    putField(payload + kExtraField, kExtraBytes, a.extra);
    return {};
}

std::uint8_t byteValue(const nlohmann::json& j, const char* what) {
    const std::uint64_t v = j.is_string() ? std::stoull(j.get<std::string>(), nullptr, 0)
                                          : j.get<std::uint64_t>();
    if (v > 0xFF)
        throw std::runtime_error(std::string(what) + " above 255");
    return std::uint8_t(v);
}

} // namespace

MailboxReply probeCommand(MailboxCall&) {
    return {};
}

MailboxReply sliConfigSegmentCommand(MailboxCall& c) {
    const std::uint32_t length = word(c, 2);
    if (getBits(word(c, 1), 3, 5) != 1 || length == 0 ||
        getBits(word(c, kSegmentLengthWord), 0, 24) != length ||
        c.mailbox.size() < kImageBytes + length)
        return {STATUS_BAD_LENGTH, 0};
    std::uint8_t* payload = c.mailbox.data() + kImageBytes;
    if (payload[0] == 0x79 && payload[1] == 0x01)
        return cntlAttributes(c, payload, length);
    return {STATUS_UNKNOWN_COMMAND, 0};
}

void readCntlAttributes(const nlohmann::json& board, CntlAttributes& out) {
    const auto a = board.find("cntlAttributes");
    if (a == board.end())
        return;
    if (const auto t = a->find("texts"); t != a->end()) {
        if (!t->is_array() || t->size() > 4)
            throw std::runtime_error("cntlAttributes.texts needs at most four texts");
        for (std::size_t i = 0; i < t->size(); ++i)
            out.texts[i] = (*t)[i].get<std::string>();
    }
    out.extra = a->value("extra", std::string());
    if (const auto s = a->find("status"); s != a->end())
        out.status = byteValue(*s, "cntlAttributes.status");
    if (const auto x = a->find("additional"); x != a->end())
        out.additional = byteValue(*x, "cntlAttributes.additional");
}

} // namespace dfcsim
