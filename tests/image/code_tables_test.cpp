// The type-code tables, walked once each for their invariants, and the adapter codes.
#include "image/code_tables.h"
#include "tests/image/image_test_support.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <set>
#include <string>

namespace {

bool isCode(const char* code) {
    return std::strlen(code) == 2 && std::isupper(static_cast<unsigned char>(code[0])) &&
           std::isupper(static_cast<unsigned char>(code[1]));
}

TEST(PrgImageTypeCodes, NinetyNineIdsFollowTheLetterTables) {
    const std::string first = "YDOQ?CP?AH?LUT?M???E?B?J?Z?W"; // groups 0x18 to 0xF0 in steps of 8, '?' none
    const std::string second = "?BOC?EPU";
    int withCode = 0;
    for (std::uint32_t id = 0; id <= 0xFF; ++id) {
        FixedText<8> code("stale");
        const int status = getPrgImageTypeCode(id, code);
        const std::size_t group = (id & 0xF8) >> 3;
        const char expectFirst = group >= 3 && group - 3 < first.size() ? first[group - 3] : '?';
        const char expectSecond = second[id & 7];
        const bool excluded = id == 0x27 || id == 0x37 || id == 0x47;
        if (expectFirst == '?' || expectSecond == '?' || excluded) {
            EXPECT_EQ(status, 1) << std::hex << id;
            EXPECT_TRUE(code.empty());
            continue;
        }
        ASSERT_EQ(status, 0) << std::hex << id;
        EXPECT_EQ(code.str(), std::string(1, expectFirst) + expectSecond) << std::hex << id;
        ++withCode;
    }
    EXPECT_EQ(withCode, 99);
}

TEST(PrgImageTypeCodes, UnknownIdLogsOnce) {
    DebugLogCapture log;
    FixedText<8> code;
    EXPECT_EQ(getPrgImageTypeCode(0x79, code), 0);
    EXPECT_EQ(code, "UB");
    EXPECT_EQ(getPrgImageTypeCode(0x27, code), 1);
    EXPECT_EQ(log.text(), "Encoded Type = UNKNOWN\n\n");
}

TEST(DwcTypeCodes, TablesDifferOnlyAtTwoIds) {
    const auto type7 = dwcType7Codes();
    const auto type11 = dwcType11Codes();
    ASSERT_EQ(type7.size(), type11.size());
    std::set<std::uint32_t> ids;
    for (std::size_t i = 0; i < type7.size(); ++i) {
        EXPECT_EQ(type7[i].id, type11[i].id);
        EXPECT_TRUE(ids.insert(type7[i].id).second) << "duplicate id " << type7[i].id;
        const bool differs = std::string(type7[i].code) != type11[i].code;
        EXPECT_EQ(differs, type7[i].id == 0x29 || type7[i].id == 0xEB) << type7[i].id;
        if (type7[i].id == 0x12) {
            EXPECT_STREQ(type7[i].code, "");
            EXPECT_STREQ(type11[i].code, "");
        } else {
            EXPECT_TRUE(isCode(type7[i].code) && isCode(type11[i].code)) << type7[i].id;
        }
        FixedText<8> code;
        EXPECT_EQ(getDwcType7Code(type7[i].id, code), 0);
        EXPECT_EQ(code, type7[i].code);
        EXPECT_EQ(getDwcType11Code(type11[i].id, code), 0);
        EXPECT_EQ(code, type11[i].code);
    }
    EXPECT_EQ(ids.size(), 36u);
    FixedText<8> code("x");
    EXPECT_EQ(getDwcType7Code(0x50, code), 1);
    EXPECT_TRUE(code.empty());
    EXPECT_EQ(getDwcType11Code(0x100 | 0x29, code), 1);
}

TEST(BootCodeTypeCodes, HundredTwentyNineIdsFollowRowAndColumn) {
    const std::string rows = "F?SYDOQ?CPRAH?LUT?M?VIE?B?J?Z?W"; // t - 1 = 8 * row + column
    const std::string columns = "BOC?EPU";
    const auto table = bootCodeTypeCodes();
    EXPECT_EQ(table.size(), 129u);
    std::uint32_t previous = 0;
    for (const TypeCode& entry : table) {
        EXPECT_GT(entry.id, previous); // ascending, so no id twice
        previous = entry.id;
        EXPECT_LE(entry.id, 247u);
        ASSERT_TRUE(isCode(entry.code)) << entry.id;
        EXPECT_STREQ(bootCodeTypeCode(entry.id), entry.code);
        if (entry.id == 47 || entry.id == 128)
            continue; // the two ids that break the pattern on the adapters
        const std::uint32_t row = (entry.id - 1) / 8, column = (entry.id - 1) % 8;
        ASSERT_LT(row, rows.size());
        EXPECT_EQ(entry.code[0], rows[row]) << entry.id;
        if (column == 3)
            EXPECT_TRUE(entry.code[1] == 'R' || entry.code[1] == 'L') << entry.id;
        else
            EXPECT_EQ(entry.code[1], columns[column]) << entry.id;
    }
    EXPECT_STREQ(bootCodeTypeCode(47), "YU");
    EXPECT_STREQ(bootCodeTypeCode(128), "PB");
    for (std::uint32_t missing : {0u, 2u, 52u, 248u, 0x111u})
        EXPECT_STREQ(bootCodeTypeCode(missing), "XX") << missing;
}

struct AdapterCase {
    std::uint32_t device, subVendor, subsystem, dist;
    int status;
    const char* code;
};

TEST(LegacyFwType, CodesByDeviceSubsystemAndDist) {
    const AdapterCase cases[] = {
        {0xFE05, 0x10DF, 0x0001, 0, 0, "AD"}, {0xFE05, 0x10DF, 0x0001, 2, 0, "AF"},
        {0xE200, 0x10DF, 0xE201, 0, 0, ""},   {0x0714, 0x10DF, 0x0714, 1, 0, ""},
        {0x1234, 0x10DF, 0x0001, 0, 1, "untouched"},
        {0xF100, 0x103C, 0x338F, 0, 0, "UH"}, {0xF100, 0x10DF, 0xF12B, 0, 0, "UF"},
        {0xF100, 0x10DF, 0xF13C, 0, 0, "UF"}, {0xF100, 0x10DF, 0xF128, 0, 0, "UD"},
        {0xF100, 0x1054, 0x3053, 0, 0, "UF"}, {0xF100, 0x1734, 0x113C, 1, 0, "UF"},
        {0xF100, 0x103C, 0x1708, 1, 0, "UD"}, {0xFD00, 0x10DF, 0xFD23, 0, 0, "BF"},
        {0xFD00, 0x10DF, 0xFD21, 0, 0, "BD"}, {0xFD00, 0x10DF, 0xFD21, 1, 0, "BF"},
        {0xFE00, 0x103C, 0x1708, 0, 0, "ZF"}, {0xFE00, 0x10DF, 0xFE23, 0, 0, "ZD"},
        {0xFE00, 0x10DF, 0xFE26, 0, 0, "ZF"}, {0xF980, 0x10DF, 0xF980, 1, 0, "HF"},
        {0xF980, 0x10DF, 0xF980, 0, 0, "HD"}, {0xF180, 0x10DF, 0xF180, 3, 0, "FD"},
        {0xF0E1, 0x10DF, 0xF0E1, 0, 0, "YM"},
    };
    for (const AdapterCase& c : cases) {
        char out[32] = "untouched";
        EXPECT_EQ(getLegacyFwType(out, sizeof out, c.device, 0x10DF, c.subsystem, c.subVendor, c.dist), c.status)
            << std::hex << c.device << " " << c.subVendor << " " << c.subsystem;
        EXPECT_STREQ(out, c.code) << std::hex << c.device << " " << c.subVendor << " " << c.subsystem;
    }
}

TEST(LegacyFwType, RefusesBadArgumentsAndLogsTheCode) {
    DebugLogCapture log;
    char out[8] = "";
    EXPECT_EQ(getLegacyFwType(out, sizeof out, 0xFE05, 0x10DF, 0x0001, 0x10DF, 0), 0);
    EXPECT_EQ(getLegacyFwType(nullptr, 8, 0xFE05, 0x10DF, 1, 0x10DF, 0), 4);
    EXPECT_EQ(getLegacyFwType(out, sizeof out, 0xFE05, 0, 1, 0x10DF, 0), 4);
    EXPECT_EQ(getLegacyFwType(out, 7, 0xFE05, 0x10DF, 1, 0x10DF, 0), 4);
    EXPECT_EQ(log.text(), "\n[getLegacyFwType]\ngetLegacyFwType      : AD\n"
                          "\n[getLegacyFwType]\nInvalid arguments! rm_status 4\n"
                          "\n[getLegacyFwType]\nInvalid arguments! rm_status 4\n"
                          "\n[getLegacyFwType]\nInsufficient buffer! rm_status 4\n");
}

} // namespace
