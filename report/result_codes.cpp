// The result-code table and the messages made from it (see result_codes.h).
#include "report/result_codes.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr CodeOutcome kSuccess = CodeOutcome::Success;
constexpr CodeOutcome kPending = CodeOutcome::Pending;
constexpr CodeOutcome kFailed = CodeOutcome::Failed;

// code, outcome, text, ends a firmware update, reached, boot-code message
const ResultCode kCodes[] = {
    {0, kSuccess, nullptr, true, true, "Update success."},
    // Run results with no message of their own.
    {1, kFailed, nullptr, false, false, nullptr},
    {2, kFailed, nullptr, false, false, nullptr},
    {3, kFailed, nullptr, false, false, nullptr},
    {4, kFailed, nullptr, false, false, nullptr},
    {5, kFailed, nullptr, false, false, nullptr},
    {6, kFailed, "No supported adapters found.", false, false, nullptr},
    {9, kFailed, "No configuration files found.", false, false, nullptr},
    {10, kFailed, "No valid configuration entries found.", false, false, nullptr},
    {11, kFailed, "No payload files found.", false, false, nullptr},
    {12, kFailed, "No valid payload entries found.", false, false, nullptr},
    {13, kFailed, "Unable to initialize debug log.", false, false, nullptr},
    {14, kFailed, "Unable to initialize output log.", false, false, nullptr},
    {15, kFailed, "Non-administrator user account detected.", false, false, nullptr},
    {16, kFailed, "Unknown argument(s).", false, false, nullptr},
    {17, kFailed, "No adapters found.", false, false, nullptr},
    {18, kFailed, "Invalid file extension.", false, false, nullptr},
    // -e could not decode the image; no document is written.
    {19, kFailed, nullptr, false, false, nullptr},
    {20, kFailed, "Unknown familyID.", true, false, "Update failed. Unknown familyID."},
    {21, kFailed, "Invalid argument length detected.", false, false, nullptr},
    {22, kFailed, "Invalid argument(s) detected.", false, false, nullptr},
    {23, kFailed, "Unsupported operating system.", false, false, nullptr},
    {24, kFailed, "Unsupported architecture.", false, false, nullptr},
    {25, kFailed, "Missing module detected.", false, false, nullptr},
    {26, kFailed, "Missing module dependency detected.", false, false, nullptr},
    // More than 19 arguments; no document is written.
    {27, kFailed, nullptr, false, false, nullptr},
    {30, kFailed, "Invalid adapter number.", true, false, "Update failed. Invalid adapter number."},
    {31, kFailed, "The firmware download failed.", true, false, "Update failed. The boot code download failed."},
    {32, kFailed, "Unable to open image file.", true, false, "Update failed. Unable to open image file."},
    {33, kFailed, "Adapter reset failed.", true, false, "Update failed. Adapter reset failed."},
    {34, kSuccess, "The firmware is at the current version no update is required.", true, true,
     "Update success. The boot code is at the current version no update is required."},
    {35, kPending, "Adapter skipped due to reboot required state.", true, false, nullptr},
    {36, kFailed, "FFV update failed.", true, false, nullptr},
    {37, kPending, "Reboot required to complete the update.", true, true, nullptr},
    {38, kPending,
     "This special firmware release requires the firmware download process to be performed "
     "twice. You must reboot the system and download the same firmware file again to complete "
     "the download process.",
     true, true, nullptr},
    {39, kFailed,
     "Current firmware version is unsupported. The Solvane Flash ISO must be used to update "
     "this adapter.",
     true, false, nullptr},
    {40, kFailed, "Adapter not found.", false, false, nullptr},
    {41, kFailed, "Download failed due to missing digital signature in firmware file.", true, false, nullptr},
    {42, kFailed, "Download failed due to invalid firmware digital signature.", true, false, nullptr},
    // An argument of 255 characters or more; no document is written.
    {51, kFailed, nullptr, false, false, nullptr},
    // Start-up failures before any document: memory, an enumeration that answered
    // inconsistently, a PCI configuration header that could not be read.
    {62, kFailed, nullptr, false, false, nullptr},
    {63, kFailed, nullptr, false, false, nullptr},
    {64, kFailed, nullptr, false, false, nullptr},
};

constexpr int kTextCapacity = 95; // the text part of a message holds at most 95 characters

const char* const kUpdateFailed = "Update failed.";

} // namespace

const ResultCode* resultCodeTable(std::size_t* size) {
    *size = sizeof kCodes / sizeof kCodes[0];
    return kCodes;
}

const ResultCode* findResultCode(std::int32_t code) {
    for (const ResultCode& row : kCodes)
        if (row.code == code)
            return &row;
    return nullptr;
}

const char* outcomePrefix(CodeOutcome outcome) {
    switch (outcome) {
    case CodeOutcome::Success: return "Update success.";
    case CodeOutcome::Pending: return "Update pending.";
    case CodeOutcome::Failed: break;
    }
    return kUpdateFailed;
}

void messageForCode(int kind, std::int32_t code, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return;
    const bool execution = kind == MESSAGE_KIND_EXECUTION;
    const ResultCode* row = findResultCode(code);
    if (row != nullptr && row->text != nullptr) {
        if (execution)
            std::snprintf(buffer, size, "%s %.*s", outcomePrefix(row->outcome), kTextCapacity, row->text);
        else
            std::snprintf(buffer, size, "%.*s", kTextCapacity, row->text);
        return;
    }
    const bool success = row != nullptr && row->outcome == CodeOutcome::Success;
    if (execution)
        std::snprintf(buffer, size, "%s", success ? "Update success." : kUpdateFailed);
    else
        std::snprintf(buffer, size, "%s", success ? "Inventory success." : "Inventory failed.");
}

bool componentStatus(std::int32_t code, bool bootCode, char* buffer, std::size_t size) {
    const ResultCode* row = findResultCode(code);
    // A code the component has no wording for is a plain failure.
    const bool worded = row != nullptr && (bootCode ? row->bootCodeText != nullptr : row->firmwareOutcome);
    if (!worded) {
        std::snprintf(buffer, size, "%s", kUpdateFailed);
        return false;
    }
    if (bootCode)
        std::snprintf(buffer, size, "%s", row->bootCodeText);
    else
        messageForCode(MESSAGE_KIND_EXECUTION, code, buffer, size);
    return row->reached;
}
