// Owns every test of a file name's extension: payload names of the catalogue and the
// image option (isValidFileExtension), configuration names (isConfigFileName), the
// download dispatcher's file kinds (downloadFileKind) and the GRP reader's name test
// (hasGrpExtension). Each keeps its own rule: most are case-sensitive substring
// searches anywhere in the name, only downloadFileKind looks at the last dot.
#pragma once

#include <cstdint>
#include <string_view>

// Modes of isValidFileExtension.
constexpr int EXT_MODE_FIRMWARE = 0; // ALL and GRP names
constexpr int EXT_MODE_BOOT = 1;     // PRG names
constexpr int EXT_MODE_ANY = 2;      // all three; PRG wins

// Returns 0 and sets extType (1 ALL, 5 PRG, 14 GRP) when the name is accepted, 1 with
// extType 0 when it is not, 4 for a missing argument. The tests are case-sensitive
// substring searches anywhere in the name, not checks of its end.
int isValidFileExtension(const char* name, std::uint32_t* extType, int mode);

// True when the name contains ".ini" or ".INI" anywhere (a configuration file).
bool isConfigFileName(std::string_view name);

// True when the path contains ".grp" or ".GRP" anywhere; false for a null path.
bool hasGrpExtension(const char* path);

// File kinds of the download dispatcher.
constexpr std::uint32_t FILE_KIND_OTHER = 0; // a .prg file among them
constexpr std::uint32_t FILE_KIND_ALL = 1;
constexpr std::uint32_t FILE_KIND_DWC = 2;
constexpr std::uint32_t FILE_KIND_BWC = 3;
constexpr std::uint32_t FILE_KIND_FWC = 4;
constexpr std::uint32_t FILE_KIND_UFI = 10;
constexpr std::uint32_t FILE_KIND_GRP = 14;

// The kind of a file name: the text after the last dot, first four characters, all
// lower or all upper case.
std::uint32_t downloadFileKind(const char* path);
