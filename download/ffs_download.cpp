#include "download/ffs_download.h"

#include "download/adapter_objects.h"
#include "image/grp_image.h"
#include "image/image_status.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

namespace {

bool tracing() {
    return (traceSettings.LOG_MODE & TRACE_KEYS_AND_OBJECTS) != 0;
}

// Reads the whole file. Returns 0, 1 (cannot open or read) or 8 (no memory).
std::uint32_t readWholeFile(const char* fileName, std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(fileName, "rb");
    if (file == nullptr) {
        if (tracing())
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

std::uint32_t FFS_GetFwVersion(std::uint32_t board, FixedText<33>* active, FixedText<33>* flash) {
    if (active == nullptr || flash == nullptr)
        return OBJECT_BAD_ARGUMENT;
    FwVersionTexts texts;
    const std::uint32_t status = SLI_CFG_GetFwVersion(board, &texts);
    if (status == OBJECT_OK) {
        *active = texts.active.view();
        *flash = texts.flash.view();
    }
    return status;
}

std::uint32_t FFS_DownloadFile(std::uint32_t board, const char* objectName, const char* fileName) {
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
    if (tracing())
        debugPrint("[FFS_DownloadFile] Calling SLI_CFG_WriteObject: board: %d, fileName: %s, "
                   "objectName: %s, objectsize: %d bytes\n",
                   int(board), fileName, objectName, int(length));
    std::uint32_t written = 0;
    const std::uint32_t status =
        SLI_CFG_WriteObject(board, objectName, bytes.data(), length, &written, 1);
    if (tracing()) {
        debugPrint("[FFS_DownloadFile] %d bytes written\n", int(written));
        if (status != OBJECT_OK && status != RESET_REQUIRED && status != REBOOT_REQUIRED)
            debugPrint("[FFS_DownloadFile] Error SLI_CFG_WriteObject returned: %d\n", int(status));
    }
    return status;
}

std::uint32_t FFS_DownloadFirmware(std::uint32_t board, const char* fileName) {
    if (fileName == nullptr || fileName[0] == '\0')
        return OBJECT_BAD_ARGUMENT;
    const std::uint32_t status = FFS_DownloadFile(board, kFirmwareObjectName, fileName);
    if (tracing() && status != OBJECT_OK && status != RESET_REQUIRED && status != REBOOT_REQUIRED)
        debugPrint("[FFS_DownloadFirmware] Error FFS_DownloadFile returned: %d\n", int(status));
    return status;
}

std::uint32_t FFS_ReadVPD(std::uint32_t board, const char* objectName, std::uint8_t* buffer,
                          std::uint32_t capacity, std::uint32_t* length) {
    if (length == nullptr)
        return OBJECT_BAD_ARGUMENT;
    *length = 0;
    std::vector<std::uint8_t> object;
    try {
        object.assign(2048, 0);
    } catch (const std::bad_alloc&) {
        return OBJECT_OUT_OF_MEMORY;
    }
    std::uint32_t got = 0;
    const std::uint32_t status =
        SLI_CFG_ReadObject(board, objectName, object.data(), std::uint32_t(object.size()), &got);
    if (status != OBJECT_OK) {
        if (tracing())
            debugPrint("[FFS_ReadVPD] Error: SLI_CFG_ReadObject (%s) returned: %d\n",
                       objectName != nullptr ? objectName : "", int(status));
        return status;
    }
    // The VPD length is what arrived less the object's own bytes; an object shorter
    // than those holds no VPD, and the subtraction must not wrap around.
    if (got < kVpdObjectOverheadBytes)
        return OBJECT_FAILED;
    const std::uint32_t vpdBytes = got - kVpdObjectOverheadBytes;
    if (buffer == nullptr || capacity < vpdBytes) {
        if (tracing())
            debugPrint("[FFS_ReadVPD] Error: The VPD buffer (%d bytes) is too small (%d bytes "
                       "required).\n",
                       int(capacity), int(got - kVpdObjectHeaderBytes));
        return OBJECT_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, object.data() + kVpdObjectHeaderBytes, vpdBytes);
    *length = vpdBytes;
    return OBJECT_OK;
}

std::uint32_t FFS_VerifyGrpFile(const char* fileName) {
    return isGrpFile(fileName) == 0 ? OBJECT_OK : std::uint32_t(RM_STATUS_ERROR_INCOMP_IMAGE);
}

std::uint32_t FFS_VerifyGrpG6File(const char* fileName) {
    return isGrpG6File(fileName) == 0 ? OBJECT_OK : std::uint32_t(RM_STATUS_ERROR_INCOMP_IMAGE);
}
