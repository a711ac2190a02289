// Board-family tests by device ID and by board (see board_family.h).
#include "adapter/board_family.h"

#include "adapter/adapter_environment.h"
#include "adapter/device_table.h"

namespace {

// The management library, absent here, would give a second device id per function;
// it is always 0, so tests on it are false.
constexpr std::uint32_t kManagementDeviceId = 0;

const AdapterRecord* recordOf(std::uint32_t board) {
    return isValidBoard(board) ? &adapterEnv.table[board] : nullptr;
}

bool isFamily(std::uint32_t id, DeviceFamily family) {
    const DeviceRow* row = findDeviceRow(id);
    return row != nullptr && row->family == family;
}

bool isFunction(std::uint32_t id, DeviceFamily family, FunctionKind function) {
    const DeviceRow* row = findDeviceRow(id);
    return row != nullptr && row->family == family && row->function == function;
}

bool isVX(std::uint32_t id) {
    return isFamily(id, DeviceFamily::VX2) || isFamily(id, DeviceFamily::VX3) || isFamily(id, DeviceFamily::VX4);
}

bool isVXFunction(std::uint32_t id, FunctionKind function) {
    const DeviceRow* row = findDeviceRow(id);
    return row != nullptr && isVX(id) && row->function == function;
}

} // namespace

bool isVX2FCoEDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX2, FunctionKind::FCoE); }
bool isVX2NICDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX2, FunctionKind::NIC); }
bool isVX2iSCSIDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX2, FunctionKind::iSCSI); }
bool isVX3FCoEDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX3, FunctionKind::FCoE); }
bool isVX3NICDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX3, FunctionKind::NIC); }
bool isVX3iSCSIDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX3, FunctionKind::iSCSI); }
bool isVX4FCoEDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX4, FunctionKind::FCoE); }
bool isVX4NICDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX4, FunctionKind::NIC); }
bool isVX4iSCSIDevice(std::uint32_t id) { return isFunction(id, DeviceFamily::VX4, FunctionKind::iSCSI); }

bool isVX2Device(std::uint32_t id) { return isFamily(id, DeviceFamily::VX2); }
bool isVX3Device(std::uint32_t id) { return isFamily(id, DeviceFamily::VX3); }
bool isVX4Device(std::uint32_t id) { return isFamily(id, DeviceFamily::VX4); }
bool isVXFCoEDevice(std::uint32_t id) { return isVXFunction(id, FunctionKind::FCoE); }
bool isVXNICDevice(std::uint32_t id) { return isVXFunction(id, FunctionKind::NIC); }
bool isVXiSCSIDevice(std::uint32_t id) { return isVXFunction(id, FunctionKind::iSCSI); }

bool isFerroxE300Device(std::uint32_t id) { return isFamily(id, DeviceFamily::FerroxE300); }
bool isFerroxFCDevice(std::uint32_t id) {
    return isFamily(id, DeviceFamily::FerroxFC) || isFerroxE300Device(id);
}
bool isFerroxFCoEDevice(std::uint32_t id) {
    return isFunction(id, DeviceFamily::FerroxConverged, FunctionKind::FCoE);
}
bool isFerroxNICDevice(std::uint32_t id) {
    return isFunction(id, DeviceFamily::FerroxConverged, FunctionKind::NIC);
}
bool isFerroxConvergedDevice(std::uint32_t id) { return isFamily(id, DeviceFamily::FerroxConverged); }
bool isFerroxDevice(std::uint32_t id) { return isFerroxFCDevice(id) || isFerroxConvergedDevice(id); }

bool isArvoDevice(std::uint32_t id) { return isFamily(id, DeviceFamily::Arvo); }

// The whole number is compared: a number of 256 or more never wraps onto a board.
bool isValidBoard(std::uint32_t board) {
    return board < adapterEnv.boardCount && board < adapterEnv.table.size();
}

bool isValidAdapter(std::uint32_t board) {
    return board < adapterEnv.totalCount && board < adapterEnv.table.size();
}

bool isHBATypeVexil(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (r->HBAType & 0x20) != 0;
}

bool isFCoEFunction(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (r->HBAType & 0x28) == 0x28;
}

bool isNICFunction(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (r->HBAType & 0x22) == 0x22;
}

bool isiSCSIFunction(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (r->HBAType & 0x24) == 0x24;
}

// Tried in the order FCoE, iSCSI, NIC: a type with the bits of several is the first.
FunctionKind boardFunctionKind(std::uint32_t board) {
    return isFCoEFunction(board)    ? FunctionKind::FCoE
           : isiSCSIFunction(board) ? FunctionKind::iSCSI
           : isNICFunction(board)   ? FunctionKind::NIC
                                    : FunctionKind::FC;
}

bool isConvergedVpdBoard(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (isVXFCoEDevice(r->deviceId) || isVXNICDevice(kManagementDeviceId) ||
                            isVXiSCSIDevice(kManagementDeviceId));
}

bool isFerroxBoard(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (isFerroxDevice(r->deviceId) || isFerroxDevice(kManagementDeviceId));
}

bool isFerroxConvergedBoard(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr &&
           (isFerroxConvergedDevice(r->deviceId) || isFerroxConvergedDevice(kManagementDeviceId));
}

bool isFerroxFCBoard(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (isFerroxFCDevice(r->deviceId) || isFerroxE300Device(r->deviceId));
}

bool isFerroxFCoEBoard(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && isFerroxFCoEDevice(r->deviceId);
}

bool isFerroxE300Board(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && isFerroxE300Device(r->deviceId);
}

bool isLevel4Board(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && r->interfaceLevel4 != 0;
}

bool isMultiFunctionBoard(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr && (r->flags & ADAPTER_FLAG_MULTI_FUNCTION) != 0;
}

bool hasPartnerFunction(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    if (r == nullptr)
        return false;
    for (std::uint32_t j = 0; j < adapterEnv.boardCount && j < adapterEnv.table.size(); ++j) {
        const AdapterRecord& other = adapterEnv.table[j];
        if (j != board && other.bus == r->bus && other.device == r->device &&
            other.function != r->function)
            return true;
    }
    return false;
}

const DeviceRow& boardRow(std::uint32_t board) {
    const AdapterRecord* r = recordOf(board);
    return r != nullptr ? deviceRowOf(r->deviceId) : legacyDeviceRow();
}

DownloadRoute boardRoute(std::uint32_t board) {
    const DownloadRoute route = boardRow(board).route;
    if (route == DownloadRoute::Grp || route == DownloadRoute::GrpG6)
        return route;
    return isHBATypeVexil(board) ? DownloadRoute::None : DownloadRoute::Container;
}

bool isWideAddressBoard(std::uint32_t board) {
    return board < adapterEnv.table.size() && isWideAddressHardware(adapterEnv.table[board].hardwareId);
}
