// A fresh copy of the demo package (<build>/demo-package: the simulated boards, the
// configuration and the payloads) for a test to run the built program in, with the
// simulator's fault rules at hand. The native build makes the package; ready() tells.
#pragma once

#include "platform/platform.h"
#include "platform/process_control.h"
#include "tests/testkit/testkit.h"

#include <cstddef>
#include <string>
#include <vector>

namespace testkit {

class DemoPackage {
  public:
    DemoPackage();
    DemoPackage(const DemoPackage&) = delete;
    DemoPackage& operator=(const DemoPackage&) = delete;

    // Whether the build made the package and the copy holds it.
    bool ready() const;
    // The folder; it is also the program-files folder of every run.
    const std::string& path() const { return dir_.path(); }
    std::string file(const std::string& name) const { return dir_.file(name); }
    // The soft VPD folder and file: under the folder itself, or (secondary) under its
    // "x86" folder, which runs are given as PROGRAMFILES(x86) once a file was put there.
    std::string marlo(bool secondary = false) const;
    std::string softVpdPath(bool secondary = false) const;
    void writeSoftVpd(bool secondary, const std::string& text);

    // Fault rules (JSON objects, comma-separated) put in front of the boards' own keys:
    // of every board, or of the first only.
    void addFaults(const std::string& rules, bool firstBoardOnly = false);
    // Keys ("name": value, comma-separated) put in front of one board's own keys, by its
    // index in the file; addBoardFaults puts a list of fault rules (comma-separated
    // JSON objects) there.
    void addBoardKeys(std::size_t board, const std::string& keys);
    void addBoardFaults(std::size_t board, const std::string& rules);
    // Renames every rule list to a key the simulator ignores; the rest of the state stays.
    void dropFaults();
    // A system reboot: the next run's simulator starts the firmware waiting in each
    // board's flash.
    void rebootSystem();

    // Runs follow the boards' timing model (off unless this was called with true): they
    // then take as long as the board file's latencies say.
    void useTimingModel(bool on = true) { timingModel_ = on; }

    // The program with these arguments, in the folder, on its boards; with a journal
    // file name the simulator journals there. run waits (as waitFor does), keeping
    // standard error apart when asked (as runProgram does); start returns at once.
    RunResult run(const std::vector<std::string>& args, const std::string& journal = "",
                  bool separateErrors = false);
    platform::StartedProcess start(const std::vector<std::string>& args, const std::string& journal = "",
                                   const std::string& console = "console.out");
    // The program run inside a pseudo-terminal made by util-linux's script, so that its
    // standard output and standard error are a terminal of 80 columns; output is what
    // the terminal was sent. POSIX only; status -1 when script is not there.
    RunResult runInTerminal(const std::vector<std::string>& args);

  private:
    void setEnvironment(const std::string& journal);
    void clearEnvironment();

    TempDir dir_;
    bool secondary_ = false;
    bool timingModel_ = false;
};

// Soft VPD lines of adapters of other hosts (the files keep them), numbered from
// `first`, adding up to at least `bytes`.
std::string foreignSoftVpdLines(unsigned first, std::size_t bytes);

} // namespace testkit
