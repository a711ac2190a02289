// Golden bytes between the program's declared layouts (adapter/mailbox_layouts.h,
// image/image_layouts.h) and the simulator's own reading: the driver-information
// record the simulator fills decodes through the declaration to the board's values,
// and literal mailbox commands decode through the declared fields and are understood
// by the simulator as the command they are meant to be.
#include "adapter/adapter_objects.h"
#include "adapter/mailbox.h"
#include "adapter/mailbox_layouts.h"
#include "image/grp_image.h"
#include "image/image_layouts.h"
#include "tests/adapter/sim_fixture.h"
#include "tests/testkit/testkit.h"

#include <cstdio>

#include <string>
#include <vector>

namespace {

using LayoutGolden = SimTest;

MailboxImage fromWords(const std::vector<std::uint32_t>& words) {
    MailboxImage m;
    for (std::size_t i = 0; i < words.size(); ++i)
        setMailboxWord(m, i, words[i]);
    return m;
}

TEST_F(LayoutGolden, DriverInformationDecodesToTheBoardsValues) {
    useBoards(R"({"driver": {"kind": 3, "subKind": 2, "version": "2.01A0", "interfaceLevel": 4,
                             "features": "0x1200"}},
                 {"driver": {"kind": 16, "version": "123456789012345678901234567890", "interfaceLevel": 3,
                             "features": "0x1200"}},
                 {"driver": {"kind": 2, "version": "1.0", "interfaceLevel": 4, "features": "0x0200"}})");
    // The extended mailbox needs both interface level 4 and its feature bit.
    struct Case {
        std::uint32_t board, kind, subKind;
        const char* version;
        std::uint32_t level, features;
        bool extendedMailbox;
    } const cases[] = {{0, 3, 2, "2.01A0", 4, 0x1200, true},
                       {1, 16, 0, "123456789012345678901234567890", 3, 0x1200, false},
                       {2, 2, 0, "1.0", 4, 0x200, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.board);
        std::uint8_t info[driver_info::kSize] = {};
        ASSERT_TRUE(layout::setFixed(info, driver_info::kVersion));
        ASSERT_EQ(dfc.DFC_GetDrvInfo(c.board, info), 0u);
        EXPECT_TRUE(layout::holdsFixed(info, driver_info::kVersion));
        EXPECT_EQ(layout::get(info, driver_info::kKind), c.kind);
        EXPECT_EQ(layout::get(info, driver_info::kSubKind), c.subKind);
        EXPECT_EQ(layout::get(info, driver_info::kInterfaceLevel), c.level);
        EXPECT_EQ(layout::get(info, driver_info::kFeatures), c.features);
        const auto text = layout::run(info, driver_info::kVersionText);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(text.data())), c.version);
        EXPECT_EQ(IsIssueMboxV2ExtSupported(c.board), c.extendedMailbox);
    }
}

// Literal commands as the download and the region reads send them, the fields the
// program's declaration finds in them, and what the simulator answers.
TEST_F(LayoutGolden, MailboxCommandsMeanTheSameToBothSides) {
    useBoards(R"({"revision": {"hardwareId": "0x1004"},
                  "regions": {"4": "0102030405060708090A0B0C"}})");
    struct Case {
        const char* name;
        std::vector<std::uint32_t> words;
        std::vector<std::pair<layout::Bits, std::uint32_t>> fields; // the program's reading
        std::vector<std::pair<layout::Bits, std::uint32_t>> answer; // read back after the simulator
    } const cases[] = {
        {"read revision (classic boards)",
         {0x00001100, 0x88000000},
         {{mbx::kCommand, 0x11}, {mbx::kRevisionAskA, 1}, {mbx::kRevisionAskB, 1}},
         {{mbx::kStatus, 0}, {mbx::kHardwareId, 0x1004}, {mbx::kHardwareIdOlder, 0x1004}}},
        {"read 12 bytes of region 4",
         {0x00001700, 0x00000012, 0x00000004, 0, 3},
         {{mbx::kCommand, 0x17},
          {mbx::kRegionKind, READ_REGION_CONFIG},
          {mbx::kRegionRequest, 1},
          {mbx::kRegionNumber, 4},
          {mbx::kRegionOffset, 0}},
         {{mbx::kStatus, 0}, {{mbx::kRegionLengthWord, 0, 32}, 12}, {{mbx::kDataWord, 0, 32}, 0x04030201}}},
        {"read region 4 from byte 8",
         {0x00001700, 0x00000012, 0x00080004, 0, 1},
         {{mbx::kRegionNumber, 4}, {mbx::kRegionOffset, 8}},
         {{mbx::kStatus, 0}, {{mbx::kRegionLengthWord, 0, 32}, 4}, {{mbx::kDataWord, 0, 32}, 0x0C0B0A09}}},
        {"staged wakeup update, phase 8",
         {0x00009C00, 0x00080000, 0, 0, 0x1234},
         {{mbx::kCommand, 0x9C}, {mbx::kStagedPhase, 8}, {{mbx::kStagedBootIdWord, 0, 32}, 0x1234}},
         {{mbx::kStatus, 0}, {mbx::kStagedState, 8}, {{mbx::kStagedCarryWord, 0, 32}, 1}}},
        {"LOAD_AREA first erase step of area 2",
         {0x00008100, 0x02010018, 0x00100000, 0x00020000},
         {{mbx::kCommand, 0x81},
          {mbx::kLoadErase, 1},
          {mbx::kLoadTransfer, 1},
          {mbx::kLoadProgram, 0},
          {mbx::kAreaPhase, 1},
          {mbx::kAreaSelector, 2},
          {{mbx::kAreaAddressWord, 0, 32}, 0x100000},
          {{mbx::kLoadLengthWord, 0, 32}, 0x20000}},
         // 0x10000 bytes a step: one more step to go, at the next address
         {{mbx::kStatus, 0}, {mbx::kAreaState, 1}, {{mbx::kAreaAddressWord, 0, 32}, 0x110000}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailboxImage m = fromWords(c.words);
        for (const auto& [field, value] : c.fields)
            EXPECT_EQ(mailboxField(m, field), value);
        ASSERT_EQ(IssueMbox(0, m), 0u);
        for (const auto& [field, value] : c.answer)
            EXPECT_EQ(mailboxField(m, field), value);
    }
}

// GRP headers written as firmware objects: the simulator takes the flash version from
// the build string when it knows the magic, the program's reader decodes the same
// bytes to the same version, and both pass over a header of another magic.
TEST_F(LayoutGolden, GrpHeaderVersionIsTheSameForReaderAndSimulator) {
    struct Case {
        const char* name;
        std::vector<std::uint32_t> words; // words 0-2, big-endian
        const char* flashVersion;        // the simulator's reading
        int status;                      // the program's reading
    } const cases[] = {
        {"plain", {0x00000001, 0xFEAA0001, 0xF7A20000}, "11.2.216.9", 0},
        {"G6", {0x00000001, 0xFEAA0003, 0xF70C0000}, "11.2.216.9", 0},
        {"another magic", {0x00000001, 0xFEAA0002, 0xF7A20000}, "10.2.315.26", 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        useBoards(R"({"pci": {"deviceId": "0xE200"}, "revision": {"firmware": "10.2.315.26"},
                      "driver": {"interfaceLevel": 4, "features": "0x1000"}})");
        std::vector<std::uint8_t> image(grp_layout::kSize + 64, 0);
        for (std::size_t i = 0; i < c.words.size(); ++i)
            writeBe32(image.data(), i * 4, c.words[i]);
        const std::string build = "11.2.216.9 (release)";
        std::copy(build.begin(), build.end(), image.begin() + 12);

        std::uint32_t written = 0;
        ASSERT_EQ(SLI_CFG_WriteObject(0, "/prg", image.data(), std::uint32_t(image.size()), &written, 1), 0u);
        FwVersionTexts versions;
        ASSERT_EQ(SLI_CFG_GetFwVersion(0, &versions), 0u);
        EXPECT_EQ(versions.flash, c.flashVersion);

        const std::string path = dir.file("golden.grp");
        std::FILE* file = std::fopen(path.c_str(), "wb");
        ASSERT_NE(file, nullptr);
        ASSERT_EQ(std::fwrite(image.data(), 1, image.size(), file), image.size());
        std::fclose(file);
        CluImage record;
        EXPECT_EQ(getGRPBuildVersion(path.c_str(), &record), c.status);
        if (c.status == 0) {
            EXPECT_EQ(record.decodedVersion, c.flashVersion);
        }
    }
}

// DOWN_LOAD of a PRG image, with the erase's length and program id read from the
// header through prg_layout: the simulator reads them from the image's own bytes and
// refuses the image when the two readings disagree.
TEST_F(LayoutGolden, DownLoadEraseNamesTheImageTheSimulatorReceives) {
    useBoards(R"({"revision": {"hardwareId": "0x1004"}})");
    // A 64-byte image: header (words 1-11 fold to zero), 12 filler bytes, check word.
    std::vector<std::uint8_t> image(64, 0);
    layout::put(image.data(), prg_layout::kLength, 64);
    layout::put(image.data(), prg_layout::kProgramId, 0x02112093);
    layout::put(image.data(), prg_layout::kProgramId2, 3);
    auto fold = [&](std::size_t from, std::size_t words) {
        std::uint32_t s = 0xAAAAAAAA;
        for (std::size_t i = 0; i < words; ++i)
            s = ((s << 1) | (s >> 31)) ^ readBe32(image.data(), from + 4 * i);
        return (s << 1) | (s >> 31);
    };
    layout::put(image.data(), prg_layout::kCheckWord, fold(4, 10));
    ASSERT_EQ(fold(4, 11), 0u);
    layout::put(image.data(), layout::be32(60), fold(0, 15));
    ASSERT_EQ(fold(0, 16), 0u);

    const std::uint32_t length = *layout::get(image, prg_layout::kLength);
    const std::uint32_t id[2] = {*layout::get(image, prg_layout::kProgramId),
                                 *layout::get(image, prg_layout::kProgramId2)};
    // The status of the last chunk, after an erase naming {id0, id1}.
    auto download = [&](std::uint32_t id0, std::uint32_t id1) {
        MailboxImage erase = fromWords({0x00001C00, 0x0000001A, 0, length, id0, id1});
        EXPECT_EQ(mailboxField(erase, mbx::kLoadErase), 1u);
        EXPECT_EQ(mailboxWord(erase, mbx::kLoadIdWord), id0);
        EXPECT_EQ(IssueMbox(0, erase), 0u);
        std::uint32_t status = 0;
        for (std::uint32_t sent = 0; sent < length && status == 0; sent += 32) {
            MailboxImage chunk = fromWords({0x00001C00, sent + 32 == length ? 0x0Bu : 0x0Au, 0, 32, 20});
            EXPECT_EQ(mailboxField(chunk, mbx::kLoadLast), sent + 32 == length ? 1u : 0u);
            EXPECT_EQ(mailboxWord(chunk, mbx::kLoadDataOffsetWord), mbx::kDataOffset);
            std::copy(image.begin() + sent, image.begin() + sent + 32, chunk.bytes.begin() + mbx::kDataOffset);
            status = IssueMbox(0, chunk);
        }
        return status;
    };
    EXPECT_EQ(download(id[0], id[1]), 0u);
    // The ids of another image: the simulator's own reading of the header disagrees,
    // and the last piece is refused as a bad image (mailbox status 0xF3).
    EXPECT_EQ(download(id[1], id[0]), 0xF3u);
}

} // namespace
