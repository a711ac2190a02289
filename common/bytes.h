// Explicit byte-order helpers for data from files and adapters. Every read is
// bounds-checked by the caller's size; nothing is cast from raw bytes to structs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

inline std::uint32_t readBe32(const std::uint8_t* bytes, std::size_t offset) {
    return (std::uint32_t(bytes[offset]) << 24) | (std::uint32_t(bytes[offset + 1]) << 16) |
           (std::uint32_t(bytes[offset + 2]) << 8) | std::uint32_t(bytes[offset + 3]);
}

inline std::uint32_t readLe32(const std::uint8_t* bytes, std::size_t offset) {
    return std::uint32_t(bytes[offset]) | (std::uint32_t(bytes[offset + 1]) << 8) |
           (std::uint32_t(bytes[offset + 2]) << 16) | (std::uint32_t(bytes[offset + 3]) << 24);
}

inline std::uint16_t readBe16(const std::uint8_t* bytes, std::size_t offset) {
    return std::uint16_t((bytes[offset] << 8) | bytes[offset + 1]);
}

inline std::uint16_t readLe16(const std::uint8_t* bytes, std::size_t offset) {
    return std::uint16_t(bytes[offset] | (bytes[offset + 1] << 8));
}

inline void writeBe32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = std::uint8_t(value >> 24);
    bytes[offset + 1] = std::uint8_t(value >> 16);
    bytes[offset + 2] = std::uint8_t(value >> 8);
    bytes[offset + 3] = std::uint8_t(value);
}

inline void writeLe32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
    bytes[offset] = std::uint8_t(value);
    bytes[offset + 1] = std::uint8_t(value >> 8);
    bytes[offset + 2] = std::uint8_t(value >> 16);
    bytes[offset + 3] = std::uint8_t(value >> 24);
}

inline void writeBe16(std::uint8_t* bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = std::uint8_t(value >> 8);
    bytes[offset + 1] = std::uint8_t(value);
}

inline void writeLe16(std::uint8_t* bytes, std::size_t offset, std::uint16_t value) {
    bytes[offset] = std::uint8_t(value);
    bytes[offset + 1] = std::uint8_t(value >> 8);
}

// Bit field [low, low+width) of a 32-bit word.
inline std::uint32_t getBits(std::uint32_t word, unsigned low, unsigned width) {
    const std::uint32_t mask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
    return (word >> low) & mask;
}

inline std::uint32_t setBits(std::uint32_t word, unsigned low, unsigned width, std::uint32_t value) {
    const std::uint32_t mask = width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1u);
    return (word & ~(mask << low)) | ((value & mask) << low);
}

// Mailbox words travel in the host's own order between the program and the library.
inline std::uint32_t readHost32(const std::uint8_t* bytes, std::size_t offset) {
    std::uint32_t value;
    std::memcpy(&value, bytes + offset, sizeof value);
    return value;
}

inline void writeHost32(std::uint8_t* bytes, std::size_t offset, std::uint32_t value) {
    std::memcpy(bytes + offset, &value, sizeof value);
}
