// The download dispatcher: one payload file to one board, routed by the file's kind
// and first word to the PRG, AIF/container or object download.
#pragma once

#include "download/download_status.h"
#include "image/clu_image.h"
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
// knows (1, 7, 14, 70, 71, 80, 89, 90), an RM_STATUS code or a status passed on. The
// file's kind and AIF flag come from its name.
std::uint32_t UpdateTindleFirmwareWithFeedback(std::uint32_t board, const char* path,
                                               StepTextCallback stepText,
                                               ProgressCallback progress);

// Downloads one catalogued payload to one board, taking the path, file kind and AIF flag
// the catalogue settled for it; returns as UpdateTindleFirmwareWithFeedback.
std::uint32_t downloadPayload(std::uint32_t board, const CluImage& payload, StepTextCallback stepText,
                              ProgressCallback progress);
