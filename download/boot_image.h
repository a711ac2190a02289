// The PCI expansion-ROM header of boot-code images, and the check that a boot image
// for the boot-checked families names the right device.
// The ROM's fields are declared in image/image_layouts.h.
#pragma once

#include "image/image_layouts.h"

#include <cstdint>
#include <cstdio>

constexpr std::size_t kBootPciHeaderBytes = pcir_layout::kSize;

// Reads the PCI data structure of the ROM image at the current position into header28
// (ROM byte order; device id little-endian at byte 6). Returns 0, 1 for a bad ROM
// signature, pointer or structure signature, INVALID_IMAGE_ERROR | SHORT_IMAGE or
// | ERROR_READING_FILE. The position is left where reading stopped.
std::uint32_t ReadBootImagePciHeader(std::FILE* file, std::uint8_t* header28);

// For the boot-checked families of the family-code table (others pass): the boot
// image at the current position must name the secure device on the secure family and
// any other device on the rest. Returns 0, INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT or
// the read's failure; restores the position.
std::uint32_t ValidateArvoOrMistleBootProgId(std::FILE* file, std::uint32_t family);
