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

struct ResultCode {
    std::int32_t code;
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
const ResultCode* resultCodeTable(std::size_t* size);

// The row of a code, or null.
const ResultCode* findResultCode(std::int32_t code);

// The execution prefix of an outcome, without its trailing blank ("Update failed.").
const char* outcomePrefix(CodeOutcome outcome);

// Formats the message of a code into buffer (cut to size-1 characters). The prefix
// ("Update failed. " and the like) is used only for the execution kind.
void messageForCode(int kind, std::int32_t code, char* buffer, std::size_t size);

// The status of a firmware or boot-code Application element for a component's
// result code: its message into buffer (cut to size-1 characters); returns whether
// the element's result is "true".
bool componentStatus(std::int32_t code, bool bootCode, char* buffer, std::size_t size);
