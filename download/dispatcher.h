// The download dispatcher: one payload file to one board, routed by the file's kind
// and first word to the PRG, AIF/container or object download.
#pragma once

#include "download/download_status.h"
#include "image/clu_image.h"
// The file kinds (FILE_KIND_*) and downloadFileKind live with the other name tests.
#include "image/file_extension.h"

#include <cstdint>

// How a download waits (after setting loopback); the update hands its own, tests a
// recording one.
using DownloadSleep = void (*)(unsigned milliseconds);

// The driver type: the library's answer, refined by the sub-kind when it is 2.
// Always returns 0.
std::uint32_t GetDriverType(std::uint32_t board, std::uint32_t& type);

// Sets local loopback when the link is down, then waits 500 ms. Returns 0, or 200 when
// the link state cannot be read or loopback cannot be set.
std::uint32_t SetLoopbackIfLinkDown(std::uint32_t board, std::uint32_t& done, DownloadSleep sleep);

// Takes the board out of the loopback SetLoopbackIfLinkDown set. Returns 0, the
// library's result, or 200 when the library has no loopback call.
std::uint32_t ClearLoopback(std::uint32_t board);

// Downloads one file to one board; loopback it sets is cleared again, whatever the
// outcome. Returns 0, a download outcome the update procedure knows (1, 7, 14, 70, 71,
// 80, 89, 90), an RM_STATUS code or a status passed on. The file's kind and AIF flag
// come from its name (payloadForPath); waits are real.
std::uint32_t UpdateTindleFirmwareWithFeedback(std::uint32_t board, const char* path,
                                               StepTextCallback stepText,
                                               ProgressCallback progress);

// The record a download takes for a file named by its path: the path made absolute
// (as given when it cannot be), its file kind and its AIF flag from the name.
CluImage payloadForPath(const char* path);

// Downloads one catalogued payload to one board, taking the path, file kind and AIF flag
// the catalogue settled for it, waiting with `sleep`; returns as
// UpdateTindleFirmwareWithFeedback.
std::uint32_t downloadPayload(std::uint32_t board, const CluImage& payload, StepTextCallback stepText,
                              ProgressCallback progress, DownloadSleep sleep);
