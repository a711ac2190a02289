#include "report/result_codes.h"

#include <cstdio>

namespace {

struct CodeMessage {
    std::int32_t code;
    const char* prefix;
    const char* text;
};

const char* const kFailed = "Update failed. ";
const char* const kPending = "Update pending. ";

const CodeMessage kMessages[] = {
    {6, kFailed, "No supported adapters found."},
    {9, kFailed, "No configuration files found."},
    {10, kFailed, "No valid configuration entries found."},
    {11, kFailed, "No payload files found."},
    {12, kFailed, "No valid payload entries found."},
    {13, kFailed, "Unable to initialize debug log."},
    {14, kFailed, "Unable to initialize output log."},
    {15, kFailed, "Non-administrator user account detected."},
    {16, kFailed, "Unknown argument(s)."},
    {17, kFailed, "No adapters found."},
    {18, kFailed, "Invalid file extension."},
    {20, kFailed, "Unknown familyID."},
    {21, kFailed, "Invalid argument length detected."},
    {22, kFailed, "Invalid argument(s) detected."},
    {23, kFailed, "Unsupported operating system."},
    {24, kFailed, "Unsupported architecture."},
    {25, kFailed, "Missing module detected."},
    {26, kFailed, "Missing module dependency detected."},
    {30, kFailed, "Invalid adapter number."},
    {31, kFailed, "The firmware download failed."},
    {32, kFailed, "Unable to open image file."},
    {33, kFailed, "Adapter reset failed."},
    {34, "Update success. ", "The firmware is at the current version no update is required."},
    {35, kPending, "Adapter skipped due to reboot required state."},
    {36, kFailed, "FFV update failed."},
    {37, kPending, "Reboot required to complete the update."},
    {38, kPending,
     "This special firmware release requires the firmware download process to be performed "
     "twice. You must reboot the system and download the same firmware file again to complete "
     "the download process."},
    {39, kFailed,
     "Current firmware version is unsupported. The Solvane Flash ISO must be used to update "
     "this adapter."},
    {40, kFailed, "Adapter not found."},
    {41, kFailed, "Download failed due to missing digital signature in firmware file."},
    {42, kFailed, "Download failed due to invalid firmware digital signature."},
};

constexpr int kTextCapacity = 95; // the text part of a message holds at most 95 characters

} // namespace

void messageForCode(int kind, std::int32_t code, char* buffer, std::size_t size) {
    if (buffer == nullptr || size == 0)
        return;
    const bool execution = kind == MESSAGE_KIND_EXECUTION;
    if (code == 0) {
        std::snprintf(buffer, size, "%s", execution ? "Update success." : "Inventory success.");
        return;
    }
    for (const CodeMessage& m : kMessages) {
        if (m.code == code) {
            std::snprintf(buffer, size, "%s%.*s", execution ? m.prefix : "", kTextCapacity, m.text);
            return;
        }
    }
    std::snprintf(buffer, size, "%s", execution ? "Update failed." : "Inventory failed.");
}
