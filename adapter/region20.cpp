// Region 20 writes (the family value) and the rebuild of a configuration region that
// refuses them: erase, prepare and lay out again. Fields in adapter/mailbox_layouts.h.
#include "adapter/region20.h"

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "adapter/mailbox.h"

#include <cstring>

namespace {

constexpr std::uint32_t kUpdateKindMemoryLayout = 1; // create a region of a length
constexpr std::uint32_t kUpdateKindConfig = 2;
constexpr std::uint32_t kUpdateKindPrepare = 3;
constexpr std::uint32_t kLoadListHead = 0x79C;
constexpr std::uint32_t kLoadEntryWords = 6;
constexpr std::uint32_t kRegionSectorBytes = 4096;
constexpr std::uint32_t kEraseKey = 0x123456; // word 1 bits 8-31 of the erase command
constexpr std::uint32_t kEraseLowByte = 0x2A;

std::uint32_t mailboxPayload(std::uint32_t board) {
    return board < adapterEnv.table.size() ? adapterEnv.table[board].mailboxPayload : 0;
}

// Memory read as the reconstruct issues it: kind 1 with word 1 bit 4.
std::uint32_t readMemoryWords(std::uint32_t board, std::uint32_t address, std::uint32_t words,
                              std::uint32_t* out) {
    MailboxImage m;
    setMailboxCommand(m, READ_REGION);
    setMailboxField(m, mbx::kMemoryRead, 1);
    setMailboxField(m, mbx::kRegionKind, READ_REGION_MEMORY);
    setMailboxField(m, mbx::kRegionRequest, 1);
    setMailboxWord(m, mbx::kRegionAddressWord, address & ~3u);
    setMailboxWord(m, mbx::kRegionLengthWord, words);
    const std::uint32_t status = IssueMbox(board, m);
    if (status != 0)
        return status;
    for (std::uint32_t i = 0; i < words; ++i)
        out[i] = mailboxWord(m, mbx::kDataWord + i);
    return 0;
}

std::uint32_t updateRegionKind(std::uint32_t board, std::uint32_t kind, std::uint32_t region,
                               std::uint32_t length) {
    MailboxImage m;
    setMailboxCommand(m, UPDATE_REGION);
    setMailboxField(m, mbx::kRegionKind, kind);
    setMailboxField(m, mbx::kRegionRequest, 1);
    if (kind == kUpdateKindMemoryLayout) {
        setMailboxField(m, mbx::kRegionNumber, region);
        setMailboxField(m, mbx::kRegionOffset, length); // the update's length
        setMailboxWord(m, mbx::kRegionLengthWord, length);
    }
    return IssueMbox(board, m);
}

std::uint32_t writeRegion20Once(std::uint32_t board, const std::uint8_t* data8) {
    MailboxImage m;
    setMailboxCommand(m, UPDATE_REGION);
    setMailboxField(m, mbx::kOwner, 1);
    setMailboxField(m, mbx::kRegionKind, kUpdateKindConfig);
    setMailboxField(m, mbx::kRegionRequest, 1);
    // The data travels in a separate buffer exactly when the mailbox says so; a board
    // with an unusable driver (payload 0) therefore sends it inside the mailbox too.
    const bool separateData = mailboxPayload(board) > 108;
    if (separateData)
        setMailboxField(m, mbx::kRegionSeparateData, 1);
    setMailboxField(m, mbx::kRegionNumber, kRegion20);
    setMailboxField(m, mbx::kRegionOffset, kRegion20WriteBytes); // the update's length
    setMailboxWord(m, mbx::kRegionLengthWord, kRegion20WriteBytes);
    if (!separateData) {
        std::memcpy(m.bytes.data() + mbx::kDataOffset, data8, kRegion20WriteBytes);
        return IssueMbox(board, m);
    }
    std::uint8_t data[kRegion20WriteBytes];
    std::memcpy(data, data8, kRegion20WriteBytes);
    const std::uint32_t result =
        dfc.DFC_IssueMboxWithRetryEx(board, m.bytes.data(), data, mbx::kDataWord, 2, 32, 2, 100);
    if (result == 0)
        return 0;
    const std::uint16_t status = mailboxStatus(m);
    return status != 0 ? status : result;
}

} // namespace

std::uint32_t ReconstructConfigRegion(std::uint32_t board, std::uint32_t region,
                                      std::uint32_t length) {
    std::uint32_t head = 0;
    std::uint32_t status = readMemoryWords(board, kLoadListHead, 1, &head);
    if (status != 0)
        return status;
    std::uint32_t entry[kLoadEntryWords] = {};
    status = readMemoryWords(board, head, kLoadEntryWords, entry);
    if (status != 0)
        return status;
    std::uint32_t base = 0;
    switch (entry[2] & 0xFFFFF) {
    case 0x20000:
        base = 0x70000;
        break;
    case 0x40004:
        base = 0x1E0000;
        break;
    default:
        return REGION_RECONSTRUCT_FAILED;
    }
    base += region * kRegionSectorBytes;

    MailboxImage erase;
    setMailboxCommand(erase, MAILBOX_CONFIG_REGION_ERASE);
    setMailboxField(erase, mbx::kEraseKey, kEraseKey);
    setMailboxField(erase, mbx::kEraseLow, kEraseLowByte);
    setMailboxWord(erase, mbx::kEraseBaseWord, base);
    setMailboxWord(erase, mbx::kEraseCountWord, 4);
    setMailboxWord(erase, mbx::kEraseOffsetWord, mbx::kDataOffset);
    status = IssueMbox(board, erase);
    if (status != 0)
        return status;
    status = updateRegionKind(board, kUpdateKindPrepare, region, length);
    if (status != 0)
        return status;
    return updateRegionKind(board, kUpdateKindMemoryLayout, region, length);
}

std::uint32_t WriteConfigRegion20(std::uint32_t board, const std::uint8_t* data8) {
    if (writeRegion20Once(board, data8) == 0)
        return 0;
    const std::uint32_t rebuilt = ReconstructConfigRegion(board, kRegion20, kRegion20WriteBytes);
    if (rebuilt != 0)
        return rebuilt;
    return writeRegion20Once(board, data8) == 0 ? 0 : REGION20_WRITE_FAILED;
}
