// The timing model: how long the simulated card takes for what it does. A board file
// may give each board latencies (see sim/README.md, "Timing"); the library then waits
// inside the call, as the caller of a real card would, and adds the wait to a total
// per kind. DFCSIM_TIMING=off turns every wait off; DFCSIM_TIMING_REPORT names a file
// that gets the totals when the process ends.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace dfcsim {

enum class WaitKind : std::size_t { Mailbox, Erase, Chunk, ObjectPiece, Reset, Boot };
constexpr std::size_t kWaitKinds = 6;

// A board's latencies, in microseconds by kind; 0: that kind takes no time.
struct Timing {
    std::array<std::uint64_t, kWaitKinds> us{};
};

// Reads DFCSIM_TIMING and DFCSIM_TIMING_REPORT as they stand now; done at every
// enumeration, like the board file.
void configureTiming();

// Waits as long as the board's latency for this kind says (nothing when the model is
// off) and adds the wait to the process's totals.
void modelWait(const Timing& timing, WaitKind kind);

} // namespace dfcsim
