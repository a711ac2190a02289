// Trace settings reader ("RM.INI").
#include "fuzz/fuzz_support.h"
#include "log/trace.h"

#include <cstdio>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string path = fuzzsupport::writeInput(data, size, "RM.INI");
    std::FILE* file = std::fopen(path.c_str(), "r");
    if (file == nullptr)
        return 0;
    traceSettings = TraceSettings{};
    readTraceSettings(file); // closes the file
    return 0;
}
