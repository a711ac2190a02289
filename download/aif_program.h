// Programming of files made of AIF records (single .dwc/.bwc/.fwc images and .all
// containers): every record is checked before anything is erased, then each is
// streamed into flash with LOAD_AREA and the wakeup slots are adjusted.
#pragma once

#include "download/download_status.h"
#include "download/wakeup.h"

#include <cstdint>
#include <cstdio>
#include <vector>

// Status of a record of a kind the loader does not know.
constexpr std::uint32_t AIF_UNKNOWN_RECORD = 6;

// The records of a file that ValidateAifFile accepted.
struct AifFilePlan {
    std::vector<std::uint64_t> records; // record offsets, in file order
    std::uint32_t containerState = 1;   // 2 when the file holds a BWC record
};

// Checks every record of the file against the board: first words, kinds, ids and
// families, lengths, the file side of the key steps, boot ids, the records' check
// words and the container's (the words are read once for both). Sends nothing that
// changes the adapter. Returns 0 with the plan filled, or the status the first
// failing check gives.
std::uint32_t ValidateAifFile(std::uint32_t board, std::uint32_t kind, std::FILE* file,
                              std::uint32_t aifFlag, AifFilePlan& plan);

// Validates the whole file, then loads every record. Returns 0, an RM_STATUS code, a key-step
// status or a mailbox status.
std::uint32_t ProgramAifFile(std::uint32_t board, std::uint32_t kind, std::FILE* file,
                             std::uint32_t aifFlag, std::uint32_t& keyFlag,
                             StepTextCallback stepText, ProgressCallback progress);

// The board check of one record whose header was just read (the file stands after
// it); restores the position. Returns 0, INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT,
// AUTHENTICATION_ERROR or a read status.
std::uint32_t CheckAifRecord(std::uint32_t board, std::FILE* file, const std::uint32_t* header);

// What the loads of one file's records share.
struct AifLoad {
    std::uint32_t kind;           // the file kind (1 = .all)
    std::uint32_t containerState; // 2 when the file holds a BWC record, else 1
    std::uint32_t aifFlag;        // 1: records end in a check word; 2: they do not
    StepTextCallback stepText;
    ProgressCallback progress;
};

// Loads the record at recordOffset of a file that ValidateAifFile accepted: its key
// step, then erase, load and slot adjustments (into wakeupRecord). Returns 0 (also for
// a skipped AWC record) or a failure.
std::uint32_t LoadAifRecord(std::uint32_t board, std::FILE* file, std::uint64_t recordOffset,
                            const AifLoad& load, WakeupRecord& wakeupRecord,
                            std::uint32_t& keyFlag);
