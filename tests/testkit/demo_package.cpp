// The demo package copy of the test kit (see demo_package.h).
#include "tests/testkit/demo_package.h"
#include "tests/testkit/fixture_names.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <regex>

namespace fs = std::filesystem;

namespace testkit {

namespace {
const char kSep = platform::kPathSeparator;
} // namespace

DemoPackage::DemoPackage() {
    const fs::path package = fs::path(programPath()).parent_path() / "demo-package";
    if (fs::exists(package))
        fs::copy(package, dir_.path(), fs::copy_options::recursive);
}

bool DemoPackage::ready() const { return exists(file("boards.json")); }

std::string DemoPackage::marlo(bool secondary) const {
    return file(std::string(secondary ? std::string("x86") + kSep : "") + "Tavrel" + kSep + "marlo");
}

std::string DemoPackage::softVpdPath(bool secondary) const {
    return marlo(secondary) + kSep + "tavCNAFID.cfg";
}

void DemoPackage::writeSoftVpd(bool secondary, const std::string& text) {
    fs::create_directories(marlo(secondary));
    writeText(softVpdPath(secondary), text);
    secondary_ = secondary_ || secondary;
}

void DemoPackage::addFaults(const std::string& rules, bool firstBoardOnly) {
    const std::string text = readText(file("boards.json"));
    writeText(file("boards.json"),
              std::regex_replace(text, std::regex("\"pci\":"), "\"faults\": [" + rules + "], \"pci\":",
                                 firstBoardOnly ? std::regex_constants::format_first_only
                                                : std::regex_constants::format_default));
}

void DemoPackage::addBoardFaults(std::size_t board, const std::string& rules) {
    addBoardKeys(board, "\"faults\": [" + rules + "]");
}

void DemoPackage::addBoardKeys(std::size_t board, const std::string& keys) {
    // The board's own "pci" key, the board-th in the file, is where its keys begin.
    std::string text = readText(file("boards.json"));
    std::size_t at = std::string::npos;
    for (std::size_t i = 0; i <= board; ++i)
        at = text.find("\"pci\":", at == std::string::npos ? 0 : at + 1);
    if (at == std::string::npos) {
        ADD_FAILURE() << "the board file has no board " << board;
        return;
    }
    text.insert(at, keys + ", ");
    writeText(file("boards.json"), text);
}

void DemoPackage::rebootSystem() {
    const std::string text = readText(file("boards.json"));
    writeText(file("boards.json"), "{\"reboot\": true, " + text.substr(text.find('{') + 1));
}

void DemoPackage::dropFaults() {
    const std::string text = readText(file("boards.json"));
    writeText(file("boards.json"), std::regex_replace(text, std::regex("\"faults\":"), "\"faultsDropped\":"));
}

RunResult DemoPackage::run(const std::vector<std::string>& args, const std::string& journal, bool separateErrors) {
    setEnvironment(journal);
    const RunResult r = runProgram(args, path(), separateErrors);
    clearEnvironment();
    return r;
}

platform::StartedProcess DemoPackage::start(const std::vector<std::string>& args, const std::string& journal,
                                            const std::string& console) {
    setEnvironment(journal);
    platform::setEnv("ProgramFiles", path());
    std::vector<std::string> argv{programPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    platform::StartedProcess process;
    if (!platform::startProcess(argv, path(), file(console), &process))
        ADD_FAILURE() << "the program could not be started";
    clearEnvironment();
    return process;
}

RunResult DemoPackage::runInTerminal(const std::vector<std::string>& args) {
    RunResult r;
    const std::string script = "/usr/bin/script";
    if (platform::kIsWindows || !exists(script))
        return r;
    // script's command is one shell text: each argument in single quotes.
    std::string command = "'";
    command += programPath() + "'";
    for (const std::string& a : args)
        command += " '" + a + "'";
    setEnvironment("");
    platform::setEnv("ProgramFiles", path());
    platform::StartedProcess process;
    // -e: script ends with the program's status; -f: the terminal's bytes as they come.
    if (platform::startProcess({script, "-qfec", command, "/dev/null"}, path(), file("terminal.out"), &process))
        r.status = waitFor(process);
    clearEnvironment();
    r.output = readText(file("terminal.out"));
    return r;
}

void DemoPackage::setEnvironment(const std::string& journal) {
    platform::setEnv("DFCSIM_BOARDS", file("boards.json"));
    // The demo boards take their time as real cards do; tests do not wait for that.
    platform::setEnv("DFCSIM_TIMING", timingModel_ ? "on" : "off");
    if (!journal.empty())
        platform::setEnv("DFCSIM_JOURNAL", file(journal));
    if (secondary_)
        platform::setEnv("PROGRAMFILES(x86)", file("x86"));
}

void DemoPackage::clearEnvironment() {
    platform::unsetEnv("DFCSIM_BOARDS");
    platform::unsetEnv("DFCSIM_JOURNAL");
    platform::unsetEnv("DFCSIM_TIMING");
    platform::unsetEnv("PROGRAMFILES(x86)");
}

std::string foreignSoftVpdLines(unsigned first, std::size_t bytes) {
    std::string text;
    char line[96];
    for (unsigned i = first; text.size() < bytes; ++i) {
        std::snprintf(line, sizeof line,
                      "WWPN=" WM_WWNN_PREFIX "%06X;FW=1.0.0.%u;BC=NONE;FID=09.09.%02u\n", i, i % 50,
                      i % 7);
        text += line;
    }
    return text;
}

} // namespace testkit
