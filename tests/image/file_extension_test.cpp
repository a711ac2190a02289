// The name tests of image/file_extension.h side by side: configuration names, the GRP
// name test and the payload extensions by mode. Each is a case-sensitive substring
// search, so names that only end differently or differ in mixed case show the rule.
#include "image/file_extension.h"

#include "common/run_state.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

TEST(FileExtension, EachRuleOnTheSameNames) {
    constexpr std::uint32_t kRejected = 99; // isValidFileExtension answered 1
    struct Case {
        const char* name;
        bool config;
        bool grp;
        std::uint32_t firmware, boot, any; // extType of each mode, or kRejected
    } cases[] = {
        {"a.ini", true, false, kRejected, kRejected, kRejected},
        {"A.INI.bak", true, false, kRejected, kRejected, kRejected},
        {"a.Ini", false, false, kRejected, kRejected, kRejected},
        {"fw.grp", false, true, GRPext, kRejected, GRPext},
        {"x.GRP.bak", false, true, GRPext, kRejected, GRPext},
        {"x.Grp", false, false, kRejected, kRejected, kRejected},
        {"fw.ALL", false, false, ALLext, kRejected, ALLext},
        {"f.grp.all", false, true, ALLext, kRejected, ALLext}, // ALL before GRP
        {"fw.all.prg", false, false, ALLext, PRGext, PRGext},  // PRG wins in "any"
        {"boot.PRG", false, false, kRejected, PRGext, PRGext},
        {"boot.Prg", false, false, kRejected, kRejected, kRejected},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isConfigFileName(c.name), c.config) << c.name;
        EXPECT_EQ(hasGrpExtension(c.name), c.grp) << c.name;
        const std::pair<int, std::uint32_t> modes[] = {
            {EXT_MODE_FIRMWARE, c.firmware}, {EXT_MODE_BOOT, c.boot}, {EXT_MODE_ANY, c.any}};
        for (const auto& [mode, expected] : modes) {
            std::uint32_t extType = 77;
            const int status = isValidFileExtension(c.name, &extType, mode);
            EXPECT_EQ(status, expected == kRejected ? 1 : 0) << c.name << " mode " << mode;
            EXPECT_EQ(extType, expected == kRejected ? 0u : expected)
                << c.name << " mode " << mode;
        }
    }
    std::uint32_t extType = 0;
    EXPECT_EQ(isValidFileExtension(nullptr, &extType, EXT_MODE_ANY), 4);
    EXPECT_EQ(isValidFileExtension("fw.grp", nullptr, EXT_MODE_ANY), 4);
    EXPECT_FALSE(hasGrpExtension(nullptr));
}

} // namespace
