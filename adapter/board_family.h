// Owns the board-family tests: by PCI device ID, and per board of the adapter table
// (the wide-address test of memory reads among them). Per-board tests answer false for
// a board number outside the table.
#pragma once

#include "adapter/device_table.h"

#include <cstdint>

// Device-ID tests, one per family and converged function kind.
bool isVX2FCoEDevice(std::uint32_t deviceId);
bool isVX2NICDevice(std::uint32_t deviceId);
bool isVX2iSCSIDevice(std::uint32_t deviceId);
bool isVX3FCoEDevice(std::uint32_t deviceId);
bool isVX3NICDevice(std::uint32_t deviceId);
bool isVX3iSCSIDevice(std::uint32_t deviceId);
bool isVX4FCoEDevice(std::uint32_t deviceId);
bool isVX4NICDevice(std::uint32_t deviceId);
bool isVX4iSCSIDevice(std::uint32_t deviceId);
bool isVX2Device(std::uint32_t deviceId);
bool isVX3Device(std::uint32_t deviceId);
bool isVX4Device(std::uint32_t deviceId);
bool isVXFCoEDevice(std::uint32_t deviceId);
bool isVXNICDevice(std::uint32_t deviceId);
bool isVXiSCSIDevice(std::uint32_t deviceId);
bool isFerroxFCDevice(std::uint32_t deviceId); // includes the E300
bool isFerroxE300Device(std::uint32_t deviceId);
bool isFerroxFCoEDevice(std::uint32_t deviceId);
bool isFerroxNICDevice(std::uint32_t deviceId);
bool isFerroxConvergedDevice(std::uint32_t deviceId);
bool isFerroxDevice(std::uint32_t deviceId);
bool isArvoDevice(std::uint32_t deviceId);

// Per-board tests on the adapter table.
bool isValidBoard(std::uint32_t board);   // board < n
bool isValidAdapter(std::uint32_t board); // board < total count
bool isHBATypeVexil(std::uint32_t board); // converged-adapter function
bool isFCoEFunction(std::uint32_t board);
bool isNICFunction(std::uint32_t board);
bool isiSCSIFunction(std::uint32_t board);
// The function kind the library reports of the board (FC for a board outside the table).
FunctionKind boardFunctionKind(std::uint32_t board);
bool isConvergedVpdBoard(std::uint32_t board);
bool isFerroxBoard(std::uint32_t board);
bool isFerroxConvergedBoard(std::uint32_t board);
bool isFerroxFCBoard(std::uint32_t board); // Ferrox FC or E300
bool isFerroxFCoEBoard(std::uint32_t board);
bool isFerroxE300Board(std::uint32_t board);
bool isLevel4Board(std::uint32_t board);
bool isMultiFunctionBoard(std::uint32_t board);
// True when the board's hardware id reaches adapter memory with 29-bit addresses.
bool isWideAddressBoard(std::uint32_t board);

// The family-table row of the board's device id (the legacy row for a board outside
// the table).
const DeviceRow& boardRow(std::uint32_t board);

// The download route of the board: a GRP route comes from its row; otherwise a board
// the library reports as a converged function has none (its UFI files are refused)
// and any other takes ALL/AIF and PRG files.
DownloadRoute boardRoute(std::uint32_t board);

// True when another board sits at the same PCI bus and device with another function.
bool hasPartnerFunction(std::uint32_t board);
