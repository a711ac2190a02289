// SHA-256 (FIPS 180-4): the checksum the update history records for each payload file,
// the one `sha256sum` prints, so that an operator can tell which file was flashed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

class Sha256 {
public:
    Sha256();
    void update(const void* data, std::size_t size);
    // The digest of everything given; the object is spent afterwards.
    std::array<std::uint8_t, 32> finish();

private:
    void block(const std::uint8_t* bytes);
    std::array<std::uint32_t, 8> state_;
    std::array<std::uint8_t, 64> pending_{};
    std::size_t pendingSize_ = 0;
    std::uint64_t totalBytes_ = 0;
};

// The digest as 64 lower-case hexadecimal digits.
std::string sha256Hex(const std::array<std::uint8_t, 32>& digest);
