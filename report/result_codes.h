// The result-code table: one code serves as exit status, XML message id and
// per-adapter outcome.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int MESSAGE_KIND_INVENTORY = 1;
constexpr int MESSAGE_KIND_EXECUTION = 2;

// Formats the message of a code into buffer (cut to size-1 characters). The prefix
// ("Update failed. " and the like) is used only for the execution kind.
void messageForCode(int kind, std::int32_t code, char* buffer, std::size_t size);
