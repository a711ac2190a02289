// Owns what a person at a terminal sees while a run works: one status line rewritten
// in place (the discovery, then each adapter's component with its step and, while a
// download streams, its bytes and percent), a permanent line for each finished
// component, and at the end a table of every component: adapter, component, version
// before and after, result. It renders records and the steps the update reports and
// calls nothing that acts; the run driver creates one only when standard error is a
// terminal.
#pragma once

#include "run/run_outcome.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct HbaEntry;

// Where the display draws, and the clock that paces its redraws.
struct ProgressOutput {
    std::function<void(const std::string& text)> status; // rewrites the status line; "" clears it
    std::function<void(const std::string& text)> line;   // a permanent line
    std::function<std::chrono::steady_clock::time_point()> now = std::chrono::steady_clock::now;
};

// Redraws of a streaming download are at least this far apart; its last state is
// always drawn, as is every new step.
constexpr std::chrono::milliseconds kProgressRedrawInterval{100};

class ProgressDisplay {
  public:
    // columns: the terminal's width; the status line is cut to fit one row.
    ProgressDisplay(ProgressOutput output, int columns);

    void discovering();
    // The discovery's result: adapters found, supported by the package (naming the
    // models of those that are not), selected.
    void discovered(std::size_t found, std::size_t supported, std::size_t selected,
                    const std::vector<std::string>& unsupportedModels = {});
    void readingPackage();
    // The update of `adapters` selected adapters begins.
    void updating(std::size_t adapters);
    void componentStarts(const HbaEntry& adapter, bool bootCode);
    // A step of the download engine or of the update, in the engine's words.
    void step(const char* text);
    void progress(std::uint32_t percent, std::uint64_t done, std::uint64_t total);
    // An adapter's outcomes: a permanent line for each; kept for the table.
    void adapterFinished(const std::vector<ComponentOutcome>& outcomes);
    // A stop was requested: the status line says at once that the run stops after
    // the adapter in progress.
    void stopping();
    // Clears the status line and, when any component was updated, draws the table
    // (fitted to the width: the model, then the version before, then the result's
    // message give way; never the result) and one closing line: the count of each
    // result, whether a reboot is needed, and `documents` (where they are written).
    void finish(bool rebootNeeded = false, const std::string& documents = "");

  private:
    void draw();
    void setStatus(std::string text);
    // widest: the bytes and percent of a stream at the widest they can be, to measure.
    std::string statusText(bool withModel, bool withRecord, bool widest) const;
    // The bytes and percent part of a streaming line (" 3.0 MiB of 6.0 MiB (50%)").
    std::string streamText(bool widest) const;
    std::string counter() const; // "[2/5] ": the adapter's place among the selected

    ProgressOutput out_;
    std::size_t columns_;
    std::string status_;  // the status line as last drawn
    std::size_t adapters_ = 0;
    std::size_t adapterIndex_ = 0;
    const HbaEntry* adapter_ = nullptr;
    bool bootCode_ = false;
    std::string step_;   // in the display's words
    std::string record_; // "record n" of a container while its records load
    std::uint32_t percent_ = 0;
    std::uint64_t done_ = 0, total_ = 0;
    bool streaming_ = false;
    std::chrono::steady_clock::time_point lastDraw_{};
    bool stopping_ = false;
    struct Row {
        std::string adapter, component, before, after, result;
        std::string port, shortResult; // the narrow forms: the port name alone, "failed (31)"
        std::string kind;              // the closing line's count it falls in ("updated", "failed", ...)
    };
    std::vector<Row> rows_;
};

// A byte count for people: "352 B", "12.5 KiB", "64.0 MiB".
std::string bytesText(std::uint64_t bytes);

// What the display says for a step of the engine or the update ("erasing",
// "downloading"); a text it does not know is shown as it is.
std::string stepWords(const char* engineText);
