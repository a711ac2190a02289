// The data of one run: its options, folders and counters, the adapters it found, and
// what it read from the package and the soft VPD files. app/ builds one per run and
// hands it down; nothing below keeps a run's state of its own.
#pragma once

#include "adapter/hba_entry.h"
#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "catalog/payload_catalog.h"
#include "catalog/soft_vpd_file.h"
#include "common/run_state.h"
#include "download/dispatcher.h"
#include "platform/platform.h"

#include <cstdint>
#include <functional>
#include <string>

// How an update reaches a card and waits between steps (the download waits with the
// same sleep); tests put fakes here.
struct UpdateDevices {
    std::uint32_t (*download)(std::uint32_t board, const CluImage& payload, StepTextCallback stepText,
                              ProgressCallback progress, DownloadSleep sleep) = downloadPayload;
    void (*sleep)(unsigned milliseconds) = platform::sleepMs;
};

// Who watches an update as it goes (the progress display on a terminal): each
// component as it starts, then the steps and progress of its download and the
// update's own steps (the reset, the family ID written to the card). Every member may
// be empty; the update works the same either way.
struct UpdateObserver {
    std::function<void(const HbaEntry& adapter, bool bootCode)> componentStarts;
    StepTextCallback stepText;
    ProgressCallback progress;
};

struct RunContext {
    RunOptions options;
    RunPaths paths;
    RunTally tally;
    AdapterList adapters;  // in board order; filled once, then never resized
    SoftVpd softVpd;       // the soft VPD files' entries; adapters point into it
    FamilyIdTable families;
    ConfigList configs;
    PayloadList payloads;
    // Set before the first download when the soft VPD files could not be replaced:
    // nothing is then downloaded, since nothing could be recorded.
    bool softVpdWriteBlocked = false;
    // The user-facing error text of start-up and discovery; kept for support staff
    // and tests, never shown.
    std::string message;
    // The first argument the option parser refused, and why; said on standard error.
    std::string argumentProblem;
    // The run lock made the soft VPD folder: the run counts it as created.
    bool softVpdFolderMadeByLock = false;
    // A path too long for the field that keeps it, named; said on standard error.
    std::string pathProblem;
    UpdateDevices devices;
    UpdateObserver observer;
};
