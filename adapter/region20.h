// The 8-byte write of configuration region 20 (where boards without the FFV request
// keep their family value), with the region reconstruct that a failed write calls for.
#pragma once

#include <cstdint>

constexpr std::uint32_t kRegion20 = 20;
constexpr std::uint32_t kRegion20WriteBytes = 8;

// Status of a region write that failed again after the reconstruct.
constexpr std::uint32_t REGION20_WRITE_FAILED = 38;
// Status of a reconstruct whose load list names no known flash layout.
constexpr std::uint32_t REGION_RECONSTRUCT_FAILED = 200;

// Writes 8 bytes as region 20. Returns 0; after a failure it reconstructs the region
// and tries once more: 38 when that fails too, or the reconstruct's own failure.
std::uint32_t WriteConfigRegion20(std::uint32_t board, const std::uint8_t* data8);

// Erases a configuration region's flash sector and creates the region afresh with
// `length` bytes. Returns 0, 200 for an unknown load-list layout, or a mailbox status.
std::uint32_t ReconstructConfigRegion(std::uint32_t board, std::uint32_t region,
                                      std::uint32_t length);
