// AIF and container programming: walks and checks every record of an ALL/AIF file
// before the first erase, then erases and streams each record with LOAD_AREA and
// adjusts the wakeup parameters. Record and PRG header fields come from
// image/image_layouts.h, mailbox fields from adapter/mailbox_layouts.h.
#include "download/aif_program.h"

#include "adapter/adapter_environment.h"
#include "adapter/adapter_family.h"
#include "adapter/adapter_memory.h"
#include "adapter/device_table.h"
#include "adapter/mailbox.h"
#include "common/bytes.h"
#include "download/compat_tables.h"
#include "download/file_words.h"
#include "download/kek.h"
#include "download/load_list.h"
#include "download/prg_program.h"
#include "download/vpd_list.h"
#include "image/all_image.h"
#include "download/download_feedback.h"
#include "image/file_checksum.h"
#include "image/prg_image.h"
#include "image/version_forms.h"

#include <cstdio>
#include <cstring>
#include <optional>
#include <vector>

namespace {

constexpr std::uint32_t kFlashVersionAddress = 0x1F0;
using aif_layout::kAwcIdOffset;
using aif_layout::kRecordPrgOffset;
constexpr std::size_t kWordBody = aif_layout::kBodySizeWord, kWordBody2 = aif_layout::kBodySize2Word,
                      kWordSelector = aif_layout::kSelectorWord, kWordAddress = aif_layout::kFlashAddressWord,
                      kWordExtent = aif_layout::kEraseExtentWord;
// An adapter that never finishes an erase would hold the download forever.
constexpr int kMaxEraseSteps = 65536;


std::uint64_t recordSize(const std::uint32_t* header, std::uint32_t aifFlag, bool loaded) {
    std::uint64_t size = AIF_HEADER_SIZE + std::uint64_t(header[kWordBody]);
    if (loaded)
        size += header[kWordBody2];
    return size + (aifFlag == 1 ? aif_layout::kCheckWordBytes : 0);
}

// Reads a record header at the current position.
std::uint32_t readHeader(std::FILE* file, std::uint32_t* header) {
    return readFileWords(file, header, AIF_HEADER_WORDS);
}

// The AWC image id word of the record at recordOffset; restores the position.
std::uint32_t awcIdWord(std::FILE* file, std::uint64_t recordOffset, std::uint32_t& word) {
    const long here = std::ftell(file);
    std::uint32_t status = seekTo(file, recordOffset + kAwcIdOffset)
                               ? readFileWords(file, &word, 1)
                               : INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::clearerr(file);
    if (here < 0 || std::fseek(file, here, SEEK_SET) != 0)
        status = INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    return status;
}

// The PRG images of a DWC record: (start, header) pairs from record offset 132 until
// a header of 0xFFFFFFFF or one that cannot be read.
struct RecordPrg {
    std::uint32_t header[PRG_HEADER_WORDS];
};
std::vector<RecordPrg> recordPrgImages(std::FILE* file, std::uint64_t recordOffset,
                                       std::uint64_t recordEnd) {
    std::vector<RecordPrg> images;
    const long here = std::ftell(file);
    std::uint64_t at = recordOffset + kRecordPrgOffset;
    while (at + PRG_HEADER_SIZE <= recordEnd && seekTo(file, at)) {
        RecordPrg image{};
        const std::uint32_t& length = image.header[prg_layout::kLengthWord];
        if (readFileWords(file, image.header, PRG_HEADER_WORDS) != 0 ||
            length == prg_layout::kEndOfImages)
            break;
        images.push_back(image);
        if (length < PRG_HEADER_SIZE) // would never move the walk on
            break;
        at += length;
    }
    std::clearerr(file);
    if (here >= 0)
        std::fseek(file, here, SEEK_SET);
    return images;
}

std::uint32_t checkRecord(std::uint32_t board, std::FILE* file, const std::uint32_t* header,
                          std::uint64_t recordOffset) {
    const std::uint32_t family = GetAdapterFamily(board);
    const std::string v3Text = readVpdCompatList(board);
    const char* v3 = v3Text.c_str();
    const bool hasV3 = v3[0] != '\0';
    const std::uint32_t kindWord = header[AIF_KIND_WORD];
    if (kindWord == AWC_IMAGE) {
        std::uint32_t idWord = 0;
        const std::uint32_t status = awcIdWord(file, recordOffset, idWord);
        if (status != 0)
            return status;
        if (hasV3 && CheckVpdList(v3, kAwcListType, legacyImageId(idWord)) == 0)
            return 0;
        const std::uint32_t needed = awcFamilyForBoard(family);
        if (needed == 0 || awcImageFamily(idWord) != needed)
            return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
        return 0;
    }
    if (kindWord != DWC_IMAGE && kindWord != BWC_IMAGE && kindWord != FWC_IMAGE)
        return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    const std::uint32_t version = header[AIF_VERSION_WORD];
    if (hasV3) {
        if (CheckVpdList(v3, legacyImageType(version), legacyImageId(version)) == 0)
            return 0;
        if (kindWord != DWC_IMAGE || !isOemBoard(board))
            return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    }
    if (kindWord == FWC_IMAGE) // only a listing of the board's own takes one
        return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    return checkBuiltInCompat(family, isOemBoard(board), version);
}

// True when the key block at the absolute offset can be read and names a key of the
// chain (compared over the chain entry's name, as the key walk compares it).
bool keyNameKnownAt(std::FILE* file, std::uint64_t offset) {
    char name[kKekNameBuffer] = {};
    std::uint32_t length = sizeof name;
    std::uint32_t keyFlag = 0;
    if (!seekTo(file, offset) || ReadKekIdFromPRG(file, name, length, 0, keyFlag) != 0)
        return false;
    for (const KekEntry& entry : kKekTable)
        if (std::strncmp(entry.name, name, entry.nameLength) == 0)
            return true;
    return false;
}

// The file side of the key step an FWC record will take before its erase: the key
// block must be there and name a known key. A refusal comes from the key step itself,
// which fails before it sends a command, so its status and lines are the ones it gives
// at load time.
std::uint32_t checkKeyBlock(std::uint32_t board, std::FILE* file, const std::uint32_t* header,
                            std::uint64_t recordOffset) {
    if (header[AIF_KIND_WORD] != FWC_IMAGE)
        return 0;
    const std::uint64_t body = recordOffset + AIF_HEADER_SIZE;
    std::uint32_t prg[PRG_HEADER_WORDS] = {};
    const std::uint32_t& keyWord = prg[prg_layout::kKeyBlockWord];
    const bool known = seekTo(file, body) && readFileWords(file, prg, PRG_HEADER_WORDS) == 0 &&
                       layout::get(prg[prg_layout::kFlagsWord], prg_layout::kSigned) != 0 &&
                       keyWord >= key_block::kBackFromFwcWord &&
                       keyNameKnownAt(file, body + PRG_HEADER_SIZE + keyWord - key_block::kBackFromFwcWord);
    std::clearerr(file);
    if (known)
        return 0;
    if (!seekTo(file, body))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint32_t keyFlag = 0;
    return AuthenticateFWC(board, file, keyFlag);
}

// Runs of words folded apart are chained into the fold of their concatenation: a run
// of n words folded from the seed into `run` continues a fold that stood at `sum`.
// FileChecksum answers rotate-left(fold), hence the rotation back.
std::uint32_t rotateLeftBy(std::uint32_t v, unsigned k) {
    k &= 31;
    return k == 0 ? v : (v << k) | (v >> (32 - k));
}
std::uint32_t chainFold(std::uint32_t sum, std::uint64_t words, std::uint32_t checksum) {
    const unsigned k = unsigned(words & 31);
    const std::uint32_t run = rotateLeftBy(checksum, 31);
    return rotateLeftBy(sum, k) ^ run ^ rotateLeftBy(CHECKSUM_SEED, k);
}

struct WalkedRecord {
    std::uint64_t offset = 0;
    std::uint32_t header[AIF_HEADER_WORDS] = {};
};

// Reads every record header and checks each record against the board (its first
// word, kind, ids and family). Kind 1 walks the container; other kinds hold one record.
std::uint32_t walkRecords(std::uint32_t board, std::uint32_t kind, std::FILE* file,
                          std::uint32_t aifFlag, std::vector<WalkedRecord>& records,
                          std::uint32_t& containerState) {
    std::uint64_t at = 0;
    while (seekTo(file, at)) {
        WalkedRecord record;
        record.offset = at;
        std::uint32_t status = readHeader(file, record.header);
        if (kind == 1 && status == (INVALID_IMAGE_ERROR | SHORT_IMAGE))
            break; // the end of the file ends the walk
        if (status != 0)
            return status;
        if (record.header[aif_layout::kFirstWord] != aif_layout::kFirst.value)
            return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
        if (kind == 1 && record.header[AIF_KIND_WORD] == BWC_IMAGE)
            containerState = 2;
        status = CheckAifRecord(board, file, record.header);
        if (status != 0)
            return status;
        records.push_back(record);
        if (kind != 1)
            return 0;
        at += recordSize(record.header, aifFlag, false);
    }
    return kind == 1 ? 0 : INVALID_IMAGE_ERROR | ERROR_READING_FILE;
}

// The container's check word: the whole file must fold to zero. When the records tile
// the file in whole words (no second body size), each record's own fold is taken on
// the way and kept, so that the records' check words cost no second pass over the file.
std::uint32_t checkContainerFold(std::FILE* file, const std::vector<WalkedRecord>& records,
                                 std::vector<std::optional<std::uint32_t>>& recordFolds) {
    std::clearerr(file);
    if (std::fseek(file, 0, SEEK_END) != 0)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const long endPosition = std::ftell(file);
    if (endPosition < 4)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    const std::uint64_t end = std::uint64_t(endPosition);
    bool tiles = true;
    std::uint64_t covered = 0;
    for (const WalkedRecord& record : records) {
        const std::uint64_t size = recordSize(record.header, 1, true);
        tiles = tiles && record.header[kWordBody2] == 0 && size % 4 == 0 &&
                record.offset == covered && record.offset + size <= end;
        covered = record.offset + size;
    }
    std::uint32_t checksum = 0;
    if (!tiles) {
        if (!seekTo(file, 0))
            return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
        checksum = FileChecksum(file, end / 4 - 1);
    } else {
        std::uint32_t sum = CHECKSUM_SEED;
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::uint64_t words = recordSize(records[i].header, 1, true) / 4;
            if (!seekTo(file, records[i].offset))
                return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
            const std::uint32_t fold = FileChecksum(file, words - 1);
            recordFolds[i] = fold;
            sum = chainFold(sum, words, fold);
        }
        const std::uint64_t tail = end / 4 - covered / 4; // the file's own check word
        if (tail > 0) {
            if (!seekTo(file, covered))
                return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
            sum = chainFold(sum, tail, FileChecksum(file, tail - 1));
        }
        checksum = rotateLeft1(sum);
    }
    return checksum == 0 ? 0 : BAD_CHECKSUM_ERROR;
}

// What the load checks of one record, before anything is erased: the whole record is
// in the file, its key block, the boot id of a boot image it carries, its check word.
std::uint32_t checkRecordContents(std::uint32_t board, std::FILE* file, const WalkedRecord& record,
                                  std::uint32_t aifFlag, std::optional<std::uint32_t> fold) {
    const std::uint32_t* header = record.header;
    const std::uint64_t size = recordSize(header, aifFlag, true);
    std::uint8_t byte = 0;
    if (!seekTo(file, record.offset + size - 1))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    if (std::fread(&byte, 1, 1, file) != 1)
        return shortReadStatus(file);
    std::uint32_t status = checkKeyBlock(board, file, header, record.offset);
    if (status != 0)
        return status;
    if (header[AIF_KIND_WORD] == DWC_IMAGE)
        for (const RecordPrg& image : recordPrgImages(file, record.offset, record.offset + size))
            if (legacyImageType(image.header[prg_layout::kProgramIdWord]) == 3) {
                status =
                    checkBootId(GetAdapterFamily(board), legacyImageId(header[AIF_VERSION_WORD]));
                if (status != 0)
                    return status;
                break;
            }
    if (aifFlag != 1)
        return 0;
    if (!fold) {
        if (!seekTo(file, record.offset))
            return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
        fold = FileChecksum(file, size / 4 - 1);
    }
    return *fold == 0 ? 0 : BAD_CHECKSUM_ERROR;
}

// One LOAD_AREA command; state and the next address come from the answer.
std::uint32_t loadArea(std::uint32_t board, MailboxImage& m, std::uint32_t& state,
                       std::uint32_t& address) {
    setMailboxCommand(m, LOAD_AREA);
    const std::uint32_t status = IssueMbox(board, m);
    if (status != 0)
        return status;
    state = mailboxField(m, mbx::kAreaState);
    address = mailboxWord(m, mbx::kAreaAddressWord);
    return 0;
}

std::uint32_t eraseArea(std::uint32_t board, const std::uint32_t* header, std::uint32_t selector) {
    std::uint32_t state = 0, address = header[kWordAddress];
    for (int n = 0; n < kMaxEraseSteps; ++n) {
        MailboxImage m;
        setMailboxField(m, mbx::kLoadTransfer, 1);
        setMailboxField(m, mbx::kLoadErase, 1);
        setMailboxField(m, mbx::kAreaPhase, n == 0 ? 1u : 2u);
        setMailboxField(m, mbx::kAreaSelector, selector);
        setMailboxWord(m, mbx::kAreaAddressWord, address);
        setMailboxWord(m, mbx::kLoadLengthWord, header[kWordExtent]);
        const std::uint32_t status = loadArea(board, m, state, address);
        if (status != 0)
            return status;
        if (state == 2)
            return 0;
    }
    return PROGRESS_ERROR;
}

std::uint32_t loadBody(std::uint32_t board, std::FILE* file, const std::uint32_t* header,
                       std::uint32_t selector, const ProgressCallback& progress) {
    const std::uint64_t length = std::uint64_t(header[kWordBody]) + header[kWordBody2];
    std::uint64_t remaining = length;
    std::uint32_t state = 2, address = header[kWordAddress];
    bool first = true;
    while (remaining > 0) {
        const std::uint32_t chunk =
            std::uint32_t(remaining < kDownloadChunkBytes ? remaining : kDownloadChunkBytes);
        MailboxImage m;
        if (std::fread(m.bytes.data() + mbx::kDataOffset, 1, chunk, file) != chunk)
            return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
        remaining -= chunk;
        // Once the adapter stops answering state 3 the rest is read but not sent.
        if (first || state == 3) {
            const bool last = remaining == 0;
            setMailboxField(m, mbx::kLoadProgram, 1);
            setMailboxField(m, mbx::kLoadTransfer, 1);
            setMailboxField(m, mbx::kLoadLast, last ? 1u : 0u);
            setMailboxField(m, mbx::kAreaPhase, last ? 4u : 3u);
            setMailboxField(m, mbx::kAreaSelector, selector);
            setMailboxWord(m, mbx::kAreaAddressWord, address);
            setMailboxWord(m, mbx::kLoadLengthWord, chunk);
            setMailboxWord(m, mbx::kLoadDataOffsetWord, mbx::kDataOffset);
            const std::uint32_t status = loadArea(board, m, state, address);
            if (status != 0)
                return status;
            first = false;
        }
        // Every chunk: the watcher decides how often to show it.
        reportProgress(progress, 99 - std::uint32_t(remaining * 100 / length), length - remaining, length);
    }
    return state == 4 ? 0 : PROGRESS_ERROR;
}

void adjustAfterDwc(std::uint32_t board, std::uint32_t kind, std::uint32_t containerState,
                    const std::vector<RecordPrg>& images, WakeupRecord& record) {
    for (const RecordPrg& image : images) {
        const std::uint32_t type = legacyImageType(image.header[prg_layout::kProgramIdWord]);
        const std::uint32_t id[2] = {image.header[prg_layout::kProgramIdWord],
                                     image.header[prg_layout::kProgramId2Word]};
        if (type == 2 || type == 6 || type == 7 || type == 11 || type == 14) {
            setWakeupSlot(record, std::size_t(wakeupSlotOffset(type)), id);
            continue;
        }
        if (type != 3 || !(kind == 2 || containerState == 1) ||
            !wakeupSlotSet(record, kWakeupBootCopyOffset))
            continue;
        std::uint32_t copy[2], boot[2], entry[2];
        getWakeupSlot(record, kWakeupBootCopyOffset, copy);
        getWakeupSlot(record, 12, boot);
        if (!findMatchingLoadEntry(board, copy[0], entry))
            continue;
        const bool bootEmpty = boot[0] == 0 && boot[1] == 0;
        if (bootEmpty || boot[0] == copy[0]) {
            setWakeupSlot(record, kWakeupBootCopyOffset, entry);
            if (!bootEmpty)
                setWakeupSlot(record, 12, entry);
            StagedWakeupUpdate(board, record, 0);
        }
    }
}

void adjustAfterBwc(std::uint32_t board, std::uint32_t kind, std::uint32_t w,
                    WakeupRecord& record) {
    const std::uint32_t plain[2] = {w, 0};
    if (kind == 3) {
        setWakeupSlot(record, 12, plain);
        setWakeupSlot(record, kWakeupBootCopyOffset, plain);
        return;
    }
    if (kind != 1)
        return;
    const bool bootSet = wakeupSlotSet(record, 12);
    std::uint32_t copy[2], entry[2];
    getWakeupSlot(record, kWakeupBootCopyOffset, copy);
    if (!wakeupSlotSet(record, kWakeupBootCopyOffset)) {
        setWakeupSlot(record, kWakeupBootCopyOffset, plain);
    } else if (copy[0] == w) {
        setWakeupSlot(record, kWakeupBootCopyOffset, plain);
        if (bootSet)
            setWakeupSlot(record, 12, plain);
    } else if (findMatchingLoadEntry(board, copy[0], entry)) {
        setWakeupSlot(record, kWakeupBootCopyOffset, entry);
        if (bootSet)
            setWakeupSlot(record, 12, entry);
    } else {
        writeHost32(record.bytes.data(), kWakeupBootCopyOffset, w);
        if (bootSet)
            writeHost32(record.bytes.data(), 12, w);
    }
    StagedWakeupUpdate(board, record, 0);
}

} // namespace

std::uint32_t CheckAifRecord(std::uint32_t board, std::FILE* file, const std::uint32_t* header) {
    const long here = std::ftell(file);
    if (here < long(AIF_HEADER_SIZE))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    return checkRecord(board, file, header, std::uint64_t(here) - AIF_HEADER_SIZE);
}

std::uint32_t LoadAifRecord(std::uint32_t board, std::FILE* file, std::uint64_t recordOffset,
                            const AifLoad& load, WakeupRecord& wakeupRecord,
                            std::uint32_t& keyFlag) {
    const std::uint32_t kind = load.kind, aifFlag = load.aifFlag;
    const StepTextCallback& stepText = load.stepText;
    const ProgressCallback& progress = load.progress;
    std::uint32_t header[AIF_HEADER_WORDS] = {};
    if (!seekTo(file, recordOffset))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::uint32_t status = readHeader(file, header);
    if (status != 0)
        return status;
    const std::uint64_t size = recordSize(header, aifFlag, true);
    const std::uint64_t body = recordOffset + AIF_HEADER_SIZE;
    if (!seekTo(file, body))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;

    const std::uint32_t family = GetAdapterFamily(board);
    const std::uint32_t kindWord = header[AIF_KIND_WORD];
    const std::uint64_t recordEnd = recordOffset + size;
    if (kindWord == AWC_IMAGE) {
        if (kind == 1) {
            std::uint32_t flashVersion = 0;
            if (ReadAdapterMemory(board, &flashVersion, kFlashVersionAddress, 1) != 0)
                return FLASH_VERSION_READ_ERROR;
            std::uint32_t idWord = 0;
            if (flashVersion == header[AIF_VERSION_WORD] &&
                awcIdWord(file, recordOffset, idWord) == 0 &&
                awcImageFamily(idWord) == awcFamilyForBoard(family))
                return 0; // the adapter already runs this AWC image
        }
    } else if (kindWord == FWC_IMAGE) {
        status = AuthenticateFWC(board, file, keyFlag);
        if (status != 0)
            return status;
    } else if (kindWord != BWC_IMAGE && kindWord != DWC_IMAGE) {
        return AIF_UNKNOWN_RECORD;
    }

    // The record's length, boot id and check word were verified with the whole file.
    reportStep(stepText, "Validating Checksum");
    reportStep(stepText, "Checksum OK");
    if (!seekTo(file, body))
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;

    const std::uint32_t selector = layout::get(header[kWordSelector], aif_layout::kSelectorArea);
    reportStep(stepText, "Erasing Flash ROM Sectors");
    reportProgress(progress, 0);
    status = eraseArea(board, header, selector);
    if (status != 0)
        return status;
    reportProgress(progress, 100);

    reportStep(stepText, "Loading Image");
    const std::uint64_t bodyBytes = std::uint64_t(header[kWordBody]) + header[kWordBody2];
    reportProgress(progress, 0, 0, bodyBytes);
    status = loadBody(board, file, header, selector, progress);
    if (status != 0)
        return status;
    reportProgress(progress, 100, bodyBytes, bodyBytes);

    if (kindWord == DWC_IMAGE) {
        WakeupRecord fresh;
        if (readWakeupForDownload(board, fresh) != 0)
            return MAILBOX_ERROR;
        adjustAfterDwc(board, kind, load.containerState,
                       recordPrgImages(file, recordOffset, recordEnd), fresh);
        wakeupRecord = fresh;
    } else if (kindWord == BWC_IMAGE) {
        adjustAfterBwc(board, kind, header[AIF_VERSION_WORD], wakeupRecord);
    }
    reportStep(stepText, "Image Successfully Downloaded");
    return 0;
}

std::uint32_t ValidateAifFile(std::uint32_t board, std::uint32_t kind, std::FILE* file,
                              std::uint32_t aifFlag, AifFilePlan& plan) {
    plan = AifFilePlan{};
    if (file == nullptr)
        return INVALID_IMAGE_ERROR | ERROR_READING_FILE;
    std::vector<WalkedRecord> records;
    std::uint32_t status = walkRecords(board, kind, file, aifFlag, records, plan.containerState);
    if (status != 0)
        return status;
    std::vector<std::optional<std::uint32_t>> recordFolds(records.size());
    if (kind == 1 && aifFlag == 1) {
        status = checkContainerFold(file, records, recordFolds);
        if (status != 0)
            return status;
    }
    if (records.empty())
        return INVALID_IMAGE_ERROR | SHORT_IMAGE;
    for (std::size_t i = 0; i < records.size(); ++i) {
        status = checkRecordContents(board, file, records[i], aifFlag, recordFolds[i]);
        if (status != 0)
            return status;
    }
    std::clearerr(file);
    for (const WalkedRecord& record : records)
        plan.records.push_back(record.offset);
    return 0;
}

std::uint32_t ProgramAifFile(std::uint32_t board, std::uint32_t kind, std::FILE* file,
                             std::uint32_t aifFlag, std::uint32_t& keyFlag,
                             StepTextCallback stepText, ProgressCallback progress) {
    // Every record is checked before the first erase: a container with one bad record
    // leaves the adapter as it was.
    AifFilePlan plan;
    std::uint32_t status = ValidateAifFile(board, kind, file, aifFlag, plan);
    if (status != 0)
        return status;
    const std::vector<std::uint64_t>& records = plan.records;
    const AifLoad load = {kind, plan.containerState, aifFlag, stepText, progress};

    std::clearerr(file);
    seekTo(file, 0);
    WakeupRecord record;
    if (readWakeupForDownload(board, record) != 0)
        return MAILBOX_ERROR;
    const WakeupRecord original = record;

    for (std::size_t n = 0; n < records.size(); ++n) {
        char text[32];
        if (kind == 1)
            std::snprintf(text, sizeof text, "Reading AIF Header #%d", int(n + 1));
        else
            std::snprintf(text, sizeof text, "Reading AIF Header");
        reportStep(stepText, text);
        status = LoadAifRecord(board, file, records[n], load, record, keyFlag);
        if (status != 0)
            return status;
    }
    if (record.bytes != original.bytes) {
        reportStep(stepText, "Updating Wakeup Parameters");
        return WriteWakeupParameters(board, record);
    }
    return 0;
}
