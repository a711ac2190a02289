// The plan of an update, settled before the first adapter is touched: for every
// selected adapter and component, what the update will do (update from a version to
// another with a file, nothing because it is current or waits for a reboot) or why it
// cannot (no image in the package, no family, firmware the package cannot update, the
// card's other port). The execution, the inventory, the standard-error lines and the
// JSON summary all read this one record. Plain records, header only.
#pragma once

#include "common/result_codes.h"

#include <string>
#include <vector>

struct HbaEntry;

enum class PlanAction {
    Update,              // download `file` (after `interimFile` when there is one)
    Current,             // already at the package's family
    PendingReboot,       // an earlier update waits for a reboot of the system
    NoImage,             // no payload file holds the image sought
    NoFamily,            // the family-ID table has no row for the model and family
    UnsupportedFirmware, // the running firmware cannot be updated by this program
    NotRecordable,       // the soft VPD files cannot be written: nothing is downloaded
    AdapterGone,         // the adapter is no longer where discovery found it
    IdentityUnread,      // its names or its revision could not be read: it is left alone
    SameCard,            // follows the card's other port, which cannot be updated
    Refused,             // another result before any download
};

// A payload file the plan looked at for a component without an image.
struct PlanFileSeen {
    std::string file;    // its name
    std::string version; // the version it holds
    bool otherImageType = false; // it holds another model's kind of image
};

struct ComponentPlan {
    const HbaEntry* adapter = nullptr;
    bool bootCode = false;
    PlanAction action = PlanAction::Update;
    ResultCode result = ResultCode::Success; // what the update ends with when it cannot update
    std::string fromVersion;   // installed
    std::string toVersion;     // the package's version for the component, "NONE" when it has none
    std::string family;        // the package's family ID for the adapter
    std::string file;          // Update: the payload file's path
    std::string interimFile;   // Update of a FerroxFC card on 1.1.21.4: the interim image's path
    std::vector<PlanFileSeen> filesSeen; // NoImage: the package's files of the component's kind
    bool filesSkipped = false; // NoImage: some payload files could not be read (each said when read)
    const HbaEntry* sameCardAs = nullptr; // a port of the same card planned before this one
};

using RunPlan = std::vector<ComponentPlan>;

// Whether the plan says the component cannot be updated (a problem said before the update).
inline bool isPlanProblem(PlanAction action) {
    return action != PlanAction::Update && action != PlanAction::Current && action != PlanAction::PendingReboot;
}
