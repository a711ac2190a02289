// The record describing one image file: its kind, its version text and, for legacy
// images, the type code and version word; for a payload of the catalogue also where the
// file is and how the download engine takes it, settled once when it is catalogued.
#pragma once

#include "common/fixed_text.h"

#include <cstdint>
#include <string>

// imageType values.
constexpr std::uint32_t NO_IMAGE = 0;
constexpr std::uint32_t FC_IMAGE = 1;
constexpr std::uint32_t VX2_IMAGE = 2;
constexpr std::uint32_t VX3_IMAGE = 3;
constexpr std::uint32_t VX4_IMAGE = 4;
constexpr std::uint32_t GRP_IMAGE = 32;
constexpr std::uint32_t GRP_G6_IMAGE = 64;

struct CluImage {
    std::uint32_t legacyVersion = 0; // LegacyVersionWord of a PRG header or DWC sub-image
    std::uint32_t CNAMajorVer = 0;
    std::uint32_t CNAMinorVer = 0;
    std::uint32_t CNAReleaseVer = 0;
    std::uint32_t CNABuildVer = 0;
    FixedText<8> legacyType;
    std::uint32_t imageType = NO_IMAGE;
    std::uint32_t extType = 0; // ALLext, PRGext, UFIext, GRPext or 0
    FixedText<64> filename;
    FixedText<64> decodedVersion;
    FixedText<64> sortedVersion;
    std::uint8_t isBER = 0;
    std::uint32_t asicRevisionId = 0;
    // Set by the catalogue: the file's absolute path, its kind for the download engine
    // (FILE_KIND_*, from the last dot of the name) and its AIF flag (2: an ".aif" file,
    // whose records carry no check word; 1 otherwise).
    std::string path;
    std::uint32_t fileKind = 0;
    std::uint32_t aifFlag = 1;
};

// Name of an extType value for the dump ("N/A" for others).
const char* extTypeName(std::uint32_t extType);
// Name of an imageType value for the dump ("N/A" for others).
const char* imageTypeName(std::uint32_t imageType);

// Writes every field of the record to the debug log.
void printCLUImage(const CluImage* record);
