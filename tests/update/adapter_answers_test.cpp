// What the program makes of the adapters' rarer answers, run end to end on the demo
// boards with the simulator's fault rules: every status row of the probe and the
// controller-attributes requests behind a Ferrox FC card's boot-code version, an FFV
// answer that reports more than it was asked for, and an adapter count that changes
// between two enumerations.
#include "platform/platform.h"
#include "tests/testkit/demo_package.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace {

constexpr const char* kAttributesBootCode = "12.4.210.4"; // the demo cards' attributes text
constexpr const char* kNoBootCodeRead = "XX0.00A0";       // an FC adapter's default

struct Component {
    std::string device;  // Device deviceID
    std::string wwpn;
    std::string family;  // FRMW version
    std::string bootCode; // BIOS tavBcVer
};

// The Devices of an inventory document, with what the checks below read of them.
std::vector<Component> inventoryOf(const std::string& text) {
    std::vector<Component> devices;
    const auto root = testkit::parseXml(text);
    if (root == nullptr) {
        ADD_FAILURE() << "not XML: " << text;
        return devices;
    }
    for (const auto& device : root->children) {
        Component c;
        c.device = device->attributes.count("deviceID") ? device->attributes.at("deviceID") : "";
        c.wwpn = device->attributes.count("wwpn") ? device->attributes.at("wwpn") : "";
        for (const auto& app : device->children) {
            if (app->attributes.at("componentType") == "FRMW")
                c.family = app->attributes.at("version");
            else
                c.bootCode = app->attributes.at("tavBcVer");
        }
        devices.push_back(c);
    }
    return devices;
}

class AnswersRun : public testkit::DemoPackage {
  public:
    testkit::RunResult inventory() { return run({"-inv", "-o", "-g", "-c", "config", "-p", "common"}); }
    std::vector<Component> devices() { return inventoryOf(testkit::readText(file("inventory.xml"))); }
    // Puts text in front of the key of each board named so (the first key after "name").
    void beforeBoardKey(const std::string& name, const std::string& text) {
        const std::string path = file("boards.json");
        writeText(path, std::regex_replace(testkit::readText(path),
                                           std::regex("(\"name\": \"" + name + "\",)"), "$1 " + text));
    }
    static void writeText(const std::string& path, const std::string& text) { testkit::writeText(path, text); }
};

// Status of the probe (opcode 0x42) and of the attributes request (0x79) from the
// library result, the mailbox status and the response's status bytes. A rule with a
// result answers instead of the card; one without only changes the card's answer.
TEST(AdapterAnswers, EveryProbeAndAttributesStatusRowReachesTheBootCodeVersion) {
    const struct Case {
        const char* row;
        const char* opcode;
        const char* rule;
        bool read; // the boot-code version comes from the attributes answer
    } cases[] = {
        {"r 0, status 1 additional 0: 148", "0x42", R"("result": 0, "responseStatus": 1, "responseAdditional": 0)", false},
        {"r 0, status 1 additional 103: 0", "0x42", R"("result": 0, "responseStatus": 1, "responseAdditional": 103)", true},
        {"r 1: 28", "0x42", R"("result": 1)", false},
        {"r 2, 0x4001, status 1 additional 103: 0", "0x42",
         R"("result": 2, "status": "0x4001", "responseStatus": 1, "responseAdditional": 103)", true},
        {"r 2, mailbox 1, status 126: 60", "0x42", R"("result": 2, "status": 1, "responseStatus": 126)", false},
        {"r 2, mailbox 1, status 1 additional 167: 15", "0x42",
         R"("result": 2, "status": 1, "responseStatus": 1, "responseAdditional": 167)", false},
        {"r 2, mailbox 1, status 2 additional 30: 251", "0x42",
         R"("result": 2, "status": 1, "responseStatus": 2, "responseAdditional": 30)", false},
        {"r 2, mailbox 1, status 1 additional 28: 204", "0x42",
         R"("result": 2, "status": 1, "responseStatus": 1, "responseAdditional": 28)", false},
        {"r 2, mailbox 1, status 3: 248", "0x42", R"("result": 2, "status": 1, "responseStatus": 3)", false},
        // The row that would take a failed call with any other mailbox status for
        // success reads as a failure (28): nothing of the answer was filled.
        {"r 2, mailbox 0xE0, status 0: failed", "0x42", R"("result": 2, "status": "0xE0")", false},
        {"r 2, any other: 28", "0x42", R"("result": 2, "status": 1, "responseStatus": 5)", false},
        {"attributes answered with status 1 additional 0: 148", "0x79",
         R"("responseStatus": 1, "responseAdditional": 0)", false},
        {"attributes answered with status 1 additional 103: 0", "0x79",
         R"("responseStatus": 1, "responseAdditional": 103)", true},
        {"attributes refused, mailbox 1, status 126: 60", "0x79",
         R"("result": 2, "status": 1, "responseStatus": 126)", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.row);
        AnswersRun demo;
        if (!demo.ready())
            GTEST_SKIP() << "the build made no demo package";
        demo.addFaults(std::string(R"({"command": "0x9B", "opcode": ")") + c.opcode + R"(", "times": 0, )" +
                       c.rule + "}");
        ASSERT_EQ(demo.inventory().status, 0);
        int ferroxFc = 0;
        for (const Component& d : demo.devices()) {
            if (d.device != "E200" && d.device != "E300")
                continue;
            ++ferroxFc;
            EXPECT_EQ(d.bootCode, c.read ? kAttributesBootCode : kNoBootCodeRead) << d.wwpn;
        }
        EXPECT_EQ(ferroxFc, 3);
    }
}

// An FFV answer whose actual length is above the request's length is a failed read:
// that port reports the null family, while its sibling on the same card, which the
// rule leaves alone, reports the family the card keeps.
TEST(AdapterAnswers, FfvAnswerLongerThanAskedIsAFailedRead) {
    AnswersRun demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    demo.beforeBoardKey("ferrox-e200-port0", R"("ffv": "02.00.01",)");
    demo.beforeBoardKey("ferrox-e200-port1",
                        R"("ffv": "02.00.01", "faults": [{"command": "0x9B", "opcode": "0x02", "times": 0, "length": 37}],)");
    ASSERT_EQ(demo.inventory().status, 0);
    std::vector<std::string> families;
    for (const Component& d : demo.devices())
        if (d.device == "E200")
            families.push_back(d.family);
    EXPECT_EQ(families, (std::vector<std::string>{"02.00.01", "00.00.00"}));

    // As long as asked is still a good answer.
    const std::string path = demo.file("boards.json");
    testkit::writeText(path, std::regex_replace(testkit::readText(path), std::regex("\"length\": 37"),
                                                "\"length\": 36"));
    ASSERT_EQ(demo.inventory().status, 0);
    families.clear();
    for (const Component& d : demo.devices())
        if (d.device == "E200")
            families.push_back(d.family);
    EXPECT_EQ(families, (std::vector<std::string>{"02.00.01", "02.00.01"}));
}

// The adapter count must not change between the enumeration that sized the table and
// the one that fills it: status 63 and no document; the same boards without the change
// give a normal inventory.
TEST(AdapterAnswers, AdapterCountChangingBetweenEnumerationsEndsWith63) {
    AnswersRun demo;
    if (!demo.ready())
        GTEST_SKIP() << "the build made no demo package";
    ASSERT_EQ(demo.inventory().status, 0);
    const std::size_t listed = demo.devices().size();
    ASSERT_GT(listed, 0u);
    ASSERT_TRUE(platform::removeFileName(demo.file("inventory.xml")));

    const std::string path = demo.file("boards.json");
    const std::string boards = testkit::readText(path);
    const std::string changing = std::regex_replace(
        boards, std::regex("^\\{"), R"({"faults": [{"call": "DFC_InitDiagEnv", "from": 3, "count": 9}],)",
        std::regex_constants::format_first_only);
    ASSERT_NE(changing, boards);
    testkit::writeText(path, changing);
    const testkit::RunResult r = demo.inventory();
    EXPECT_EQ(r.status, 63);
    EXPECT_FALSE(testkit::exists(demo.file("inventory.xml")));

    // The same count on every call changes nothing.
    testkit::writeText(path, std::regex_replace(changing, std::regex("\"from\": 3, \"count\": 9"),
                                                "\"from\": 1, \"times\": 0, \"count\": 8"));
    EXPECT_EQ(demo.inventory().status, 0);
    EXPECT_EQ(demo.devices().size(), listed);
}

} // namespace
