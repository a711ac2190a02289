// Reads of an adapter's numbered configuration regions and of its configuration
// parameter triple.
#pragma once

#include <cstdint>

// Statuses of the region reads.
constexpr std::uint32_t REGION_READ_FAILED = 1;
constexpr std::uint32_t REGION_ABSENT = 2;
constexpr std::uint32_t REGION_ACCESS_NOT_PERMITTED = 217;
constexpr std::uint32_t REGION_READ_NOT_AVAILABLE = 231;

// Mailbox statuses with which an adapter answers region requests.
constexpr std::uint16_t MAILBOX_STATUS_REGION_ABSENT = 0xE0;
constexpr std::uint16_t MAILBOX_STATUS_NOT_PERMITTED = 0xFFF7;
constexpr std::uint16_t MAILBOX_STATUS_NOT_PERMITTED_2 = 0xFFFD;
constexpr std::uint16_t MAILBOX_STATUS_PARAMETER_UNAVAILABLE = 0xFA;

// Bytes one classic region-read mailbox can carry (they follow word 5 of 32).
constexpr std::uint32_t kRegionChunkBytes = 108;

// Reads `length` bytes of a region from `offset` into buffer; on 0, length holds the
// bytes delivered (fewer when the region ends). Level-4 boards read with one dump
// call (region 16 is sent as 32); others in classic chunks. Returns the failing
// status otherwise.
std::uint32_t readConfigRegion(std::uint32_t board, std::uint32_t region, std::uint32_t offset,
                               std::uint32_t& length, std::uint8_t* buffer);

// READ_REGION through the mailbox-with-data call. Returns 0 and got = bytes copied
// (at most length), 217 when access is not permitted, 2 when the region is absent,
// 1 on any other failure.
std::uint32_t ReadRegionEx(std::uint32_t board, std::uint32_t type, std::uint32_t region,
                           std::uint32_t length, std::uint32_t& got, std::uint8_t* buffer);
// ReadRegionEx of a configuration region (type 2).
std::uint32_t ReadRegion(std::uint32_t board, std::uint32_t region, std::uint32_t length,
                         std::uint32_t& got, std::uint8_t* buffer);

// Reads words × 4 bytes of a region from offset. Returns 0 with bytes = what the
// region delivered, or the failure with bytes = 0.
std::uint32_t ReadRegionWords(std::uint32_t board, std::uint8_t* buffer, std::uint32_t region,
                              std::uint32_t words, std::uint32_t offset, std::uint32_t& bytes);

// Bytes of the boot-code region (4) and the part of region 20 that holds the FFV.
constexpr std::uint32_t kBootCodeRegionBytes = 60;
constexpr std::uint32_t kRegion20Bytes = 8;
constexpr std::uint32_t REGION20_READ_FAILED = 81;

// Reads the 60-byte boot-code region (region 4 from offset 0, 15 words). Returns the
// read's status; an answer shorter than the region fails the read (REGION_READ_FAILED)
// and leaves out zeroed.
std::uint32_t readBootCodeRegion(std::uint32_t board, std::uint8_t (&out)[kBootCodeRegionBytes]);

// The first 8 bytes of a 32-byte read of region 20 from offset 0. Returns 0, or 81
// when the read fails.
std::uint32_t readConfigRegion20(std::uint32_t board, std::uint8_t (&out)[kRegion20Bytes]);

// Reads the configuration parameter triple of the families that have one (others:
// value 0, result 0). Returns 0, or 231 with value 0xFFFFFF when the adapter cannot
// answer region reads; other failures give value 0 and result 0.
std::uint32_t ReadConfigTriple(std::uint32_t board, std::uint32_t& value);
