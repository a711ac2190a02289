// The journal's request fields (see journal_fields.h). Each command's words are read
// here as its handler reads them; values stay in the request's own units: hexadecimal
// for addresses, ids and codes, decimal for sizes, offsets, counts and selectors.
#include "sim/journal_fields.h"

#include "common/bytes.h"

#include <cstdio>

namespace dfcsim {

namespace {

constexpr std::size_t kSliHeader = 24;   // embedded SLI_CFG request
constexpr std::size_t kSliSegment = 256; // request in a data segment
constexpr std::size_t kObjectName = 48;  // object name, NUL-ended, in 104 bytes
constexpr std::size_t kObjectNameBytes = 104;
constexpr std::size_t kKeyNameWord = 16; // security: key name, 16 big-endian words
constexpr std::uint32_t kKeyNameMax = 64;

// Request words and bytes; what lies past the request reads 0.
struct Request {
    const std::vector<std::uint8_t>& bytes;
    std::uint32_t word(std::size_t i) const {
        return i * 4 + 4 <= bytes.size() ? readHost32(bytes.data(), i * 4) : 0;
    }
    std::uint32_t wordAt(std::size_t offset) const {
        return offset + 4 <= bytes.size() ? readHost32(bytes.data(), offset) : 0;
    }
    std::uint8_t byteAt(std::size_t offset) const {
        return offset < bytes.size() ? bytes[offset] : 0;
    }
};

// Names keep their printable characters; a blank, '%', '=' or any other byte is
// written %XX, so that a field never contains a blank.
void addName(std::string& out, const char* key, const std::uint8_t* name, std::size_t n) {
    out += ' ';
    out += key;
    out += '=';
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint8_t c = name[i];
        if (c > 0x20 && c < 0x7F && c != '%' && c != '=') {
            out += char(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", unsigned(c));
            out += escaped;
        }
    }
}

void addProgramId(std::string& out, std::uint32_t first, std::uint32_t second) {
    char text[32];
    std::snprintf(text, sizeof text, "0x%08X:0x%08X", unsigned(first), unsigned(second));
    out += " programId=";
    out += text;
}

// 0x01: the sector to erase.
void regionErase(const Request& r, std::string& out) {
    addHexField(out, "sector", r.word(2), 8);
}

// 0x17: by kind; the length is in words, as asked.
void readRegion(const Request& r, std::string& out) {
    const std::uint32_t kind = getBits(r.word(1), 0, 4);
    addField(out, "kind", kind);
    if (kind == 1) {
        addHexField(out, "address", r.word(3), 8);
        addField(out, "words", r.word(4));
    } else if (kind == 2) {
        addField(out, "region", getBits(r.word(2), 0, 16));
        addField(out, "offset", getBits(r.word(2), 16, 16));
        addField(out, "words", r.word(4));
    } else if (kind == 4) {
        addHexField(out, "entry", getBits(r.word(2), 0, 16), 4);
    }
}

// 0x1B: by kind; word 2 holds the region and the update's length in bytes.
void updateRegion(const Request& r, std::string& out) {
    const std::uint32_t kind = getBits(r.word(1), 0, 4);
    addField(out, "kind", kind);
    if (kind == 1 || kind == 2) {
        addField(out, "region", getBits(r.word(2), 0, 16));
        addField(out, "length", getBits(r.word(2), 16, 16));
    }
    if (kind == 2)
        addField(out, "separateData", getBits(r.word(1), 5, 1));
}

// 0x1C: an erase (word 1 bit 4) or one chunk (bits 1 and 3; bit 0 the last).
void downLoad(const Request& r, std::string& out) {
    const std::uint32_t w1 = r.word(1);
    if (getBits(w1, 4, 1) != 0) {
        addField(out, "erase", 1);
        addField(out, "length", r.word(3));
        addProgramId(out, r.word(4), r.word(5));
        return;
    }
    addField(out, "program", (w1 & 0x0A) == 0x0A ? 1 : 0);
    addField(out, "length", r.word(3));
    addField(out, "last", getBits(w1, 0, 1));
}

// 0x1D: the program id whose load-list entries go.
void loadListDelete(const Request& r, std::string& out) {
    addProgramId(out, r.word(2), r.word(3));
}

// 0x81: erase steps carry the area's extent, load steps a chunk's length.
void loadArea(const Request& r, std::string& out) {
    const std::uint32_t w1 = r.word(1);
    const std::uint32_t step = getBits(w1, 16, 8);
    addField(out, "step", step);
    if (step < 1 || step > 4)
        return;
    addHexField(out, "address", r.word(2), 8);
    addField(out, step <= 2 ? "extent" : "length", r.word(3));
    addField(out, "area", getBits(w1, 24, 8));
}

// 0x9B: the subsystem, then what the request's opcode reads.
void sliConfig(const Request& r, std::string& out) {
    if ((r.word(1) & 1) == 0 && r.bytes.size() > kSliSegment) {
        addHexField(out, "subsystem", r.byteAt(kSliSegment + 1), 2);
        addField(out, "segment", r.word(2));
        return;
    }
    const std::uint8_t opcode = r.byteAt(kSliHeader);
    const std::uint8_t subsystem = r.byteAt(kSliHeader + 1);
    addHexField(out, "subsystem", subsystem, 2);
    const auto field = [&](std::size_t at) { return r.wordAt(kSliHeader + at); };
    if (subsystem == 0x01 && (opcode == 0xAB || opcode == 0xAC)) {
        std::size_t n = 0;
        while (n < kObjectNameBytes && r.byteAt(kObjectName + n) != 0)
            ++n;
        std::uint8_t name[kObjectNameBytes];
        for (std::size_t i = 0; i < n; ++i)
            name[i] = r.byteAt(kObjectName + i);
        addName(out, "object", name, n);
        if (opcode == 0xAB)
            addField(out, "descriptors", field(128));
        addField(out, "offset", field(20));
        addField(out, "length", getBits(field(16), 0, 24));
        if (opcode == 0xAC)
            addField(out, "last", getBits(field(16), 31, 1));
    } else if (subsystem == 0x13 && opcode == 0x02) {
        const std::uint32_t request = field(16);
        addField(out, "opType", getBits(request, 0, 1));
        if ((request & 1) != 0)
            addField(out, "length", getBits(request, 8, 8));
    }
}

// 0x9C: the phase; phase 10 carries the boot id that takes effect.
void stagedWakeup(const Request& r, std::string& out) {
    const std::uint32_t phase = getBits(r.word(1), 16, 8);
    addField(out, "phase", phase);
    if (phase == 10)
        addHexField(out, "bootId", r.word(4) & 0xFFFF, 4);
}

// 0xF9: the subcommand; a key set names its key.
void security(const Request& r, std::string& out) {
    const std::uint32_t sub = getBits(r.word(1), 24, 8);
    addField(out, "sub", sub);
    if (sub != 13)
        return;
    std::uint8_t name[kKeyNameMax];
    for (std::size_t i = 0; i < kKeyNameMax / 4; ++i)
        writeBe32(name, i * 4, r.word(kKeyNameWord + i));
    const std::uint32_t length = getBits(r.word(3), 16, 16);
    addName(out, "key", name, length < kKeyNameMax ? length : kKeyNameMax);
}

struct FieldRow {
    std::uint8_t command;
    void (*add)(const Request&, std::string&);
};

const FieldRow kFieldRows[] = {
    {0x01, regionErase}, {0x17, readRegion},     {0x1B, updateRegion},
    {0x1C, downLoad},    {0x1D, loadListDelete}, {0x81, loadArea},
    {0x9B, sliConfig},   {0x9C, stagedWakeup},   {0xF9, security},
};

} // namespace

void addField(std::string& out, const char* key, std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%u", unsigned(value));
    out += ' ';
    out += key;
    out += '=';
    out += text;
}

void addHexField(std::string& out, const char* key, std::uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%0*X", digits, unsigned(value));
    out += ' ';
    out += key;
    out += '=';
    out += text;
}

std::string mailboxFields(const std::vector<std::uint8_t>& request) {
    const Request r{request};
    const std::uint8_t command = std::uint8_t(getBits(r.word(0), 8, 8));
    std::string out;
    for (const FieldRow& row : kFieldRows)
        if (row.command == command)
            row.add(r, out);
    return out;
}

} // namespace dfcsim
