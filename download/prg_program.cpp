// PRG programming: checks a PRG image against the board, then erases, loads it in
// DOWN_LOAD chunks and points the wakeup parameters at it. Header fields come from
// image/image_layouts.h, mailbox fields from adapter/mailbox_layouts.h.
#include "download/prg_program.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_family.h"
#include "adapter/device_table.h"
#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "download/boot_image.h"
#include "download/compat_tables.h"
#include "download/file_words.h"
#include "download/vpd_list.h"
#include "download/download_feedback.h"
#include "image/file_checksum.h"
#include "image/prg_image.h"
#include "image/version_forms.h"

namespace {

// The length check: the image ends exactly where word 0 says.
std::uint32_t checkLength(std::FILE* file, std::uint32_t length) {
    if (length == 0 || !seekTo(file, std::uint64_t(length) - 1))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint8_t byte = 0;
    if (std::fread(&byte, 1, 1, file) != 1)
        return shortReadStatus(file);
    if (std::fread(&byte, 1, 1, file) == 1)
        return INVALID_IMAGE_ERROR | LONG_IMAGE;
    std::clearerr(file);
    return seekTo(file, 0) ? 0 : INVALID_IMAGE_ERROR | ERROR_READING_FILE;
}

} // namespace

std::uint32_t prgHeaderFold(const std::uint32_t* header) {
    std::uint32_t sum = CHECKSUM_SEED;
    for (std::size_t i = prg_layout::kProgramIdWord; i < PRG_HEADER_WORDS; ++i)
        sum = foldWord(sum, header[i]);
    return rotateLeft1(sum);
}

std::uint32_t checkImageForBoard(std::uint32_t board, std::uint32_t family,
                                 std::uint32_t programIdWord) {
    const std::string v3Text = readVpdCompatList(board);
    const char* v3 = v3Text.c_str();
    if (v3[0] != '\0')
        return CheckVpdList(v3, legacyImageType(programIdWord), legacyImageId(programIdWord)) == 0
                   ? 0
                   : INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    return checkBuiltInCompat(family, isOemBoard(board), programIdWord);
}

std::uint32_t ProgramPrgImage(std::uint32_t board, std::FILE* file, StepTextCallback stepText,
                              ProgressCallback progress) {
    if (file == nullptr)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    reportStep(stepText, "Reading Header");
    std::uint32_t header[PRG_HEADER_WORDS] = {};
    std::uint32_t status = ReadPRGImageHeader(file, header);
    if (status != 0)
        return status;
    if (prgHeaderFold(header) != 0)
        return BAD_CHECKSUM_ERROR;
    const std::uint32_t family = GetAdapterFamily(board);
    const FamilyCodeRow& familyRow = familyRowOf(family);
    if (familyRow.refusesPrg)
        return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    namespace h = prg_layout;
    status = checkImageForBoard(board, family, header[h::kProgramIdWord]);
    if (status != 0)
        return status;
    const std::uint32_t type = legacyImageType(header[h::kProgramIdWord]);
    if (type == 3 && familyRow.bootChecked) {
        status = ValidateArvoOrMistleBootProgId(file, family);
        if (status != 0)
            return status;
    }
    const std::uint32_t length = header[h::kLengthWord];
    status = checkLength(file, length);
    if (status != 0)
        return status;
    reportStep(stepText, "Validating Checksum");
    // A length that is no whole number of words cannot fold to zero as an image.
    if (length < PRG_HEADER_SIZE || length % 4 != 0 || FileChecksum(file, length / 4 - 1) != 0)
        return BAD_CHECKSUM_ERROR;

    // Every check has passed: from here on the adapter's flash changes.
    reportStep(stepText, "Erasing Sector(s) In Flash ROM");
    MailboxImage erase;
    setMailboxCommand(erase, DOWN_LOAD);
    setMailboxField(erase, mbx::kLoadProgram, 1);
    setMailboxField(erase, mbx::kLoadTransfer, 1);
    setMailboxField(erase, mbx::kLoadErase, 1);
    setMailboxWord(erase, mbx::kLoadLengthWord, length);
    setMailboxWord(erase, mbx::kLoadIdWord, header[h::kProgramIdWord]);
    setMailboxWord(erase, mbx::kLoadIdWord + 1, header[h::kProgramId2Word]);
    status = IssueMbox(board, erase);
    if (status == MBX_STATUS_NO_FLASH) {
        seekTo(file, 0);
        return status;
    }
    if (status != 0)
        return status;

    reportStep(stepText, "Loading Image");
    reportProgress(progress, 0, 0, length);
    std::uint32_t remaining = length;
    while (remaining > 0) {
        const std::uint32_t chunk =
            remaining < kDownloadChunkBytes ? remaining : kDownloadChunkBytes;
        MailboxImage m;
        if (std::fread(m.bytes.data() + mbx::kDataOffset, 1, chunk, file) != chunk)
            return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
        remaining -= chunk;
        setMailboxCommand(m, DOWN_LOAD);
        setMailboxField(m, mbx::kLoadProgram, 1);
        setMailboxField(m, mbx::kLoadTransfer, 1);
        setMailboxField(m, mbx::kLoadLast, remaining == 0 ? 1u : 0u);
        setMailboxWord(m, mbx::kLoadLengthWord, chunk);
        setMailboxWord(m, mbx::kLoadDataOffsetWord, mbx::kDataOffset);
        status = IssueMbox(board, m);
        if (status != 0)
            return status;
        // Every chunk: the watcher decides how often to show it.
        reportProgress(progress, 99 - std::uint32_t(std::uint64_t(remaining) * 100 / length), length - remaining,
                       length);
    }
    reportProgress(progress, 100, length, length);

    reportStep(stepText, "Updating Wakeup Parameters");
    const std::uint32_t id[2] = {header[h::kProgramIdWord], header[h::kProgramId2Word]};
    status = UpdateWakeupSlot(board, id);
    if (status != 0 && status != INVALID_IMAGE_TYPE_ERROR)
        return status;
    reportStep(stepText, "Image Successfully Downloaded");
    return 0;
}
