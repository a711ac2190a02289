// Owns the file-level downloads through the adapter object store (adapter/): a
// firmware file written as the object "/prg", and the GRP header checks that come
// before such a download.
#pragma once

#include "adapter/adapter_objects.h"

#include <cstdint>

constexpr const char* kFirmwareObjectName = "/prg";

// Writes a whole file as the named object, telling `progress` after each piece.
// Returns the write's result (0, RESET_REQUIRED, REBOOT_REQUIRED, or a failure
// status), 1 when the file cannot be opened or read, 8 when its bytes cannot be held
// in memory.
std::uint32_t FFS_DownloadFile(std::uint32_t board, const char* objectName, const char* fileName,
                               const ObjectWriteProgress& progress = {});

// FFS_DownloadFile of "/prg"; 4 for an empty file name.
std::uint32_t FFS_DownloadFirmware(std::uint32_t board, const char* fileName,
                                   const ObjectWriteProgress& progress = {});

// The GRP header checks before a download, plain and G6: 0 when the file passes,
// else 194.
std::uint32_t FFS_VerifyGrpFile(const char* fileName);
std::uint32_t FFS_VerifyGrpG6File(const char* fileName);
