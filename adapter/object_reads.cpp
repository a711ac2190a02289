// Whole-object reads: the VPD object and the firmware version texts (see object_reads.h).
#include "adapter/object_reads.h"

#include "adapter/adapter_objects.h"
#include "log/debug_log.h"
#include "log/trace.h"

#include <cstring>
#include <new>
#include <vector>

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
        if (tracingKeysAndObjects())
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
        if (tracingKeysAndObjects())
            debugPrint("[FFS_ReadVPD] Error: The VPD buffer (%d bytes) is too small (%d bytes "
                       "required).\n",
                       int(capacity), int(got - kVpdObjectHeaderBytes));
        return OBJECT_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, object.data() + kVpdObjectHeaderBytes, vpdBytes);
    *length = vpdBytes;
    return OBJECT_OK;
}
