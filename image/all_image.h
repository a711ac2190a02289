// ALL images: a chain of sub-images, each a 128-byte AIF header, a body and (outside
// .aif files) a 4-byte check word, then one check word for the whole file.
#pragma once

#include "image/clu_image.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t AIF_HEADER_WORDS = 32;
constexpr std::size_t AIF_HEADER_SIZE = 128;
constexpr std::uint32_t AWC_IMAGE = 0xE1A01001;
constexpr std::uint32_t DWC_IMAGE = 0xE1A02002;
constexpr std::uint32_t BWC_IMAGE = 0xE1A03003;
constexpr std::uint32_t FWC_IMAGE = 0xE1A04004;
// Header words used.
constexpr std::size_t AIF_KIND_WORD = 2;
constexpr std::size_t AIF_SIZE_WORD = 5;
constexpr std::size_t AIF_VERSION_WORD = 14;

// Decodes an ALL file into record from its DWC sub-image; returns 0 or an image status.
std::uint32_t getALLBuildVersion(const char* path, CluImage* record);

// Records what one sub-image header says about the image; returns 0 or
// INVALID_IMAGE_ERROR | ERROR_READING_FILE.
std::uint32_t decodeAllSubImage(std::FILE* file, const std::uint32_t header[AIF_HEADER_WORDS], CluImage* record);

// 2 when the text after the path's first '.' is exactly "aif" or "AIF", else 1.
int isAifFile(const char* path);
