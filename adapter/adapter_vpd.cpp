// VPD fetched by board kind and decoded into the summary (see adapter_vpd.h).
#include "adapter/adapter_vpd.h"

#include "common/text.h"

#include "adapter/adapter_environment.h"
#include "adapter/board_family.h"
#include "adapter/dfc_library.h"
#include "adapter/object_reads.h"
#include "adapter/regions.h"
#include "adapter/vpd_decode.h"
#include "common/run_state.h"

#include <cstring>


namespace {

bool keywordIs(const VpdEntry& e, const char* keyword) {
    return e.keyword[0] == keyword[0] && e.keyword[1] == keyword[1];
}

} // namespace

std::uint32_t fetchAdapterVpdBytes(std::uint32_t board, std::uint8_t* buffer,
                                   std::uint32_t& length) {
    length = 0;
    if (!isValidBoard(board))
        return REGION_READ_FAILED;
    const std::uint32_t deviceId = adapterEnv.table[board].deviceId;
    std::uint32_t got = 0;
    if (isConvergedVpdBoard(board) || isFerroxFCoEBoard(board)) {
        got = kVpdBufferBytes;
        const std::uint32_t result = dfc.DFC_IssueDumpMBox(board, 2, 0, 14, 0, buffer, &got);
        if (result != 0)
            return result;
    } else if (isVXNICDevice(deviceId) || isVXiSCSIDevice(deviceId) ||
               isFerroxNICDevice(deviceId)) {
        return VPD_SOURCE_NOT_AVAILABLE;
    } else if (isFerroxFCBoard(board)) {
        const std::uint32_t status =
            FFS_ReadVPD(board, kVpdObjectName, buffer, kVpdBufferBytes, &got);
        if (status != 0)
            return status;
    } else {
        std::uint32_t triple = 0;
        if (ReadConfigTriple(board, triple) == REGION_READ_NOT_AVAILABLE)
            return REGION_READ_NOT_AVAILABLE;
        const std::uint32_t status = ReadRegion(board, 14, 1000, got, buffer);
        if (status != 0)
            return status;
    }
    if (got > kVpdBufferBytes)
        return VPD_TOO_LONG_FOR_BUFFER;
    length = got;
    return 0;
}

std::uint32_t readAdapterVpd(std::uint32_t board, AdapterVpd& vpd) {
    vpd = AdapterVpd{};
    std::uint8_t buffer[kVpdBufferBytes] = {};
    std::uint32_t length = 0;
    std::uint32_t status = fetchAdapterVpdBytes(board, buffer, length);
    if (status == 0)
        status = normalizeVpd(buffer, length);
    if (status != 0) {
        vpd.failure = formatText("Attempt to read VPD information fails. Adapter #%d - RM_STATUS = %d",
                                 int(board + 1), int(status));
        return isHBATypeVexil(board) && !isLevel4Board(board) ? VPD_READ_FAILED_CONVERGED
                                                              : VPD_READ_FAILED;
    }
    VpdEntry entry;
    for (std::size_t p = walkVpdEntry(buffer, length, 0, entry); p != kVpdWalkEnd;
         p = walkVpdEntry(buffer, length, p, entry)) {
        if (keywordIs(entry, "SN"))
            vpd.snText = entry.value.view();
        else if (keywordIs(entry, "V1"))
            vpd.v1Text = entry.value.view();
        else if (keywordIs(entry, "V2"))
            vpd.v2Text = entry.value.view();
        else if (keywordIs(entry, "V3"))
            vpd.v3Text = entry.value.view();
        else if (keywordIs(entry, "V4"))
            vpd.v4Text = entry.value.view();
    }
    vpd.present = 1;
    return 0;
}
