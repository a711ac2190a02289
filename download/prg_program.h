// Programming of standalone PRG images: every check against the board first, then
// the erase, the chunked load and the wakeup-slot update.
#pragma once

#include "download/download_status.h"
#include "download/wakeup.h"

#include <cstdint>
#include <cstdio>

// Bytes one DOWN_LOAD chunk carries (from word 5 of the mailbox).
constexpr std::uint32_t kDownloadChunkBytes = 108;

// Checks and programs the PRG image open in file (at its start). Nothing is erased
// unless every check passed; the wakeup slot is updated from the record as the adapter
// holds it then. Returns 0, an RM_STATUS code or a mailbox status (241 no flash,
// rewound; 3851 signature refused).
std::uint32_t ProgramPrgImage(std::uint32_t board, std::FILE* file, StepTextCallback stepText,
                              ProgressCallback progress);

// Folds header words 1 to 11; 0 for a good header.
std::uint32_t prgHeaderFold(const std::uint32_t* header);

// The image-type check shared by the PRG and AIF paths: the board's V3 list when it
// has one, else the built-in tables. Returns 0 or INCOMPAT_IMAGE_ERROR | detail.
std::uint32_t checkImageForBoard(std::uint32_t board, std::uint32_t family,
                                 std::uint32_t programIdWord);
