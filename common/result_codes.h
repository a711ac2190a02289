// The result-code table: one code serves as exit status, XML message id and
// per-adapter outcome. This file owns every message text a code carries in the
// documents, the outcome of each code (success, pending, failed, which gives the
// execution prefix), and the wording of the firmware and boot-code Application
// statuses. README.md's "Exit statuses" table is checked against it by a test.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MESSAGE_KIND_INVENTORY = 1;
constexpr int MESSAGE_KIND_EXECUTION = 2;

enum class CodeOutcome { Success, Pending, Failed };

// The codes of the table below, by what they mean. One value serves as exit status,
// XML message id and per-component result.
enum class ResultCode : std::int32_t {
    Success = 0,
    NothingUpdated = 1,
    UpdatesFailed = 2,         // every update failed, or -wwn matched nothing (execution)
    DevicesIncomplete = 3,     // every Device incomplete, or -wwn matched nothing (inventory)
    SomeUpdatesFailed = 4,
    SomeDevicesIncomplete = 5,
    NoSupportedAdapters = 6,
    NoConfigFiles = 9,
    NoConfigEntries = 10,
    NoPayloadFiles = 11,
    NoPayloadEntries = 12,
    DebugFileFailed = 13,
    OutputFileFailed = 14,
    NotAdministrator = 15,
    UnknownArgument = 16,
    NoAdapters = 17,
    InvalidExtension = 18,
    ImageDecodeFailed = 19,
    UnknownFamily = 20,
    ArgumentLength = 21,
    InvalidArgument = 22,
    UnsupportedSystem = 23,
    UnsupportedArchitecture = 24,
    MissingModule = 25,
    MissingDependency = 26,
    TooManyArguments = 27,
    InvalidBoard = 30,
    DownloadFailed = 31,
    PayloadNotFound = 32,
    ResetFailed = 33,
    Current = 34,
    RebootPending = 35,        // skipped: the adapter waits for a reboot
    FfvFailed = 36,
    RebootRequired = 37,
    SpecialRelease = 38,
    UnsupportedFirmware = 39,
    AdapterNotFound = 40,
    SignatureMissing = 41,
    SignatureInvalid = 42,
    ArgumentTooLong = 51,
    OutOfMemory = 62,
    EnumerationInconsistent = 63,
    PciHeaderUnreadable = 64,
};

// The number a code carries in documents, logs and the exit status.
constexpr std::int32_t codeNumber(ResultCode code) { return static_cast<std::int32_t>(code); }

struct ResultCodeRow {
    ResultCode code;
    CodeOutcome outcome;
    // The message after the execution prefix; null: the code has no message of its
    // own (its documents say only "Update failed." or "Inventory failed.").
    const char* text;
    // Ends a firmware update: its Application status carries the code's message.
    bool firmwareOutcome;
    // The component holds the package version, now or after a reboot: the
    // Application's result is "true".
    bool reached;
    // The whole message of a boot-code Application, or null ("Update failed.").
    const char* bootCodeText;
};

// Every row, in code order; count in *size.
const ResultCodeRow* resultCodeTable(std::size_t* size);

// The row of a code, or null.
const ResultCodeRow* findResultCode(std::int32_t code);

// The execution prefix of an outcome, without its trailing blank ("Update failed.").
const char* outcomePrefix(CodeOutcome outcome);

// Formats the message of a code into buffer (cut to size-1 characters). The prefix
// ("Update failed. " and the like) is used only for the execution kind.
void messageForCode(int kind, std::int32_t code, char* buffer, std::size_t size);

// The status of a firmware or boot-code Application element for a component's
// result code: its message into buffer (cut to size-1 characters); returns whether
// the element's result is "true".
bool componentStatus(std::int32_t code, bool bootCode, char* buffer, std::size_t size);
