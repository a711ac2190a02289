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
#include <string>

// How an update reaches a card and waits between steps (the download waits with the
// same sleep); tests put fakes here.
struct UpdateDevices {
    std::uint32_t (*download)(std::uint32_t board, const CluImage& payload, StepTextCallback stepText,
                              ProgressCallback progress, DownloadSleep sleep) = downloadPayload;
    void (*sleep)(unsigned milliseconds) = platform::sleepMs;
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
    UpdateDevices devices;
};
