// Option parser: one argument per input line after the program name.
#include "app/options.h"
#include "common/run_state.h"

#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> args{"winmarlo"};
    std::string current;
    for (std::size_t i = 0; i < size && args.size() < 64; ++i) {
        if (data[i] == '\n') {
            args.push_back(current);
            current.clear();
        } else {
            current.push_back(static_cast<char>(data[i]));
        }
    }
    if (!current.empty())
        args.push_back(current);
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    RunOptions options;
    RunPaths paths;
    parseOptions(options, paths, static_cast<int>(args.size()), argv.data());
    return 0;
}
