// The ALL/AIF reader: a chain of sub-images, each a 128-byte AIF header (declared in
// image/image_layouts.h), a body and (outside .aif files) a 4-byte check word, then
// one check word for the whole file.
#pragma once

#include "image/clu_image.h"
#include "image/image_layouts.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t AIF_HEADER_WORDS = aif_layout::kWords;
constexpr std::size_t AIF_HEADER_SIZE = aif_layout::kSize;
constexpr std::uint32_t AWC_IMAGE = aif_layout::kAwc;
constexpr std::uint32_t DWC_IMAGE = aif_layout::kDwc;
constexpr std::uint32_t BWC_IMAGE = aif_layout::kBwc;
constexpr std::uint32_t FWC_IMAGE = aif_layout::kFwc;
// Header words used, as indexes into a header turned into words.
constexpr std::size_t AIF_KIND_WORD = aif_layout::kKindWord;
constexpr std::size_t AIF_SIZE_WORD = aif_layout::kBodySizeWord;
constexpr std::size_t AIF_VERSION_WORD = aif_layout::kVersionWord;

// Decodes an ALL file into record from its DWC sub-image; returns 0 or an image status.
std::uint32_t getALLBuildVersion(const char* path, CluImage* record);

// Records what one sub-image header says about the image; returns 0 or
// INVALID_IMAGE_ERROR | ERROR_READING_FILE.
std::uint32_t decodeAllSubImage(std::FILE* file, const std::uint32_t header[AIF_HEADER_WORDS], CluImage* record);

// 2 when the text after the path's first '.' is exactly "aif" or "AIF", else 1.
int isAifFile(const char* path);
