// Configuration file reader: records of key=value lines into the configuration list.
#include "catalog/config_files.h"
#include "common/run_state.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    configDir = fuzzsupport::scratchDir() + "/";
    fuzzsupport::writeInput(data, size, "fuzz.ini");
    CluImage file;
    file.filename = "fuzz.ini";
    int status = 0;
    readConfigFiles(&file, &status);
    freeConfigList();
    runTally = RunTally{};
    return 0;
}
