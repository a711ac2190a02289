// Programming of files made of AIF records (single .dwc/.bwc/.fwc images and .all
// containers): every record is checked before any is loaded, then each is streamed
// into flash with LOAD_AREA and the wakeup slots are adjusted.
#pragma once

#include "download/download_status.h"
#include "download/wakeup.h"

#include <cstdint>
#include <cstdio>

// Status of a record of a kind the loader does not know.
constexpr std::uint32_t AIF_UNKNOWN_RECORD = 6;

// Checks and loads every record of the file. Returns 0, an RM_STATUS code, a key-step
// status or a mailbox status.
std::uint32_t ProgramAifFile(std::uint32_t board, std::uint32_t kind, std::FILE* file,
                             std::uint32_t aifFlag, std::uint32_t& keyFlag,
                             StepTextCallback stepText, ProgressCallback progress);

// The board check of one record whose header was just read (the file stands after
// it); restores the position. Returns 0, INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT,
// AUTHENTICATION_ERROR or a read status.
std::uint32_t CheckAifRecord(std::uint32_t board, std::FILE* file, const std::uint32_t* header);

// Checks and loads the record at recordOffset. containerState: 2 when the file holds
// a BWC record, else 1. Returns 0 (also for a skipped AWC record) or a failure.
std::uint32_t LoadAifRecord(std::uint32_t board, std::uint32_t kind, std::uint32_t containerState,
                            std::FILE* file, std::uint64_t recordOffset, std::uint32_t aifFlag,
                            WakeupRecord& wakeupRecord, std::uint32_t& keyFlag,
                            StepTextCallback stepText, ProgressCallback progress);
