// The built-in compatibility tables (see compat_tables.h); version-word fields are read
// with the helpers of image/version_forms.h.
#include "download/compat_tables.h"

#include "adapter/device_table.h"
#include "common/bytes.h"
#include "image/image_status.h"
#include "image/version_forms.h"

namespace {

// Type 2: operational firmware.
const CompatRow kType2[] = {
    {0x1AE5, {4, {0x01, 0x02, 0x09, 0x80}}, {0, {}}},
    {0xF700, {3, {0x11, 0x12, 0x90}}, {0, {}}},
    {0xF800, {4, {0x21, 0x22, 0x23, 0xA0}}, {0, {}}},
    {0xF802, {4, {0x21, 0x22, 0x23, 0xA0}}, {0, {}}},
    {0xF085, {2, {0x24, 0xA4}}, {0, {}}},
    {0xF900, {3, {0x41, 0x43, 0xC0}}, {0, {}}},
    {0xF095, {2, {0x44, 0xC4}}, {0, {}}},
    {0xF980, {2, {0x63, 0xE0}}, {0, {}}},
    {0xF98D, {2, {0x63, 0xE0}}, {0, {}}},
    {0xF098, {2, {0x73, 0xE3}}, {0, {}}},
    {0xFA00, {2, {0x83, 0xE8}}, {0, {}}},
    {0xF0A1, {2, {0x83, 0xE8}}, {0, {}}},
    {0xF0A5, {2, {0x85, 0xE8}}, {0, {}}},
    {0xFB00, {2, {0x93, 0xEC}}, {0, {}}},
    {0xFD00, {2, {0xC3, 0xC8}}, {3, {0xC1, 0xC3, 0xC8}}},
    {0xFC10, {2, {0xC3, 0xC8}}, {0, {}}},
    {0xFE00, {2, {0xD3, 0xD8}}, {3, {0xD1, 0xD3, 0xD8}}},
    {0xFC20, {2, {0xD3, 0xD8}}, {0, {}}},
    {0xFC30, {2, {0xB3, 0xB8}}, {0, {}}},
    {0xF100, {2, {0xA3, 0xA8}}, {0, {}}},
    {0xF10B, {2, {0xA3, 0xA8}}, {0, {}}},
    {0x338F, {2, {0xA3, 0xA8}}, {0, {}}},
    {0xF180, {2, {0xA5, 0xAD}}, {0, {}}},
};

// Type 3: boot code.
const CompatRow kType3[] = {
    {0xF900, {2, {0x41, 0x42}}, {0, {}}},
    {0xF980, {7, {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67}}, {0, {}}},
    {0xF98D, {7, {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67}}, {0, {}}},
    {0xF098, {6, {0x71, 0x72, 0x73, 0x75, 0x76, 0x77}}, {0, {}}},
    {0xFA00, {3, {0x81, 0x82, 0x83}}, {0, {}}},
    {0xFD00, {2, {0xC1, 0xC2}}, {3, {0xC1, 0xC2, 0xC4}}},
    {0xFE00, {2, {0xD1, 0xD2}}, {0, {}}},
    {0xF100, {2, {0xA1, 0xA2}}, {0, {}}},
    {0xF10B, {2, {0xA1, 0xA2}}, {0, {}}},
    {0x338F, {2, {0xA1, 0xA2}}, {0, {}}},
    {0xF180, {2, {0xA6, 0xA7}}, {0, {}}},
};

// Type 6: system firmware.
const CompatRow kType6[] = {
    {0xF800, {2, {0x26, 0x27}}, {0, {}}}, {0xF900, {2, {0x46, 0x47}}, {0, {}}},
    {0xF980, {1, {0x66}}, {0, {}}},       {0xFD00, {1, {0xC6}}, {0, {}}},
    {0xFE00, {1, {0xD6}}, {0, {}}},       {0xF180, {1, {0xA9}}, {0, {}}},
};

// Type 7: service firmware.
const CompatRow kType7[] = {
    {0xF800, {1, {0x28}}, {0, {}}}, {0xF900, {1, {0x48}}, {0, {}}}, {0xF980, {1, {0x68}}, {0, {}}},
    {0xFD00, {1, {0xC7}}, {0, {}}}, {0xF180, {1, {0xAA}}, {0, {}}},
};

// Type 11: secondary firmware.
const CompatRow kType11[] = {
    {0xF980, {1, {0x6B}}, {0, {}}},
    {0xFE00, {1, {0xDB}}, {0, {}}},
    {0xF180, {1, {0xAB}}, {0, {}}},
};

// Type 14: configuration data.
const CompatRow kType14[] = {
    {0xF980, {1, {0x6E}}, {0, {}}},
    {0xFE00, {1, {0xDE}}, {0, {}}},
    {0xF180, {1, {0xAE}}, {0, {}}},
};

template <std::size_t N> constexpr std::size_t countOf(const CompatRow (&)[N]) {
    return N;
}

} // namespace

const CompatTable kCompatTables[6] = {
    {2, kType2, countOf(kType2)}, {3, kType3, countOf(kType3)},    {6, kType6, countOf(kType6)},
    {7, kType7, countOf(kType7)}, {11, kType11, countOf(kType11)}, {14, kType14, countOf(kType14)},
};

// Boot-code ids a DWC record of each family may carry.
const BootIdRow kBootIdLists[] = {
    {0xF980, {7, {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67}}},
    {0xF98D, {7, {0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67}}},
    {0xF098, {6, {0x71, 0x72, 0x73, 0x75, 0x76, 0x77}}},
    {0xFA00, {3, {0x81, 0x82, 0x83}}},
    {0xF0A1, {2, {0x81, 0x84}}},
    {0xF0A5, {2, {0x85, 0x86}}},
    {0xFB00, {2, {0x91, 0x92}}},
    {0xFD00, {3, {0xC1, 0xC2, 0xC4}}},
    {0xFE00, {2, {0xD1, 0xD2}}},
    {0xF100, {2, {0xA1, 0xA2}}},
    {0xF180, {2, {0xA6, 0xA7}}},
};
const std::size_t kBootIdListCount = sizeof kBootIdLists / sizeof kBootIdLists[0];

// AWC image ids and the family each serves.
const AwcFamilyRow kAwcFamilies[] = {
    {0x01, 0xF980}, {0x02, 0xF098}, {0x03, 0xFA00}, {0x04, 0xF0A1}, {0x05, 0xF0A5},
    {0x06, 0xFB00}, {0x07, 0xFD00}, {0x08, 0xFE00}, {0x09, 0xF100}, {0x0B, 0xF180},
};
const std::size_t kAwcFamilyCount = sizeof kAwcFamilies / sizeof kAwcFamilies[0];

// Board families and the AWC family they need.
const AwcBoardRow kAwcBoardFamilies[] = {
    {0x1AE5, 0x1AE5}, {0xF980, 0xF980}, {0xF98D, 0xF980}, {0xF098, 0xF098},
    {0xFA00, 0xFA00}, {0xF0A1, 0xF0A1}, {0xF0A5, 0xF0A5}, {0xFB00, 0xFB00},
    {0xFD00, 0xFD00}, {0xFC10, 0xFD00}, {0xFE00, 0xFE00}, {0xFC20, 0xFE00},
    {0xF100, 0xF100}, {0xF10B, 0xF100}, {0x338F, 0xF100}, {0xF180, 0xF180},
};
const std::size_t kAwcBoardFamilyCount = sizeof kAwcBoardFamilies / sizeof kAwcBoardFamilies[0];

bool idListHas(const IdList& list, std::uint32_t id) {
    for (std::uint8_t i = 0; i < list.count && i < sizeof list.ids; ++i)
        if (list.ids[i] == id)
            return true;
    return false;
}

const CompatTable* compatTableFor(std::uint32_t imageType) {
    for (const CompatTable& t : kCompatTables)
        if (t.imageType == imageType)
            return &t;
    return nullptr;
}

std::uint32_t checkBuiltInCompat(std::uint32_t family, bool oemVpd, std::uint32_t programIdWord) {
    const std::uint32_t type = legacyImageType(programIdWord);
    const std::uint32_t id = legacyImageId(programIdWord);
    const CompatTable* table = compatTableFor(type);
    if (table == nullptr)
        return 0;
    // A capped family's boards refuse operational images whose version digit is 3 or
    // more and whose revision digit is 8 or more.
    if (familyRowOf(family).operationalCap && (type == 2 || type == 6 || type == 7) &&
        legacyVersionNumber(programIdWord) >= 3 && legacyRevision(programIdWord) >= 8)
        return INCOMPAT_IMAGE_ERROR | INCORRECT_VERSION;
    for (std::size_t i = 0; i < table->rowCount; ++i) {
        const CompatRow& row = table->rows[i];
        if (row.family != family)
            continue;
        const IdList& list = oemVpd && row.oemIds.count != 0 ? row.oemIds : row.ids;
        return idListHas(list, id) ? 0 : INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    }
    return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
}

std::uint32_t checkBootId(std::uint32_t family, std::uint32_t id) {
    for (std::size_t i = 0; i < kBootIdListCount; ++i)
        if (kBootIdLists[i].family == family)
            return idListHas(kBootIdLists[i].ids, id) ? 0 : INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
    return INCOMPAT_IMAGE_ERROR | INCORRECT_ADPT;
}

std::uint32_t awcImageFamily(std::uint32_t versionWord) {
    const std::uint32_t id = legacyImageId(versionWord);
    if (id == 0 || id == 0x0A)
        return 0x1AE5;
    for (std::size_t i = 0; i < kAwcFamilyCount; ++i)
        if (kAwcFamilies[i].imageId == id)
            return kAwcFamilies[i].family;
    return versionWord;
}

std::uint32_t awcFamilyForBoard(std::uint32_t boardFamily) {
    for (std::size_t i = 0; i < kAwcBoardFamilyCount; ++i)
        if (kAwcBoardFamilies[i].boardFamily == boardFamily)
            return kAwcBoardFamilies[i].awcFamily;
    return 0;
}
