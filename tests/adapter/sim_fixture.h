// The real simulated adapter library under the program's adapter layer: each test
// writes a small board file, points the library at it and fills the adapter table.
#pragma once

#include "adapter/adapter_environment.h"
#include "adapter/dfc_library.h"
#include "platform/platform.h"
#include "tests/testkit/adapter_table.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

class SimTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        const auto folder = std::filesystem::path(testkit::programPath()).parent_path();
        ASSERT_EQ(loadDfcLibrary(folder.string() + platform::kPathSeparator), 0)
            << dfcLoadProblem();
    }

    void TearDown() override {
        platform::unsetEnv("DFCSIM_BOARDS");
        platform::unsetEnv("DFCSIM_JOURNAL");
        platform::unsetEnv("DFCSIM_TIMING");
        adapterEnv.table.clear();
        adapterEnv.boardCount = adapterEnv.totalCount = 0;
        adapterEnv.noVpdModelNames = false;
    }

    // Writes {"boards": [boards...]}, lets the library read it and gives every board a
    // table record with its interface level; returns the board count.
    std::uint32_t useBoards(const std::string& boards, std::vector<AdapterRecord> records = {}) {
        writeBoardFile("{\"boards\": [" + boards + "]}");
        return startLibrary(records);
    }

    void writeBoardFile(const std::string& text) {
        boardsPath = dir.file("boards.json");
        testkit::writeText(boardsPath, text);
        platform::setEnv("DFCSIM_BOARDS", boardsPath);
    }

    std::uint32_t startLibrary(std::vector<AdapterRecord> records = {}) {
        return testkit::startAdapterTable(256, std::move(records));
    }

    std::string journalOn() {
        const std::string path = dir.file("journal.txt");
        platform::setEnv("DFCSIM_JOURNAL", path);
        return path;
    }

    testkit::TempDir dir;
    std::string boardsPath;
};
