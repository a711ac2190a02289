// The board's own compatibility list: the VPD keyword V3, sections "T<type>:" of
// comma-separated hexadecimal ids (type 255 stands for AWC records).
#pragma once

#include <cstdint>
#include <string>

constexpr std::uint32_t kAwcListType = 255;

// 0 when the list's section for the type holds the id, else 1. At most 256
// characters are scanned.
int CheckVpdList(const char* list, std::uint32_t type, std::uint32_t id);

// Reads the board's VPD afresh and returns its V3 text (empty when the board has none
// or its VPD cannot be read).
std::string readVpdCompatList(std::uint32_t board);
