// Owns an adapter's Vital Product Data: fetched by board kind (a dump, region 14, or
// the Ferrox FC board's VPD object), decoded into the keyword texts the program uses.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>
#include <string>

struct AdapterVpd {
    FixedText<32> snText;      // "SN"
    std::uint32_t present = 0; // 1 once a VPD image was decoded
    FixedText<256> v1Text;     // "V1": model description
    FixedText<80> v2Text;      // "V2": model name
    FixedText<256> v3Text;     // "V3"
    FixedText<20> v4Text;      // "V4"
    std::string failure;       // the user-facing text of a failed read; never shown
};

// Statuses of readAdapterVpd.
constexpr std::uint32_t VPD_READ_FAILED = 15;
constexpr std::uint32_t VPD_READ_FAILED_CONVERGED = 141;
// Status of a VPD source that only the absent management library serves.
constexpr std::uint32_t VPD_SOURCE_NOT_AVAILABLE = 72;

// Clears vpd, fetches up to 1024 VPD bytes by board kind, normalises them and keeps
// SN, V1, V2, V3 and V4 (a repeated keyword keeps the last value). Returns 0; on any
// failure writes vpd.failure and returns 141 for a converged function below
// interface level 4, else 15.
std::uint32_t readAdapterVpd(std::uint32_t board, AdapterVpd& vpd);

// Fetches the raw VPD bytes of a board into a 1024-byte buffer; returns 0 with length
// set, or the status of the failing source (7 when more than 1024 bytes arrive).
std::uint32_t fetchAdapterVpdBytes(std::uint32_t board, std::uint8_t* buffer,
                                   std::uint32_t& length);
