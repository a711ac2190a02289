// The GRP reader: GRP images of the converged and newer Fibre Channel adapters, a
// 140-byte header (declared in image/image_layouts.h) whose build string starts with
// the dotted firmware version.
#pragma once

#include "common/fixed_text.h"
#include "image/clu_image.h"
#include "image/image_layouts.h"

#include <cstddef>
#include <cstdint>
#include <span>

constexpr std::size_t GRP_HEADER_SIZE = grp_layout::kSize;
constexpr std::size_t GRP_BUILD_STRING_SIZE = grp_layout::kBuildString.width;
constexpr std::uint32_t GRP_MAGIC = grp_layout::kMagicPlain;
constexpr std::uint32_t GRP_G6_MAGIC = grp_layout::kMagicG6;
constexpr std::uint32_t GRP_SIGNATURE = grp_layout::kKindPlain; // upper 16 bits of the signature word
constexpr std::uint32_t GRP_G6_SIGNATURE = grp_layout::kKindG6;

// The header as read: words 0 to 2 in host order, the build string in file order.
struct GrpHeader {
    std::uint32_t word0 = 0;
    std::uint32_t magic = 0;
    std::uint32_t signature = 0;
    std::uint8_t buildString[GRP_BUILD_STRING_SIZE] = {};
};

// Decodes a GRP file into record (decodedVersion, imageType); returns 0, 1, 4, 194,
// 197 or 199.
int getGRPBuildVersion(const char* path, CluImage* record);

// Checks the header of a GRP file, stores the signature's upper half in *signature
// and the version in versionOut; returns 0, 1, 194, 197 or 199.
int getGRPBuildString(std::uint32_t* signature, const char* path, FixedText<64>& versionOut);

// Decodes the first GRP_HEADER_SIZE bytes into header; false (header untouched) when
// fewer bytes are given.
bool decodeGrpHeader(GrpHeader& header, std::span<const std::uint8_t> bytes);

// Reads the header and checks it against a magic and a signature's upper half;
// returns 0, 1 (mismatch), 197 (file shorter than the header) or 199 (cannot open or
// read).
int readGrpHeader(GrpHeader& header, const char* path, std::uint32_t magic, std::uint32_t signature);

// 0 when the path contains ".grp" or ".GRP", else 194.
int checkGrpExtension(const char* path);

// Copies the leading digits-and-dots run of the build string into out (cut to fit);
// returns 0, or 1 with the empty text when the build string has no NUL.
int GetFerroxBuildString(FixedText<64>& out, const GrpHeader& header);

// 0 when the file's header passes the plain (isGrpFile) or G6 (isGrpG6File) check,
// else 194.
int isGrpFile(const char* path);
int isGrpG6File(const char* path);
