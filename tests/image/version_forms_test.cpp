// Version texts, family-ID order and the converged-adapter thresholds.
#include "image/version_forms.h"
#include "tests/image/image_test_support.h"
#include "tools/image_writer.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct LegacyCase {
    std::uint32_t version, revision, fixlevel, distType, distCnt;
    const char* text;
};

TEST(LegacyVersionText, FieldsFormatWithoutSeparators) {
    const LegacyCase cases[] = {
        {2, 0, 2, 1, 3, "202A3"}, {5, 0, 3, 3, 3, "503X3"},      {10, 0, 0, 0, 0, "1000N0"},
        {7, 0, 0, 0, 0, "700N0"}, {15, 15, 3, 2, 15, "15153B15"},
    };
    for (const LegacyCase& c : cases) {
        const std::uint32_t word = makeLegacyVersionWord(7, 0x29, c.version, c.revision, c.fixlevel, c.distType, c.distCnt);
        char text[16];
        EXPECT_EQ(encodeLegacyVersion(word, text, sizeof text), 0);
        EXPECT_STREQ(text, c.text);
    }
}

TEST(LegacyVersionText, LogsEachFieldAndNeverOverrunsTheBuffer) {
    DebugLogCapture log;
    char text[5] = {'#', '#', '#', '#', '#'};
    EXPECT_EQ(encodeLegacyVersion(makeLegacyVersionWord(0, 0, 2, 0, 2, 1, 3), text, 4), 0);
    EXPECT_STREQ(text, "202"); // cut to the given size
    EXPECT_EQ(text[4], '#');
    EXPECT_EQ(log.text(), "Version       = 2\nRevision      = 0\nFixlevel      = 2\n"
                          "Dist_type     = A (1)\nDist_cnt      = 3\n");
    EXPECT_EQ(encodeLegacyVersion(0, nullptr, 8), 4);
}

struct CnaCase {
    std::string text;
    int status;
    std::uint32_t major, minor, release, build;
};

TEST(EncodeCNAVersion, SplitsDottedTexts) {
    const CnaCase cases[] = {
        {"11.2.216.9", 0, 11, 2, 216, 9},
        {"3.0.5.1", 0, 2, 0, 5, 1}, // the third generation reads as the second
        {"3.1", 4, 2, 1, 0, 0},     // fields stored before the missing one stay
        {"1..1.21.4", 0, 1, 1, 21, 4},
        {".1.1.21.4.", 0, 1, 1, 21, 4},
        {"1.1.21", 4, 1, 1, 21, 0},
        {" 7.x8.9y.10.55", 0, 7, 0, 9, 10},
        {"99999999999.1.1.1", 0, 0xFFFFFFFF, 1, 1, 1},
        {"1.1.21." + std::string(24, '4'), 0, 1, 1, 21, 0xFFFFFFFF}, // 31 characters fit
        {"1.1.21." + std::string(25, '4'), 4, 0, 0, 0, 0},           // 32 do not
    };
    for (const CnaCase& c : cases) {
        std::uint32_t f[4] = {7, 7, 7, 7};
        EXPECT_EQ(encodeCNAVersion(&f[0], &f[1], &f[2], &f[3], 32, c.text.c_str()), c.status) << c.text;
        EXPECT_EQ(f[0], c.major) << c.text;
        EXPECT_EQ(f[1], c.minor) << c.text;
        EXPECT_EQ(f[2], c.release) << c.text;
        EXPECT_EQ(f[3], c.build) << c.text;
    }
}

TEST(EncodeCNAVersion, RefusesMissingAndEmptyInput) {
    DebugLogCapture log;
    std::uint32_t a = 5, b = 5, c = 5, d = 5;
    EXPECT_EQ(encodeCNAVersion(&a, &b, &c, &d, 32, ""), 4);
    EXPECT_EQ(a, 5u); // nothing is touched before the text is known to be there
    EXPECT_EQ(encodeCNAVersion(&a, nullptr, &c, &d, 32, "1.1.1.1"), 4);
    EXPECT_EQ(encodeCNAVersion(&a, &b, &c, &d, 32, nullptr), 4);
    EXPECT_EQ(log.text(), "[encodeCNAVersion] - pDecodedVersion is zero-length!\n"
                          "[encodeCNAVersion] - Invalid arguments!\n"
                          "[encodeCNAVersion] - Invalid arguments!\n");
}

TEST(ParseFamilyID, ReadsUpToThreeFieldsWithinThirtyOneCharacters) {
    std::uint32_t major = 0, minor = 0, build = 77;
    parseFamilyID("08.09", &major, &minor, &build);
    EXPECT_EQ(major, 8u);
    EXPECT_EQ(minor, 9u);
    EXPECT_EQ(build, 77u); // absent field untouched
    // Only the first 31 characters are looked at: the third field lies beyond them.
    parseFamilyID(("01.02" + std::string(26, ' ') + ".03").c_str(), &major, &minor, &build);
    EXPECT_EQ(major, 1u);
    EXPECT_EQ(minor, 2u);
    EXPECT_EQ(build, 77u);
}

struct FamilyCase {
    const char* a;
    const char* b;
    int result;
    const char* verdict;
};

TEST(CompareFamilyIDs, OrdersFieldByFieldAndLogsOneVerdict) {
    const FamilyCase cases[] = {
        {"01.04.03", "01.04.03", 0, "A - 1.4.3 = B - 1.4.3 - status = 0\n\n"},
        {"02.00.01", "01.06.01", 1, "MAJOR_ID_A 2.0.1 > MAJOR_ID_B 1.6.1 - status = 1\n\n"},
        {"00.00.00", "01.00.00", -1, "MAJOR_ID_A 0.0.0 < MAJOR_ID_B 1.0.0 - status = -1\n\n"},
        {"01.06.01", "01.05.09", 1, "MINOR_ID_A 1.6.1 > MINOR_ID_B 1.5.9 - status = 1\n\n"},
        {"00.00.00", "00.01.00", -1, "MINOR_ID_A 0.0.0 < MINOR_ID_B 0.1.0 - status = -1\n\n"},
        {"01.05.03", "01.05.02", 1, "BUILD_ID_A 1.5.3 > BUILD_ID_B 1.5.2 - status = 1\n\n"},
        {"01.05.01", "01.05.02", -1, "BUILD_ID_A 1.5.1 < BUILD_ID_B 1.5.2 - status = -1\n\n"},
        {"1.2", "01.02.00", 0, "A - 1.2.0 = B - 1.2.0 - status = 0\n\n"},
    };
    for (const FamilyCase& c : cases) {
        DebugLogCapture log;
        EXPECT_EQ(compareFamilyIDs(c.a, c.b), c.result) << c.a << " " << c.b;
        EXPECT_EQ(log.text(), std::string("\n[compareFamilyIDs]\nfamilyID_A = ") + c.a + "\nfamilyID_B = " + c.b +
                                  "\n" + c.verdict);
    }
}

TEST(CompareVersionFields, GiveZeroTwoOrOneWithTheirLines) {
    DebugLogCapture log;
    EXPECT_EQ(compareVersionField(1, 2), 0);
    EXPECT_EQ(compareVersionField(2, 2), 2);
    EXPECT_EQ(compareVersionField(3, 2), 1);
    EXPECT_EQ(compareFfvVersionField(1, 2), 0);
    EXPECT_EQ(compareFfvVersionField(2, 2), 2);
    EXPECT_EQ(compareFfvVersionField(3, 2), 1);
    EXPECT_EQ(log.text(), "curVersion < fpgaVersion - Supported = FALSE\n"
                          "curVersion == fpgaVersion - Continue version test\n"
                          "curVersion > fpgaVersion - Supported = TRUE\n"
                          "curVersion < ffvVersion - Supported = FALSE\n"
                          "curVersion == ffvVersion - Continue version test\n"
                          "curVersion > ffvVersion - Supported = TRUE\n");
}

struct ThresholdCase {
    int (*test)(const CnaVersion&);
    CnaVersion version;
    int result;
    const char* line; // a line the decision must log
};

TEST(VersionThresholds, DecideAtTheFirstDifferingField) {
    const ThresholdCase cases[] = {
        {requiresInterimFerroxDownload, {1, 1, 21, 4}, 0, "Versions are equal. Status = 0\n\n"},
        {requiresInterimFerroxDownload, {1, 1, 22, 0}, 1, "Returning from Comparing Release Versions. Status = 1\n\n"},
        {requiresInterimFerroxDownload, {1, 0, 99, 99}, 0, "Returning from Comparing Minor Versions. Status = 0\n\n"},
        {requiresInterimFerroxDownload, {0, 9, 99, 99}, 0, "Returning from Comparing Major Versions. Status = 0\n\n"},
        {requiresInterimFerroxDownload, {1, 1, 21, 5}, 1, "\nComparing Build Versions - NewBuildVer = 5, BaseBuildVer = 4\n"},
        {isFFVSupportedFW, {1, 1, 19, 0}, 1, "New version is equal to the threshold FFV supported FW - status = TRUE\n"},
        {isFFVSupportedFW, {1, 1, 18, 999}, 0, "\nComparing Release Versions - New = 18, Threshold = 19\n"},
        {isFFVSupportedFW, {2, 0, 0, 0}, 1, "curVersion > ffvVersion - Supported = TRUE\n"},
        {isFFVSupportedFW, {1, 1, 19, 1}, 1, "\nComparing Build Versions - New = 1, Threshold = 0\n"},
        {isFerroxInterimFWVersion, {1, 1, 21, 300}, 1, "\n[isFerroxInterimFWVersion]\n"},
        {isFerroxInterimFWVersion, {1, 1, 21, 4}, 0, "Status = 0\n\n"},
        {isFerroxMissingObjsFWVersion, {1, 1, 21, 4}, 1, "Status = 1\n\n"},
        {isFerroxMissingObjsFWVersion, {1, 1, 21, 300}, 0, "\n[isFerroxMissingObjsFWVersion]\n"},
    };
    for (const ThresholdCase& c : cases) {
        DebugLogCapture log;
        const CnaVersion& v = c.version;
        EXPECT_EQ(c.test(v), c.result) << v.major << "." << v.minor << "." << v.release << "." << v.build;
        const std::string text = log.text();
        EXPECT_NE(text.find(c.line), std::string::npos) << text;
        const std::string fields = "CNAMajorVer   = " + std::to_string(v.major) + "\nCNAMinorVer   = " +
                                   std::to_string(v.minor) + "\nCNAReleaseVer = " + std::to_string(v.release) +
                                   "\nCNABuildVer   = " + std::to_string(v.build) + "\n";
        EXPECT_NE(text.find("]\n" + fields), std::string::npos) << text;
    }
}

} // namespace
