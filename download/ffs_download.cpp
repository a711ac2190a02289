// Firmware files written as the "/prg" object, and the GRP checks before (see ffs_download.h).
#include "download/ffs_download.h"

#include "adapter/adapter_objects.h"
#include "image/grp_image.h"
#include "image/image_status.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <cstdio>
#include <new>
#include <vector>

namespace {

// Reads the whole file. Returns 0, 1 (cannot open or read) or 8 (no memory).
std::uint32_t readWholeFile(const char* fileName, std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        if (tracingKeysAndObjects())
            debugPrint("[FFS_DownloadFile] Error opening file %s:\n", fileName);
        return OBJECT_FAILED;
    }
    std::uint32_t status = OBJECT_OK;
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0)
        size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        status = OBJECT_FAILED;
    } else {
        try {
            bytes.resize(std::size_t(size));
            if (std::fread(bytes.data(), 1, bytes.size(), file) != bytes.size())
                status = OBJECT_FAILED;
        } catch (const std::bad_alloc&) {
            status = OBJECT_OUT_OF_MEMORY;
        }
    }
    std::fclose(file);
    return status;
}

} // namespace

std::uint32_t FFS_DownloadFile(std::uint32_t board, const char* objectName, const char* fileName,
                               const ObjectWriteProgress& progress) {
    if (objectName == nullptr || fileName == nullptr)
        return OBJECT_BAD_ARGUMENT;
    std::vector<std::uint8_t> bytes;
    const std::uint32_t read = readWholeFile(fileName, bytes);
    if (read != OBJECT_OK)
        return read;
    // The object layer counts in 32 bits; a larger file cannot be sent whole.
    if (bytes.size() > 0xFFFFFFFFu)
        return OBJECT_FAILED;
    const std::uint32_t length = std::uint32_t(bytes.size());
    if (tracingKeysAndObjects())
        debugPrint("[FFS_DownloadFile] Calling SLI_CFG_WriteObject: board: %d, fileName: %s, "
                   "objectName: %s, objectsize: %d bytes\n",
                   int(board), fileName, objectName, int(length));
    std::uint32_t written = 0;
    const std::uint32_t status =
        SLI_CFG_WriteObject(board, objectName, bytes.data(), length, &written, 1, progress);
    if (tracingKeysAndObjects()) {
        debugPrint("[FFS_DownloadFile] %d bytes written\n", int(written));
        if (status != OBJECT_OK && status != RESET_REQUIRED && status != REBOOT_REQUIRED)
            debugPrint("[FFS_DownloadFile] Error SLI_CFG_WriteObject returned: %d\n", int(status));
    }
    return status;
}

std::uint32_t FFS_DownloadFirmware(std::uint32_t board, const char* fileName, const ObjectWriteProgress& progress) {
    if (fileName == nullptr || fileName[0] == '\0')
        return OBJECT_BAD_ARGUMENT;
    const std::uint32_t status = FFS_DownloadFile(board, kFirmwareObjectName, fileName, progress);
    if (tracingKeysAndObjects() && status != OBJECT_OK && status != RESET_REQUIRED && status != REBOOT_REQUIRED)
        debugPrint("[FFS_DownloadFirmware] Error FFS_DownloadFile returned: %d\n", int(status));
    return status;
}

std::uint32_t FFS_VerifyGrpFile(const char* fileName) {
    return isGrpFile(fileName) == 0 ? OBJECT_OK : std::uint32_t(RM_STATUS_ERROR_INCOMP_IMAGE);
}

std::uint32_t FFS_VerifyGrpG6File(const char* fileName) {
    return isGrpG6File(fileName) == 0 ? OBJECT_OK : std::uint32_t(RM_STATUS_ERROR_INCOMP_IMAGE);
}
