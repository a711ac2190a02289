// The per-adapter execution loop and the precondition ladder (see execution.h).
#include "update/execution.h"

#include "adapter/hba_entry.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"
#include "update/history.h"
#include "update/update_adapter.h"

#include <chrono>
#include <cstdio>

namespace {

// Firmware, or (bootCode) the boot code of a legacy FC adapter.
ComponentOutcome updateComponent(RunContext& run, HbaEntry& e, std::uint32_t component) {
    const auto start = std::chrono::steady_clock::now();
    ComponentOutcome o;
    o.adapter = &e;
    o.component = component;
    o.bootCode = component == PRGext;
    o.installedFamily = o.bootCode ? e.inventoryBcVersion.str() : e.inventoryFwVersion.str();
    o.installedVersion = o.bootCode ? e.bcVersion.str() : e.fwVersion.str();
    if (run.observer.componentStarts)
        run.observer.componentStarts(e, o.bootCode);
    debugPrint(o.bootCode ? "\n[Executing boot code download]\n" : "\n[Executing firmware download]\n");
    if (!o.bootCode && e.adapterInRebootState != 0) {
        // An adapter that waits for a reboot is left alone; the run still asks for one.
        // Its boot code (a legacy card's) is still attempted.
        o.rebootNeeded = true;
        o.result = ResultCode::RebootPending;
        debugPrint("Adapter skipped failed. Adapter is in a reboot required state = %d\n\n", codeNumber(o.result));
    } else {
        o.decided = true;
        o.result = updateAdapter(run, e, component, &o.rebootNeeded, &o.payloadPath, &o.flashIncomplete);
    }
    (o.bootCode ? e.bcDownloadStatus : e.fwDownloadStatus) = static_cast<std::uint32_t>(codeNumber(o.result));
    o.packagedFamily = e.packagedFamilyId.str();
    o.packagedVersion = o.bootCode ? e.packagedBcVersion.str() : e.packagedFwVersion.str();
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return o;
}

// The soft VPD folder (ending in its separator), where the history lives; empty when
// the system names none.
std::string historyFolder(const RunContext& run) {
    const std::string file = run.softVpd.primaryPath.str();
    const std::size_t cut = file.find_last_of("/\\");
    return cut == std::string::npos ? std::string() : file.substr(0, cut + 1);
}

// Records each download attempt of the adapter in the update history. A history that
// cannot be written is said once on standard error; the run goes on.
void recordHistory(const RunContext& run, const std::vector<ComponentOutcome>& outcomes, bool& historyFailed) {
    const std::string folder = historyFolder(run);
    if (folder.empty())
        return;
    for (const ComponentOutcome& o : outcomes) {
        if (o.payloadPath.empty())
            continue;
        const std::string why = appendHistory(folder, o, std::chrono::system_clock::now());
        if (!why.empty() && !historyFailed) {
            historyFailed = true;
            sayOnStandardError("the update history could not be written (%s); the update goes on", why.c_str());
        }
    }
}

} // namespace

bool isSelected(const HbaEntry& entry, const RunOptions& options) {
    if (entry.supported != 1)
        return false;
    return options.wwn.empty() || entry.wwpn.view() == options.wwn.view();
}

std::vector<const HbaEntry*> selectedAdapters(const RunContext& run) {
    std::vector<const HbaEntry*> selected;
    for (const HbaEntry& e : run.adapters)
        if (isSelected(e, run.options))
            selected.push_back(&e);
    return selected;
}

void runExecution(RunContext& run, RunOutcome& outcome, const AdapterOutcomeSink& sink) {
    bool historyFailed = false;
    for (HbaEntry& e : run.adapters) {
        if (!isSelected(e, run.options))
            continue;
        if (platform::stopRequested()) {
            if (outcome.untouched++ == 0)
                debugPrint("\n[Stop requested]\n");
            debugPrint("Adapter %lu not updated: stop requested\n", static_cast<unsigned long>(e.adapterNumber) + 1);
            continue;
        }
        AdapterOutcome outcomes;
        outcomes.push_back(updateComponent(run, e, firmwareComponentOf(e)));
        if (isLegacyEntry(e))
            outcomes.push_back(updateComponent(run, e, PRGext));
        for (const ComponentOutcome& o : outcomes)
            outcome.rebootRequired = outcome.rebootRequired || o.rebootNeeded;
        recordHistory(run, outcomes, historyFailed);
        outcome.updated.push_back(std::move(outcomes));
        if (sink)
            sink(outcome.updated.back());
    }
}

ResultCode preconditionStatus(const RunTally& tally, bool haveAdapters, bool execution) {
    if (!haveAdapters)
        return ResultCode::NoAdapters;
    if (tally.configFilesRead == 0)
        return ResultCode::NoConfigFiles;
    if (tally.configEntriesValid == 0)
        return ResultCode::NoConfigEntries;
    if (execution && tally.payloadFilesFound == 0)
        return ResultCode::NoPayloadFiles;
    if (execution && tally.payloadEntriesValid == 0)
        return ResultCode::NoPayloadEntries;
    if (tally.adaptersSupported == 0)
        return ResultCode::NoSupportedAdapters;
    return ResultCode::Success;
}
