// The progress display of a terminal (see progress_display.h).
#include "report/progress_display.h"

#include "adapter/hba_entry.h"
#include "common/text.h"
#include "common/result_codes.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

// The engine's step texts (and the update's own) in the display's words.
struct StepName {
    const char* engine;
    const char* shown;
};

constexpr StepName kStepNames[] = {
    {"Opening File", "checking the image"},
    {"Reading Header", "checking the image"},
    {"Reading AIF Header", "checking the image"},
    {"Validating Checksum", "checking the image"},
    {"Checksum OK", "checking the image"},
    {"Checking Image", "checking the image"},
    {"Erasing Sector(s) In Flash ROM", "erasing"},
    {"Erasing Flash ROM Sectors", "erasing"},
    {"Loading Image", "downloading"},
    {"Writing Firmware Object", "downloading"},
    {"Updating Wakeup Parameters", "updating the wakeup parameters"},
    {"Image Successfully Downloaded", "downloaded"},
    {"Resetting Adapter", "resetting"},
    {"Writing Family ID", "writing the family ID"},
};

constexpr const char* kRecordStep = "Reading AIF Header #";
constexpr const char* kResetStep = "Resetting Adapter";
constexpr const char* kFamilyIdStep = "Writing Family ID";

std::string adapterName(const HbaEntry& e) { return joinText(portNameOf(e), " ", e.model.view()); }

const char* componentName(bool bootCode) { return bootCode ? "boot code" : "firmware"; }

// The result of a component in a few words; a failure with the document's message.
std::string resultWords(const ComponentOutcome& o) {
    switch (o.result) {
    case ResultCode::Success: return "updated";
    case ResultCode::Current: return "already current";
    case ResultCode::RebootPending: return "skipped until the system is rebooted";
    case ResultCode::RebootRequired: return "updated; reboot to complete";
    case ResultCode::SpecialRelease: return "updated once; reboot and update again";
    default: break;
    }
    char message[160];
    componentStatus(codeNumber(o.result), o.bootCode, message, sizeof message);
    const std::string failed = joinText("failed (", std::to_string(codeNumber(o.result)), ": ", message, ")");
    return o.flashIncomplete ? failed + "; flash incomplete, run again before rebooting" : failed;
}

// Which count of the closing line a component's result falls in.
std::string resultKind(const ComponentOutcome& o) {
    switch (o.result) {
    case ResultCode::Success: return "updated";
    case ResultCode::Current: return "current";
    case ResultCode::RebootPending: return "skipped";
    case ResultCode::RebootRequired:
    case ResultCode::SpecialRelease: return "pending";
    default: return "failed";
    }
}

// What a component whose flash was left incomplete holds: no whole version.
const std::string kIncompleteVersion = "incomplete";

// The version the component holds after its update: the package's when it reached it
// (now or after the reboot), else the one it had.
const std::string& versionAfter(const ComponentOutcome& o) {
    char ignored[160];
    if (o.flashIncomplete)
        return kIncompleteVersion;
    return componentStatus(codeNumber(o.result), o.bootCode, ignored, sizeof ignored) ? o.packagedVersion
                                                                                       : o.installedVersion;
}

std::string padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

} // namespace

std::string bytesText(std::uint64_t bytes) {
    char text[32];
    if (bytes < 1024)
        std::snprintf(text, sizeof text, "%llu B", static_cast<unsigned long long>(bytes));
    else if (bytes < 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f KiB", double(bytes) / 1024);
    else
        std::snprintf(text, sizeof text, "%.1f MiB", double(bytes) / (1024 * 1024));
    return text;
}

std::string stepWords(const char* engineText) {
    if (engineText == nullptr)
        return {};
    for (const StepName& name : kStepNames)
        if (std::strcmp(engineText, name.engine) == 0)
            return name.shown;
    if (std::strncmp(engineText, kRecordStep, std::strlen(kRecordStep)) == 0)
        return "checking the image";
    return engineText;
}

ProgressDisplay::ProgressDisplay(ProgressOutput output, int columns)
    : out_(std::move(output)), columns_(columns > 1 ? std::size_t(columns) : 80) {}

void ProgressDisplay::setStatus(std::string text) {
    // One row only: a line that wraps could not be rewritten in place.
    if (text.size() >= columns_)
        text.resize(columns_ - 1);
    if (text == status_)
        return;
    status_ = text;
    if (out_.status)
        out_.status(status_);
    if (out_.now)
        lastDraw_ = out_.now();
}

void ProgressDisplay::discovering() { setStatus("Looking for adapters..."); }

void ProgressDisplay::discovered(std::size_t found, std::size_t supported, std::size_t selected,
                                 const std::vector<std::string>& unsupportedModels) {
    setStatus("");
    std::string text = joinText("Found ", std::to_string(found), found == 1 ? " adapter" : " adapters", ", ",
                                std::to_string(supported), " supported by the package");
    if (!unsupportedModels.empty()) {
        std::string models;
        for (const std::string& m : unsupportedModels)
            models += (models.empty() ? "" : ", ") + m;
        text += joinText(" (not: ", models, ")");
    }
    if (selected != supported)
        text += joinText(", ", std::to_string(selected), " selected");
    if (out_.line)
        out_.line(text + ".");
}

void ProgressDisplay::readingPackage() { setStatus("Reading the payload files..."); }

void ProgressDisplay::updating(std::size_t adapters) {
    setStatus("");
    adapters_ = adapters;
}

std::string ProgressDisplay::streamText(bool widest) const {
    if (!streaming_)
        return {};
    // The widest the bytes sent can be while this stream lasts: its total's text, or
    // "1023.9 KiB" on the way to a total of a MiB or more.
    const std::string totalText = bytesText(total_);
    const std::size_t doneWidth =
        total_ >= 1024 * 1024 ? std::max<std::size_t>(10, totalText.size()) : totalText.size();
    const std::string doneText = widest ? std::string(doneWidth, '0') : bytesText(done_);
    const std::string percentText = widest ? "100" : std::to_string(percent_);
    return joinText(" ", doneText, " of ", totalText, " (", percentText, "%)");
}

std::string ProgressDisplay::statusText(bool withModel, bool withRecord, bool widest) const {
    std::string text = stopping_ ? "[stopping after this adapter] " : counter();
    if (adapter_ != nullptr)
        text += joinText(withModel ? adapterName(*adapter_) : portNameOf(*adapter_), " ");
    text += componentName(bootCode_);
    if (withRecord && !record_.empty())
        text += joinText(", ", record_);
    text += joinText(": ", step_);
    return text + streamText(widest);
}

void ProgressDisplay::componentStarts(const HbaEntry& adapter, bool bootCode) {
    if (&adapter != adapter_) {
        adapter_ = &adapter;
        ++adapterIndex_;
        adapters_ = std::max(adapters_, adapterIndex_);
    }
    bootCode_ = bootCode;
    step_ = "checking";
    record_.clear();
    streaming_ = false;
    draw();
}

void ProgressDisplay::step(const char* text) {
    if (text != nullptr && std::strncmp(text, kRecordStep, std::strlen(kRecordStep)) == 0)
        record_ = joinText("record ", text + std::strlen(kRecordStep));
    else if (text != nullptr && (std::strcmp(text, kResetStep) == 0 || std::strcmp(text, kFamilyIdStep) == 0))
        record_.clear(); // the update's own steps concern the whole card
    step_ = stepWords(text);
    streaming_ = false;
    draw();
}

void ProgressDisplay::progress(std::uint32_t percent, std::uint64_t done, std::uint64_t total) {
    percent_ = percent;
    done_ = done;
    total_ = total;
    // Only a step that streams bytes shows them; an erase reports a bare percent.
    streaming_ = total > 0;
    if (!streaming_)
        return;
    const bool last = done >= total;
    if (!last && out_.now && out_.now() - lastDraw_ < kProgressRedrawInterval)
        return;
    draw();
}

std::string ProgressDisplay::counter() const {
    return joinText("[", std::to_string(adapterIndex_), "/", std::to_string(adapters_), "] ");
}

void ProgressDisplay::draw() {
    // A narrow terminal loses the model name first, then the container's record number:
    // the bytes and percent are the news. The layout is chosen for the widest the line
    // can grow during the step, so that it does not change as the bytes count up.
    const auto fits = [this](bool withModel, bool withRecord) {
        return statusText(withModel, withRecord, true).size() < columns_;
    };
    if (fits(true, true)) {
        setStatus(statusText(true, true, false));
    } else if (fits(false, true)) {
        setStatus(statusText(false, true, false));
    } else if (!streaming_ || statusText(false, false, false).size() < columns_) {
        setStatus(statusText(false, false, false));
    } else {
        // Narrower still: the head of the line gives way, the bytes and percent stay
        // whole; a stop request keeps at least its short notice.
        const std::string tail = streamText(false);
        const std::size_t room = columns_ - 1 > tail.size() ? columns_ - 1 - tail.size() : 0;
        std::string head = statusText(false, false, false);
        head.resize(head.size() - tail.size());
        if (stopping_ && head.size() > room)
            head = "[stopping]";
        if (head.size() > room)
            head.resize(room);
        setStatus(head + tail);
    }
}

void ProgressDisplay::stopping() {
    if (stopping_)
        return;
    stopping_ = true;
    // Between adapters there is no component to show with the notice.
    if (status_.empty())
        setStatus("[stopping after this adapter]");
    else
        draw();
}

void ProgressDisplay::adapterFinished(const std::vector<ComponentOutcome>& outcomes) {
    setStatus("");
    for (const ComponentOutcome& o : outcomes) {
        if (o.adapter == nullptr)
            continue;
        Row row{adapterName(*o.adapter), componentName(o.bootCode), o.installedVersion, versionAfter(o),
                resultWords(o), portNameOf(*o.adapter), resultWords(o), resultKind(o)};
        if (const std::size_t cut = row.result.find(": "); cut != std::string::npos && row.kind == "failed")
            row.shortResult = row.result.substr(0, cut) + ")";
        if (out_.line)
            out_.line(joinText(counter(), row.adapter, " ", row.component, " ", row.before, " -> ", row.after, ": ",
                               row.result));
        rows_.push_back(std::move(row));
    }
}

void ProgressDisplay::finish(bool rebootNeeded, const std::string& documents) {
    setStatus("");
    if (rows_.empty() || !out_.line)
        return;
    // The table in its widest form that fits: with the model, then the port name alone,
    // then without the version before, then with the failures' short results.
    struct Form {
        bool model, before, fullResult;
    };
    constexpr Form kForms[] = {{true, true, true}, {false, true, true}, {false, false, true}, {false, false, false}};
    Row heading{"Adapter", "Component", "Before", "After", "Result", "Adapter", "Result", ""};
    std::vector<std::string> table;
    for (const Form& form : kForms) {
        const auto adapterOf = [&](const Row& row) { return form.model ? row.adapter : row.port; };
        const auto resultOf = [&](const Row& row) { return form.fullResult ? row.result : row.shortResult; };
        std::size_t adapterWidth = heading.adapter.size(), componentWidth = heading.component.size(),
                    beforeWidth = heading.before.size(), afterWidth = heading.after.size();
        for (const Row& row : rows_) {
            adapterWidth = std::max(adapterWidth, adapterOf(row).size());
            componentWidth = std::max(componentWidth, row.component.size());
            beforeWidth = std::max(beforeWidth, row.before.size());
            afterWidth = std::max(afterWidth, row.after.size());
        }
        const auto render = [&](const Row& row, const char* arrow) {
            std::string line = joinText(padded(adapterOf(row), adapterWidth), "  ",
                                        padded(row.component, componentWidth), "  ");
            if (form.before)
                line += joinText(padded(row.before, beforeWidth), arrow);
            return joinText(line, padded(row.after, afterWidth), "  ", resultOf(row));
        };
        table = {render(heading, "    ")};
        for (const Row& row : rows_)
            table.push_back(render(row, " -> "));
        if (std::all_of(table.begin(), table.end(), [this](const std::string& l) { return l.size() < columns_; }))
            break;
    }
    out_.line("");
    for (const std::string& line : table)
        out_.line(line);
    // The closing line: how many of each result, the reboot, the documents.
    std::string counts;
    for (const char* kind : {"updated", "pending", "current", "skipped", "failed"}) {
        const auto n = std::count_if(rows_.begin(), rows_.end(), [kind](const Row& r) { return r.kind == kind; });
        if (n > 0)
            counts += joinText(counts.empty() ? "" : ", ", std::to_string(n), " ", kind);
    }
    std::string closing = joinText("Done: ", counts, rebootNeeded ? "; reboot the system to complete the update"
                                                                   : "; no reboot needed");
    if (!documents.empty())
        closing += "; written: " + documents;
    out_.line(closing + ".");
}
