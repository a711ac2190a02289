// Region reads: configuration regions in classic READ_REGION pieces or one dump call,
// the mailbox-with-data region read, the boot-code region, region 20 and the
// configuration parameter triple. READ_REGION's fields are in adapter/mailbox_layouts.h.
#include "adapter/regions.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_family.h"
#include "adapter/device_table.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

bool level4(std::uint32_t board) {
    return board < adapterEnv.table.size() && adapterEnv.table[board].interfaceLevel4 != 0;
}

std::uint32_t readRegionByDump(std::uint32_t board, std::uint32_t region, std::uint32_t offset,
                               std::uint32_t& length, std::uint8_t* buffer) {
    // The dump call names the factory-address region by another number.
    const std::uint32_t dumpRegion = region == 16 ? 32 : region;
    std::uint32_t got = length;
    const std::uint32_t result =
        dfc.DFC_IssueDumpMBox(board, 2, 0, dumpRegion, offset, buffer, &got);
    if (result != 0)
        return result;
    length = std::min(got, length);
    return 0;
}

std::uint32_t readRegionByMailbox(std::uint32_t board, std::uint32_t region, std::uint32_t offset,
                                  std::uint32_t& length, std::uint8_t* buffer) {
    std::uint32_t done = 0;
    while (done < length) {
        const std::uint32_t position = offset + done;
        const std::uint32_t aligned = position & ~3u;
        const std::uint32_t skip = position - aligned;
        // The skipped lead bytes count against the mailbox's room, so a misaligned
        // piece takes fewer bytes rather than overrunning the 32-word mailbox.
        const std::uint32_t take = std::min(length - done, kRegionChunkBytes - (skip != 0 ? 4 : 0));
        const std::uint32_t asked = (skip + take + 3) & ~3u;

        MailboxImage m;
        setMailboxCommand(m, READ_REGION);
        setMailboxField(m, mbx::kRegionKind, READ_REGION_CONFIG);
        setMailboxField(m, mbx::kRegionRequest, 1);
        setMailboxField(m, mbx::kRegionNumber, region);
        setMailboxField(m, mbx::kRegionOffset, aligned);
        setMailboxWord(m, mbx::kRegionLengthWord, asked / 4);
        const std::uint32_t status = IssueMbox(board, m);
        if (status != 0)
            return status;

        const std::uint32_t delivered = std::min(mailboxWord(m, mbx::kRegionLengthWord), asked);
        const std::uint32_t useful = delivered > skip ? std::min(delivered - skip, take) : 0;
        std::memcpy(buffer + done, m.bytes.data() + mbx::kDataOffset + skip, useful);
        done += useful;
        if (useful < take)
            break; // the region has ended
    }
    length = done;
    return 0;
}

} // namespace

std::uint32_t readConfigRegion(std::uint32_t board, std::uint32_t region, std::uint32_t offset,
                               std::uint32_t& length, std::uint8_t* buffer) {
    if (level4(board))
        return readRegionByDump(board, region, offset, length, buffer);
    return readRegionByMailbox(board, region, offset, length, buffer);
}

std::uint32_t ReadRegionEx(std::uint32_t board, std::uint32_t type, std::uint32_t region,
                           std::uint32_t length, std::uint32_t& got, std::uint8_t* buffer) {
    got = 0;
    MailboxImage m;
    setMailboxCommand(m, READ_REGION);
    setMailboxField(m, mbx::kRegionKind, type);
    setMailboxField(m, mbx::kRegionRequest, 1);
    setMailboxField(m, mbx::kRegionNumber, region);
    setMailboxWord(m, mbx::kRegionLengthWord, length / 4);
    setMailboxWord(m, mbx::kDataWord, 0);
    // At least the usual 1000 bytes, and never less than the caller asks for.
    std::vector<std::uint8_t> data(
        std::max<std::size_t>(1000, (std::size_t(length) + 3) & ~std::size_t(3)), 0);
    const std::uint32_t result = dfc.DFC_IssueMboxWithRetryEx(board, m.bytes.data(), data.data(), mbx::kDataWord,
                                                              length / 4, length / 4, 3, 100);
    const std::uint16_t status = mailboxStatus(m);
    if ((result == 2 || result == 0xFFFFFFFF) &&
        (status == MAILBOX_STATUS_NOT_PERMITTED || status == MAILBOX_STATUS_NOT_PERMITTED_2))
        return REGION_ACCESS_NOT_PERMITTED;
    if (result == 2 && status == MAILBOX_STATUS_REGION_ABSENT)
        return REGION_ABSENT;
    if (result != 0)
        return REGION_READ_FAILED;
    got = std::min<std::uint32_t>(mailboxWord(m, mbx::kRegionLengthWord), length);
    std::memcpy(buffer, data.data(), got);
    return 0;
}

std::uint32_t ReadRegion(std::uint32_t board, std::uint32_t region, std::uint32_t length,
                         std::uint32_t& got, std::uint8_t* buffer) {
    return ReadRegionEx(board, READ_REGION_CONFIG, region, length, got, buffer);
}

std::uint32_t ReadRegionWords(std::uint32_t board, std::uint8_t* buffer, std::uint32_t region,
                              std::uint32_t words, std::uint32_t offset, std::uint32_t& bytes) {
    std::uint32_t length = words * 4;
    const std::uint32_t status = readConfigRegion(board, region, offset, length, buffer);
    // A short region reports what it delivered, not what was asked for.
    bytes = status == 0 ? length : 0;
    return status;
}

std::uint32_t readBootCodeRegion(std::uint32_t board, std::uint8_t (&out)[kBootCodeRegionBytes]) {
    std::memset(out, 0, sizeof out);
    std::uint32_t bytes = 0;
    const std::uint32_t status = ReadRegionWords(board, out, 4, kBootCodeRegionBytes / 4, 0, bytes);
    // The wakeup parameters are used and written back whole: a shorter answer is no read
    // of them, and the zeros after it must never reach the card.
    if (status == 0 && bytes < kBootCodeRegionBytes) {
        std::memset(out, 0, sizeof out);
        return REGION_READ_FAILED;
    }
    return status;
}

std::uint32_t readConfigRegion20(std::uint32_t board, std::uint8_t (&out)[kRegion20Bytes]) {
    std::memset(out, 0, sizeof out);
    std::uint8_t region[32] = {};
    std::uint32_t length = sizeof region;
    if (readConfigRegion(board, 20, 0, length, region) != 0)
        return REGION20_READ_FAILED;
    std::memcpy(out, region, sizeof out);
    return 0;
}

std::uint32_t ReadConfigTriple(std::uint32_t board, std::uint32_t& value) {
    value = 0;
    if (!familyRowOf(GetAdapterFamily(board)).configTriple)
        return 0;

    MailboxImage m;
    setMailboxCommand(m, READ_REGION);
    setMailboxField(m, mbx::kRegionKind, READ_REGION_PARAMETER);
    setMailboxField(m, mbx::kRegionNumber, 0x1040);
    const bool extended = IsIssueMboxV2ExtSupported(board);
    if (!extended) {
        setMailboxWord(m, mbx::kRegionLengthWord, 5);
        setMailboxField(m, mbx::kRegionRequest, 1);
    }
    const std::uint32_t result =
        extended ? dfc.DFC_IssueMboxWithRetryV2(board, m.bytes.data(), 64, 3, 300)
                 : dfc.DFC_IssueMboxWithRetry(board, m.bytes.data(), 32, 32, 3, 300);
    const std::uint16_t status = mailboxStatus(m);
    if (result == 3 || status == MAILBOX_STATUS_PARAMETER_UNAVAILABLE) {
        value = 0xFFFFFF;
        return REGION_READ_NOT_AVAILABLE;
    }
    if (result != 0 || status != 0)
        return 0;
    constexpr std::size_t w = mbx::kRegionTripleWord;
    value = ((mailboxWord(m, w + 2) & 0xFF) << 16) | ((mailboxWord(m, w + 1) & 0xFF) << 8) |
            (mailboxWord(m, w) & 0xFF);
    return 0;
}
