// The probe and the additional-attributes request of Ferrox FC boards, whose answer
// carries the boot-code version.
#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "inventory/hba_inventory.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <vector>

namespace {

constexpr std::uint8_t kCommonSubsystem = 1;
constexpr std::uint32_t kProbeWords = 64;
// The attributes request: a 256-byte mailbox and one 620-byte data segment behind it.
constexpr std::size_t kAttributesPayloadOffset = 256;
constexpr std::uint32_t kAttributesPayloadBytes = 620;
constexpr std::uint32_t kAttributesWords = (256 + kAttributesPayloadBytes) / 4; // 219
constexpr std::size_t kSegmentLengthWord = 8;
constexpr std::size_t kTextFields[4] = {404, 436, 468, 500};
constexpr std::size_t kTextBytes = 32;
constexpr std::size_t kExtraField = 540;
constexpr std::size_t kExtraBytes = 16;
constexpr std::uint32_t kTries = 1;
constexpr std::uint32_t kWaitMs = 100;

// A text of at most `size` bytes at `at`: adapters need not end it with a NUL.
std::string_view boundedText(const std::uint8_t* bytes, std::size_t at, std::size_t size) {
    const char* text = reinterpret_cast<const char*>(bytes + at);
    std::size_t n = 0;
    while (n < size && text[n] != '\0')
        ++n;
    return std::string_view(text, n);
}

std::uint32_t resultOf(std::uint32_t r, const std::uint8_t* mailbox, const std::uint8_t* header) {
    return sliCommandResult(r, std::uint16_t(getBits(mailboxWord(mailbox, 0), 16, 16)), header[4],
                            header[5]);
}

} // namespace

std::uint32_t sliCommandResult(std::uint32_t r, std::uint16_t m, std::uint8_t s, std::uint8_t x) {
    const bool responseFailed = s != 0 && x != 103;
    if (r == 0)
        return responseFailed ? 148 : 0;
    if (r != 2)
        return 28;
    if (m == 0x4001 && s == 1 && x == 103)
        return 0;
    if (m == 1) {
        if (s == 126)
            return 60;
        if (s == 1 && x == 167)
            return 15;
        if (s == 2 && x == 30)
            return 251;
        if (s == 1 && x == 28)
            return 204;
        if (s == 3)
            return 248;
    }
    // A failed call with any other mailbox status is a failure: the answer's texts
    // were never filled, so they must not be taken as the adapter's.
    return 28;
}

std::uint32_t SC_PerformCommonProbe(std::uint32_t board) {
    try {
        SliConfigImage m = makeSliConfigImage(SLI_OPCODE_PROBE, kCommonSubsystem, 0);
        const std::uint32_t r =
            dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), kProbeWords, kTries, kWaitMs);
        return resultOf(r, m.bytes.data(), m.bytes.data() + kSliEmbeddedOffset);
    } catch (const std::bad_alloc&) {
        return SLI_RESULT_OUT_OF_MEMORY;
    }
}

std::uint32_t SC_PerformCommonGetCntlAddlAttributes(std::uint32_t board, CntlAddlAttributes* out) {
    if (out == nullptr)
        return 28;
    *out = CntlAddlAttributes{};
    if (!IsIssueMboxV2ExtSupported(board))
        return SLI_RESULT_NO_EXTENDED_MAILBOX;
    std::vector<std::uint8_t> buffer;
    try {
        buffer.assign(kAttributesWords * 4, 0);
    } catch (const std::bad_alloc&) {
        return SLI_RESULT_OUT_OF_MEMORY;
    }
    std::uint8_t* b = buffer.data();
    setMailboxWord(b, 0, setBits(0, 8, 8, SLI_CFG));
    setMailboxWord(b, 1, setBits(0, 3, 5, 1)); // not embedded: one data segment
    setMailboxWord(b, 2, kAttributesPayloadBytes);
    setMailboxWord(b, kSegmentLengthWord, setBits(0, 0, 24, kAttributesPayloadBytes));
    std::uint8_t* payload = b + kAttributesPayloadOffset;
    payload[0] = SLI_OPCODE_CNTL_ADDL_ATTRIBUTES;
    payload[1] = kCommonSubsystem;

    const std::uint32_t r = dfc.DFC_IssueMboxWithRetryV2(board, b, kAttributesWords, kTries, kWaitMs);
    const std::uint32_t status = resultOf(r, b, payload);
    if (status != 0) {
        if (tracingKeysAndObjects())
            debugPrint("[SC_PerformCommonGetCntlAddlAttributes]Error issuing "
                       "COMMON_GET_CNTL_ADDL_ATTRIBUTES: dfcStatus x%04x, rsp status x%04x, rsp "
                       "additionalStatus x%04x\n",
                       unsigned(r), unsigned(payload[4]), unsigned(payload[5]));
        return status;
    }
    for (std::size_t i = 0; i < 4; ++i) {
        std::string_view text = boundedText(payload, kTextFields[i], kTextBytes);
        out->texts[i] = text.substr(0, std::min(text.find(' '), text.size()));
    }
    out->extra = boundedText(payload, kExtraField, kExtraBytes);
    return 0;
}
