// Classification of payload file names by their extension text.
#pragma once

#include <cstdint>

// Modes of isValidFileExtension.
constexpr int EXT_MODE_FIRMWARE = 0; // ALL and GRP names
constexpr int EXT_MODE_BOOT = 1;     // PRG names
constexpr int EXT_MODE_ANY = 2;      // all three; PRG wins

// Returns 0 and sets extType (1 ALL, 5 PRG, 14 GRP) when the name is accepted, 1 with
// extType 0 when it is not, 4 for a missing argument. The tests are case-sensitive
// substring searches anywhere in the name, not checks of its end.
int isValidFileExtension(const char* name, std::uint32_t* extType, int mode);
