// The download dispatcher: one payload file to one board, routed by the file's kind
// and first word to the PRG, AIF/container or object download.
#pragma once

#include "download/download_status.h"
// The file kinds (FILE_KIND_*) and downloadFileKind live with the other name tests.
#include "image/file_extension.h"

#include <cstdint>

// The wait the dispatcher makes after setting loopback; tests replace it.
using DownloadSleep = void (*)(unsigned milliseconds);
extern DownloadSleep downloadSleep;

// The driver type: the library's answer, refined by the sub-kind when it is 2.
// Always returns 0.
std::uint32_t GetDriverType(std::uint32_t board, std::uint32_t& type);

// Sets local loopback when the link is down, then waits 500 ms. Returns 0, or 200 when
// the link state cannot be read or loopback cannot be set.
std::uint32_t SetLoopbackIfLinkDown(std::uint32_t board, std::uint32_t& done);

// Downloads one file to one board. Returns 0, a download outcome the update procedure
// knows (1, 7, 14, 70, 71, 80, 89, 90), an RM_STATUS code or a status passed on.
std::uint32_t UpdateTindleFirmwareWithFeedback(std::uint32_t board, const char* path,
                                               StepTextCallback stepText,
                                               ProgressCallback progress);
