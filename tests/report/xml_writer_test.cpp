#include "common/run_state.h"
#include "report/result_codes.h"
#include "report/xml_writer.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

struct MessageCase {
    int kind;
    int code;
    const char* message;
};

const MessageCase kMessageCases[] = {
    {MESSAGE_KIND_EXECUTION, 0, "Update success."},
    {MESSAGE_KIND_INVENTORY, 0, "Inventory success."},
    {MESSAGE_KIND_EXECUTION, 11, "Update failed. No payload files found."},
    {MESSAGE_KIND_INVENTORY, 11, "No payload files found."},
    {MESSAGE_KIND_EXECUTION, 34, "Update success. The firmware is at the current version no update is required."},
    {MESSAGE_KIND_EXECUTION, 35, "Update pending. Adapter skipped due to reboot required state."},
    {MESSAGE_KIND_EXECUTION, 37, "Update pending. Reboot required to complete the update."},
    {MESSAGE_KIND_INVENTORY, 40, "Adapter not found."},
    {MESSAGE_KIND_EXECUTION, 40, "Update failed. Adapter not found."},
    {MESSAGE_KIND_EXECUTION, 1, "Update failed."},
    {MESSAGE_KIND_INVENTORY, 99, "Inventory failed."},
    {MESSAGE_KIND_INVENTORY, -1, "Inventory failed."},
    // The two long texts are cut to 95 characters.
    {MESSAGE_KIND_INVENTORY, 38,
     "This special firmware release requires the firmware download process to be performed twice. You"},
    {MESSAGE_KIND_EXECUTION, 39,
     "Update failed. Current firmware version is unsupported. The Solvane Flash ISO must be used to update this adap"},
};

class MessageForCodeTest : public ::testing::TestWithParam<MessageCase> {};

TEST_P(MessageForCodeTest, JoinsPrefixAndText) {
    char buffer[256];
    messageForCode(GetParam().kind, GetParam().code, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(Codes, MessageForCodeTest, ::testing::ValuesIn(kMessageCases));

TEST(MessageForCode, EveryTableCodeHasItsOwnText) {
    const int codes[] = {6,  9,  10, 11, 12, 13, 14, 15, 16, 17, 18, 20, 21, 22, 23, 24,
                         25, 26, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42};
    for (int code : codes) {
        char buffer[256];
        messageForCode(MESSAGE_KIND_INVENTORY, code, buffer, sizeof buffer);
        EXPECT_STRNE(buffer, "Inventory failed.") << code;
        EXPECT_LE(std::strlen(buffer), 95u) << code;
    }
}

TEST(MessageForCode, CutToTheCallersSize) {
    char buffer[20];
    messageForCode(MESSAGE_KIND_EXECUTION, 17, buffer, sizeof buffer);
    EXPECT_STREQ(buffer, "Update failed. No a");
}

// Runs a writer with the output file attached and returns what it wrote.
std::string written(const std::function<void()>& write, std::uint32_t echo = 0) {
    testkit::TempDir dir;
    const std::string path = dir.file("out.xml");
    attachOutputFile(std::fopen(path.c_str(), "w"));
    consoleEcho = echo;
    write();
    closeOutputFile();
    consoleEcho = 0;
    return testkit::readText(path);
}

TEST(FailureDocument, ByteForByte) {
    const std::string text = written([] { writeFailureDocument(MESSAGE_KIND_INVENTORY, 16); });
    EXPECT_EQ(text, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                    "<SVMInventory lang=\"en\">\n"
                    "    <SPStatus result=\"false\">\n"
                    "        <Message id=\"16\" > Unknown argument(s). </Message>\n"
                    "    </SPStatus>\n"
                    "</SVMInventory>\n");
    EXPECT_NE(testkit::parseXml(text), nullptr);
}

TEST(FailureDocument, EchoedToStandardOutputWithS) {
    ::testing::internal::CaptureStdout();
    const std::string file = written([] { writeFailureDocument(MESSAGE_KIND_INVENTORY, 14); }, 3);
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, file);
    EXPECT_NE(console.find("> Unable to initialize output log. <"), std::string::npos);
}

TEST(XmlWriters, StatusPackageAndReboot) {
    const std::string text = written([] {
        xmlStatus("false", "Update failed. No payload files found.", 11, 1, 2);
        xmlPackage("FID-7", "2.10A5", 3, true);
        RunOptions options;
        options.rebootRequired = 1;
        xmlReboot(options, 1);
    });
    EXPECT_EQ(text, "    <SPStatus result=\"false\">\n"
                    "        <Message id=\"11\"> Update failed. No payload files found. </Message>\n"
                    "    </SPStatus>\n"
                    "            <Package version=\"FID-7\" tavBcVer=\"2.10A5\"/>\n"
                    "    <RebootRequired>1</RebootRequired>\n");
}

struct NoAdapterCase {
    bool execution;
    const char* wwn;
    const char* document;
    bool selectionMissed;
};

const NoAdapterCase kNoAdapterCases[] = {
    {false, "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMInventory lang=\"en\"/>\n", false},
    {true, "", "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMExecution lang=\"en\"/>\n", false},
    // A selection on a system without adapters keeps its status inside the root.
    {false, "10000000C9ABCDEF",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMInventory lang=\"en\">\n"
     "    <SPStatus result=\"false\">\n        <Message id=\"40\"> Adapter not found. </Message>\n"
     "    </SPStatus>\n</SVMInventory>\n",
     true},
    {true, "10000000C9ABCDEF",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMExecution lang=\"en\">\n"
     "    <SPStatus result=\"false\">\n        <Message id=\"40\"> Update failed. Adapter not found. </Message>\n"
     "    </SPStatus>\n</SVMExecution>\n",
     true},
};

class NoAdapterDocumentTest : public ::testing::TestWithParam<NoAdapterCase> {};

TEST_P(NoAdapterDocumentTest, WritesEmptyRootOrSelectionStatus) {
    const NoAdapterCase& c = GetParam();
    resetRunState();
    RunOptions options;
    options.wwn = c.wwn;
    const std::string text = written([&] {
        if (c.execution)
            writeExecutionDocument(options);
        else
            writeInventoryDocument(options);
    });
    EXPECT_EQ(text, c.document);
    EXPECT_NE(testkit::parseXml(text), nullptr);
    EXPECT_EQ(runTally.selectionMissed, c.selectionMissed);
    resetRunState();
}

INSTANTIATE_TEST_SUITE_P(Documents, NoAdapterDocumentTest, ::testing::ValuesIn(kNoAdapterCases));

} // namespace
