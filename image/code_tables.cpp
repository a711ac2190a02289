// The two-letter image-code tables (see code_tables.h). PRG codes are put together
// letter by letter from the image id; the others are looked up whole.
#include "image/code_tables.h"

#include "log/debug_log.h"

#include <cstdio>

namespace {

// PRG image ids: the first letter comes from the id with its low three bits cleared,
// the second from those three bits.
const TypeCode kPrgFirstLetters[] = {
    {0x18, "Y"}, {0x20, "D"}, {0x28, "O"}, {0x30, "Q"}, {0x40, "C"}, {0x48, "P"},
    {0x58, "A"}, {0x60, "H"}, {0x70, "L"}, {0x78, "U"}, {0x80, "T"}, {0x90, "M"},
    {0xB0, "E"}, {0xC0, "B"}, {0xD0, "J"}, {0xE0, "Z"}, {0xF0, "W"},
};
const TypeCode kPrgSecondLetters[] = {
    {1, "B"}, {2, "O"}, {3, "C"}, {5, "E"}, {6, "P"}, {7, "U"},
};
// Ids inside the groups above that still have no code.
const std::uint32_t kPrgIdsWithoutCode[] = {0x27, 0x37, 0x47};

const TypeCode kDwcType7Codes[] = {
    {0x12, ""},   {0x29, "OF"}, {0x42, "UD"}, {0x61, "HF"}, {0x63, "HD"}, {0x6A, "HF"},
    {0x6B, "HF"}, {0x6C, "HF"}, {0x71, "LF"}, {0x72, "FD"}, {0x73, "UD"}, {0x74, "UH"},
    {0x79, "UF"}, {0x7A, "UD"}, {0x7B, "UD"}, {0x81, "TF"}, {0x83, "TD"}, {0x8A, "TD"},
    {0x8B, "TJ"}, {0x8C, "TD"}, {0x91, "MF"}, {0xA2, "BD"}, {0xB2, "EM"}, {0xC1, "BF"},
    {0xC3, "BD"}, {0xCA, "BI"}, {0xCB, "BJ"}, {0xCC, "BE"}, {0xCD, "BD"}, {0xD1, "JF"},
    {0xE1, "ZF"}, {0xE3, "ZD"}, {0xEA, "ZF"}, {0xEB, "ZJ"}, {0xEC, "ZE"}, {0xF1, "WF"},
};

// The same as type 7 except ids 0x29 and 0xEB.
const TypeCode kDwcType11Codes[] = {
    {0x12, ""},   {0x29, "UD"}, {0x42, "UD"}, {0x61, "HF"}, {0x63, "HD"}, {0x6A, "HF"},
    {0x6B, "HF"}, {0x6C, "HF"}, {0x71, "LF"}, {0x72, "FD"}, {0x73, "UD"}, {0x74, "UH"},
    {0x79, "UF"}, {0x7A, "UD"}, {0x7B, "UD"}, {0x81, "TF"}, {0x83, "TD"}, {0x8A, "TD"},
    {0x8B, "TJ"}, {0x8C, "TD"}, {0x91, "MF"}, {0xA2, "BD"}, {0xB2, "EM"}, {0xC1, "BF"},
    {0xC3, "BD"}, {0xCA, "BI"}, {0xCB, "BJ"}, {0xCC, "BE"}, {0xCD, "BD"}, {0xD1, "JF"},
    {0xE1, "ZF"}, {0xE3, "ZD"}, {0xEA, "ZF"}, {0xEB, "ZD"}, {0xEC, "ZE"}, {0xF1, "WF"},
};

// Boot-code type ids. Ids 47 (YU) and 128 (PB) break the row/column pattern of the
// others and are kept as the adapters report them.
const TypeCode kBootCodeTypeCodes[] = {
    {1, "FB"},
    {17, "SB"},  {18, "SO"},  {19, "SC"},  {20, "SR"},  {21, "SE"},  {22, "SP"},
    {25, "YB"},  {26, "YO"},  {27, "YC"},  {28, "YL"},  {29, "YE"},  {30, "YP"},  {31, "YU"},
    {33, "DB"},  {34, "DO"},  {35, "DC"},  {36, "DR"},  {37, "DE"},  {38, "DP"},
    {41, "OB"},  {42, "OO"},  {43, "OC"},  {44, "OL"},  {45, "OE"},  {46, "OP"},  {47, "YU"},
    {49, "QB"},  {50, "QO"},  {51, "QC"},  {53, "QE"},  {54, "QP"},
    {65, "CB"},  {66, "CO"},  {67, "CC"},  {68, "CR"},  {69, "CE"},  {70, "CP"},
    {73, "PB"},  {74, "PO"},  {75, "PC"},  {76, "PL"},  {77, "PE"},  {78, "PP"},  {79, "PU"},
    {81, "RB"},  {82, "RO"},  {83, "RC"},  {85, "RE"},  {86, "RP"},
    {89, "AB"},  {90, "AO"},  {95, "AU"},
    {97, "HB"},  {98, "HO"},  {99, "HC"},  {100, "HR"}, {101, "HE"}, {102, "HP"}, {103, "HU"},
    {113, "LB"}, {114, "LO"}, {115, "LC"}, {117, "LE"}, {118, "LP"}, {119, "LU"},
    {121, "UB"}, {122, "UO"}, {123, "UC"}, {124, "UL"}, {125, "UE"}, {126, "UP"}, {127, "UU"},
    {128, "PB"},
    {129, "TB"}, {130, "TO"}, {131, "TC"}, {133, "TE"}, {134, "TP"}, {135, "TU"},
    {145, "MB"}, {146, "MO"}, {147, "MC"}, {149, "ME"}, {150, "MP"}, {151, "MU"},
    {161, "VB"}, {162, "VO"}, {163, "VC"}, {165, "VE"}, {166, "VP"}, {167, "VU"},
    {169, "IB"}, {170, "IO"}, {171, "IC"}, {172, "IL"}, {173, "IE"}, {174, "IP"}, {175, "IU"},
    {177, "EB"}, {178, "EO"}, {179, "EC"}, {181, "EE"}, {182, "EP"}, {183, "EU"},
    {193, "BB"}, {194, "BO"}, {195, "BC"}, {197, "BE"}, {198, "BP"}, {199, "BU"},
    {209, "JB"}, {210, "JO"}, {211, "JC"}, {213, "JE"}, {214, "JP"}, {215, "JU"},
    {225, "ZB"}, {226, "ZO"}, {227, "ZC"}, {229, "ZE"}, {230, "ZP"}, {231, "ZU"},
    {241, "WB"}, {242, "WO"}, {243, "WC"}, {245, "WE"}, {246, "WP"}, {247, "WU"},
};

// Installed adapters by PCI device id: the code, and the code used when the adapter's
// dist_type is nonzero.
struct AdapterCode {
    std::uint32_t deviceId;
    const char* code;
    const char* codeWithDist;
};

const AdapterCode kAdapterCodes[] = {
    // Converged and newer adapters: no legacy code.
    {0x0700, "", ""},     {0x0702, "", ""},     {0x0704, "", ""},     {0x0710, "", ""},
    {0x0712, "", ""},     {0x0714, "", ""},     {0x0720, "", ""},     {0x0722, "", ""},
    {0x0724, "", ""},     {0xE200, "", ""},     {0xE220, "", ""},     {0xE260, "", ""},
    {0xE300, "", ""},
    {0xF015, "OF", "OF"}, {0xF098, "LF", "LF"}, {0xF0A1, "EM", "EM"}, {0xF0A5, "MF", "MF"},
    {0xF0D5, "JF", "JF"}, {0xF0E1, "YM", "YM"}, {0xF0E5, "WF", "WF"}, {0xF100, "UD", "UD"},
    {0xF180, "FD", "FD"}, {0xF980, "HD", "HF"}, {0xFA00, "TD", "TD"}, {0xFD00, "BD", "BF"},
    {0xFE00, "ZD", "ZF"}, {0xFE05, "AD", "AF"},
};

// Models recognised by subsystem ids, checked in order before the codes above.
struct SubsystemCode {
    std::uint32_t deviceId;
    std::uint32_t subVendorId;
    std::uint32_t firstSubsystemId;
    std::uint32_t lastSubsystemId;
    const char* code;
};

const SubsystemCode kSubsystemCodes[] = {
    {0xF100, 0x103C, 0x338F, 0x338F, "UH"},
    // Interim models of device 0xF100.
    {0xF100, 0x10DF, 0xF124, 0xF127, "UF"},
    {0xF100, 0x10DF, 0xF12A, 0xF12C, "UF"},
    {0xF100, 0x10DF, 0xF130, 0xF131, "UF"},
    {0xF100, 0x10DF, 0xF134, 0xF137, "UF"},
    {0xF100, 0x10DF, 0xF13A, 0xF13C, "UF"},
    {0xF100, 0x103C, 0x1719, 0x1719, "UF"},
    {0xF100, 0x1734, 0x113C, 0x113C, "UF"},
    {0xF100, 0x1054, 0x3053, 0x3053, "UF"},
    {0xFD00, 0x10DF, 0xFD22, 0xFD24, "BF"},
    {0xFE00, 0x10DF, 0xFE22, 0xFE22, "ZF"},
    {0xFE00, 0x10DF, 0xFE24, 0xFE26, "ZF"},
    {0xFE00, 0x1734, 0x10F4, 0x10F4, "ZF"},
    {0xFE00, 0x103C, 0x1708, 0x1708, "ZF"},
};

const char* findCode(std::span<const TypeCode> table, std::uint32_t id) {
    for (const TypeCode& entry : table)
        if (entry.id == id)
            return entry.code;
    return nullptr;
}

int storeCode(const char* found, FixedText<8>& code) {
    if (found == nullptr) {
        code.clear();
        debugPrint("Encoded Type = UNKNOWN\n\n");
        return 1;
    }
    code = found;
    return 0;
}

} // namespace

int getPrgImageTypeCode(std::uint32_t imageId, FixedText<8>& code) {
    const char* first = findCode(kPrgFirstLetters, imageId & 0xF8);
    const char* second = findCode(kPrgSecondLetters, imageId & 0x07);
    for (std::uint32_t id : kPrgIdsWithoutCode)
        if (id == imageId)
            first = nullptr;
    if (imageId > 0xFF || first == nullptr || second == nullptr)
        return storeCode(nullptr, code);
    const char letters[3] = {first[0], second[0], '\0'};
    return storeCode(letters, code);
}

int getDwcType7Code(std::uint32_t imageId, FixedText<8>& code) {
    return storeCode(findCode(kDwcType7Codes, imageId), code);
}

int getDwcType11Code(std::uint32_t imageId, FixedText<8>& code) {
    return storeCode(findCode(kDwcType11Codes, imageId), code);
}

std::span<const TypeCode> dwcType7Codes() { return kDwcType7Codes; }
std::span<const TypeCode> dwcType11Codes() { return kDwcType11Codes; }

const char* bootCodeTypeCode(std::uint32_t typeId) {
    const char* code = findCode(kBootCodeTypeCodes, typeId);
    return code != nullptr ? code : "XX";
}

std::span<const TypeCode> bootCodeTypeCodes() { return kBootCodeTypeCodes; }

int getLegacyFwType(char* out, std::size_t outSize, std::uint32_t deviceId, std::uint32_t vendorId,
                    std::uint32_t subsystemId, std::uint32_t subVendorId, std::uint32_t dist) {
    debugPrint("\n[getLegacyFwType]\n");
    if (out == nullptr || deviceId == 0 || vendorId == 0 || subsystemId == 0 || subVendorId == 0) {
        debugPrint("Invalid arguments! rm_status %d\n", 4);
        return 4;
    }
    if (outSize < 8) {
        debugPrint("Insufficient buffer! rm_status %d\n", 4);
        return 4;
    }
    const char* code = nullptr;
    for (const SubsystemCode& row : kSubsystemCodes) {
        if (row.deviceId == deviceId && row.subVendorId == subVendorId &&
            subsystemId >= row.firstSubsystemId && subsystemId <= row.lastSubsystemId) {
            code = row.code;
            break;
        }
    }
    if (code == nullptr) {
        for (const AdapterCode& row : kAdapterCodes) {
            if (row.deviceId == deviceId) {
                code = dist != 0 ? row.codeWithDist : row.code;
                break;
            }
        }
    }
    if (code == nullptr)
        return 1; // out is left as the caller gave it, which need not be a text
    std::snprintf(out, outSize, "%s", code);
    debugPrint("%-20s : %s\n", "getLegacyFwType", out);
    return 0;
}
