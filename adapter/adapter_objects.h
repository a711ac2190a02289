// Owns the adapter-side object store of Ferrox adapters, reached through SLI_CFG mailboxes
// on boards with the extended V2 mailbox: object size, object reads and writes in
// 1024-byte pieces, and the running firmware's version texts.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>
#include <functional>

// Statuses of the object layer. A write that succeeded may instead answer the
// RM_STATUS codes RESET_REQUIRED or REBOOT_REQUIRED (image/image_status.h).
constexpr std::uint32_t OBJECT_OK = 0;
constexpr std::uint32_t OBJECT_FAILED = 1;
constexpr std::uint32_t OBJECT_NO_EXTENDED_MAILBOX = 2;
constexpr std::uint32_t OBJECT_NOT_FOUND = 3;
constexpr std::uint32_t OBJECT_BAD_ARGUMENT = 4;
constexpr std::uint32_t OBJECT_BUFFER_TOO_SMALL = 7;
constexpr std::uint32_t OBJECT_OUT_OF_MEMORY = 8;
constexpr std::uint32_t OBJECT_LENGTH_NOT_WORDS = 194; // RM_STATUS_ERROR_INCOMP_IMAGE
constexpr std::uint32_t OBJECT_INVALID_SIGNATURE = 203;
constexpr std::uint32_t OBJECT_MISSING_SIGNATURE = 209;

// Bytes one object command carries behind the 256-byte mailbox.
constexpr std::uint32_t kObjectPieceBytes = 1024;
// Longest object name that travels whole in the request (26 words, NUL included).
constexpr std::uint32_t kObjectNameMax = 100;

// The two version texts of the running firmware.
struct FwVersionTexts {
    FixedText<33> active; // running now
    FixedText<33> flash;  // in flash, active after the next reset
};

// Size of a named object. Returns 0 with size set, 3 (no such object), 4 (bad name or
// no size), or 1.
std::uint32_t SLI_CFG_GetObjectSize(std::uint32_t board, const char* name, std::uint32_t* size);

// Reads a whole object into buffer. Returns 0 with got = bytes read; 7 with got = the
// object's size when the buffer is too small; 2, 3, 4 or 1 otherwise.
std::uint32_t SLI_CFG_ReadObject(std::uint32_t board, const char* name, std::uint8_t* buffer,
                                 std::uint32_t capacity, std::uint32_t* got);

// Told after each piece the adapter took: the bytes written so far of the object's length.
using ObjectWriteProgress = std::function<void(std::uint32_t written, std::uint32_t length)>;

// Writes length bytes as the object. Returns 0, REBOOT_REQUIRED or RESET_REQUIRED
// (as the adapter's change status asks), or 1, 2, 3, 4, 194, 203, 209; written holds
// the bytes the adapter took.
std::uint32_t SLI_CFG_WriteObject(std::uint32_t board, const char* name, const std::uint8_t* data,
                                  std::uint32_t length, std::uint32_t* written, int flag,
                                  const ObjectWriteProgress& progress = {});

// The running firmware's active and flash version texts. Returns 0, 1, 2 or 4.
std::uint32_t SLI_CFG_GetFwVersion(std::uint32_t board, FwVersionTexts* out);
