// The download engine's status codes beside those the image readers share
// (image/image_status.h): a class in the upper 16 bits, a detail in the lower.
#pragma once

#include "image/image_status.h"

#include <cstdint>
#include <functional>

constexpr std::uint32_t NO_FLASH_ERROR = 0xFFF60000;           // adapter answered 0xF1
constexpr std::uint32_t UNKNOWN_ADAPTER_ERROR = 0xFFF20000;    // no adapter family
constexpr std::uint32_t INVALID_IMAGE_TYPE_ERROR = 0xFFF10000; // no wakeup slot for the type
constexpr std::uint32_t MAILBOX_ERROR = 0xFFFF0000;
constexpr std::uint32_t FLASH_VERSION_READ_ERROR = 0xFFEE0000;
constexpr std::uint32_t PROGRESS_ERROR = 0xFFEC0000;
constexpr std::uint32_t AUTHENTICATION_ERROR = 0xFFEB0000;
constexpr std::uint32_t SECURITY_ERROR = 0xFFEA0000;

// Adapter mailbox statuses the engine passes on or maps.
constexpr std::uint32_t MBX_STATUS_NO_FLASH = 241;          // 0xF1
constexpr std::uint32_t MBX_STATUS_AUTHENTICATION = 3841;   // 0xF01
constexpr std::uint32_t MBX_STATUS_SIGNATURE_FAILED = 3851; // 0xF0B

// Results of the key steps.
constexpr std::uint32_t KEK_NOT_SUPPORTED = 2;
constexpr std::uint32_t KEK_MISSING_ARGUMENT = 4;
constexpr std::uint32_t KEK_FAILURE = 93;

// Download outcomes the update procedure knows.
constexpr std::uint32_t DOWNLOAD_KEY_FAILED = 1;
constexpr std::uint32_t DOWNLOAD_OBJECT_FAILED = 7;
constexpr std::uint32_t DOWNLOAD_RESET_REQUIRED = 14;
constexpr std::uint32_t DOWNLOAD_NOT_SUITABLE = 70;
constexpr std::uint32_t DOWNLOAD_UFI_NOT_SUPPORTED = 71;
constexpr std::uint32_t DOWNLOAD_REBOOT_REQUIRED = 80;
constexpr std::uint32_t DOWNLOAD_SIGNATURE_MISSING = 89;
constexpr std::uint32_t DOWNLOAD_SIGNATURE_INVALID = 90;

// The step-text and progress callbacks of a download; either may be empty. Progress
// gives the percent of the current step and, where the step streams bytes (the chunks
// of a PRG image or of an AIF record's body, the pieces of a firmware object), the
// bytes sent of the step's total; both are 0 where it does not (an erase).
using StepTextCallback = std::function<void(const char* text)>;
using ProgressCallback = std::function<void(std::uint32_t percent, std::uint64_t done, std::uint64_t total)>;

// Hands a step's text to the callback, when there is one.
inline void tellStep(const StepTextCallback& stepText, const char* text) {
    if (stepText)
        stepText(text);
}
