// Owns the whole-object reads other layers take from the adapter object store: the
// VPD object of a Ferrox FC board (read by discovery and the inventory) and the
// running firmware's version texts.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>

constexpr const char* kVpdObjectName = "/vpd/fc_pf.vpd";

// Where the VPD starts inside the VPD object, and the object bytes that are not VPD.
constexpr std::uint32_t kVpdObjectHeaderBytes = 140;
constexpr std::uint32_t kVpdObjectOverheadBytes = 144;

// Copies the active and flash firmware version texts. Returns 0, or 4 for a null
// output, else what SLI_CFG_GetFwVersion answered.
std::uint32_t FFS_GetFwVersion(std::uint32_t board, FixedText<33>* active, FixedText<33>* flash);

// Reads the VPD out of the named VPD object into buffer. Returns 0 with length = the
// VPD's bytes; 7 when capacity cannot hold them; the object read's failure; 1 for an
// object too short to hold any VPD.
std::uint32_t FFS_ReadVPD(std::uint32_t board, const char* objectName, std::uint8_t* buffer,
                          std::uint32_t capacity, std::uint32_t* length);
