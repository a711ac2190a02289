// The FFV flash access: the FFV mailbox request and region 20 (see ffv_access.h).
#include "adapter/ffv_access.h"

#include "adapter/board_family.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"
#include "adapter/region20.h"
#include "adapter/regions.h"
#include "common/bytes.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {

// The FFV request: opcode 2 of subsystem 0x13, fields by embedded-header offset.
constexpr std::uint8_t kFfvOpcode = 2;
constexpr std::uint8_t kFfvSubsystem = 0x13;
constexpr std::uint32_t kFfvRequestLength = 36;
constexpr std::size_t kRequestLengthField = 8; // response: responseLength
constexpr std::size_t kActualLengthField = 12;
constexpr std::size_t kOperationField = 16; // bit 0 opType, bits 8-15 ffv_length
constexpr std::size_t kFfvField = 20;
constexpr std::size_t kFfvFieldBytes = 32;

// Sends the FFV request; true when the adapter answered it whole and without error.
// A nonzero response status is a failure in both directions, so that a refused read
// never passes the untouched request off as the card's value.
bool issueFfvRequest(std::uint32_t board, SliConfigImage& m) {
    if (!IsIssueMboxV2ExtSupported(board))
        return false;
    if (dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), 64, 1, 100) != 0)
        return false;
    if (sliRequestWord(m, kActualLengthField) > sliRequestWord(m, kRequestLengthField))
        return false;
    return sliResponseStatus(m) == 0;
}

} // namespace

bool isValidFFV(const char* text) {
    if (text == nullptr || std::strlen(text) != kFfvLength)
        return false;
    std::string_view rest(text);
    for (int field = 0; field < 3; ++field) {
        const std::size_t start = rest.find_first_not_of('.');
        if (start == std::string_view::npos)
            return false;
        rest.remove_prefix(start);
        const std::size_t end = std::min(rest.find('.'), rest.size());
        for (std::size_t i = 0; i < end; ++i)
            if (rest[i] < '0' || rest[i] > '9')
                return false;
        rest.remove_prefix(end);
    }
    return true;
}

std::uint32_t readFFV(std::uint32_t board, char* buffer, std::uint32_t length) {
    if (buffer == nullptr || length != kFfvBufferBytes)
        return FFV_READ_FAILED;
    const FfvPlace place = boardRow(board).ffv;
    if (place == FfvPlace::SliConfig) {
        SliConfigImage m = makeSliConfigImage(kFfvOpcode, kFfvSubsystem, kFfvRequestLength);
        if (!issueFfvRequest(board, m))
            return FFV_READ_FAILED;
        std::memcpy(buffer, m.bytes.data() + kSliEmbeddedOffset + kFfvField, kFfvFieldBytes);
    } else if (place == FfvPlace::Region20) {
        std::uint8_t region[kFfvFieldBytes] = {};
        std::uint32_t got = kFfvFieldBytes;
        if (readConfigRegion(board, kRegion20, 0, got, region) != 0)
            return FFV_READ_FAILED;
        std::memset(buffer, 0, kFfvBufferBytes);
        std::memcpy(buffer, region, std::min<std::size_t>(got, kFfvLength));
    } else {
        return FFV_NOT_KEPT;
    }
    buffer[kFfvFieldBytes] = '\0';
    if (buffer[0] != '\0' && !isValidFFV(buffer))
        return FFV_READ_FAILED;
    buffer[kFfvLength] = '\0';
    return 0;
}

std::uint32_t writeFFV(std::uint32_t board, const char* ffv, int reserved) {
    (void)reserved;
    if (isHBATypeVexil(board))
        return FFV_NOT_WRITABLE;
    if (!isValidFFV(ffv))
        return FFV_WRITE_FAILED;
    if (isLevel4Board(board)) {
        SliConfigImage m = makeSliConfigImage(kFfvOpcode, kFfvSubsystem, kFfvRequestLength);
        setSliRequestWord(m, kOperationField, setBits(1, 8, 8, std::uint32_t(kFfvLength)));
        std::memcpy(m.bytes.data() + kSliEmbeddedOffset + kFfvField, ffv, kFfvLength);
        return issueFfvRequest(board, m) ? 0 : FFV_WRITE_FAILED;
    }
    std::uint8_t data[kRegion20WriteBytes];
    std::memcpy(data, ffv, kRegion20WriteBytes);
    return WriteConfigRegion20(board, data) == 0 ? 0 : FFV_WRITE_FAILED;
}
