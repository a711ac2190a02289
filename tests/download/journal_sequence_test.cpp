// What the download engine sends, request by request: each programming path driven
// through the dispatcher against a simulated board, and the journal's decoded request
// fields compared with the exact sequence that path must send.
#include "download/wakeup.h"
#include "tests/download/flash_fixture.h"

#include <cstdio>

namespace {

std::string hex8(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", unsigned(value));
    return text;
}

// A DWC record with one PRG image (116 bytes): a body of 124 bytes, streamed as one
// chunk of 108 and a last one of 16.
AifRecordLayout dwcRecord(std::uint32_t type2Id, std::uint32_t selector, std::uint32_t address,
                          std::uint32_t extent) {
    PrgImageLayout prg;
    prg.versionWord = programWord(2, type2Id);
    ImageBytes body(4, 0);
    const ImageBytes image = buildPrgImage(prg);
    body.insert(body.end(), image.begin(), image.end());
    body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
    AifRecordLayout r;
    r.kind = kDwcKind;
    r.versionWord = prg.versionWord;
    r.body = body;
    r.selector = selector;
    r.flashAddress = address;
    r.eraseExtent = extent;
    return r;
}

TEST_F(FlashTest, EachProgrammingPathSendsItsRequestsInOrder) {
    const std::string wakeupWrite =
        "0x1B kind=2 region=4 length=" + std::to_string(kWakeupBytes) + " separateData=0";

    PrgImageLayout prg;
    prg.versionWord = programWord(2, 0x12, 2, 8);
    prg.bodySize = 300; // 48 + 300 + 4 = 352 bytes
    const std::string prgId = hex8(prg.versionWord) + ":0x00000003";

    GrpImageLayout grp;
    grp.bodySize = 1200; // 140 + 1200 = 1340 bytes: one whole piece and the rest

    PrgImageLayout boot;
    boot.versionWord = programWord(3, 0xA1);
    boot.rom = PciRomLayout{};
    boot.rom->deviceId = 0xF100;
    char bootId[8];
    std::snprintf(bootId, sizeof bootId, "0x%04X", unsigned(boot.versionWord & 0xFFFF));

    // A signature the adapter refuses: the image is tried four times, and before the
    // second try the load-list entries of its type (2) go, and only those.
    PrgImageLayout refused;
    refused.versionWord = programWord(2, 0x11); // 48 + 64 + 4 = 116 bytes
    const std::uint32_t loaded[3] = {programWord(2, 0x11, 1, 5), programWord(3, 0x61),
                                     programWord(2, 0x12, 1, 6)};
    char loadList[256];
    std::snprintf(loadList, sizeof loadList,
                  R"("memory": {"0x79C": "0x1000", "0x1000": ["0x1018", 0, 0, 0, "%s", "0x77"],
                                "0x1018": ["0x1030", 0, 0, 0, "%s", "0x78"],
                                "0x1030": ["0x79C", 0, 0, 0, "%s", "0x79"]})",
                  hex8(loaded[0]).c_str(), hex8(loaded[1]).c_str(), hex8(loaded[2]).c_str());
    const std::vector<std::string> attempt = {
        "0x1C erase=1 length=116 programId=" + hex8(refused.versionWord) + ":0x00000003",
        "0x1C program=1 length=108 last=0", "0x1C program=1 length=8 last=1"};
    std::vector<std::string> retried = attempt;
    retried.push_back("0x1D programId=" + hex8(loaded[0]) + ":0x00000077");
    retried.push_back("0x1D programId=" + hex8(loaded[2]) + ":0x00000079");
    for (int i = 0; i < 3; ++i)
        retried.insert(retried.end(), attempt.begin(), attempt.end());

    struct Case {
        const char* what;
        std::string board;
        AdapterRecord record;
        std::string file; // its extension picks the path
        ImageBytes bytes;
        std::uint32_t result;
        std::vector<std::string> wanted; // commands compared
        std::vector<std::string> sent;
    } cases[] = {
        {"PRG: erase with length and id, chunks summing to it, the last marked, then the slot",
         board(32),
         record(32),
         "fw.prg",
         buildPrgImage(prg),
         0,
         {"0x1C", "0x1B"},
         {"0x1C erase=1 length=352 programId=" + prgId, "0x1C program=1 length=108 last=0",
          "0x1C program=1 length=108 last=0", "0x1C program=1 length=108 last=0",
          "0x1C program=1 length=28 last=1", wakeupWrite}},
        {"ALL container: each record erased and streamed in its own area, one slot write",
         board(56),
         record(56),
         "fw.all",
         buildAllImage(
             {{dwcRecord(0x63, 2, 0x100000, 0x20000), dwcRecord(0xE0, 3, 0x200000, 0x10000)},
              false}),
         0,
         {"0x81", "0x1B"},
         {"0x81 step=1 address=0x00100000 extent=131072 area=2",
          "0x81 step=2 address=0x00110000 extent=131072 area=2",
          "0x81 step=3 address=0x00100000 length=108 area=2",
          "0x81 step=4 address=0x00100080 length=16 area=2",
          "0x81 step=1 address=0x00200000 extent=65536 area=3",
          "0x81 step=3 address=0x00200000 length=108 area=3",
          "0x81 step=4 address=0x00200080 length=16 area=3", wakeupWrite}},
        {"GRP: the \"/prg\" object in pieces from offset 0, the last marked",
         ObjectTest::ferrox(R"("prgChangeStatus": 2)"),
         record(0, 0xE200),
         "fw.grp",
         buildGrpImage(grp),
         DOWNLOAD_RESET_REQUIRED,
         {"0x9B"},
         {"0x9B opcode=0xAC subsystem=0x01 object=/prg offset=0 length=1024 last=0",
          "0x9B opcode=0xAC subsystem=0x01 object=/prg offset=1024 length=316 last=1"}},
        {"boot image on a newer family: the staged update's phases, the boot id with 10",
         board(0x1004),
         record(0x1004, 0xF100),
         "boot.prg",
         buildPrgImage(boot),
         0,
         {"0x9C"},
         {"0x9C phase=8", "0x9C phase=9", "0x9C phase=9",
          std::string("0x9C phase=10 bootId=") + bootId,
          std::string("0x9C phase=10 bootId=") + bootId}},
        {"refused signature: load-list entries of the image's type deleted before the retries",
         board(32, std::string(loadList) + R"(, "flash": {"signatureStatus": "0x0F0B"})"),
         record(32),
         "sig.prg",
         buildPrgImage(refused),
         SECURITY_ERROR,
         {"0x1C", "0x1D"},
         retried},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::remove(journal.c_str());
        useBoard(c.board, c.record);
        EXPECT_EQ(download(image(c.file, c.bytes)), c.result);
        EXPECT_EQ(testkit::journalRequests(journal, c.wanted), c.sent);
    }
}

} // namespace
