// Shared by the image tests: the debug log captured into a file of a temporary folder,
// and fixtures written by the image writer.
#pragma once

#include "log/debug_log.h"
#include "tests/testkit/testkit.h"
#include "tools/image_writer.h"

#include <cstdio>
#include <string>

class DebugLogCapture {
  public:
    DebugLogCapture() : path_(dir_.file("debug.log")) {
        file_ = std::fopen(path_.c_str(), "w+b");
        attachDebugFile(file_);
    }
    ~DebugLogCapture() {
        attachDebugFile(nullptr);
        if (file_ != nullptr)
            std::fclose(file_);
    }
    DebugLogCapture(const DebugLogCapture&) = delete;
    DebugLogCapture& operator=(const DebugLogCapture&) = delete;

    std::string text() {
        std::fflush(file_);
        return testkit::readText(path_);
    }
    bool has(const std::string& line) { return text().find(line) != std::string::npos; }

  private:
    testkit::TempDir dir_;
    std::string path_;
    std::FILE* file_ = nullptr;
};

// Writes bytes as dir/name and returns the path.
inline std::string writeFixture(const testkit::TempDir& dir, const std::string& name, const ImageBytes& bytes) {
    const std::string path = dir.file(name);
    writeImageFile(path, bytes);
    return path;
}
