#include "app/options.h"
#include "common/run_state.h"
#include "tests/testkit/fixture_names.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Parsed {
    int status;
    RunOptions options;
    RunPaths paths;
};

Parsed parse(std::vector<std::string> args) {
    args.insert(args.begin(), "winmarlo");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    Parsed p;
    p.status = parseOptions(p.options, p.paths, static_cast<int>(argv.size()), argv.data());
    return p;
}

struct OptionCase {
    std::vector<std::string> args;
    int status;
    std::uint32_t mode;
    std::uint32_t policy;
    const char* outputFile;
    const char* debugFile;
    std::uint32_t targets;
    const char* wwn;
};

const std::string k252(252, 'o');
const std::string k253(253, 'o');
const std::string k209(209, 'c');
const std::string k210(210, 'c');

const OptionCase kCases[] = {
    {{"-inv"}, 0, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-INV", "-S"}, 0, Inventory, UPDATE_POLICY_NONE, "", "", OUTPUT_TO_STDOUT, ""},
    {{"-u"}, 0, Execution, IfNewer, "", "", 0, ""},
    {{"-u", "-f"}, 0, Execution, Always, "", "", 0, ""},
    {{"-f", "-u"}, 0, Execution, Always, "", "", 0, ""},
    {{"-inv", "-u"}, 22, RUN_MODE_NONE, IfNewer, "", "", 0, ""},
    {{"-v", "-inv"}, 22, RUN_MODE_NONE, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-v", "-s"}, 0, Version, UPDATE_POLICY_NONE, "", "", OUTPUT_TO_STDOUT, ""},
    {{"-h", "-inv"}, 0, Help, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-e", "x.grp"}, 0, ImageQuery, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-e", "x.grp", "-u"}, 22, RUN_MODE_NONE, IfNewer, "", "", 0, ""},
    {{"-e"}, 22, RUN_MODE_NONE, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{}, 22, RUN_MODE_NONE, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-o"}, 0, Inventory, UPDATE_POLICY_NONE, "inventory.xml", "", OUTPUT_TO_FILE, ""},
    {{"-u", "-o"}, 0, Execution, IfNewer, "execution.xml", "", OUTPUT_TO_FILE, ""},
    {{"-o", "-s", "-inv"}, 0, Inventory, UPDATE_POLICY_NONE, "inventory.xml", "", 3, ""},
    {{"-inv", "-o", "mine.xml"}, 0, Inventory, UPDATE_POLICY_NONE, "mine.xml", "", OUTPUT_TO_FILE, ""},
    {{"-inv", "-o", k252}, 0, Inventory, UPDATE_POLICY_NONE, k252.c_str(), "", OUTPUT_TO_FILE, ""},
    // A 253-character name is refused and then read as an argument of its own.
    {{"-inv", "-o", k253}, 16, Inventory, UPDATE_POLICY_NONE, "", "", OUTPUT_TO_FILE, ""},
    // An unknown option turns an execution into an inventory, default name included.
    {{"-u", "-o", "-x"}, 16, Inventory, IfNewer, "inventory.xml", "", OUTPUT_TO_FILE, ""},
    {{"-u", "bare"}, 16, Inventory, IfNewer, "", "", 0, ""},
    {{"-inv", "-ee"}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-g"}, 0, Inventory, UPDATE_POLICY_NONE, "", "debug.log", 0, ""},
    {{"-g", "-inv"}, 0, Inventory, UPDATE_POLICY_NONE, "", "debug.log", 0, ""},
    {{"-inv", "-g", "my.log"}, 0, Inventory, UPDATE_POLICY_NONE, "", "my.log", 0, ""},
    {{"-inv", "-wwn", WM_WWPN_PREFIX_COLONS_LOWER ":ab:cd:ef"}, 0, Inventory, UPDATE_POLICY_NONE, "", "", 0, WM_WWPN_PREFIX "ABCDEF"},
    {{"-inv", "-wwn", WM_WWPN_PREFIX_LOWER "abcdef"}, 0, Inventory, UPDATE_POLICY_NONE, "", "", 0, WM_WWPN_PREFIX "ABCDEF"},
    // 15 digits: 22, then the value is read as an argument itself, which gives 16.
    {{"-inv", "-wwn", WM_WWPN_PREFIX "ABCDE"}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-wwn", WM_WWPN_PREFIX_COLONS ":AB:CD:EG"}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-wwn", WM_WWPN_PREFIX_DASHES "-AB-CD-EF"}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-wwn", WM_WWPN_PREFIX "ABCDEF0000000000"}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    // -wwn followed by an option: 22, and the option is still read.
    {{"-wwn", "-u"}, 22, Inventory, IfNewer, "", "", 0, ""},
    {{"-inv", "-wwn"}, 22, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    // An earlier error stands even when a later -wwn value is valid.
    {{"-inv", "-zz", "-wwn", WM_WWPN_PREFIX "ABCDEF"}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, WM_WWPN_PREFIX "ABCDEF"},
    {{"-inv", "-c", k209}, 0, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-c", k210}, 16, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-c"}, 22, Inventory, UPDATE_POLICY_NONE, "", "", 0, ""},
    {{"-inv", "-p", "-s"}, 22, Inventory, UPDATE_POLICY_NONE, "", "", OUTPUT_TO_STDOUT, ""},
};

class OptionsTest : public ::testing::TestWithParam<OptionCase> {};

TEST_P(OptionsTest, ParsesArgumentsIntoOptions) {
    const OptionCase& c = GetParam();
    const Parsed p = parse(c.args);
    EXPECT_EQ(p.status, c.status);
    EXPECT_EQ(p.options.mode, c.mode);
    EXPECT_EQ(p.options.updatePolicy, c.policy);
    EXPECT_EQ(p.options.outputFile.str(), c.outputFile);
    EXPECT_EQ(p.options.debugFile.str(), c.debugFile);
    EXPECT_EQ(p.options.outputTargets, c.targets);
    EXPECT_EQ(p.options.wwn.str(), c.wwn);
}

INSTANTIATE_TEST_SUITE_P(Arguments, OptionsTest, ::testing::ValuesIn(kCases));

struct CommandLineCase {
    const char* name;
    std::vector<std::string> args;
    bool helpAsked;
    bool documentOnStandardOutput;
    int overlongArgument;
    std::string joined;
};

const std::string k254(254, 'a');
const std::string k255(255, 'b');

const CommandLineCase kCommandLines[] = {
    {"no argument asks for help", {}, true, false, 0, ""},
    {"-H anywhere asks for help", {"-inv", "-H"}, true, false, 0, "-inv -H"},
    {"-h taken as the image file still asks for help", {"-e", "-h"}, true, false, 0, "-e -h"},
    {"a longer argument beginning with -h does not", {"-inv", "-hx"}, false, false, 0, "-inv -hx"},
    {"-s in any case", {"-inv", "-S"}, false, true, 0, "-inv -S"},
    {"-s taken as the image file is no option", {"-e", "-s"}, false, false, 0, "-e -s"},
    {"the first argument of 255 characters", {"-inv", k254, k255, k255 + "c"}, false, false, 3,
     "-inv " + k254 + " " + k255 + " " + k255 + "c"},
    {"legacy switches stay in the joined text", {"-inv", "-c", "D:/conf", "/nokova"}, false, false, 0,
     "-inv -c D:/conf /nokova"},
};

class CommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

// One reading of the command line gives every start-up question its answer, and the
// parser's own.
TEST_P(CommandLineTest, ReadsTheCommandLineOnce) {
    const CommandLineCase& c = GetParam();
    std::vector<std::string> args = c.args;
    args.insert(args.begin(), "winmarlo");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    const CommandLine line = readCommandLine(static_cast<int>(argv.size()), argv.data());
    EXPECT_EQ(line.arguments, args);
    EXPECT_EQ(line.helpAsked, c.helpAsked);
    EXPECT_EQ(line.documentOnStandardOutput, c.documentOnStandardOutput);
    EXPECT_EQ(line.overlongArgument, c.overlongArgument);
    EXPECT_EQ(line.joined, c.joined);
    const Parsed p = parse(c.args);
    EXPECT_EQ(line.parseStatus, p.status);
    EXPECT_EQ(line.options.mode, p.options.mode);
    EXPECT_EQ(line.argumentProblem.empty(), p.status == 0) << line.argumentProblem;
}

INSTANTIATE_TEST_SUITE_P(Arguments, CommandLineTest, ::testing::ValuesIn(kCommandLines),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(Options, DirectoriesAndImageFile) {
    const std::string longestImage(253, 'i');
    Parsed p = parse({"-c", "conf", "-p", "\"pay load\"", "-e", longestImage});
    EXPECT_EQ(p.status, 0);
    EXPECT_EQ(p.paths.configDir.str(), "conf");
    EXPECT_EQ(p.paths.payloadDir.str(), "\"pay load\"");
    EXPECT_EQ(p.options.imageFile.str(), longestImage);
    // One character more is refused, never cut to another name; the name is still
    // consumed, so nothing else is said about it.
    p = parse({"-e", longestImage + "i"});
    EXPECT_EQ(p.status, 21);
    EXPECT_EQ(p.options.imageFile.str(), "");
}

TEST(Options, VersionAndHelpTexts) {
    ::testing::internal::CaptureStdout();
    displayVersion();
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "11.2.216.9\n");
    ::testing::internal::CaptureStdout();
    displayHelp();
    const std::string help = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(help.rfind("  -c <directory_path> - Specify the configuration directory.\n", 0), 0u);
    EXPECT_NE(help.find("  -wwn <wwn_address>  - Unique WWPN address of HBA to specify.\n\n"),
              std::string::npos);
}

} // namespace
