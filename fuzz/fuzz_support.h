// What the fuzz targets share: a private scratch folder per process into which the
// readers that take paths get the fuzz input written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace fuzzsupport {

// The process's scratch folder, made on first use; it holds no '.' so that readers
// which look at the text after the first '.' see only the file name's extension.
inline const std::string& scratchDir() {
    static const std::string dir = [] {
        std::random_device random;
        const std::filesystem::path path =
            std::filesystem::temp_directory_path() / ("winmarlo-fuzz-" + std::to_string(random()));
        std::filesystem::create_directories(path);
        return path.string();
    }();
    return dir;
}

// Writes the input to name in the scratch folder and returns the path.
inline std::string writeInput(const std::uint8_t* data, std::size_t size, const std::string& name) {
    const std::string path = scratchDir() + "/" + name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    return path;
}

} // namespace fuzzsupport
