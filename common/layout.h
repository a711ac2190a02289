// Binary layouts declared once: a field is an offset, a width, a byte order and, where
// the format fixes it, a value. Each format's owner declares its fields with these
// (image/image_layouts.h, adapter/mailbox_layouts.h); readers, writers and the
// download engine go through the checked get/set here, which refuse a field that does
// not fit the bytes they are given. Built on the byte helpers of common/bytes.h.
#pragma once

#include "common/bytes.h"

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>

namespace layout {

enum class Order : std::uint8_t {
    Big,    // files
    Little, // the option ROM and its PCI data structure
    Host,   // mailbox words and the driver-information record
    Bytes,  // a run of bytes kept in file order (texts, signatures)
};

struct Field {
    std::size_t offset;
    std::size_t width; // bytes: 1, 2 or 4 for numbers; any for Order::Bytes
    Order order;
    bool fixed = false; // the format requires `value` here
    std::uint32_t value = 0;

    constexpr std::size_t end() const { return offset + width; }
};

constexpr Field be32(std::size_t offset) { return {offset, 4, Order::Big}; }
constexpr Field be32(std::size_t offset, std::uint32_t fixedValue) {
    return {offset, 4, Order::Big, true, fixedValue};
}
constexpr Field le16(std::size_t offset) { return {offset, 2, Order::Little}; }
constexpr Field le16(std::size_t offset, std::uint32_t fixedValue) {
    return {offset, 2, Order::Little, true, fixedValue};
}
constexpr Field le32(std::size_t offset) { return {offset, 4, Order::Little}; }
constexpr Field le32(std::size_t offset, std::uint32_t fixedValue) {
    return {offset, 4, Order::Little, true, fixedValue};
}
constexpr Field host32(std::size_t offset) { return {offset, 4, Order::Host}; }
constexpr Field byte8(std::size_t offset) { return {offset, 1, Order::Big}; }
constexpr Field byte8(std::size_t offset, std::uint32_t fixedValue) {
    return {offset, 1, Order::Big, true, fixedValue};
}
constexpr Field bytes(std::size_t offset, std::size_t width) { return {offset, width, Order::Bytes}; }

// The field as seen in a piece of the format read from byte `base` on (readers that
// stream a file in pieces).
constexpr Field within(const Field& f, std::size_t base) {
    return {f.offset - base, f.width, f.order, f.fixed, f.value};
}

// A header already turned into 32-bit words (the download engine keeps PRG and AIF
// headers so): the index of a word-aligned 4-byte field, checked at compile time.
consteval std::size_t wordIndex(const Field& f) {
    return f.width == 4 && f.offset % 4 == 0 ? f.offset / 4 : throw "not a whole word";
}

// A bit field [low, low+width) of word `word` (a mailbox word, or a header word).
struct Bits {
    std::size_t word;
    unsigned low;
    unsigned width;
};

// True when the field lies inside `size` bytes and, for a number, has a width the
// helpers read.
constexpr bool fits(const Field& f, std::size_t size) {
    if (f.offset > size || f.width > size - f.offset)
        return false;
    return f.order == Order::Bytes || f.width == 1 || f.width == 2 || f.width == 4;
}

// True when every field fits `size` and no two of them share a byte: the compile-time
// check each layout makes of itself.
constexpr bool wellFormed(std::initializer_list<Field> fields, std::size_t size) {
    for (const Field* a = fields.begin(); a != fields.end(); ++a) {
        if (!fits(*a, size))
            return false;
        for (const Field* b = a + 1; b != fields.end(); ++b)
            if (a->offset < b->end() && b->offset < a->end())
                return false;
    }
    return true;
}

// True when the bit fields stay inside their word and no two of one word overlap.
constexpr bool wellFormed(std::initializer_list<Bits> fields) {
    for (const Bits* a = fields.begin(); a != fields.end(); ++a) {
        if (a->width == 0 || a->low + a->width > 32)
            return false;
        for (const Bits* b = a + 1; b != fields.end(); ++b)
            if (a->word == b->word && a->low < b->low + b->width && b->low < a->low + a->width)
                return false;
    }
    return true;
}

// The field's value from bytes the caller has already sized to hold it (a buffer
// whose size a layout's static_assert ties to the field). Order::Bytes reads as 0.
inline std::uint32_t at(const std::uint8_t* bytes, const Field& f) {
    switch (f.width) {
    case 1:
        return bytes[f.offset];
    case 2:
        return f.order == Order::Little ? readLe16(bytes, f.offset) : readBe16(bytes, f.offset);
    case 4:
        if (f.order == Order::Host)
            return readHost32(bytes, f.offset);
        return f.order == Order::Little ? readLe32(bytes, f.offset) : readBe32(bytes, f.offset);
    default:
        return 0;
    }
}

inline void put(std::uint8_t* bytes, const Field& f, std::uint32_t value) {
    switch (f.width) {
    case 1:
        bytes[f.offset] = std::uint8_t(value);
        break;
    case 2:
        if (f.order == Order::Little)
            writeLe16(bytes, f.offset, std::uint16_t(value));
        else
            writeBe16(bytes, f.offset, std::uint16_t(value));
        break;
    case 4:
        if (f.order == Order::Host)
            writeHost32(bytes, f.offset, value);
        else if (f.order == Order::Little)
            writeLe32(bytes, f.offset, value);
        else
            writeBe32(bytes, f.offset, value);
        break;
    default:
        break;
    }
}

// Checked read: nothing when the field does not fit the span (or is a byte run).
inline std::optional<std::uint32_t> get(std::span<const std::uint8_t> bytes, const Field& f) {
    if (!fits(f, bytes.size()) || f.order == Order::Bytes)
        return std::nullopt;
    return at(bytes.data(), f);
}

// Checked write: false, and nothing written, when the field does not fit the span.
inline bool set(std::span<std::uint8_t> bytes, const Field& f, std::uint32_t value) {
    if (!fits(f, bytes.size()) || f.order == Order::Bytes)
        return false;
    put(bytes.data(), f, value);
    return true;
}

// Writes a fixed field's required value; false when it does not fit or is not fixed.
inline bool setFixed(std::span<std::uint8_t> bytes, const Field& f) {
    return f.fixed && set(bytes, f, f.value);
}

// True when the field fits and holds the value its format fixes.
inline bool holdsFixed(std::span<const std::uint8_t> bytes, const Field& f) {
    const std::optional<std::uint32_t> v = get(bytes, f);
    return f.fixed && v && *v == f.value;
}

// The bytes of a run field, or an empty span when it does not fit.
inline std::span<const std::uint8_t> run(std::span<const std::uint8_t> bytes, const Field& f) {
    return fits(f, bytes.size()) ? bytes.subspan(f.offset, f.width) : std::span<const std::uint8_t>();
}

// A bit field of a 32-bit value.
inline std::uint32_t get(std::uint32_t word, const Bits& b) { return getBits(word, b.low, b.width); }
inline std::uint32_t set(std::uint32_t word, const Bits& b, std::uint32_t value) {
    return setBits(word, b.low, b.width, value);
}

} // namespace layout
