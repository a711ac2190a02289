// Decoding of one image file by its extension kind.
#pragma once

#include "image/clu_image.h"

#include <cstdint>

// Runs the reader for record->extType (set beforehand) and fills the record. Returns
// 0, the reader's status, 4 for a missing argument or 6 when no reader fits.
std::uint32_t verifyFwFile(const char* path, CluImage* record);
