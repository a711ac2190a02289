// The wakeup parameters: the program-id slots of configuration region 4, their
// write (UPDATE_REGION) and the staged update (0x9C) of the newer families.
#include "download/wakeup.h"

#include "adapter/adapter_family.h"
#include "adapter/mailbox.h"
#include "adapter/regions.h"
#include "common/bytes.h"
#include "download/download_status.h"
#include "image/version_forms.h"
#include "log/debug_log.h"

#include <cstring>

namespace {

struct SlotRow {
    std::uint32_t imageType;
    std::size_t offset;
};

const SlotRow kWakeupSlots[] = {
    {2, 0}, {3, 12}, {6, 20}, {7, 28}, {11, 36}, {14, 44},
};

// A staged phase that the adapter keeps answering with the same state would hold the
// download forever; this many answers end it with PROGRESS_ERROR instead.
constexpr int kStagedPhaseTries = 64;

// One 0x9C command; state and carry come from the adapter's answer.
std::uint32_t stagedPhase(std::uint32_t board, std::uint32_t phase, std::uint32_t bootId,
                          std::uint32_t& carry, std::uint32_t& state) {
    MailboxImage m;
    setMailboxCommand(m, MAILBOX_WAKEUP_STAGED_UPDATE);
    setMailboxField(m, mbx::kStagedPhase, phase);
    setMailboxWord(m, mbx::kStagedCarryWord, carry);
    setMailboxWord(m, mbx::kStagedBootIdWord, bootId);
    const std::uint32_t status = IssueMbox(board, m);
    if (status != 0)
        return status;
    state = mailboxField(m, mbx::kStagedState);
    carry = mailboxWord(m, mbx::kStagedCarryWord);
    return 0;
}

} // namespace

int wakeupSlotOffset(std::uint32_t imageType) {
    for (const SlotRow& row : kWakeupSlots)
        if (row.imageType == imageType)
            return int(row.offset);
    return -1;
}

void getWakeupSlot(const WakeupRecord& record, std::size_t offset, std::uint32_t id[2]) {
    id[0] = readHost32(record.bytes.data(), offset);
    id[1] = readHost32(record.bytes.data(), offset + 4);
}

void setWakeupSlot(WakeupRecord& record, std::size_t offset, const std::uint32_t id[2]) {
    writeHost32(record.bytes.data(), offset, id[0]);
    writeHost32(record.bytes.data(), offset + 4, id[1]);
}

bool wakeupSlotSet(const WakeupRecord& record, std::size_t offset) {
    std::uint32_t id[2];
    getWakeupSlot(record, offset, id);
    return id[0] != 0 || id[1] != 0;
}

std::uint32_t ReadWakeupParameters(std::uint32_t board, WakeupRecord& record) {
    std::uint8_t bytes[kBootCodeRegionBytes] = {};
    const std::uint32_t status = readBootCodeRegion(board, bytes);
    std::memcpy(record.bytes.data(), bytes, kWakeupBytes);
    return status;
}

std::uint32_t readWakeupForDownload(std::uint32_t board, WakeupRecord& record) {
    const std::uint32_t status = ReadWakeupParameters(board, record);
    if (status == 0)
        return 0;
    debugPrint("Reading the wakeup parameters failed. Adapter %lu Stat %08lX\n",
               static_cast<unsigned long>(board), static_cast<unsigned long>(status));
    return MAILBOX_ERROR;
}

std::uint32_t WriteWakeupParameters(std::uint32_t board, const WakeupRecord& record) {
    MailboxImage m;
    setMailboxCommand(m, UPDATE_REGION);
    setMailboxField(m, mbx::kRegionKind, READ_REGION_CONFIG);
    setMailboxField(m, mbx::kRegionNumber, kWakeupRegion);
    setMailboxField(m, mbx::kRegionOffset, std::uint32_t(kWakeupBytes)); // the update's length
    setMailboxWord(m, mbx::kRegionLengthWord, kWakeupBytes);
    std::memcpy(m.bytes.data() + mbx::kDataOffset, record.bytes.data(), kWakeupBytes);
    return IssueMbox(board, m) == 0 ? 0 : MAILBOX_ERROR;
}

std::uint32_t StagedWakeupUpdate(std::uint32_t board, const WakeupRecord& record,
                                 std::uint32_t deferWrite) {
    TraceMboxStep("StagedWakeupUpdate");
    const std::uint32_t bootId = readLe16(record.bytes.data(), kWakeupBootCopyOffset);
    std::uint32_t carry = 0, state = 0;
    std::uint32_t status = stagedPhase(board, 8, bootId, carry, state);
    if (status != 0)
        return status;
    if (state == 11)
        return WriteWakeupParameters(board, record);
    if (state != 8)
        return PROGRESS_ERROR;
    const std::uint32_t phases[2][2] = {{9, 9}, {10, 11}}; // phase, state that ends it
    for (const auto& phase : phases) {
        int tries = 0;
        do {
            if (++tries > kStagedPhaseTries)
                return PROGRESS_ERROR;
            status = stagedPhase(board, phase[0], bootId, carry, state);
            if (status != 0)
                return status;
        } while (state != phase[1]);
    }
    return deferWrite != 0 ? 0 : WriteWakeupParameters(board, record);
}

std::uint32_t UpdateWakeupSlot(std::uint32_t board, const std::uint32_t programId[2]) {
    WakeupRecord record;
    if (readWakeupForDownload(board, record) != 0)
        return MAILBOX_ERROR;
    const std::uint32_t type = legacyImageType(programId[0]);
    const int offset = wakeupSlotOffset(type);
    if (offset < 0)
        return INVALID_IMAGE_TYPE_ERROR;
    setWakeupSlot(record, std::size_t(offset), programId);
    if (type == 3 && isNewerFamily(GetAdapterFamily(board))) {
        setWakeupSlot(record, kWakeupBootCopyOffset, programId);
        const std::uint32_t status = StagedWakeupUpdate(board, record, 0);
        if (status != 0)
            return status;
    }
    return WriteWakeupParameters(board, record);
}
