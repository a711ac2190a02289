// The dispatch table of the simulated adapter's mailbox commands (see handlers.h), with
// the handlers of the read commands (names, revision, READ_REGION) and of the
// configuration-region write. The other handlers are in handlers_objects.cpp and
// handlers_flash.cpp.
#include "sim/handlers.h"

#include "common/bytes.h"
#include "sim/handlers_objects.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace dfcsim {

namespace {

constexpr std::uint32_t kWakeupRegion = 4;

std::uint32_t word(const MailboxCall& c, std::size_t i) {
    return i * 4 + 4 <= c.mailbox.size() ? readHost32(c.mailbox.data(), i * 4) : 0;
}

void setWord(MailboxCall& c, std::size_t i, std::uint32_t value) {
    if (i * 4 + 4 <= c.mailbox.size())
        writeHost32(c.mailbox.data(), i * 4, value);
}

std::uint32_t swap32(std::uint32_t v) {
    return (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24);
}

bool level4(const Board& b) {
    return b.interfaceLevel == 4;
}

// Room for reply data after word 5 of the mailbox.
std::size_t mailboxRoom(const MailboxCall& c) {
    return c.mailbox.size() > 20 ? c.mailbox.size() - 20 : 0;
}

// 0x02: current names, WWPN in words 5-6, WWNN in words 7-8. Level-4 adapters answer
// each word with its bytes reversed.
MailboxReply readNames(MailboxCall& c) {
    const auto put = [&](std::size_t index, const std::array<std::uint8_t, 8>& name) {
        for (std::size_t k = 0; k < 2; ++k) {
            const std::uint32_t w = readBe32(name.data(), k * 4);
            setWord(c, index + k, level4(c.board) ? swap32(w) : w);
        }
    };
    put(5, c.board.wwpn);
    put(7, c.board.wwnn);
    return {};
}

// 0x11: read revision. The hardware id sits in bits 12-27 of words 2 and 3; the
// firmware version text from byte 36, 16 bytes, byte-reversed per word on adapters
// below interface level 4; empty while the card runs no firmware.
MailboxReply readRevision(MailboxCall& c) {
    const std::uint32_t hw = std::uint32_t(c.board.hardwareId) << 12;
    setWord(c, 2, hw);
    setWord(c, 3, hw);
    std::uint8_t text[16] = {};
    const std::string running = runningFirmware(c.board);
    std::memcpy(text, running.data(), std::min<std::size_t>(16, running.size()));
    if (!level4(c.board))
        for (std::size_t i = 0; i < 16; i += 4) {
            std::swap(text[i], text[i + 3]);
            std::swap(text[i + 1], text[i + 2]);
        }
    if (c.mailbox.size() >= 52)
        std::memcpy(c.mailbox.data() + 36, text, 16);
    return {};
}

MailboxReply readConfigRegionCommand(MailboxCall& c) {
    const std::uint32_t region = getBits(word(c, 2), 0, 16);
    const std::uint32_t offset = getBits(word(c, 2), 16, 16);
    const std::uint32_t asked = word(c, 4) * 4;
    std::uint8_t* out = c.data != nullptr ? c.data : c.mailbox.data() + 20;
    const std::size_t room = c.data != nullptr ? c.dataBytes : mailboxRoom(c);
    if (asked > room)
        return {STATUS_BAD_LENGTH, 0};
    std::uint32_t delivered = 0;
    const MailboxReply reply = readRegionBytes(c.board, region, offset, asked, out, delivered);
    if (reply.status == STATUS_OK)
        setWord(c, 4, delivered);
    return reply;
}

MailboxReply readMemoryCommand(MailboxCall& c) {
    const std::uint32_t address = word(c, 3) & ~3u;
    const std::uint32_t words = word(c, 4);
    if (std::size_t(words) * 4 > mailboxRoom(c))
        return {STATUS_BAD_LENGTH, 0};
    for (std::uint32_t i = 0; i < words; ++i) {
        const auto it = c.board.memory.find(address + 4 * i);
        setWord(c, 5 + i, it != c.board.memory.end() ? it->second : 0);
    }
    setWord(c, 4, words * 4);
    return {};
}

MailboxReply readParameterCommand(MailboxCall& c) {
    const std::uint32_t id = getBits(word(c, 2), 0, 16);
    if (id != 0x1040 || !c.board.configTriple)
        return {STATUS_PARAMETER_UNAVAILABLE, 0};
    for (std::size_t i = 0; i < 3; ++i)
        setWord(c, 5 + i, (*c.board.configTriple)[i]);
    return {};
}

// 0x17: READ_REGION, by kind in word 1 bits 0-3.
MailboxReply readRegionCommand(MailboxCall& c) {
    switch (getBits(word(c, 1), 0, 4)) {
    case 1:
        return readMemoryCommand(c);
    case 2:
        return readConfigRegionCommand(c);
    case 4:
        return readParameterCommand(c);
    default:
        return {STATUS_UNKNOWN_COMMAND, 0};
    }
}

// 0x1B: UPDATE_REGION of a configuration region (kind 2). Word 2 holds the region and
// the length, word 4 the length again; the bytes follow word 5, or sit in the data
// buffer when word 1 bit 5 says so. A written region holds exactly those bytes.
MailboxReply updateRegionCommand(MailboxCall& c) {
    if (getBits(word(c, 1), 0, 4) != 2)
        return updateRegionOtherKind(c);
    const std::uint32_t region = getBits(word(c, 2), 0, 16);
    const std::uint32_t length = getBits(word(c, 2), 16, 16);
    const bool inData = getBits(word(c, 1), 5, 1) != 0;
    if (word(c, 4) != length || length == 0)
        return {STATUS_BAD_LENGTH, 0};
    const std::uint8_t* in = inData ? c.data : c.mailbox.data() + 20;
    const std::size_t room = inData ? (c.data != nullptr ? c.dataBytes : 0) : mailboxRoom(c);
    if (length > room)
        return {STATUS_BAD_LENGTH, 0};
    Region& r = c.board.regions[region];
    if (r.refused)
        return {r.refusedStatus, r.refusedResult};
    const Blob bytes = makeBlob(std::vector<std::uint8_t>(in, in + length));
    if (r.absent || !sameBytes(r.bytes, bytes)) {
        r.absent = false;
        r.bytes = bytes;
        c.changed = true;
    }
    return {};
}

struct HandlerRow {
    std::uint8_t command;
    MailboxHandler handler;
};

// Later commands (objects, family value, downloads, keys) join this table.
const HandlerRow kHandlers[] = {
    {0x01, configRegionEraseCommand},
    {0x02, readNames},
    {0x11, readRevision},
    {0x17, readRegionCommand},
    {0x1B, updateRegionCommand},
    {0x1C, downLoadCommand},
    {0x1D, loadListDeleteCommand},
    {0x81, loadAreaCommand},
    {0x9B, sliConfigCommand},
    {0x9C, stagedWakeupCommand},
    {0xF9, securityCommand},
};

} // namespace

MailboxReply readRegionBytes(const Board& board, std::uint32_t region, std::uint32_t offset,
                             std::uint32_t length, std::uint8_t* out, std::uint32_t& delivered) {
    delivered = 0;
    const auto it = board.regions.find(region);
    if (it == board.regions.end() || it->second.absent)
        return {STATUS_REGION_ABSENT, 0};
    const Region& r = it->second;
    if (r.refused)
        return {r.refusedStatus, r.refusedResult};
    if (region == kWakeupRegion) {
        // The wakeup parameters as the card reports them: slots of programs the flash
        // does not hold read as zeros.
        std::vector<std::uint8_t> record(std::size_t(blobSize(r.bytes)));
        readBlob(r.bytes, 0, record.size(), record.data());
        wakeupAsReported(board, record);
        const std::size_t from = std::min<std::size_t>(offset, record.size());
        delivered = std::uint32_t(std::min<std::size_t>(length, record.size() - from));
        std::copy_n(record.begin() + std::ptrdiff_t(from), delivered, out);
    } else {
        delivered = std::uint32_t(readBlob(r.bytes, offset, length, out));
    }
    if (r.claimedLength)
        delivered = *r.claimedLength; // only claimed: nothing past `length` was written
    return {};
}

MailboxHandler findHandler(std::uint8_t command) {
    for (const HandlerRow& row : kHandlers)
        if (row.command == command)
            return row.handler;
    return nullptr;
}

std::uint32_t runMailbox(MailboxCall& call) {
    const std::uint8_t command = std::uint8_t(getBits(word(call, 0), 8, 8));
    const MailboxHandler handler = findHandler(command);
    const MailboxReply reply =
        handler != nullptr ? handler(call) : MailboxReply{STATUS_UNKNOWN_COMMAND, 0};
    setWord(call, 0, setBits(word(call, 0), 16, 16, reply.status));
    if (reply.result != 0)
        return reply.result;
    return reply.status != STATUS_OK ? RESULT_MAILBOX_FAILED : RESULT_OK;
}

} // namespace dfcsim
