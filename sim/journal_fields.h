// The fields the journal appends to a call's line: what in the request decides what
// the adapter does, as " key=value" pairs in a fixed order per call and command (the
// table in README.md, "Journal"). They are decoded from the request the program sent,
// never from the answer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace dfcsim {

// Appends " key=<decimal>".
void addField(std::string& out, const char* key, std::uint32_t value);
// Appends " key=0x<hex>", upper case, zero-padded to `digits`.
void addHexField(std::string& out, const char* key, std::uint32_t value, int digits);

// The fields of a mailbox request, given its words as the handler gets them (words the
// caller did not send read 0). Empty for commands without such fields and for
// commands the adapter does not know.
std::string mailboxFields(const std::vector<std::uint8_t>& request);

} // namespace dfcsim
