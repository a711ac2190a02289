// The PCI expansion-ROM header of boot-code images, and the check that a boot image
// for the secure board families names the right device.
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

// For families 0xF100, 0xF10B, 0x338F, 0xF104, 0xF112, 0xF111 and 0xF180 (others
// pass): the boot image at the current position must name device 0xF180 on family
// 0xF180 and any other device on the rest. Returns 0, INCOMPAT_IMAGE_ERROR |
// INCORRECT_ADPT or the read's failure; restores the position.
std::uint32_t ValidateArvoOrMistleBootProgId(std::FILE* file, std::uint32_t family);

// True for the families whose boot images carry a device check.
bool isBootCheckedFamily(std::uint32_t family);
