#include "log/debug_log.h"
#include "log/trace.h"
#include "tests/testkit/fixture_names.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

struct SettingsCase {
    const char* text;
    std::uint32_t logMode;
    std::uint32_t param01;
    std::uint8_t fillByte;
    const char* console; // what the reader prints
};

// Each case is one settings file; LOG_MODE, PARAM01 and FILLBYTE tell what was read.
const SettingsCase kSettingsCases[] = {
    {"LOG_MODE=32768\n", 0x8000, 0, 0, ""},
    {"log_mode = 0x8000\n", 0x8000, 0, 0, ""},
    {"Log_Mode\t0X80000\n", 0x80000, 0, 0, ""},
    {"   // LOG_MODE=5\nPARAM01=7\n", 0, 7, 0, ""},
    {"/LOG_MODE=5\n", 0, 0, 0, ""},
    {"FILLBYTE=0x1FF\n", 0, 0, 0xFF, ""},
    {"BOGUS=1\nPARAM01=3\n", 0, 3, 0, "Unkonw Token Found"},
    {"REMOTE_HBA_WWPN=" WM_WWPN_PREFIX_COLONS ":12:34:56\n", 0, 0, 0, ""},
    {"REMOTE_HBA_WWPN=" WM_WWPN_PREFIX "123456\n", 0, 0, 0, "Unkonw Token Found"},
    {"PARAM01=abc\n", 0, 0, 0, ""},
    {"=5\n\n  \nLOG_MODE==  12 trailing\n", 12, 0, 0, ""},
    {"LOG_MODE=4\r\nPARAM01=9\r\n", 4, 9, 0, ""},
};

class TraceSettingsTest : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(TraceSettingsTest, ReadsKeysWithoutRegardToCase) {
    const SettingsCase& c = GetParam();
    testkit::TempDir dir;
    const std::string path = dir.file("RM.INI");
    testkit::writeText(path, c.text);
    traceSettings = TraceSettings{};
    std::FILE* file = std::fopen(path.c_str(), "r");
    ASSERT_NE(file, nullptr);
    ::testing::internal::CaptureStdout();
    readTraceSettings(file);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), c.console);
    EXPECT_EQ(traceSettings.LOG_MODE, c.logMode);
    EXPECT_EQ(traceSettings.PARAM01, c.param01);
    EXPECT_EQ(traceSettings.FILLBYTE, c.fillByte);
}

INSTANTIATE_TEST_SUITE_P(Files, TraceSettingsTest, ::testing::ValuesIn(kSettingsCases));

TEST(TraceSettings, LongLineIsReadInPieces) {
    // 131 characters of padding, then a key: the second piece is read as its own line.
    testkit::TempDir dir;
    const std::string path = dir.file("RM.INI");
    testkit::writeText(path, "//" + std::string(129, 'x') + "LOG_MODE=3\n");
    traceSettings = TraceSettings{};
    readTraceSettings(std::fopen(path.c_str(), "r"));
    EXPECT_EQ(traceSettings.LOG_MODE, 3u);
}

TEST(TraceFile, WritesOnlyWhenTheFileExists) {
    testkit::TempDir dir;
    setTraceFolder(dir.file(""));
    traceLine(nullptr, "nothing");
    EXPECT_FALSE(testkit::exists(dir.file("tavdbg.log")));

    testkit::writeText(dir.file("tavdbg.log"), "");
    traceLine(nullptr, "100% started");
    const std::string text = testkit::readText(dir.file("tavdbg.log"));
    // "(hh:mm:ss.mmm) (pid) text\n"; a percent sign in the text is written as it stands.
    ASSERT_GT(text.size(), 16u);
    EXPECT_EQ(text[0], '(');
    EXPECT_EQ(text[3], ':');
    EXPECT_EQ(text[9], '.');
    EXPECT_EQ(text.substr(13, 3), ") (");
    EXPECT_NE(text.find(") 100% started\n"), std::string::npos);
    setTraceFolder("");
}

TEST(DebugLog, WritesOnlyToAnOpenFile) {
    testkit::TempDir dir;
    debugPrint("dropped %d\n", 1);
    const std::string path = dir.file("debug.log");
    attachDebugFile(std::fopen(path.c_str(), "w"));
    debugPrint("kept %s %d", "line", 2);
    displayTime();
    closeDebugFile();
    const std::string text = testkit::readText(path);
    ASSERT_EQ(text.rfind("kept line 2", 0), 0u);
    // The time line: "Www Mmm dd hh:mm:ss yyyy\n"
    const std::string time = text.substr(11);
    ASSERT_EQ(time.size(), 25u);
    EXPECT_EQ(time[3], ' ');
    EXPECT_EQ(time[13], ':');
    EXPECT_EQ(time.back(), '\n');
}

} // namespace
