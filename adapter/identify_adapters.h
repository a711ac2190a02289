// Identification of every board after start-up: hardware id, OEM marker, serial
// number and model name, then the multi-function flag of Ferrox boards.
#pragma once

#include "adapter/adapter_vpd.h"

#include <cstdint>
#include <optional>

// The hardware id from the read-revision command (0 when the answer holds none); no
// value when the command fails, so the board's family is not known.
std::optional<std::uint16_t> readHardwareId(std::uint32_t board);

// 1 when the board's region-14 VPD holds a "VG" value ending in "1014", else 0.
std::uint16_t readOemVpdMarker(std::uint32_t board);

// Fills hardwareId, oemVpd, modelName (and its VPD flag) and serialNumber of every
// board; lastVpd ends holding the last board's VPD. Returns 0.
int identifyAdapters(AdapterVpd& lastVpd);

// Sets the multi-function flag of each Ferrox board from its siblings (same bus,
// device and serial number) and names it again; does nothing when the last board's
// VPD (lastVpd, from identifyAdapters) gave a model name and "/c" is absent. Returns 0.
int markFerroxMultiFunction(const AdapterVpd& lastVpd);
