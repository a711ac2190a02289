// The outcome of a run as a value: what the inventory listed and what the update did
// to each component, with the run's facts. Inventory and update produce it; one
// function gives the exit status from it; the XML, JSON, text and terminal renderers
// read it and change nothing. Plain records, header only.
#pragma once

#include "common/result_codes.h"
#include "run/run_plan.h"

#include <cstdint>
#include <string>
#include <vector>

struct HbaEntry;

// One component update of one adapter.
struct ComponentOutcome {
    const HbaEntry* adapter = nullptr;
    std::uint32_t component = 0; // payload extension kind: ALLext, UFIext, GRPext, or PRGext
    bool bootCode = false;
    std::string installedFamily;  // the adapter's inventory version text before this update
    std::string installedVersion; // its firmware or boot-code version before this update
    std::string packagedFamily;   // the package family ID after the update (a special release clears it)
    std::string packagedVersion;
    ResultCode result = ResultCode::Success;
    // The update decided on this component (an adapter that waits for a reboot is
    // skipped before any decision); a component found current is no attempt either.
    bool decided = false;
    bool rebootNeeded = false;
    // The download failed after it had begun to rewrite the card's flash: the card holds
    // no whole image of this component until the update is run again.
    bool flashIncomplete = false;
    // The payload file a download was started with (the last one, after an interim
    // image); empty when nothing was sent to the card.
    std::string payloadPath;
    double seconds = 0; // how long the update of this component took

    // The update was attempted: decided, and not found current.
    bool attempted() const { return decided && result != ResultCode::Current; }
    // An attempted update that did not bring the component to the package (now or
    // after a reboot).
    bool failed() const {
        return attempted() && result != ResultCode::Success && result != ResultCode::RebootRequired &&
               result != ResultCode::SpecialRelease;
    }
    // A download reached the card and the update completed (the rollback companion runs
    // after any).
    bool downloadSucceeded() const { return !payloadPath.empty() && attempted() && !failed(); }
};

// The components of one adapter, firmware first.
using AdapterOutcome = std::vector<ComponentOutcome>;

struct RunOutcome {
    bool execution = false;
    // The first precondition that failed (no adapters, configuration, payloads,
    // supported adapters); Success when the run went on to its adapters.
    ResultCode precondition = ResultCode::Success;
    bool haveAdapters = false;
    // The adapters the run worked on, in list order: an inventory's Devices.
    std::vector<const HbaEntry*> selected;
    // A -wwn selection was given and matched no adapter.
    bool selectionMissed = false;
    // An inventory's Devices that lack part of their identity.
    std::uint32_t devicesIncomplete = 0;
    // What the update will do to each selected component, settled before the first
    // adapter is touched (an execution's, and an inventory's with a package to read).
    RunPlan plan;
    // An execution's finished adapters, in list order.
    std::vector<AdapterOutcome> updated;
    std::uint32_t untouched = 0; // selected adapters a stop request left as they were
    bool rebootRequired = false;
    // The soft VPD files could not be written at the end of an execution.
    bool softVpdNotWritten = false;
    // The XML document did not reach its file whole.
    bool documentIncomplete = false;

    std::uint32_t attempts() const { return countWhere(&ComponentOutcome::attempted); }
    std::uint32_t failures() const { return countWhere(&ComponentOutcome::failed); }
    bool anyDownloadSucceeded() const { return countWhere(&ComponentOutcome::downloadSucceeded) > 0; }

  private:
    std::uint32_t countWhere(bool (ComponentOutcome::*holds)() const) const {
        std::uint32_t n = 0;
        for (const AdapterOutcome& adapter : updated)
            for (const ComponentOutcome& o : adapter)
                n += (o.*holds)() ? 1u : 0u;
        return n;
    }
};
