// File-level uses of the adapter object store: downloading a firmware file as the
// object "/prg", reading the VPD object, the firmware version texts, and the GRP
// header checks that come before a download.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>

constexpr const char* kFirmwareObjectName = "/prg";
constexpr const char* kVpdObjectName = "/vpd/fc_pf.vpd";

// Where the VPD starts inside the VPD object, and the object bytes that are not VPD.
constexpr std::uint32_t kVpdObjectHeaderBytes = 140;
constexpr std::uint32_t kVpdObjectOverheadBytes = 144;

// Copies the active and flash firmware version texts. Returns 0, or 4 for a null
// output, else what SLI_CFG_GetFwVersion answered.
std::uint32_t FFS_GetFwVersion(std::uint32_t board, FixedText<33>* active, FixedText<33>* flash);

// Writes a whole file as the named object. Returns the write's result (0,
// RESET_REQUIRED, REBOOT_REQUIRED, or a failure status), 1 when the file cannot be
// opened or read, 8 when its bytes cannot be held in memory.
std::uint32_t FFS_DownloadFile(std::uint32_t board, const char* objectName, const char* fileName);

// FFS_DownloadFile of "/prg"; 4 for an empty file name.
std::uint32_t FFS_DownloadFirmware(std::uint32_t board, const char* fileName);

// Reads the VPD out of the named VPD object into buffer. Returns 0 with length = the
// VPD's bytes; 7 when capacity cannot hold them; the object read's failure; 1 for an
// object too short to hold any VPD.
std::uint32_t FFS_ReadVPD(std::uint32_t board, const char* objectName, std::uint8_t* buffer,
                          std::uint32_t capacity, std::uint32_t* length);

// The GRP header checks before a download, plain and G6: 0 when the file passes,
// else 194.
std::uint32_t FFS_VerifyGrpFile(const char* fileName);
std::uint32_t FFS_VerifyGrpG6File(const char* fileName);
