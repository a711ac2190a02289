// Board-family tests by device ID and by board (see board_family.h).
#include "adapter/board_family.h"

#include "adapter/adapter_environment.h"

#include <algorithm>
#include <initializer_list>

namespace {

bool oneOf(std::uint32_t deviceId, std::initializer_list<std::uint32_t> ids) {
    return std::find(ids.begin(), ids.end(), deviceId) != ids.end();
}

// The management library, absent here, would give a second device id per function;
// it is always 0, so tests on it are false.
constexpr std::uint32_t kManagementDeviceId = 0;

const AdapterRecord* recordOf(std::uint32_t board) {
    return isValidBoard(board) ? &adapterEnv.table[board] : nullptr;
}

} // namespace

bool isVX2FCoEDevice(std::uint32_t id) {
    return oneOf(id, {0x0214, 0x0704});
}
bool isVX2NICDevice(std::uint32_t id) {
    return oneOf(id, {0x0211, 0x0700});
}
bool isVX2iSCSIDevice(std::uint32_t id) {
    return oneOf(id, {0x0212, 0x0702});
}
bool isVX3FCoEDevice(std::uint32_t id) {
    return oneOf(id, {0x0714, 0x071C});
}
bool isVX3NICDevice(std::uint32_t id) {
    return oneOf(id, {0x0710, 0x0718});
}
bool isVX3iSCSIDevice(std::uint32_t id) {
    return oneOf(id, {0x0712, 0x0713, 0x071A, 0x071B});
}
bool isVX4FCoEDevice(std::uint32_t id) {
    return oneOf(id, {0x0724, 0x072C});
}
bool isVX4NICDevice(std::uint32_t id) {
    return oneOf(id, {0x0720, 0x0728});
}
bool isVX4iSCSIDevice(std::uint32_t id) {
    return oneOf(id, {0x0722, 0x0723, 0x072A, 0x072B});
}

bool isVX2Device(std::uint32_t id) {
    return isVX2FCoEDevice(id) || isVX2NICDevice(id) || isVX2iSCSIDevice(id);
}
bool isVX3Device(std::uint32_t id) {
    return isVX3FCoEDevice(id) || isVX3NICDevice(id) || isVX3iSCSIDevice(id);
}
bool isVX4Device(std::uint32_t id) {
    return isVX4FCoEDevice(id) || isVX4NICDevice(id) || isVX4iSCSIDevice(id);
}
bool isVXFCoEDevice(std::uint32_t id) {
    return isVX2FCoEDevice(id) || isVX3FCoEDevice(id) || isVX4FCoEDevice(id);
}
bool isVXNICDevice(std::uint32_t id) {
    return isVX2NICDevice(id) || isVX3NICDevice(id) || isVX4NICDevice(id);
}
bool isVXiSCSIDevice(std::uint32_t id) {
    return isVX2iSCSIDevice(id) || isVX3iSCSIDevice(id) || isVX4iSCSIDevice(id);
}

bool isFerroxE300Device(std::uint32_t id) {
    return id == 0xE300;
}
bool isFerroxFCDevice(std::uint32_t id) {
    return oneOf(id, {0xE200, 0xE208}) || isFerroxE300Device(id);
}
bool isFerroxFCoEDevice(std::uint32_t id) {
    return oneOf(id, {0xE260, 0xE268});
}
bool isFerroxNICDevice(std::uint32_t id) {
    return oneOf(id, {0xE220, 0xE228});
}
bool isFerroxConvergedDevice(std::uint32_t id) {
    return isFerroxFCoEDevice(id) || isFerroxNICDevice(id);
}
bool isFerroxDevice(std::uint32_t id) {
    return isFerroxFCDevice(id) || isFerroxConvergedDevice(id) || isFerroxE300Device(id);
}

bool isArvoDevice(std::uint32_t id) {
    return oneOf(id, {0xF100, 0xF015, 0xF011, 0xF104, 0xF111, 0xF112, 0xFC40, 0xF10B, 0x338F,
                      0xF10A, 0xF180});
}

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

bool isWideAddressBoard(std::uint32_t board) {
    if (board >= adapterEnv.table.size())
        return false;
    switch (adapterEnv.table[board].hardwareId) {
    case 18:
    case 0x577:
    case 0x1004:
    case 0x510:
    case 0x364:
        return true;
    default:
        return false;
    }
}
