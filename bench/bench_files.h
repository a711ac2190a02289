// A temporary folder for benchmark fixtures, removed when the program ends.
#pragma once

#include <filesystem>
#include <random>
#include <string>

class BenchFolder {
  public:
    BenchFolder() {
        std::random_device random;
        path_ = (std::filesystem::temp_directory_path() / ("winmarlo-bench-" + std::to_string(random())))
                    .string();
        std::filesystem::create_directories(path_);
    }
    ~BenchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;
    std::string file(const std::string& name) const { return path_ + "/" + name; }

  private:
    std::string path_;
};
