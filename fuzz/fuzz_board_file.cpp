// The simulator's board-file reader.
#include "fuzz/fuzz_support.h"
#include "sim/board.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::writeInput(data, size, "boards.json");
    dfcsim::BoardSet set;
    std::string problem;
    dfcsim::loadBoardSet(path, set, problem);
    return 0;
}
