// Two-letter image codes: of PRG images, of the DWC sub-images of ALL files, of boot
// code read from an adapter, and of installed legacy adapters by their PCI ids.
#pragma once

#include "common/fixed_text.h"

#include <cstddef>
#include <cstdint>
#include <span>

struct TypeCode {
    std::uint32_t id;
    const char* code;
};

// Each returns 0 with the code of an image id in code (possibly empty), or 1 with the
// empty text and the "Encoded Type = UNKNOWN" line when the id has no code.
int getPrgImageTypeCode(std::uint32_t imageId, FixedText<8>& code);
int getDwcType7Code(std::uint32_t imageId, FixedText<8>& code);
int getDwcType11Code(std::uint32_t imageId, FixedText<8>& code);

// The DWC tables as stored, for walking them.
std::span<const TypeCode> dwcType7Codes();
std::span<const TypeCode> dwcType11Codes();

// Code of a boot-code type id (image id byte of the boot-code version word); "XX" for
// an id the table lacks.
const char* bootCodeTypeCode(std::uint32_t typeId);
std::span<const TypeCode> bootCodeTypeCodes();

// Stores the legacy code of an installed adapter in out. Returns 0 when a code was
// stored (possibly empty), 1 when the device has none (out unchanged), 4 for a
// missing output, a zero id or an output smaller than 8 bytes. dist is the adapter's
// dist_type.
int getLegacyFwType(char* out, std::size_t outSize, std::uint32_t deviceId, std::uint32_t vendorId,
                    std::uint32_t subsystemId, std::uint32_t subVendorId, std::uint32_t dist);
