// Fresh catalogue state for each test: an empty configuration list, family table and
// soft VPD record, zero counters, and a debug file in a temporary folder whose text the
// test can read back.
#pragma once

#include "catalog/config_files.h"
#include "catalog/family_id_table.h"
#include "catalog/soft_vpd_file.h"
#include "common/run_state.h"
#include "log/debug_log.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

class CatalogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        attachDebugFile(std::fopen(dir_.file("debug.log").c_str(), "w"));
        ASSERT_NE(debugFile(), nullptr);
    }
    void TearDown() override { closeDebugFile(); }
    // Everything written to the debug file so far.
    std::string debugText() {
        std::fflush(debugFile());
        return testkit::readText(dir_.file("debug.log"));
    }
    testkit::TempDir dir_;
    RunTally tally_;
    ConfigList configs_;
    FamilyIdTable families_;
    SoftVpd softVpd_;
};
