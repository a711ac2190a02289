// Handlers of the inventory's Ferrox FC requests: the embedded probe and the
// additional-attributes request, which travels in a data segment behind the mailbox.
#pragma once

#include "sim/handlers.h"

namespace dfcsim {

// SLI_CFG opcode 0x42 of subsystem 1 (embedded): answers success.
MailboxReply probeCommand(MailboxCall& call);

// SLI_CFG with word 1 bit 0 clear: one data segment (word 1 bits 3-7 = 1) whose length
// is in word 2 and in bits 0-23 of word 8, the request header at byte 256. Opcode
// 0x79 of subsystem 1 answers the board's "cntlAttributes".
MailboxReply sliConfigSegmentCommand(MailboxCall& call);

} // namespace dfcsim
