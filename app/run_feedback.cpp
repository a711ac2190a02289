// The run's lines on standard error and its progress display (see run_feedback.h).
#include "app/run_feedback.h"

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "log/console.h"
#include "platform/platform.h"
#include "common/result_codes.h"
#include "report/run_reasons.h"
#include "update/plan_execution.h"

RunFeedback::RunFeedback(RunContext& run) : run_(run) {
    const platform::TerminalInfo terminal = platform::standardErrorTerminal();
    if (!terminal.isTerminal)
        return;
    enableStatusLine(true);
    ProgressOutput output;
    output.status = showStatusLine;
    output.line = writeStandardErrorLine;
    display_ = std::make_unique<ProgressDisplay>(std::move(output), terminal.columns);
    ProgressDisplay* display = display_.get();
    run.observer.componentStarts = [display](const HbaEntry& adapter, bool bootCode) {
        display->componentStarts(adapter, bootCode);
    };
    // A stop request is acknowledged on the status line at the next step or chunk of
    // the adapter in progress, which it lets finish.
    run.observer.stepText = [display](const char* text) {
        if (platform::stopRequested())
            display->stopping();
        display->step(text);
    };
    run.observer.progress = [display](std::uint32_t percent, std::uint64_t done, std::uint64_t total) {
        if (platform::stopRequested())
            display->stopping();
        display->progress(percent, done, total);
    };
}

RunFeedback::~RunFeedback() {
    if (!display_)
        return;
    run_.observer = UpdateObserver{};
    enableStatusLine(false);
}

void RunFeedback::discovering() {
    if (display_)
        display_->discovering();
}

void RunFeedback::discovered(const RunOutcome& outcome) {
    if (!display_)
        return;
    std::vector<std::string> unsupported;
    for (const HbaEntry& e : run_.adapters)
        if (e.supported != 1)
            unsupported.push_back(e.model.str());
    display_->discovered(run_.adapters.size(), run_.tally.adaptersSupported, outcome.selected.size(), unsupported);
}

void RunFeedback::readingPackage() {
    if (display_)
        display_->readingPackage();
}

void RunFeedback::updating(const RunOutcome& outcome) {
    for (const ComponentPlan& plan : outcome.plan) {
        const std::string line = planProblemLine(plan);
        if (!line.empty())
            sayOnStandardError("%s", line.c_str());
    }
    if (display_)
        display_->updating(outcome.selected.size());
}

void RunFeedback::adapterFinished(const AdapterOutcome& outcomes, const RunPlan& plan) {
    if (display_) {
        display_->adapterFinished(outcomes);
        if (platform::stopRequested())
            display_->stopping();
    }
    for (const ComponentOutcome& o : outcomes) {
        const std::string reason = componentFailureReason(o, findComponentPlan(plan, o.adapter, o.bootCode));
        if (!reason.empty())
            sayOnStandardError("%s", reason.c_str());
    }
}

void RunFeedback::finish(int status, const RunOutcome& outcome) {
    if (display_) {
        const RunOptions& options = run_.options;
        std::string documents;
        for (const std::string& name : {(options.outputTargets & OUTPUT_TO_FILE) != 0 ? options.outputFile.str()
                                                                                     : std::string(),
                                       options.jsonFile.str(), options.debugFile.str()})
            if (!name.empty())
                documents += (documents.empty() ? "" : ", ") + name;
        display_->finish(outcome.rebootRequired, documents);
    }
    if (status == 0)
        return;
    RunEndFacts facts;
    facts.argumentProblem = run_.argumentProblem;
    facts.pathProblem = run_.pathProblem;
    facts.libraryProblem = dfcLoadProblem();
    facts.libraryProblemSaid = dfcLoadProblemSaid();
    facts.adapterMessage = adapterEnv.message;
    facts.configFolderExists = platform::fileExists(run_.paths.configDir.str());
    facts.payloadFolderExists = platform::fileExists(run_.paths.payloadDir.str());
    facts.selected = outcome.selected;
    facts.selectionMissed = outcome.selectionMissed;
    facts.imageFileExists = platform::fileExists(run_.options.imageFile.str());
    facts.imageFileIsOrdinary = !facts.imageFileExists || platform::isRegularFile(run_.options.imageFile.str());
    const std::string reason = runEndReason(run_, status, facts);
    if (!reason.empty()) {
        sayOnStandardError("%s", reason.c_str());
        return;
    }
    // Every nonzero status gets a line: when nothing said during the run tells why,
    // the status's own message does. (The output files' 13 and 14 are said where they
    // happen, the document that could not be written whole only when it is closed.)
    if (standardErrorLinesSaid() == 0 && status != codeNumber(ResultCode::DebugFileFailed) &&
        status != codeNumber(ResultCode::OutputFileFailed)) {
        char message[256];
        messageForCode(run_.options.mode == Execution ? MESSAGE_KIND_EXECUTION : MESSAGE_KIND_INVENTORY, status,
                       message, sizeof message);
        sayOnStandardError("the run ended with status %d (%s); the debug log written with -g tells more", status,
                           message);
    }
}
