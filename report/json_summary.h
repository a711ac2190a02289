// The JSON summary (-json): what an inventory or execution found and did, for tools
// that would rather not read XML. The run hands in inventory records and outcome
// records as it goes; the document is rendered once, at the end, when the exit status
// is known. It carries what the XML carries and more (identity, outcome words, times)
// and is described by doc/winmarlo-summary.schema.json.
#pragma once

#include "adapter/hba_entry.h"
#include "run/run_outcome.h"
#include "run/run_plan.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct SummaryVersion {
    std::string version; // the text the card or the file carries ("11.2.216.9", "ZF282A4")
    std::string family;  // the family ID ("02.01.01")
};

struct SummaryComponent {
    bool bootCode = false;
    SummaryVersion installed;
    std::optional<SummaryVersion> packaged; // none: the package has nothing for it
    std::optional<std::int32_t> resultCode; // executions only
    double seconds = 0;
    bool flashIncomplete = false; // executions only
    bool pendingReboot = false;   // an earlier update waits for a reboot of the system
    std::optional<PlanAction> action; // what the plan said the update does; none without a plan
    std::string file;             // the payload file the plan downloads
};

struct SummaryAdapter {
    std::string portName, serialNumber, model, wwpn, mac;
    std::uint32_t vendorId = 0, deviceId = 0, subVendorId = 0, subDeviceId = 0;
    std::uint32_t domain = 0, bus = 0, device = 0, function = 0;
    bool namesUnreadable = false; // the port's names could not be read: no wwpn is claimed
    std::vector<SummaryComponent> components;
    bool notAttempted = false;   // an execution's adapter a stop request left as it was
    bool supported = true;       // false: the package does not update it
    std::string unsupportedWhy;  // why not, for a tool to show
};

struct JsonSummary {
    bool execution = false;
    std::string programVersion;
    std::chrono::system_clock::time_point started;
    std::vector<SummaryAdapter> adapters;
    bool flashIncomplete = false; // some card's flash was left incomplete (executions)
    // Why the run ended, for scripts: "completed", "stopped", "libraryMissing",
    // "noAdapters", ... (runEndWord); empty leaves it out.
    std::string endReason;
    std::uint32_t notAttempted = 0; // adapters a stop request left as they were
};

// Adds an inventoried adapter: firmware and boot code as installed and as packaged,
// and what the plan (when there is one) would do to each.
void summaryAddInventory(JsonSummary& summary, const HbaEntry& adapter, const RunPlan& plan = {});
// Adds an updated adapter from its outcome records (firmware first), with its plan.
void summaryAddOutcomes(JsonSummary& summary, const std::vector<ComponentOutcome>& outcomes,
                        const RunPlan& plan = {});
// Adds an execution's adapter that a stop request left as it was (notAttempted).
void summaryAddNotAttempted(JsonSummary& summary, const HbaEntry& adapter, const RunPlan& plan);
// Adds an adapter the package does not update (supported: false) and why.
void summaryAddUnsupported(JsonSummary& summary, const HbaEntry& adapter, const std::string& why);
// The summary's word for a plan's action ("update", "noImage", ...).
const char* planActionWord(PlanAction action);
// The document, with the run's exit status and whether a reboot is needed.
std::string renderSummary(const JsonSummary& summary, int exitStatus, bool rebootRequired,
                          std::chrono::system_clock::time_point finished);
// What an exit status means for the mode, in words a tool can show.
std::string exitMeaning(bool execution, int exitStatus);
// The outcome word of a component's result code: success, pending, failed or current.
const char* outcomeWord(std::int32_t resultCode);
