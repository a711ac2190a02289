// The per-adapter update decision and sequence for one component (firmware or boot
// code) of one adapter: whether it is needed, which payload, the download, the reset,
// the family written to the card and to the soft VPD list, and the result code.
#pragma once

#include "common/result_codes.h"
#include "download/download_status.h"
#include "image/clu_image.h"
#include "run/run_context.h"

#include <cstdint>
#include <string>

// downloadStat values, shared by the ports of one physical adapter.
constexpr std::uint32_t DOWNLOAD_STAT_NONE = 0;
constexpr std::uint32_t DOWNLOAD_STAT_SUCCEEDED = 1;
constexpr std::uint32_t DOWNLOAD_STAT_FAILED = 2;
constexpr std::uint32_t DOWNLOAD_STAT_REBOOT_REQUIRED = 3;
constexpr std::uint32_t DOWNLOAD_STAT_SPECIAL_RELEASE = 5;
constexpr std::uint32_t DOWNLOAD_STAT_UNSUPPORTED_FW = 6;

// A special release that must be downloaded again after a reboot, as the download
// engine reports it.
constexpr std::uint32_t DOWNLOAD_SPECIAL_RELEASE = 87;

// Runs the update of one component of the adapter, named by its payload extension kind
// (ALLext, UFIext or GRPext: firmware; PRGext: boot code): the decision (whether it is
// needed, which payload), the download, then the table row of the download's outcome
// (reset, records, the state of the card's other ports); returns the component's
// result (0, 20, 30, 31, 32, 33, 34, 36, 37, 38, 39, 41, 42). *rebootNeeded (when given) is set
// when this download asks for a reboot of the system, and left alone otherwise. When the
// run's soft VPD files cannot be replaced, every component ends with 36 before its
// adapter is touched, because a card whose new family could not be recorded would be
// flashed again, as if new, by every later run. *payloadPath (when given) gets the
// path of each payload a download is started with.
// Before the first erase the records a later run decides from (the soft VPD lines of
// the card's ports, this port's FFV) are set to the null family and the soft VPD files
// written, so that a download that fails or is cut short is downloaded again by the
// next run; *flashIncomplete (when given) is set when the download failed after it
// had begun to rewrite the card's flash.
ResultCode updateAdapter(RunContext& run, HbaEntry& entry, std::uint32_t component, bool* rebootNeeded = nullptr,
                         std::string* payloadPath = nullptr, bool* flashIncomplete = nullptr);

// What the update decides for a component before anything reaches the card: to
// download (the payload, and the interim image a FerroxFC card takes first), or the
// result the component ends with.
struct UpdateDecision {
    bool download = false;
    ResultCode result = ResultCode::Success;
    const CluImage* payload = nullptr;
    const CluImage* interim = nullptr;
};

// The decision updateAdapter makes first, with its checks in their order, and nothing
// after it. What the decision sets on its way (the card state of a component that
// cannot be updated, the debug log's lines) it sets in `run`: a plan passes a copy of
// the run's adapters, with the debug log set aside.
UpdateDecision decideUpdate(RunContext& run, HbaEntry& entry, std::uint32_t component);

// The payload whose version is the adapter's package version for that component.
const CluImage* findPayload(const PayloadList& payloads, const HbaEntry& entry, std::uint32_t imageType,
                            std::uint32_t extType);
// The first payload of these types that holds the interim firmware 1.1.21.300.
const CluImage* findInterimPayload(const PayloadList& payloads, std::uint32_t imageType, std::uint32_t extType);
// The FFV write of an update: not applicable (the card or the new firmware keeps no
// FFV), or written with the write's status (0 when it succeeded).
struct FfvWrite {
    bool applicable = false;
    std::uint32_t status = 0;

    static FfvWrite notApplicable() { return FfvWrite{}; }
    bool failed() const { return applicable && status != 0; }
    // The number the debug log shows for it: the write's status, or 2 where the FFV
    // is not applicable.
    std::uint32_t logged() const { return applicable ? status : 2; }
};

// Writes the package family into the card's flash (telling stepText when it does).
FfvWrite updateFlashFFV(HbaEntry& entry, const CluImage& payload, const StepTextCallback& stepText = {});
// Sets the download state of the adapter and of the other ports of its card.
void updateCNAdownloadStatus(AdapterList& adapters, HbaEntry& entry, std::uint32_t value);
// Reports a failed download and gives the card's ports the failed state; returns the code.
ResultCode reportDownloadFailure(RunContext& run, HbaEntry& entry, ResultCode code);
