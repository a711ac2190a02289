// Adapter memory reads over READ_REGION (see adapter_memory.h).
#include "adapter/adapter_memory.h"

#include "adapter/board_family.h"
#include "adapter/mailbox.h"

std::uint32_t ReadAdapterMemory(std::uint32_t board, std::uint32_t* buffer, std::uint32_t address,
                                std::uint32_t words) {
    const std::uint32_t outOfReach = isWideAddressBoard(board) ? 0xE0000000u : 0xFE000000u;
    if ((address & outOfReach) != 0 || words == 0 || words > kMemoryReadMaxWords)
        return MEMORY_ADDRESS_REFUSED;
    MailboxImage m;
    setMailboxCommand(m, READ_REGION);
    setMailboxField(m, 0, 1, 1, 1); // marks the memory read
    setMailboxField(m, 1, 0, 4, READ_REGION_MEMORY);
    setMailboxWord(m, 3, address & ~3u);
    setMailboxWord(m, 4, words);
    const std::uint32_t status = IssueMbox(board, m);
    if (status != 0)
        return status;
    for (std::uint32_t i = 0; i < words; ++i)
        buffer[i] = mailboxWord(m, 5 + i);
    return 0;
}
