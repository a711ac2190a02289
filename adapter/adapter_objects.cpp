// The adapter object store over SLI_CFG mailboxes (see adapter_objects.h).
#include "adapter/adapter_objects.h"

#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "image/image_status.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>

namespace {

// Offsets in the embedded request header of the object opcodes.
constexpr std::size_t kLengthField = 16; // word 4: desired / actual length
constexpr std::size_t kOffsetField = 20; // word 5: offset; response: end bit, change status
constexpr std::size_t kNameField = 24;   // words 6-31
constexpr std::size_t kNameFieldBytes = 104;
constexpr std::size_t kDescriptorCountField = 128; // word 32
constexpr std::size_t kDescriptorField = 132;      // word 33: first descriptor's size

constexpr std::uint8_t kObjectSubsystem = 1;
constexpr std::uint32_t kRequestLengthBase = 116;
constexpr std::uint32_t kDescriptorBytes = 12;
constexpr std::uint32_t kObjectWaitMs = 300000; // one try; the adapter may take that long

constexpr std::uint32_t kLastPiece = 0x80000000u;
constexpr std::uint32_t kNoFlag = 0x40000000u;
constexpr std::uint32_t kEndOfObject = 0x80000000u;

constexpr std::uint8_t kStatusNotFound = 1;
constexpr std::uint8_t kAdditionalNotFound = 0xA0;
constexpr std::uint8_t kStatusSignature = 0x17;
constexpr std::uint8_t kAdditionalInvalidSignature = 0x56;
constexpr std::uint8_t kAdditionalMissingSignature = 0x57;

// Bytes of the version request and where its answer texts sit.
constexpr std::uint32_t kFwVersionRequestLength = 64;
constexpr std::size_t kActiveTextField = 16;
constexpr std::size_t kFlashTextField = 48;
constexpr std::size_t kFwTextBytes = 32;

// Names longer than the request's name field would travel cut short and address some
// other object, so they are refused like empty names.
bool validName(const char* name) {
    if (name == nullptr)
        return false;
    const std::size_t n = strnlen(name, kObjectNameMax + 1);
    return n >= 1 && n <= kObjectNameMax;
}

SliConfigImage objectRequest(std::uint8_t opcode, const char* name, std::uint32_t descriptors) {
    SliConfigImage m = makeSliConfigImage(opcode, kObjectSubsystem,
                                          kRequestLengthBase + kDescriptorBytes * descriptors,
                                          descriptors != 0 ? kObjectPieceBytes : 0);
    // The name is copied byte by byte: whole-word copies would read past its end.
    std::memcpy(m.bytes.data() + kSliEmbeddedOffset + kNameField, name,
                std::min<std::size_t>(std::strlen(name), kNameFieldBytes - 1));
    setSliRequestWord(m, kDescriptorCountField, descriptors);
    if (descriptors != 0)
        setSliRequestWord(m, kDescriptorField, kObjectPieceBytes);
    return m;
}

std::uint32_t issueObjectRequest(std::uint32_t board, SliConfigImage& m) {
    return dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), sliConfigWords(m), 1, kObjectWaitMs);
}

std::uint32_t notFoundOrFailed(const SliConfigImage& m) {
    return sliResponseStatus(m) == kStatusNotFound &&
                   sliResponseAdditionalStatus(m) == kAdditionalNotFound
               ? OBJECT_NOT_FOUND
               : OBJECT_FAILED;
}

std::uint8_t* dataArea(SliConfigImage& m) {
    return m.bytes.data() + kSliConfigBytes;
}

std::uint32_t readPieces(std::uint32_t board, const char* name, std::uint8_t* buffer,
                         std::uint32_t size, std::uint32_t* got) {
    std::uint32_t offset = 0;
    std::uint32_t desired = std::min(size, kObjectPieceBytes);
    bool endOfObject = false;
    while (desired > 0 && !endOfObject) {
        SliConfigImage m = objectRequest(SLI_OPCODE_READ_OBJECT, name, 1);
        setSliRequestWord(m, kLengthField, desired);
        setSliRequestWord(m, kOffsetField, offset);
        if (tracingKeysAndObjects())
            debugPrint("[SLI_CFG_ReadObject]Call DFC_IssueMboxWithRetryV2 for %s object: "
                       "readOffset: 0x%x, desiredReadLength: %d, hostBufferDescriptorCount: %d, "
                       "hostBufferSize: %d, request_length: %d\n",
                       name, unsigned(offset), int(desired), 1, int(kObjectPieceBytes),
                       int(kRequestLengthBase + kDescriptorBytes));
        const std::uint32_t result = issueObjectRequest(board, m);
        if (result != 0 || sliResponseStatus(m) != 0) {
            if (tracingKeysAndObjects())
                debugPrint("[SLI_CFG_ReadObject]Error reading %s: dfcStatus %d, rsp status x%04x, "
                           "rsp additionalStatus x%04x\n",
                           name, int(result), unsigned(sliResponseStatus(m)),
                           unsigned(sliResponseAdditionalStatus(m)));
            return notFoundOrFailed(m);
        }
        const std::uint32_t actual = getBits(sliRequestWord(m, kLengthField), 0, 24);
        if (tracingKeysAndObjects())
            debugPrint("[SLI_CFG_ReadObject]pReadSubRsp->actualReadLength: 0x%x\n",
                       unsigned(actual));
        if (actual > desired)
            return OBJECT_BUFFER_TOO_SMALL;
        endOfObject = (sliRequestWord(m, kOffsetField) & kEndOfObject) != 0;
        // An answer that delivers nothing would be asked again for ever: the object
        // has ended early, and what was read is what there is.
        if (actual == 0)
            break;
        std::memcpy(buffer + offset, dataArea(m), actual);
        *got += actual;
        offset += actual;
        desired = std::min(size - offset, kObjectPieceBytes);
    }
    return OBJECT_OK;
}

std::uint32_t writePieces(std::uint32_t board, const char* name, const std::uint8_t* data,
                          std::uint32_t length, std::uint32_t* written, int flag,
                          const ObjectWriteProgress& progress) {
    std::uint32_t offset = 0;
    std::uint8_t changeStatus = 0;
    while (offset < length) {
        const std::uint32_t piece = std::min(length - offset, kObjectPieceBytes);
        const bool last = offset + piece == length;
        SliConfigImage m = objectRequest(SLI_OPCODE_WRITE_OBJECT, name, 1);
        setSliRequestWord(m, kLengthField,
                          piece | (last ? kLastPiece : 0) | (flag == 0 ? kNoFlag : 0));
        setSliRequestWord(m, kOffsetField, offset);
        std::memcpy(dataArea(m), data + offset, piece);
        if (last && tracingKeysAndObjects())
            debugPrint("[SLI_CFG_WriteObject]Call DFC_IssueMboxWithRetryV2 for %s object: "
                       "writeOffset: 0x%x, desiredWriteLength: %d, hostBufferDescriptorCount: %d, "
                       "hostBufferSize: %d, request_length: %d\n",
                       name, unsigned(offset), int(piece), 1, int(kObjectPieceBytes),
                       int(kRequestLengthBase + kDescriptorBytes));
        const std::uint32_t result = issueObjectRequest(board, m);
        const std::uint8_t status = sliResponseStatus(m);
        const std::uint8_t additional = sliResponseAdditionalStatus(m);
        if (result != 0 || status != 0) {
            if (status == kStatusSignature && additional == kAdditionalInvalidSignature) {
                if (tracingKeysAndObjects())
                    debugPrint("[SLI_CFG_WriteObject] Invalid Digital Signature:"
                               "pWriteSubRsp->additionalStatus: 0x%x\n",
                               unsigned(additional));
                return OBJECT_INVALID_SIGNATURE;
            }
            if (status == kStatusSignature && additional == kAdditionalMissingSignature) {
                if (tracingKeysAndObjects())
                    debugPrint("[SLI_CFG_WriteObject] Missing Digital Signature:"
                               "pWriteSubRsp->additionalStatus: 0x%x\n",
                               unsigned(additional));
                return OBJECT_MISSING_SIGNATURE;
            }
            return notFoundOrFailed(m);
        }
        const std::uint32_t actual = getBits(sliRequestWord(m, kLengthField), 0, 24);
        *written += actual;
        if (actual > piece) {
            debugPrint("[SLI_CFG_WriteObject]Error: Actual length %d > Request length %d \n",
                       int(actual), int(piece));
            return OBJECT_FAILED;
        }
        // An adapter that takes nothing would be offered the same piece for ever.
        if (actual == 0)
            return OBJECT_FAILED;
        offset += actual;
        changeStatus = m.bytes[kSliEmbeddedOffset + kOffsetField];
        if (progress)
            progress(offset, length);
    }
    if (tracingKeysAndObjects())
        debugPrint("[SLI_CFG_WriteObject]pWriteSubRsp->change_status: 0x%x\n",
                   unsigned(changeStatus));
    switch (changeStatus) {
    case 0:
        return OBJECT_OK;
    case 1:
        return REBOOT_REQUIRED;
    case 2:
    case 3:
        return RESET_REQUIRED;
    default:
        return OBJECT_FAILED;
    }
}

} // namespace

std::uint32_t SLI_CFG_GetObjectSize(std::uint32_t board, const char* name, std::uint32_t* size) {
    if (!validName(name) || size == nullptr)
        return OBJECT_BAD_ARGUMENT;
    try {
        SliConfigImage m = objectRequest(SLI_OPCODE_READ_OBJECT, name, 0);
        const std::uint32_t result =
            dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), 64, 1, kObjectWaitMs);
        if (result != 0 || sliResponseStatus(m) != 0)
            return notFoundOrFailed(m);
        *size = getBits(sliRequestWord(m, kLengthField), 0, 24);
        if (tracingKeysAndObjects())
            debugPrint("[SLI_CFG_GetObjectSize] %s size: 0x%x\n", name, unsigned(*size));
        return OBJECT_OK;
    } catch (const std::bad_alloc&) {
        return OBJECT_FAILED;
    }
}

std::uint32_t SLI_CFG_ReadObject(std::uint32_t board, const char* name, std::uint8_t* buffer,
                                 std::uint32_t capacity, std::uint32_t* got) {
    if (got == nullptr)
        return OBJECT_BAD_ARGUMENT;
    *got = 0;
    if (!validName(name))
        return OBJECT_BAD_ARGUMENT;
    std::uint32_t size = 0;
    const std::uint32_t sized = SLI_CFG_GetObjectSize(board, name, &size);
    if (sized != OBJECT_OK)
        return sized;
    if (size == 0)
        return OBJECT_OK;
    if (capacity == 0 || buffer == nullptr) {
        *got = size;
        return OBJECT_BUFFER_TOO_SMALL;
    }
    if (capacity % 4 != 0)
        return OBJECT_BAD_ARGUMENT;
    if (capacity < size) {
        *got = size;
        return OBJECT_BUFFER_TOO_SMALL;
    }
    if (!IsIssueMboxV2ExtSupported(board))
        return OBJECT_NO_EXTENDED_MAILBOX;
    try {
        return readPieces(board, name, buffer, size, got);
    } catch (const std::bad_alloc&) {
        return OBJECT_FAILED;
    }
}

std::uint32_t SLI_CFG_WriteObject(std::uint32_t board, const char* name, const std::uint8_t* data,
                                  std::uint32_t length, std::uint32_t* written, int flag,
                                  const ObjectWriteProgress& progress) {
    if (written == nullptr)
        return OBJECT_BAD_ARGUMENT;
    *written = 0;
    if (!validName(name))
        return OBJECT_BAD_ARGUMENT;
    if (length == 0)
        return OBJECT_OK;
    if (data == nullptr)
        return OBJECT_BAD_ARGUMENT;
    if (length % 4 != 0)
        return OBJECT_LENGTH_NOT_WORDS;
    if (!IsIssueMboxV2ExtSupported(board))
        return OBJECT_NO_EXTENDED_MAILBOX;
    try {
        return writePieces(board, name, data, length, written, flag, progress);
    } catch (const std::bad_alloc&) {
        return OBJECT_FAILED;
    }
}

std::uint32_t SLI_CFG_GetFwVersion(std::uint32_t board, FwVersionTexts* out) {
    if (out == nullptr)
        return OBJECT_BAD_ARGUMENT;
    if (!IsIssueMboxV2ExtSupported(board))
        return OBJECT_NO_EXTENDED_MAILBOX;
    try {
        SliConfigImage m = makeSliConfigImage(SLI_OPCODE_FIRMWARE_VERSION, kObjectSubsystem,
                                              kFwVersionRequestLength);
        const std::uint32_t result =
            dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), 64, 1, 100);
        if (result != 0 || sliConfigStatus(m) != 0 || sliResponseStatus(m) != 0) {
            debugPrint("[SLI_CFG_GetFwVersion]: Failed to retrieve the firmware version\n");
            return OBJECT_FAILED;
        }
        const auto text = [&](std::size_t field) {
            const char* at =
                reinterpret_cast<const char*>(m.bytes.data() + kSliEmbeddedOffset + field);
            return std::string_view(at, strnlen(at, kFwTextBytes));
        };
        out->active = text(kActiveTextField);
        out->flash = text(kFlashTextField);
        return OBJECT_OK;
    } catch (const std::bad_alloc&) {
        return OBJECT_FAILED;
    }
}
