// The wakeup-parameter record (configuration region 4): one 8-byte program-id slot
// per image type, which tells the adapter what to start; its writes and the staged
// update of the boot slot.
#pragma once

#include <array>
#include <cstdint>

constexpr std::uint32_t kWakeupRegion = 4;
constexpr std::size_t kWakeupBytes = 60;
constexpr std::size_t kWakeupBootCopyOffset = 52; // second copy of the type-3 slot

struct WakeupRecord {
    std::array<std::uint8_t, kWakeupBytes> bytes{};
};

// Byte offset of an image type's slot, or -1 for a type without one.
int wakeupSlotOffset(std::uint32_t imageType);
// The two program-id words of the slot at a byte offset (host order, as read).
void getWakeupSlot(const WakeupRecord& record, std::size_t offset, std::uint32_t id[2]);
void setWakeupSlot(WakeupRecord& record, std::size_t offset, const std::uint32_t id[2]);
// True when a slot holds a program id (either word nonzero).
bool wakeupSlotSet(const WakeupRecord& record, std::size_t offset);

// Reads the record (region 4, 60 bytes, from offset 0). Returns 0 or the read's status.
std::uint32_t ReadWakeupParameters(std::uint32_t board, WakeupRecord& record);

// Reads the record for a download step. A failed read is told in the debug log with
// the board and the read's own status; the step reports it as MAILBOX_ERROR. Returns
// 0 or MAILBOX_ERROR.
std::uint32_t readWakeupForDownload(std::uint32_t board, WakeupRecord& record);

// UPDATE_REGION of region 4 with the record. Returns 0 or MAILBOX_ERROR.
std::uint32_t WriteWakeupParameters(std::uint32_t board, const WakeupRecord& record);

// Puts a standalone image's program id into its slot (type in bits 24-31 of word 0)
// and writes the record; type 3 on a newer-family board also fills the boot copy and
// runs the staged update. Returns 0, MAILBOX_ERROR, INVALID_IMAGE_TYPE_ERROR (nothing
// written), PROGRESS_ERROR or a mailbox status.
std::uint32_t UpdateWakeupSlot(std::uint32_t board, const std::uint32_t programId[2]);

// The staged boot-slot update (command 0x9C, phases 8, 9, 10) with the first 16 bits
// of the boot copy; at its end the record is written unless deferWrite is set.
// Returns 0, PROGRESS_ERROR, MAILBOX_ERROR or the failing command's status.
std::uint32_t StagedWakeupUpdate(std::uint32_t board, const WakeupRecord& record,
                                 std::uint32_t deferWrite);
