// Simulated boards for the flash download engine: a board is JSON plus its adapter
// table record (hardware id and device id decide the family); images come from the
// image writer; the journal proves what was sent.
#pragma once

#include "adapter/adapter_environment.h"
#include "download/dispatcher.h"
#include "tests/adapter/object_fixture.h"
#include "tools/image_writer.h"

#include <string>
#include <utility>
#include <vector>

class FlashTest : public ObjectTest {
  public:
    // A board of the given hardware id with an empty wakeup record; `more` adds keys.
    static std::string board(unsigned hardwareId, const std::string& more = "") {
        return R"({"revision": {"hardwareId": )" + std::to_string(hardwareId) +
               R"(, "firmware": "1.00A0"}, "regions": {"4": ")" + std::string(120, '0') + "\"}" +
               (more.empty() ? "" : ", " + more) + "}";
    }
    static void stepText(const char* text) { steps.push_back(text); }
    static void progress(std::uint32_t p, std::uint64_t done, std::uint64_t total) {
        percents.push_back(p);
        bytes.emplace_back(done, total);
    }

  protected:
    void SetUp() override {
        ObjectTest::SetUp();
        steps.clear();
        percents.clear();
        bytes.clear();
        sleeps.clear();
    }

    // Downloads the file to board 0 as the update does, its waits recorded in sleeps.
    static std::uint32_t download(const std::string& path, StepTextCallback stepText = nullptr,
                                  ProgressCallback progress = nullptr) {
        return downloadPayload(0, payloadForPath(path.c_str()), stepText, progress,
                               [](unsigned ms) { sleeps.push_back(ms); });
    }

    static AdapterRecord record(std::uint16_t hardwareId, std::uint16_t deviceId = 0) {
        AdapterRecord r;
        r.hardwareId = hardwareId;
        r.deviceId = deviceId;
        return r;
    }

    void useBoard(const std::string& json, const AdapterRecord& r) {
        ASSERT_EQ(useBoards(json, {r}), 1u);
    }

    std::string image(const std::string& name, const ImageBytes& bytes) {
        const std::string path = dir.file(name);
        EXPECT_EQ(writeImageFile(path, bytes), 0);
        return path;
    }

    std::string boardFile() { return testkit::readText(boardsPath); }

    static inline std::vector<std::string> steps;
    static inline std::vector<std::uint32_t> percents;
    static inline std::vector<std::pair<std::uint64_t, std::uint64_t>> bytes; // done, total
    static inline std::vector<unsigned> sleeps;
};

// A type/id program-id word (version digits 1.0).
inline std::uint32_t programWord(std::uint32_t type, std::uint32_t id, std::uint32_t version = 1,
                                 std::uint32_t revision = 0) {
    return makeLegacyVersionWord(type, id, version, revision, 0, 1, 2);
}
