// Configuration file reader: records of key=value lines into the configuration list.
#include "catalog/config_files.h"
#include "common/run_state.h"
#include "fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string configDir = fuzzsupport::scratchDir() + "/";
    fuzzsupport::writeInput(data, size, "fuzz.ini");
    ConfigList configs;
    RunTally tally;
    int status = 0;
    readConfigFiles(configDir.c_str(), {"fuzz.ini"}, &status, configs, tally);
    return 0;
}
