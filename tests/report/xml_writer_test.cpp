// The result-code table against README.md, the XML writers, the documents as the run
// driver writes them, and the text report.
#include "adapter/hba_entry.h"
#include "app/run_driver.h"
#include "update/run_status.h"
#include "common/run_state.h"
#include "log/debug_log.h"
#include "report/text_report.h"
#include "common/result_codes.h"
#include "report/xml_writer.h"
#include "run/run_outcome.h"
#include "tests/testkit/fixture_names.h"
#include "tests/testkit/testkit.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>

namespace {

// Renders the run's document as the run driver does (the outcome settled from the
// run's counters, then the document) and gives the outcome.
RunOutcome render(RunContext& run, XmlDocument& out, bool execution) {
    run.options.mode = execution ? Execution : Inventory;
    RunOutcome outcome = discoveredOutcome(run);
    settleOutcome(run, outcome);
    if (execution)
        writeExecution(run, outcome, out);
    else
        writeInventoryDocument(out, run, outcome);
    return outcome;
}

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

// The table in code order, each code once, so that no row hides behind another.
TEST(ResultCodeTable, CodesAscendOnce) {
    std::size_t size = 0;
    const ResultCodeRow* table = resultCodeTable(&size);
    ASSERT_GT(size, 0u);
    for (std::size_t i = 1; i < size; ++i)
        EXPECT_LT(table[i - 1].code, table[i].code) << codeNumber(table[i].code);
}

// README.md's "Exit statuses" table renders the result-code table: the same codes, and
// for each code with a message its execution prefix and its text. A README text that
// ends in "…" is shortened: what stands before the "…" must begin the table's text.
// Codes without a message of their own show no prefix; their README description is
// not compared.
TEST(ResultCodeTable, ReadmeExitStatusesMatch) {
    std::ifstream in(WINMARLO_SOURCE_DIR "/README.md");
    ASSERT_TRUE(in.good());
    struct Row {
        std::string prefix, message;
    };
    std::map<int, Row> readme;
    bool inSection = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("## ", 0) == 0) {
            inSection = line == "## Exit statuses";
            continue;
        }
        if (!inSection || line.size() < 3 || line[0] != '|' || !std::isdigit(static_cast<unsigned char>(line[2])))
            continue;
        std::vector<std::string> cells;
        std::stringstream fields(line.substr(1));
        for (std::string cell; std::getline(fields, cell, '|');) {
            const auto first = cell.find_first_not_of(' ');
            cells.push_back(first == std::string::npos ? "" : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
        }
        ASSERT_EQ(cells.size(), 3u) << line;
        const int code = std::stoi(cells[0]);
        EXPECT_TRUE(readme.emplace(code, Row{cells[1], cells[2]}).second) << "listed twice: " << code;
    }
    ASSERT_FALSE(readme.empty());

    std::size_t size = 0;
    const ResultCodeRow* table = resultCodeTable(&size);
    for (std::size_t i = 0; i < size; ++i) {
        const ResultCodeRow& row = table[i];
        SCOPED_TRACE(codeNumber(row.code));
        const auto found = readme.find(codeNumber(row.code));
        ASSERT_NE(found, readme.end()) << "missing from README.md";
        const Row& r = found->second;
        if (row.text == nullptr) {
            EXPECT_EQ(r.prefix, "");
            continue;
        }
        EXPECT_EQ(r.prefix, outcomePrefix(row.outcome));
        const std::string ellipsis = "\xE2\x80\xA6";
        if (r.message.size() > ellipsis.size() &&
            r.message.compare(r.message.size() - ellipsis.size(), ellipsis.size(), ellipsis) == 0) {
            std::string shown = r.message.substr(0, r.message.size() - ellipsis.size());
            shown.erase(shown.find_last_not_of(' ') + 1);
            EXPECT_EQ(std::string(row.text).rfind(shown, 0), 0u) << r.message;
            EXPECT_LT(shown.size(), std::strlen(row.text));
        } else {
            EXPECT_EQ(r.message, row.text);
        }
    }
    for (const auto& [code, r] : readme)
        EXPECT_NE(findResultCode(code), nullptr) << "README.md lists " << code << " the table lacks";
}

// Runs a writer on a document with its output file attached and returns what it wrote.
std::string written(const std::function<void(XmlDocument&)>& write, std::uint32_t echo = 0) {
    testkit::TempDir dir;
    const std::string path = dir.file("out.xml");
    XmlDocument document;
    document.attach(std::fopen(path.c_str(), "w"));
    document.setEcho(echo);
    write(document);
    document.close();
    return testkit::readText(path);
}

TEST(FailureDocument, ByteForByte) {
    const std::string text = written([](XmlDocument& out) { writeFailureDocument(out, MESSAGE_KIND_INVENTORY, 16); });
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
    const std::string file = written([](XmlDocument& out) { writeFailureDocument(out, MESSAGE_KIND_INVENTORY, 14); }, 3);
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(console, file);
    EXPECT_NE(console.find("> Unable to initialize output log. <"), std::string::npos);
}

TEST(XmlWriters, StatusPackageAndReboot) {
    const std::string text = written([](XmlDocument& out) {
        xmlStatus(out, "false", "Update failed. No payload files found.", 11, 1, 2);
        xmlPackage(out, "FID-7", "2.10A5", 3, true);
        xmlReboot(out, true, 1);
    });
    EXPECT_EQ(text, "    <SPStatus result=\"false\">\n"
                    "        <Message id=\"11\"> Update failed. No payload files found. </Message>\n"
                    "    </SPStatus>\n"
                    "            <Package version=\"FID-7\" tavBcVer=\"2.10A5\"/>\n"
                    "    <RebootRequired>1</RebootRequired>\n");
}

// Texts from adapters, VPD, configuration and file names reach the documents through
// one escaping step: well-formed UTF-8 stays as it is, every byte outside a well-formed
// sequence becomes the Latin-1 character of its value (UTF-8 encoded), and what XML
// cannot carry is dropped.
TEST(XmlWriters, TextsBecomeWellFormedUtf8) {
    struct Case {
        const char* name;
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        {"ASCII with markup characters", "<a & \"b\">", "&lt;a &amp; &quot;b&quot;&gt;"},
        {"control characters dropped", std::string("a\x01\x1F\x7F", 4) + "b\tc", "abc"},
        {"valid 2-byte", "caf\xC3\xA9", "caf\xC3\xA9"},
        {"valid 3-byte", "\xE2\x82\xAC 5", "\xE2\x82\xAC 5"},
        {"valid 4-byte", "\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
        {"highest code point", "\xF4\x8F\xBF\xBD", "\xF4\x8F\xBF\xBD"},
        {"lone Latin-1 byte", "TV-\xE9t\xE9", "TV-\xC3\xA9t\xC3\xA9"},
        {"lone continuation byte", "a\x80z", "a\xC2\x80z"},
        {"overlong 2-byte '/'", "\xC0\xAF", "\xC3\x80\xC2\xAF"},
        {"overlong 3-byte", "\xE0\x80\xAF", "\xC3\xA0\xC2\x80\xC2\xAF"},
        {"3-byte truncated at the end", "ab\xE2\x82", "ab\xC3\xA2\xC2\x82"},
        {"4-byte cut by an ASCII byte", "\xF0\x9F<", "\xC3\xB0\xC2\x9F&lt;"},
        {"surrogate", "\xED\xA0\x80", "\xC3\xAD\xC2\xA0\xC2\x80"},
        {"above U+10FFFF", "\xF4\x90\x80\x80", "\xC3\xB4\xC2\x90\xC2\x80\xC2\x80"},
        {"bytes never in UTF-8", "\xFE\xFF\xF8", "\xC3\xBE\xC3\xBF\xC3\xB8"},
        {"non-characters dropped", "a\xEF\xBF\xBE\xEF\xBF\xBF" "b", "ab"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text = written([&c](XmlDocument& out) { xmlMessage(out, 7, c.in.c_str(), 0); });
        EXPECT_EQ(text, "<Message id=\"7\"> " + c.out + " </Message>\n");
        EXPECT_NE(testkit::parseXml(text), nullptr);
    }
    // The package attributes carry the configuration's family ID the same way.
    const std::string package = written([](XmlDocument& out) { xmlPackage(out, "01.04.0\xE9", "2.10A5", 0, false); });
    EXPECT_EQ(package, "<Package version=\"01.04.0\xC3\xA9\" tavFwVer=\"2.10A5\"/>\n");
}

// Each component result as its Application element shows it, from the outcome record
// alone: the firmware keeps the code's message with its prefix; the boot code has its
// own wording for a few codes and is a plain failure otherwise; the result is "true"
// only when the component holds the package version, at once or after a reboot.
TEST(ExecutionDevice, RendersOutcomeRecords) {
    struct Case {
        bool bootCode;
        int code;
        const char* result;
        const char* message;
    };
    const Case cases[] = {
        {false, 0, "true", "Update success."},
        {false, 34, "true", "Update success. The firmware is at the current version no update is required."},
        {false, 35, "false", "Update pending. Adapter skipped due to reboot required state."},
        {false, 37, "true", "Update pending. Reboot required to complete the update."},
        {false, 38, "true",
         "Update pending. This special firmware release requires the firmware download process to be performed "
         "twice. You"},
        {false, 31, "false", "Update failed. The firmware download failed."},
        {false, 36, "false", "Update failed. FFV update failed."},
        {false, 40, "false", "Update failed."}, // never the outcome of a component
        {true, 0, "true", "Update success."},
        {true, 34, "true", "Update success. The boot code is at the current version no update is required."},
        {true, 31, "false", "Update failed. The boot code download failed."},
        {true, 33, "false", "Update failed. Adapter reset failed."},
        {true, 36, "false", "Update failed."},
        {true, 37, "false", "Update failed."},
    };
    HbaEntry adapter;
    adapter.wwpn = WM_WWPN_PREFIX "000001";
    adapter.modelDesc = "Port 1";
    adapter.fwVersion = "9.99A9"; // what the adapter says now is not what the record says
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.code) + (c.bootCode ? " boot code" : " firmware"));
        ComponentOutcome o;
        o.adapter = &adapter;
        o.component = c.bootCode ? PRGext : ALLext;
        o.bootCode = c.bootCode;
        o.installedFamily = "02.00.01";
        o.installedVersion = "2.00A1";
        o.packagedFamily = "00.00.00";
        o.packagedVersion = "2.10A5";
        o.result = static_cast<ResultCode>(c.code);
        const std::string text = written([&o](XmlDocument& out) { writeExecutionDevice(out, {o}); });
        auto device = testkit::parseXml(text);
        ASSERT_NE(device, nullptr) << text;
        EXPECT_EQ(device->attributes.at("wwpn"), WM_WWPN_PREFIX "000001");
        const auto* app = device->child("Application");
        ASSERT_NE(app, nullptr) << text;
        const char* versionName = c.bootCode ? "tavBcVer" : "tavFwVer";
        EXPECT_EQ(app->attributes.at("componentType"), c.bootCode ? "BIOS" : "FRMW");
        EXPECT_EQ(app->attributes.at("version"), "02.00.01");
        EXPECT_EQ(app->attributes.at(versionName), "2.00A1");
        EXPECT_EQ(app->attributes.at("display"), "Port 1");
        EXPECT_EQ(app->child("Package")->attributes.at("version"), "00.00.00");
        EXPECT_EQ(app->child("Package")->attributes.at(versionName), "2.10A5");
        const auto* status = app->child("SPStatus");
        ASSERT_NE(status, nullptr);
        EXPECT_EQ(status->attributes.at("result"), c.result);
        EXPECT_EQ(status->child("Message")->attributes.at("id"), std::to_string(c.code));
        EXPECT_EQ(status->child("Message")->text, c.message);
    }
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
    {false, WM_WWPN_PREFIX "ABCDEF",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMInventory lang=\"en\">\n"
     "    <SPStatus result=\"false\">\n        <Message id=\"40\"> Adapter not found. </Message>\n"
     "    </SPStatus>\n</SVMInventory>\n",
     true},
    {true, WM_WWPN_PREFIX "ABCDEF",
     "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<SVMExecution lang=\"en\">\n"
     "    <SPStatus result=\"false\">\n        <Message id=\"40\"> Update failed. Adapter not found. </Message>\n"
     "    </SPStatus>\n</SVMExecution>\n",
     true},
};

class NoAdapterDocumentTest : public ::testing::TestWithParam<NoAdapterCase> {};

TEST_P(NoAdapterDocumentTest, WritesEmptyRootOrSelectionStatus) {
    const NoAdapterCase& c = GetParam();
    RunContext run;
    run.options.wwn = c.wwn;
    RunOutcome outcome;
    const std::string text = written([&](XmlDocument& out) {
        if (c.execution)
            outcome = render(run, out, true);
        else
            outcome = render(run, out, false);
    });
    EXPECT_EQ(text, c.document);
    EXPECT_NE(testkit::parseXml(text), nullptr);
    EXPECT_EQ(outcome.selectionMissed, c.selectionMissed);
}

INSTANTIATE_TEST_SUITE_P(Documents, NoAdapterDocumentTest, ::testing::ValuesIn(kNoAdapterCases));

} // namespace

namespace {

// Two supported adapters and one unsupported, built by hand.
class DocumentWithAdaptersTest : public ::testing::Test {
  protected:
    void SetUp() override {
        run.tally.configFilesRead = 1;
        run.tally.configEntriesValid = 1;
        run.tally.adaptersSupported = 2;
        add(WM_WWPN_PREFIX "000001", "Dual-port \"Tavrel\" 32G <FC> & more", 1);
        add(WM_WWPN_PREFIX "000002", "Second port", 1);
        add(WM_WWPN_PREFIX "000003", "Not in the package", 0);
    }
    void add(const char* wwpn, const char* desc, int supported) {
        HbaEntry& e = run.adapters.emplace_back();
        e.adapterNumber = 7; // not a board of the (empty) adapter table
        e.wwpn = wwpn;
        e.modelDesc = desc;
        e.supported = static_cast<std::uint16_t>(supported);
        e.vendorId = 0x10DF;
        e.deviceId = 0xF100;
        e.subDeviceId = 0xF100;
        e.subVendorId = 0x10DF;
        e.fwVersion = "2.10A5";
        e.bcVersion = "1.20A3";
    }
    RunContext run; // a fresh run for every test
};

TEST_F(DocumentWithAdaptersTest, InventoryListsSupportedAdaptersEscaped) {
    RunOutcome outcome;
    const std::string text = written([&](XmlDocument& out) { outcome = render(run, out, false); });
    std::string error;
    auto root = testkit::parseXml(text, &error);
    ASSERT_NE(root, nullptr) << error << "\n" << text;
    const auto devices = root->all("Device");
    ASSERT_EQ(devices.size(), 2u);
    EXPECT_EQ(devices[0]->attributes.at("wwpn"), WM_WWPN_PREFIX "000001");
    EXPECT_NE(text.find("display=\"Dual-port &quot;Tavrel&quot; 32G &lt;FC&gt; &amp; more\">"), std::string::npos);
    const auto apps = devices[1]->all("Application");
    ASSERT_EQ(apps.size(), 2u);
    EXPECT_EQ(apps[0]->attributes.at("componentType"), "FRMW");
    EXPECT_EQ(apps[0]->attributes.at("tavFwVer"), "2.10A5");
    EXPECT_EQ(apps[1]->attributes.at("tavBcVer"), "1.20A3");
    EXPECT_EQ(root->child("SPStatus"), nullptr);
    EXPECT_EQ(outcome.selected.size(), 2u);
    EXPECT_EQ(outcome.devicesIncomplete, 0u);
    EXPECT_EQ(exitStatus(outcome), 0);
}

struct SelectionCase {
    const char* wwn;
    bool execution;
    std::size_t devices;
    bool missed;
};

const SelectionCase kSelectionCases[] = {
    {WM_WWPN_PREFIX "000002", false, 1, false},
    {WM_WWPN_PREFIX "000003", false, 0, true}, // present but not supported
    {WM_WWPN_PREFIX "FFFFFF", true, 0, true},
    {WM_WWPN_PREFIX "000001", true, 1, false},
};

TEST_F(DocumentWithAdaptersTest, WwnSelection) {
    for (const SelectionCase& c : kSelectionCases) {
        SCOPED_TRACE(c.wwn);
        run.tally.payloadFilesFound = run.tally.payloadEntriesValid = 1;
        run.options.wwn = c.wwn;
        RunOutcome outcome;
        const std::string text = written([&](XmlDocument& out) { outcome = render(run, out, c.execution); });
        auto root = testkit::parseXml(text);
        ASSERT_NE(root, nullptr) << text;
        EXPECT_EQ(root->all("Device").size(), c.devices);
        EXPECT_EQ(outcome.selectionMissed, c.missed);
        // An unmatched selection fails the run: 2 for an execution, 3 for an inventory.
        if (c.missed) {
            EXPECT_EQ(exitStatus(outcome), c.execution ? 2 : 3);
        }
        const auto* status = root->child("SPStatus");
        EXPECT_EQ(status != nullptr, c.missed);
        if (status != nullptr) {
            EXPECT_EQ(status->child("Message")->attributes.at("id"), "40");
        }
    }
}

TEST_F(DocumentWithAdaptersTest, IncompleteDevicesAreCounted) {
    run.adapters[0].wwpn = "0000000000000000"; // FC adapter without a port name
    run.adapters[1].subVendorId = 0;             // missing PCI id
    RunOutcome outcome;
    written([&](XmlDocument& out) { outcome = render(run, out, false); });
    EXPECT_EQ(outcome.selected.size(), 2u);
    EXPECT_EQ(outcome.devicesIncomplete, 2u);
    EXPECT_EQ(exitStatus(outcome), 3);
    run.adapters[1].subVendorId = 0x10DF;
    written([&](XmlDocument& out) { outcome = render(run, out, false); });
    EXPECT_EQ(outcome.devicesIncomplete, 1u);
    EXPECT_EQ(exitStatus(outcome), 5);
}

struct EarlyStatusCase {
    bool execution;
    RunTally tally;
    int code; // 0: no status
};

TEST_F(DocumentWithAdaptersTest, CounterStatusesKeepTheDocumentWellFormed) {
    const EarlyStatusCase cases[] = {
        {false, {1, 1, 0, 0, 0}, 0}, // nothing supported: root closed empty
        {false, {0, 0, 0, 0, 2}, 9},
        {false, {1, 0, 0, 0, 2}, 10},
        {true, {1, 1, 0, 0, 2}, 11},
        {true, {1, 1, 1, 0, 2}, 12},
    };
    for (const EarlyStatusCase& c : cases) {
        run.tally = c.tally;
        RunOutcome outcome;
        const std::string text = written([&](XmlDocument& out) {
            outcome = render(run, out, c.execution);
        });
        auto root = testkit::parseXml(text);
        ASSERT_NE(root, nullptr) << text;
        EXPECT_TRUE(root->all("Device").empty());
        EXPECT_EQ(exitStatus(outcome), c.code != 0 ? c.code : 6);
        const auto* status = root->child("SPStatus");
        ASSERT_EQ(status != nullptr, c.code != 0) << text;
        if (status != nullptr) {
            EXPECT_EQ(status->child("Message")->attributes.at("id"), std::to_string(c.code));
        }
    }
}

TEST_F(DocumentWithAdaptersTest, TextReportLines) {
    testkit::TempDir dir;
    const std::string path = dir.file("debug.log");
    attachDebugFile(std::fopen(path.c_str(), "w"));
    run.adapters[0].groupNumber = 0;
    printResultReport(run.adapters);
    closeDebugFile();
    const std::string log = testkit::readText(path);
    EXPECT_NE(log.find("\n[Resulting HBA Configuration]\nHBA=7; MODEL=; MODEL_DESC=Dual-port"), std::string::npos);
    EXPECT_NE(
        log.find(
            "; WWPN=" WM_WWPN_PREFIX "000001; FW=2.10A5; BC=1.20A3; DeviceID=F100; VendorID=10DF; "
            "SubDeviceID=F100; SubVendorID=10DF; Bus=0; Dev=0; Func=0; SN=; GROUP=0; FFV_SUP=0\n"),
        std::string::npos);
    EXPECT_NE(log.find("SUPPORTED=0; WWPN=" WM_WWPN_PREFIX "000003"), std::string::npos);
    // The comparison lists supported adapters only, with boot code for legacy FC ones.
    EXPECT_NE(log.find("\n[Comparison with Configuration File]\nModel     = \n"), std::string::npos);
    EXPECT_NE(log.find("initial  bc_version = 1.20A3\npackaged bc_version = NONE\nbc download status  = 0\n"),
              std::string::npos);
    EXPECT_EQ(log.find("ModelDesc = Not in the package"), std::string::npos);
}

} // namespace
