// Simulated boards for the object layer and the FFV: a Ferrox FC board with the
// extended V2 mailbox, the debug file in the test's folder, and journal counting.
#pragma once

#include "log/debug_log.h"
#include "log/trace.h"
#include "tests/adapter/sim_fixture.h"

#include <cstdio>
#include <string>

class ObjectTest : public SimTest {
  protected:
    void SetUp() override {
        attachDebugFile(std::fopen(dir.file("debug.log").c_str(), "w"));
        ASSERT_NE(debugFile(), nullptr);
        journal = journalOn();
    }
    void TearDown() override {
        closeDebugFile();
        traceSettings.LOG_MODE = 0;
        SimTest::TearDown();
    }

    // A Ferrox FC board (device 0xE200) at interface level 4 with the extended
    // mailbox; `more` adds keys to the board object.
    static std::string ferrox(const std::string& more = "") {
        return R"({"pci": {"deviceId": "0xE200"}, "revision": {"firmware": "10.2.315.26"},
                   "driver": {"interfaceLevel": 4, "features": "0x1000"})" +
               (more.empty() ? "" : ", " + more) + "}";
    }

    std::string debugText() {
        std::fflush(debugFile());
        return testkit::readText(dir.file("debug.log"));
    }

    // Journal lines that contain the text.
    int sent(const std::string& text) {
        const std::string all = testkit::readText(journal);
        int n = 0;
        for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + 1))
            ++n;
        return n;
    }

    std::string journal;
};
