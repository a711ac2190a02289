// Handlers of the object store, firmware-version and family-value requests and of the
// region reconstruct (see handlers_objects.h), with the SLI_CFG table by opcode and
// subsystem. A "/prg" image that carries the mark "DFCSIM:NOSIG" or "DFCSIM:BADSIG"
// fails its signature check.
#include "sim/handlers_objects.h"

#include "common/bytes.h"
#include "sim/handlers_inventory.h"
#include "sim/timing.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>

namespace dfcsim {

namespace {

constexpr std::size_t kImageBytes = 256; // the SLI_CFG mailbox; a data area follows
constexpr std::size_t kHeader = 24;      // embedded request header
constexpr std::size_t kNameBytes = 104;  // header bytes 24-127
constexpr std::uint8_t kAdditionalNotFound = 0xA0;
constexpr std::uint8_t kAdditionalInvalidSignature = 0x56;
constexpr std::uint8_t kAdditionalMissingSignature = 0x57;
constexpr std::uint32_t kFamilyValueLength = 36; // request and response length
constexpr std::size_t kFamilyValueBytes = 32;

// Marks that make a written firmware image fail its signature check.
constexpr const char* kMarkMissingSignature = "DFCSIM:NOSIG";
constexpr const char* kMarkInvalidSignature = "DFCSIM:BADSIG";

std::uint32_t word(const MailboxCall& c, std::size_t i) {
    return i * 4 + 4 <= c.mailbox.size() ? readHost32(c.mailbox.data(), i * 4) : 0;
}

// Header fields by byte offset inside the embedded request.
std::uint32_t field(const MailboxCall& c, std::size_t at) {
    return readHost32(c.mailbox.data(), kHeader + at);
}

void setField(MailboxCall& c, std::size_t at, std::uint32_t value) {
    writeHost32(c.mailbox.data(), kHeader + at, value);
}

MailboxReply answer(MailboxCall& c, std::uint8_t status, std::uint8_t additional) {
    c.mailbox[kHeader + 4] = status;
    c.mailbox[kHeader + 5] = additional;
    if (status == 0)
        return {};
    return {std::uint16_t((additional << 8) | status), 0};
}

MailboxReply badRequest(MailboxCall& c) {
    return answer(c, EMBEDDED_BAD_REQUEST, 0);
}

std::uint8_t* dataArea(MailboxCall& c) {
    return c.mailbox.data() + kImageBytes;
}

std::size_t dataRoom(const MailboxCall& c) {
    return c.mailbox.size() - kImageBytes;
}

// The NUL-terminated object name of words 6-31, or "" when it has no end.
std::string objectName(const MailboxCall& c) {
    const char* at = reinterpret_cast<const char*>(c.mailbox.data() + kHeader + 24);
    const std::size_t n = strnlen(at, kNameBytes);
    return n < kNameBytes ? std::string(at, n) : std::string();
}

// Looks for the signature marks in a piece of a "/prg" write, also where a mark
// begins in the pieces before.
void findMarks(ObjectStore& s, const std::uint8_t* piece, std::size_t count) {
    std::string window = s.markTail;
    window.append(reinterpret_cast<const char*>(piece), count);
    if (window.find(kMarkMissingSignature) != std::string::npos)
        s.missingSignature = true;
    if (window.find(kMarkInvalidSignature) != std::string::npos)
        s.invalidSignature = true;
    const std::size_t keep = std::strlen(kMarkInvalidSignature) - 1; // the longer mark
    s.markTail = window.substr(window.size() > keep ? window.size() - keep : 0);
}

// A GRP image names its version at the start of its build string (byte 12); none
// when the bytes do not begin with a GRP header.
std::optional<std::string> grpVersion(const std::uint8_t* image, std::size_t size) {
    if (size < 140)
        return std::nullopt;
    const std::uint32_t magic = readBe32(image, 4);
    if (magic != 0xFEAA0001 && magic != 0xFEAA0003)
        return std::nullopt;
    std::string version;
    for (std::size_t i = 12; i < 140 && (std::isdigit(image[i]) || image[i] == '.'); ++i)
        version += char(image[i]);
    return version;
}

void takeFlashVersionFrom(MailboxCall& c, const std::vector<std::uint8_t>& image) {
    const std::optional<std::string> taken = grpVersion(image.data(), image.size());
    if (!taken)
        return;
    const std::string& version = *taken;
    ObjectStore& s = c.board.objects;
    if (!s.firmwareGiven) {
        s.activeFirmware = c.board.firmwareVersion.substr(0, 32);
        s.firmwareGiven = true;
    }
    s.flashFirmware = version;
}

// 0xAB: size query (no descriptor) or one piece of an object.
MailboxReply readObject(MailboxCall& c) {
    const std::uint32_t descriptors = field(c, 128);
    if (descriptors > 1 || field(c, 8) != 116 + 12 * descriptors)
        return badRequest(c);
    const std::string name = objectName(c);
    if (name.empty())
        return badRequest(c);
    const std::uint32_t desired = getBits(field(c, 16), 0, 24);
    const std::uint32_t offset = field(c, 20);
    const auto it = c.board.objects.objects.find(name);
    if (it == c.board.objects.objects.end())
        return answer(c, EMBEDDED_NOT_FOUND, kAdditionalNotFound);
    const Blob& bytes = it->second;
    const std::uint64_t size = blobSize(bytes);
    if (descriptors == 0) {
        if (desired != 0)
            return badRequest(c);
        setField(c, 16, std::uint32_t(size));
        return answer(c, 0, 0);
    }
    if (desired > getBits(field(c, 132), 0, 24) || desired > dataRoom(c) || offset > size)
        return badRequest(c);
    modelWait(c.board.timing, WaitKind::ObjectPiece);
    const std::uint32_t actual = std::uint32_t(readBlob(bytes, offset, desired, dataArea(c)));
    setField(c, 16, actual);
    setField(c, 20, offset + actual == size ? 0x80000000u : 0);
    return answer(c, 0, 0);
}

// 0xAC: one piece of an object write. Pieces come in order from offset 0; the object
// is replaced when the last piece has arrived and (for "/prg") passed its checks.
MailboxReply writeObject(MailboxCall& c) {
    if (field(c, 128) != 1 || field(c, 8) != 128)
        return badRequest(c);
    const std::string name = objectName(c);
    const std::uint32_t piece = getBits(field(c, 16), 0, 24);
    const bool last = (field(c, 16) & 0x80000000u) != 0;
    const std::uint32_t offset = field(c, 20);
    if (name.empty() || piece == 0 || piece % 4 != 0 || piece > getBits(field(c, 132), 0, 24) ||
        piece > dataRoom(c))
        return badRequest(c);
    ObjectStore& s = c.board.objects;
    const bool firmware = name == "/prg";
    if (offset == 0) {
        s.pendingName = name;
        startBlob(s.pending, c.board.fileStem, blobField("object", name));
        s.markTail.clear();
        s.missingSignature = s.invalidSignature = false;
        if (firmware && s.prgInPlace) { // the first piece erases the image flash held
            s.objects.erase(name);
            s.prgPartial = true;
            c.changed = true;
        }
    } else if (s.pendingName != name || offset != s.pending.size) {
        return badRequest(c);
    }
    modelWait(c.board.timing, WaitKind::ObjectPiece);
    if (firmware)
        findMarks(s, dataArea(c), piece);
    appendBlob(s.pending, dataArea(c), piece);
    setField(c, 16, piece);
    setField(c, 20, 0);
    if (!last)
        return answer(c, 0, 0);

    s.pendingName.clear();
    if (firmware && (s.missingSignature || s.invalidSignature)) {
        discardBlob(s.pending);
        return answer(c, EMBEDDED_SIGNATURE,
                      s.missingSignature ? kAdditionalMissingSignature : kAdditionalInvalidSignature);
    }
    if (firmware) {
        takeFlashVersionFrom(c, s.pending.head);
        c.mailbox[kHeader + 20] = s.prgChangeStatus;
    }
    Blob image = finishBlob(s.pending);
    Blob& stored = s.objects[name];
    if (firmware)
        s.prgPartial = false;
    if (firmware || !sameBytes(stored, image)) {
        stored = std::move(image);
        c.changed = true;
    } else {
        removeBlobFile(image); // the same bytes again: the object's own file stays
    }
    return answer(c, 0, 0);
}

void putText(MailboxCall& c, std::size_t at, const std::string& text) {
    std::memset(c.mailbox.data() + kHeader + at, 0, 32);
    std::memcpy(c.mailbox.data() + kHeader + at, text.data(),
                std::min<std::size_t>(32, text.size()));
}

// 0x23: the running firmware's active and flash version texts.
MailboxReply firmwareVersion(MailboxCall& c) {
    if (field(c, 8) != 64)
        return badRequest(c);
    putText(c, 16, activeFirmwareOf(c.board));
    putText(c, 48, flashFirmwareOf(c.board));
    return answer(c, 0, 0);
}

// Opcode 2 of subsystem 0x13: read (opType 0) or write (opType 1) the family value.
MailboxReply familyValue(MailboxCall& c) {
    if (field(c, 8) != kFamilyValueLength)
        return badRequest(c);
    const std::uint32_t request = field(c, 16);
    ObjectStore& s = c.board.objects;
    std::uint8_t* ffv = c.mailbox.data() + kHeader + 20;
    if ((request & 1) != 0) {
        const std::uint32_t length = getBits(request, 8, 8);
        if (length == 0 || length > kFamilyValueBytes)
            return badRequest(c);
        std::vector<std::uint8_t> value(ffv, ffv + length);
        if (!s.ffvGiven || s.ffv != value) {
            s.ffv = std::move(value);
            s.ffvGiven = true;
            c.changed = true;
        }
    } else {
        std::memset(ffv, 0, kFamilyValueBytes);
        const std::size_t length = std::min<std::size_t>(s.ffv.size(), kFamilyValueBytes);
        if (length != 0)
            std::memcpy(ffv, s.ffv.data(), length);
        c.mailbox[kHeader + 17] = std::uint8_t(length);
    }
    setField(c, 8, kFamilyValueLength);
    setField(c, 12, kFamilyValueLength);
    return answer(c, 0, 0);
}

struct SliRow {
    std::uint8_t opcode;
    std::uint8_t subsystem;
    MailboxHandler handler;
};

// Further SLI_CFG requests join this table.
const SliRow kSliHandlers[] = {
    {0x23, 0x01, firmwareVersion},
    {0xAB, 0x01, readObject},
    {0xAC, 0x01, writeObject},
    {0x02, 0x13, familyValue},
    {0x42, 0x01, probeCommand},
};

// Base of the configuration regions' flash sectors, from the first load-list entry.
bool regionsBase(const Board& b, std::uint32_t& base) {
    const auto at = [&](std::uint32_t address) {
        const auto it = b.memory.find(address);
        return it != b.memory.end() ? it->second : 0u;
    };
    switch (at(at(0x79C) + 8) & 0xFFFFF) {
    case 0x20000:
        base = 0x70000;
        return true;
    case 0x40004:
        base = 0x1E0000;
        return true;
    default:
        return false;
    }
}

} // namespace

std::string activeFirmwareOf(const Board& board) {
    if (board.flash.noFirmware)
        return "";
    return board.objects.firmwareGiven ? board.objects.activeFirmware : board.firmwareVersion;
}

std::string flashFirmwareOf(const Board& board) {
    const ObjectStore& s = board.objects;
    if (s.prgPartial)
        return "";
    const std::string given = s.firmwareGiven ? s.flashFirmware : board.firmwareVersion;
    const auto prg = s.objects.find("/prg");
    if (prg == s.objects.end())
        return given;
    std::uint8_t header[140];
    const std::size_t n = readBlob(prg->second, 0, sizeof header, header);
    return grpVersion(header, n).value_or(given);
}

MailboxReply sliConfigCommand(MailboxCall& c) {
    if (c.mailbox.size() >= kImageBytes && (word(c, 1) & 1) == 0)
        return sliConfigSegmentCommand(c); // request in a data segment
    // The SLI_CFG image is 256 bytes, embedded, with its fixed payload length.
    if (c.mailbox.size() < kImageBytes || (word(c, 1) & 1) == 0 || word(c, 2) != 232)
        return {STATUS_BAD_LENGTH, 0};
    const std::uint8_t opcode = c.mailbox[kHeader];
    const std::uint8_t subsystem = c.mailbox[kHeader + 1];
    for (const SliRow& row : kSliHandlers)
        if (row.opcode == opcode && row.subsystem == subsystem)
            return row.handler(c);
    return {STATUS_UNKNOWN_COMMAND, 0};
}

MailboxReply configRegionEraseCommand(MailboxCall& c) {
    if (getBits(word(c, 1), 8, 24) != 0x123456)
        return {STATUS_UNKNOWN_COMMAND, 0};
    std::uint32_t base = 0;
    const std::uint32_t address = word(c, 2);
    if (!regionsBase(c.board, base) || address < base || (address - base) % 4096 != 0)
        return {STATUS_BAD_ADDRESS, 0};
    Region& r = c.board.regions[(address - base) / 4096];
    if (r.refused)
        return {r.refusedStatus, r.refusedResult};
    modelWait(c.board.timing, WaitKind::Erase);
    if (r.absent || blobSize(r.bytes) != 0) {
        r.absent = false;
        r.bytes = {};
        c.changed = true;
    }
    return {};
}

MailboxReply updateRegionOtherKind(MailboxCall& c) {
    switch (getBits(word(c, 1), 0, 4)) {
    case 3:
        return {};
    case 1: {
        const std::uint32_t region = getBits(word(c, 2), 0, 16);
        const std::uint32_t length = getBits(word(c, 2), 16, 16);
        if (length == 0 || word(c, 4) != length)
            return {STATUS_BAD_LENGTH, 0};
        Region& r = c.board.regions[region];
        if (r.refused)
            return {r.refusedStatus, r.refusedResult};
        r.absent = false;
        r.bytes = makeBlob(std::vector<std::uint8_t>(length, 0));
        c.changed = true;
        return {};
    }
    default:
        return {STATUS_UNKNOWN_COMMAND, 0};
    }
}

} // namespace dfcsim
