// The result-code table and the messages made from it (see result_codes.h).
#include "common/result_codes.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr CodeOutcome kSuccess = CodeOutcome::Success;
constexpr CodeOutcome kPending = CodeOutcome::Pending;
constexpr CodeOutcome kFailed = CodeOutcome::Failed;

// code, outcome, text, ends a firmware update, reached, boot-code message
const ResultCodeRow kCodes[] = {
    {ResultCode::Success, kSuccess, nullptr, true, true, "Update success."},
    // Run results with no message of their own.
    {ResultCode::NothingUpdated, kFailed, nullptr, false, false, nullptr},
    {ResultCode::UpdatesFailed, kFailed, nullptr, false, false, nullptr},
    {ResultCode::DevicesIncomplete, kFailed, nullptr, false, false, nullptr},
    {ResultCode::SomeUpdatesFailed, kFailed, nullptr, false, false, nullptr},
    {ResultCode::SomeDevicesIncomplete, kFailed, nullptr, false, false, nullptr},
    {ResultCode::NoSupportedAdapters, kFailed, "No supported adapters found.", false, false, nullptr},
    {ResultCode::NoConfigFiles, kFailed, "No configuration files found.", false, false, nullptr},
    {ResultCode::NoConfigEntries, kFailed, "No valid configuration entries found.", false, false, nullptr},
    {ResultCode::NoPayloadFiles, kFailed, "No payload files found.", false, false, nullptr},
    {ResultCode::NoPayloadEntries, kFailed, "No valid payload entries found.", false, false, nullptr},
    {ResultCode::DebugFileFailed, kFailed, "Unable to initialize debug log.", false, false, nullptr},
    {ResultCode::OutputFileFailed, kFailed, "Unable to initialize output log.", false, false, nullptr},
    {ResultCode::NotAdministrator, kFailed, "Non-administrator user account detected.", false, false, nullptr},
    {ResultCode::UnknownArgument, kFailed, "Unknown argument(s).", false, false, nullptr},
    {ResultCode::NoAdapters, kFailed, "No adapters found.", false, false, nullptr},
    {ResultCode::InvalidExtension, kFailed, "Invalid file extension.", false, false, nullptr},
    // -e could not decode the image; no document is written.
    {ResultCode::ImageDecodeFailed, kFailed, nullptr, false, false, nullptr},
    {ResultCode::UnknownFamily, kFailed, "Unknown familyID.", true, false, "Update failed. Unknown familyID."},
    {ResultCode::ArgumentLength, kFailed, "Invalid argument length detected.", false, false, nullptr},
    {ResultCode::InvalidArgument, kFailed, "Invalid argument(s) detected.", false, false, nullptr},
    {ResultCode::UnsupportedSystem, kFailed, "Unsupported operating system.", false, false, nullptr},
    {ResultCode::UnsupportedArchitecture, kFailed, "Unsupported architecture.", false, false, nullptr},
    {ResultCode::MissingModule, kFailed, "Missing module detected.", false, false, nullptr},
    {ResultCode::MissingDependency, kFailed, "Missing module dependency detected.", false, false, nullptr},
    // More than 19 arguments; no document is written.
    {ResultCode::TooManyArguments, kFailed, nullptr, false, false, nullptr},
    {ResultCode::InvalidBoard, kFailed, "Invalid adapter number.", true, false, "Update failed. Invalid adapter number."},
    {ResultCode::DownloadFailed, kFailed, "The firmware download failed.", true, false, "Update failed. The boot code download failed."},
    {ResultCode::PayloadNotFound, kFailed, "Unable to open image file.", true, false, "Update failed. Unable to open image file."},
    {ResultCode::ResetFailed, kFailed, "Adapter reset failed.", true, false, "Update failed. Adapter reset failed."},
    {ResultCode::Current, kSuccess, "The firmware is at the current version no update is required.", true, true,
     "Update success. The boot code is at the current version no update is required."},
    {ResultCode::RebootPending, kPending, "Adapter skipped due to reboot required state.", true, false, nullptr},
    {ResultCode::FfvFailed, kFailed, "FFV update failed.", true, false, nullptr},
    {ResultCode::RebootRequired, kPending, "Reboot required to complete the update.", true, true, nullptr},
    {ResultCode::SpecialRelease, kPending,
     "This special firmware release requires the firmware download process to be performed "
     "twice. You must reboot the system and download the same firmware file again to complete "
     "the download process.",
     true, true, nullptr},
    {ResultCode::UnsupportedFirmware, kFailed,
     "Current firmware version is unsupported. The Solvane Flash ISO must be used to update "
     "this adapter.",
     true, false, nullptr},
    {ResultCode::AdapterNotFound, kFailed, "Adapter not found.", false, false, nullptr},
    {ResultCode::SignatureMissing, kFailed, "Download failed due to missing digital signature in firmware file.", true, false, nullptr},
    {ResultCode::SignatureInvalid, kFailed, "Download failed due to invalid firmware digital signature.", true, false, nullptr},
    // An argument of 255 characters or more; no document is written.
    {ResultCode::ArgumentTooLong, kFailed, nullptr, false, false, nullptr},
    // Start-up failures before any document: memory, an enumeration that answered
    // inconsistently, a PCI configuration header that could not be read.
    {ResultCode::OutOfMemory, kFailed, nullptr, false, false, nullptr},
    {ResultCode::EnumerationInconsistent, kFailed, nullptr, false, false, nullptr},
    {ResultCode::PciHeaderUnreadable, kFailed, nullptr, false, false, nullptr},
};

constexpr int kTextCapacity = 95; // the text part of a message holds at most 95 characters

const char* const kUpdateFailed = "Update failed.";

} // namespace

const ResultCodeRow* resultCodeTable(std::size_t* size) {
    *size = sizeof kCodes / sizeof kCodes[0];
    return kCodes;
}

const ResultCodeRow* findResultCode(std::int32_t code) {
    for (const ResultCodeRow& row : kCodes)
        if (codeNumber(row.code) == code)
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
    const ResultCodeRow* row = findResultCode(code);
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
    const ResultCodeRow* row = findResultCode(code);
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
