// The declared layouts (common/layout.h, image/image_layouts.h): the checked reads and
// writes refuse fields that do not fit, and golden bytes of each container header tie
// the declarations, the image writer and the readers to the same bytes.
#include "common/layout.h"
#include "image/all_image.h"
#include "image/grp_image.h"
#include "image/image_layouts.h"
#include "image/prg_image.h"
#include "tests/image/image_test_support.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Bytes from hexadecimal text (blanks ignored), padded with zeros to `size`.
ImageBytes hex(const std::string& text, std::size_t size = 0) {
    ImageBytes out;
    std::string digits;
    for (char c : text)
        if (c != ' ')
            digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        out.push_back(std::uint8_t(std::stoul(digits.substr(i, 2), nullptr, 16)));
    if (out.size() < size)
        out.resize(size, 0);
    return out;
}

TEST(Layout, CheckedReadsAndWritesRefuseFieldsOutsideTheSpan) {
    const ImageBytes bytes = hex("12 34 56 78 9A");
    struct Case {
        const char* name;
        layout::Field field;
        std::size_t span;
        std::optional<std::uint32_t> value;
    } const cases[] = {
        {"big-endian word", layout::be32(0), 5, 0x12345678},
        {"little-endian word", layout::le32(1), 5, 0x9A785634},
        {"little-endian half", layout::le16(3), 5, 0x9A78},
        {"one byte", layout::byte8(4), 5, 0x9A},
        {"word one byte past the end", layout::be32(2), 5, std::nullopt},
        {"field past a shorter span", layout::be32(0), 3, std::nullopt},
        {"offset beyond the span", layout::byte8(9), 5, std::nullopt},
        {"a byte run is no number", layout::bytes(0, 2), 5, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(layout::get(std::span<const std::uint8_t>(bytes.data(), c.span), c.field), c.value);
        ImageBytes copy = bytes;
        const bool written = layout::set(std::span<std::uint8_t>(copy.data(), c.span), c.field, 0xA1B2C3D4);
        EXPECT_EQ(written, c.value.has_value());
        if (!written) {
            EXPECT_EQ(copy, bytes); // a refused write leaves every byte alone
        } else {
            const std::uint32_t mask = c.field.width == 4 ? 0xFFFFFFFFu : c.field.width == 2 ? 0xFFFFu : 0xFFu;
            EXPECT_EQ(layout::get(copy, c.field), 0xA1B2C3D4u & mask);
        }
    }
    const ImageBytes host = {0, 0, 0, 0};
    ImageBytes written = host;
    ASSERT_TRUE(layout::set(written, layout::host32(0), 0x01020304));
    EXPECT_EQ(readHost32(written.data(), 0), 0x01020304u);
    EXPECT_FALSE(layout::holdsFixed(host, aif_layout::kFirst)); // zeros are not the NOP word
    EXPECT_TRUE(layout::holdsFixed(hex("E1A00000"), aif_layout::kFirst));
    EXPECT_FALSE(layout::holdsFixed(hex("E1A000"), aif_layout::kFirst)); // too short to hold it
}

TEST(Layout, WellFormedCatchesOverlapsAndOverruns) {
    EXPECT_TRUE(layout::wellFormed({layout::be32(0), layout::le16(4), layout::byte8(6)}, 7));
    EXPECT_FALSE(layout::wellFormed({layout::be32(0), layout::le16(3)}, 8)); // share byte 3
    EXPECT_FALSE(layout::wellFormed({layout::be32(0), layout::be32(4)}, 7)); // runs past the end
    EXPECT_FALSE(layout::wellFormed({layout::Field{0, 3, layout::Order::Big}}, 8)); // no such width
    EXPECT_TRUE(layout::wellFormed({layout::Bits{1, 0, 4}, layout::Bits{1, 4, 1}, layout::Bits{2, 0, 32}}));
    EXPECT_FALSE(layout::wellFormed({layout::Bits{1, 0, 5}, layout::Bits{1, 4, 1}}));
    EXPECT_FALSE(layout::wellFormed({layout::Bits{1, 24, 9}}));
}

// Golden bytes: what each header looks like on disk, written out once by hand.
const std::string kGrpHeader = "00000001 FEAA0001 F7A20000"
                               "31312E322E3231362E39202872656C6561736529"; // "11.2.216.9 (release)"
// Boot code UB202A3 (type 3, id 0x79), 628 bytes long with its option ROM.
const std::uint32_t kBootWord = 0x03792093;
const std::string kPrgHeader = "00000274 03792093 00000003 00000000 00000000 00000000"
                               "00000000 00000000 00000000 00000000 00000000 B1D71F58";
// The option ROM for device 0xF180 up to the end of its PCI data structure, every
// 4-byte group reversed as the file keeps it.
const std::string kRomInFile = "0001AA55 00000000 00000000 00000000 00000000 00000000 0000001C"
                               "52494350 F18010DF 00180000 00040C00 00000001 00008000 00000000";
// A DWC record of version OF202A3 with a 64-byte body.
const std::uint32_t kDwcWord = 0x07292093;
const std::string kAifHeader = "E1A00000 00000000 E1A02002 00000000 00000002 00000040"
                               "00000000 00000000 00000000 00000000 00100000 00020000"
                               "00000000 00000000 07292093";

TEST(GoldenBytes, GrpHeader) {
    const ImageBytes golden = hex(kGrpHeader, grp_layout::kSize);
    GrpHeader header;
    ASSERT_TRUE(decodeGrpHeader(header, golden));
    EXPECT_EQ(header.magic, GRP_MAGIC);
    EXPECT_EQ(layout::get(header.signature, grp_layout::kSignatureKind), GRP_SIGNATURE);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(header.buildString)), "11.2.216.9 (release)");
    EXPECT_FALSE(decodeGrpHeader(header, std::span<const std::uint8_t>(golden.data(), golden.size() - 1)));

    const ImageBytes written = buildGrpImage(GrpImageLayout{});
    EXPECT_EQ(ImageBytes(written.begin(), written.begin() + grp_layout::kSize), golden);

    testkit::TempDir dir;
    CluImage record;
    ASSERT_EQ(getGRPBuildVersion(writeFixture(dir, "golden.grp", golden).c_str(), &record), 0);
    EXPECT_EQ(record.decodedVersion, "11.2.216.9");
    EXPECT_EQ(record.imageType, GRP_IMAGE);
}

TEST(GoldenBytes, PrgHeaderAndOptionRom) {
    const ImageBytes header = hex(kPrgHeader);
    ASSERT_EQ(header.size(), prg_layout::kSize);
    EXPECT_EQ(layout::get(header, prg_layout::kLength), 628u);
    EXPECT_EQ(layout::get(header, prg_layout::kProgramId), kBootWord);
    EXPECT_EQ(layout::get(header, prg_layout::kProgramId2), 3u);
    EXPECT_EQ(checkWordFor(header, prg_layout::kProgramId.offset, prg_layout::kWords - 2),
              layout::get(header, prg_layout::kCheckWord));

    PrgImageLayout boot;
    boot.versionWord = kBootWord;
    boot.rom = PciRomLayout{};
    const ImageBytes written = buildPrgImage(boot);
    ImageBytes golden = header;
    const ImageBytes rom = hex(kRomInFile);
    golden.insert(golden.end(), rom.begin(), rom.end());
    ASSERT_EQ(written.size(), 628u);
    EXPECT_EQ(ImageBytes(written.begin(), written.begin() + golden.size()), golden);

    // The reader needs no more than these bytes: the header and the ROM's structure.
    testkit::TempDir dir;
    CluImage record;
    ASSERT_EQ(getPRGBuildVersion(writeFixture(dir, "golden.prg", golden).c_str(), &record), 0u);
    EXPECT_EQ(record.decodedVersion, "FB202A3"); // the 0xF180 ROM turns U into F
    std::FILE* file = std::fopen(dir.file("golden.prg").c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, long(prg_layout::kSize), SEEK_SET);
    std::uint8_t data[PCI_ROM_DATA_SIZE] = {};
    EXPECT_EQ(readPciRomHeader(file, data), 0u);
    std::fclose(file);
    EXPECT_EQ(layout::at(data, pcir_layout::kVendorId), 0x10DFu);
    EXPECT_EQ(layout::at(data, pcir_layout::kDeviceId), 0xF180u);
    EXPECT_EQ(layout::at(data, pcir_layout::kIndicator), 0x80u);
}

TEST(GoldenBytes, AifRecordHeader) {
    const ImageBytes golden = hex(kAifHeader, aif_layout::kSize);
    EXPECT_TRUE(layout::holdsFixed(golden, aif_layout::kFirst));
    EXPECT_EQ(layout::get(golden, aif_layout::kKind), aif_layout::kDwc);
    EXPECT_EQ(layout::get(golden, aif_layout::kBodySize), 64u);
    EXPECT_EQ(layout::get(golden, aif_layout::kSelector), 2u);
    EXPECT_EQ(layout::get(golden, aif_layout::kFlashAddress), 0x100000u);
    EXPECT_EQ(layout::get(golden, aif_layout::kEraseExtent), 0x20000u);
    EXPECT_EQ(layout::get(golden, aif_layout::kVersion), kDwcWord);

    AifRecordLayout record;
    record.versionWord = kDwcWord;
    const ImageBytes written = buildAllImage(AllImageLayout{{record}, false});
    EXPECT_EQ(ImageBytes(written.begin(), written.begin() + aif_layout::kSize), golden);

    testkit::TempDir dir;
    CluImage decoded;
    ASSERT_EQ(getALLBuildVersion(writeFixture(dir, "golden.all", written).c_str(), &decoded), 0u);
    EXPECT_EQ(decoded.decodedVersion, "OF202A3");
}

} // namespace
