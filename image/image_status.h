// Status codes returned by the image readers. The PRG and ALL readers share the
// download engine's 32-bit codes (a class in the upper half, a detail in the lower);
// the GRP path uses small numbers.
#pragma once

#include <cstdint>

constexpr std::uint32_t RM_STATUS_OK = 0x00000000;
constexpr std::uint32_t OPEN_FILE_ERROR = 0xFFFA0000;
constexpr std::uint32_t INVALID_IMAGE_ERROR = 0xFFF90000;
constexpr std::uint32_t BAD_CHECKSUM_ERROR = 0xFFF80000;
constexpr std::uint32_t INCOMPAT_IMAGE_ERROR = 0xFFF70000;
constexpr std::uint32_t RESET_REQUIRED = 0xFFE90000;  // object written; the adapter needs a reset
constexpr std::uint32_t REBOOT_REQUIRED = 0xFFE80000; // object written; the system needs a reboot

// Details of INVALID_IMAGE_ERROR.
constexpr std::uint32_t ERROR_READING_FILE = 0x0001;
constexpr std::uint32_t SHORT_IMAGE = 0x0002;
constexpr std::uint32_t LONG_IMAGE = 0x0003;
// Details of INCOMPAT_IMAGE_ERROR.
constexpr std::uint32_t INCORRECT_ADPT = 0x0001;
constexpr std::uint32_t INCORRECT_VERSION = 0x0002;

// Small statuses of the GRP path.
constexpr int RM_STATUS_ERROR = 1;
constexpr int RM_STATUS_ERROR_INCOMP_IMAGE = 194;
constexpr int RM_STATUS_ERROR_SHORT_FWIMAGE = 197;
constexpr int RM_STATUS_ERROR_READING_RESOURCE = 199;

// Statuses of verifyFwFile besides the readers' own.
constexpr int VERIFY_INVALID_ARGUMENTS = 4;
constexpr int VERIFY_NO_READER = 6;
