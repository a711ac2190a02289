// The call journal (see journal.h). The file is opened for each line, so a process
// that ends abruptly keeps every line it wrote.
#include "sim/journal.h"

#include "sim/host.h"

#include <cstdio>
#include <string>

namespace dfcsim {

std::optional<std::string> journalFile() {
    std::optional<std::string> path = hostEnv("DFCSIM_JOURNAL");
    if (path && path->empty())
        path.reset();
    return path;
}

void journal(const std::string& path, const JournalEntry& e) {
    std::FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr)
        return;
    std::fprintf(file, "%s board=", e.call);
    if (e.board)
        std::fprintf(file, "%u", static_cast<unsigned>(*e.board));
    else
        std::fputs("-", file);
    if (e.command)
        std::fprintf(file, " command=0x%02X", static_cast<unsigned>(*e.command));
    else
        std::fputs(" command=-", file);
    if (e.opcode)
        std::fprintf(file, " opcode=0x%02X", static_cast<unsigned>(*e.opcode));
    std::fprintf(file, " status=0x%04X result=%u%s\n", static_cast<unsigned>(e.status),
                 static_cast<unsigned>(e.result), e.fields.c_str());
    std::fclose(file);
}

} // namespace dfcsim
