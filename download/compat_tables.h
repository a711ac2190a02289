// The built-in compatibility tables: which image ids each adapter family accepts per
// image type, the boot-code ids of DWC records, and the families of AWC images.
#pragma once

#include <cstddef>
#include <cstdint>

// A count and that many ids.
struct IdList {
    std::uint8_t count;
    std::uint8_t ids[12];
};

bool idListHas(const IdList& list, std::uint32_t id);

struct CompatRow {
    std::uint32_t family;
    IdList ids;
    IdList oemIds; // used instead of ids on boards whose oemVpd is set; count 0: none
};

struct CompatTable {
    std::uint32_t imageType;
    const CompatRow* rows;
    std::size_t rowCount;
};

extern const CompatTable kCompatTables[6];

struct BootIdRow {
    std::uint32_t family;
    IdList ids;
};
extern const BootIdRow kBootIdLists[];
extern const std::size_t kBootIdListCount;

struct AwcFamilyRow {
    std::uint8_t imageId;
    std::uint32_t family;
};
extern const AwcFamilyRow kAwcFamilies[];
extern const std::size_t kAwcFamilyCount;

struct AwcBoardRow {
    std::uint32_t boardFamily;
    std::uint32_t awcFamily; // the AWC family the board needs
};
extern const AwcBoardRow kAwcBoardFamilies[];
extern const std::size_t kAwcBoardFamilyCount;

// The table of an image type, or null for a type no table checks.
const CompatTable* compatTableFor(std::uint32_t imageType);

// The built-in check of a standalone image (type and id from program-id word 0) on a
// board. Returns 0, INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT (no row for the family, or
// the id is not in its list) or | INCORRECT_VERSION (the version cap of its family-code row).
std::uint32_t checkBuiltInCompat(std::uint32_t family, bool oemVpd, std::uint32_t programIdWord);

// 0 when the family's boot-id list holds the id, else INCOMPAT_IMAGE_ERROR |
// INCORRECT_ADPT (also for a family without a list).
std::uint32_t checkBootId(std::uint32_t family, std::uint32_t id);

// The family of an AWC image id: 0x1AE5 for ids 0 and 0x0A, the table's family, or
// the whole word for an id the table does not hold (which matches no family).
std::uint32_t awcImageFamily(std::uint32_t versionWord);
// The AWC family a board family needs, or 0 when the board takes no AWC image.
std::uint32_t awcFamilyForBoard(std::uint32_t boardFamily);
