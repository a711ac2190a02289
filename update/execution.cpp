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
    if (o.bootCode) {
        debugPrint("\n[Executing boot code download]\n");
        o.result = updateAdapter(run, e, component, &o.rebootNeeded, &o.payloadPath);
        e.bcDownloadStatus = static_cast<std::uint32_t>(o.result);
    } else {
        debugPrint("\n[Executing firmware download]\n");
        if (e.adapterInRebootState != 0) {
            // An adapter that waits for a reboot is left alone; the run still asks for one.
            o.rebootNeeded = true;
            o.result = 35;
            debugPrint("Adapter skipped failed. Adapter is in a reboot required state = %d\n\n", 35);
        } else {
            o.result = updateAdapter(run, e, component, &o.rebootNeeded, &o.payloadPath);
        }
        e.fwDownloadStatus = static_cast<std::uint32_t>(o.result);
    }
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

ExecutionSummary runExecution(RunContext& run, const AdapterOutcomeSink& sink) {
    ExecutionSummary summary;
    bool historyFailed = false;
    for (HbaEntry& each : run.adapters) {
        HbaEntry* e = &each;
        if (!isSelected(*e, run.options))
            continue;
        summary.selectionMatched = true;
        if (platform::stopRequested()) {
            if (summary.untouched++ == 0)
                debugPrint("\n[Stop requested]\n");
            debugPrint("Adapter %lu not updated: stop requested\n", static_cast<unsigned long>(e->adapterNumber) + 1);
            continue;
        }
        std::vector<ComponentOutcome> outcomes;
        outcomes.push_back(updateComponent(run, *e, firmwareComponentOf(*e)));
        if (isLegacyEntry(*e))
            outcomes.push_back(updateComponent(run, *e, PRGext));
        for (const ComponentOutcome& o : outcomes)
            summary.rebootRequired = summary.rebootRequired || o.rebootNeeded;
        recordHistory(run, outcomes, historyFailed);
        if (sink)
            sink(outcomes);
    }
    return summary;
}

std::int32_t preconditionStatus(const RunTally& tally, bool haveAdapters, bool execution) {
    if (!haveAdapters)
        return 17;
    if (tally.configFilesRead == 0)
        return 9;
    if (tally.configEntriesValid == 0)
        return 10;
    if (execution && tally.payloadFilesFound == 0)
        return 11;
    if (execution && tally.payloadEntriesValid == 0)
        return 12;
    if (tally.adaptersSupported == 0)
        return 6;
    return 0;
}
