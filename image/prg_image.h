// The PRG reader: one 48-byte header of big-endian words; boot-code images carry a
// PCI option ROM after it. Both layouts are declared in image/image_layouts.h.
#pragma once

#include "image/clu_image.h"
#include "image/image_layouts.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr std::size_t PRG_HEADER_WORDS = prg_layout::kWords;
constexpr std::size_t PRG_HEADER_SIZE = prg_layout::kSize;
constexpr std::uint32_t NOP_IMAGE_TYPE = aif_layout::kNopWord; // first word of AIF (ALL) images
constexpr std::size_t PCI_ROM_DATA_SIZE = pcir_layout::kSize;
constexpr std::uint32_t ROM_DEVICE_ID_F180 = 0xF180;

// Decodes a PRG file into record (legacyType, decodedVersion, legacyVersion); returns
// 0 or an image status.
std::uint32_t getPRGBuildVersion(const char* path, CluImage* record);

// Reads 48 bytes from the current position into 12 host-order words. Returns 0, 1
// for a missing argument, INVALID_IMAGE_ERROR | SHORT_IMAGE or | ERROR_READING_FILE.
std::uint32_t ReadPRGImageHeader(std::FILE* file, std::uint32_t header[PRG_HEADER_WORDS]);

// Reads the PCI data structure of the option ROM at the current position, restored
// from its reversed 4-byte groups, into out; returns 0, 1 (bad signature or pointer),
// INVALID_IMAGE_ERROR | SHORT_IMAGE or | ERROR_READING_FILE. The position is left
// wherever reading stopped.
std::uint32_t readPciRomHeader(std::FILE* file, std::uint8_t out[PCI_ROM_DATA_SIZE]);

// 0 when the option ROM at the current position names deviceId, INCOMPAT_IMAGE_ERROR
// | INCORRECT_ADPT for another device, or readPciRomHeader's failure. Always restores
// the position.
std::uint32_t checkPrgRomDeviceId(std::FILE* file, std::uint32_t deviceId);
