// ALL images: the sub-image walk, the DWC decode, the file checksum and the bounds of
// the walk on damaged files.
#include "common/bytes.h"
#include "common/run_state.h"
#include "image/all_image.h"
#include "image/clu_image.h"
#include "image/file_checksum.h"
#include "image/verify_fw_file.h"
#include "platform/platform.h"
#include "tests/image/image_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

const std::uint32_t kDwc7 = makeLegacyVersionWord(7, 0x29, 2, 0, 2, 1, 3);
const std::uint32_t kDwc11 = makeLegacyVersionWord(11, 0x29, 2, 0, 2, 1, 3);

AifRecordLayout subImage(std::uint32_t kind, std::uint32_t word, std::size_t body = 64) {
    AifRecordLayout r;
    r.kind = kind;
    r.versionWord = word;
    r.bodySize = body;
    return r;
}

AllImageLayout all(std::vector<AifRecordLayout> records) {
    AllImageLayout layout;
    layout.records = std::move(records);
    return layout;
}

AifRecordLayout lyingSize(std::uint32_t sizeWord) {
    AifRecordLayout r = subImage(kDwcKind, kDwc7);
    r.sizeWord = sizeWord;
    return r;
}

struct AllCase {
    const char* name;
    AllImageLayout layout;
    std::function<void(ImageBytes&)> damage;
    std::uint32_t status;
    const char* version;
    const char* line;
};

void noDamage(ImageBytes&) {}

const AllCase kAllCases[] = {
    {"type 7", all({subImage(kDwcKind, kDwc7)}), noDamage, 0, "OF202A3",
     "DWC ImageID   = 29\nDWC ImageType = 7\nEncoded Type  = OF\n"},
    {"type 11", all({subImage(kDwcKind, kDwc11)}), noDamage, 0, "UD202A3", "Encoded Ver   = 202A3\n"},
    {"every kind of sub-image",
     all({subImage(kAwcKind, 0x01020304), subImage(kDwcKind, kDwc7, 200), subImage(kBwcKind, 0x07C31234, 12),
          subImage(kFwcKind, 0x0BE15678, 0)}),
     noDamage, 0, "OF202A3",
     "\n###### BWC IMAGE ######\nBWC ImageID   = C3\nBWC ImageType = 7\n\n"
     "\n###### FWC IMAGE ######\nFWC ImageID   = E1\nFWC ImageType = B\n"},
    {"the last DWC decides",
     all({subImage(kDwcKind, kDwc7), subImage(kDwcKind, makeLegacyVersionWord(11, 0xEB, 1, 2, 0, 3, 15))}), noDamage, 0,
     "ZD120X15", ""},
    {"a large body crossing checksum pieces", all({subImage(kDwcKind, kDwc7, 20000)}), noDamage, 0, "OF202A3", ""},
    {"wrong final word", all({subImage(kDwcKind, kDwc7)}), [](ImageBytes& b) { b.back() ^= 1; }, 0xFFF80000,
     "OF202A3", "BAD_CHECKSUM_ERROR - Checksum = "},
    {"final word missing", all({subImage(kDwcKind, kDwc7)}), [](ImageBytes& b) { b.resize(b.size() - 4); },
     0xFFF80000, "OF202A3", ", Status = FFF80000\n"},
    {"file cut inside the body", all({subImage(kDwcKind, kDwc7)}), [](ImageBytes& b) { b.resize(150); }, 0xFFF80000,
     "OF202A3", ""},
    {"size pointing past the end", all({lyingSize(0x10000)}), noDamage, 0xFFF80000, "OF202A3", ""},
    {"size that would wrap a 32-bit total", all({lyingSize(0xFFFFFF7C)}), noDamage, 0xFFF80000, "OF202A3", ""},
    {"largest size", all({subImage(kAwcKind, 0), lyingSize(0xFFFFFFFF)}), noDamage, 0xFFF80000, "OF202A3", ""},
    {"image type 9", all({subImage(kDwcKind, makeLegacyVersionWord(9, 0x29, 2, 0, 2, 1, 3))}), noDamage, 0xFFF70000,
     "", "INVALID_IMAGE_ERROR | ERROR_READING_FILE - Unknown ImageType = 9, Status = FFF90001\n"},
    {"DWC id without a code", all({subImage(kDwcKind, makeLegacyVersionWord(7, 0x50, 1, 0, 0, 0, 0))}), noDamage,
     0xFFF70000, "", "Encoded Type = UNKNOWN\n\n"},
    {"unknown sub-image kind", all({subImage(0xE1A05005, 0)}), noDamage, 0xFFF70000, "", ""},
    {"second header without the NOP word",
     all({subImage(kAwcKind, 0), [] {
              AifRecordLayout r = subImage(kDwcKind, kDwc7);
              r.firstWord = 0x12345678;
              return r;
          }()}),
     noDamage, 0xFFF90001, "",
     "INVALID_IMAGE_ERROR | ERROR_READING_FILE - Aif_header.compress_br != NOP_IMAGE_TYPE, Status = FFF90001\n"},
    {"not an AIF container", all({subImage(kDwcKind, kDwc7)}), [](ImageBytes& b) { b[0] = 0; }, 0xFFF70000, "",
     "INCOMPAT_IMAGE_ERROR - image_type != NOP_IMAGE_TYPE, Status = FFF70000\n"},
    {"the NOP word alone", all({}), [](ImageBytes& b) { b = {0xE1, 0xA0, 0x00, 0x00}; }, 0xFFF80000, "", ""},
    {"empty file", all({}), [](ImageBytes& b) { b.clear(); }, 0xFFF90000, "",
     "INVALID_IMAGE_ERROR - Status = FFF90000\n"},
};

class AllDecode : public ::testing::TestWithParam<AllCase> {};

TEST_P(AllDecode, VersionAndStatus) {
    const AllCase& c = GetParam();
    testkit::TempDir dir;
    ImageBytes bytes = buildAllImage(c.layout);
    c.damage(bytes);
    const std::string path = writeFixture(dir, "fw.all", bytes);
    DebugLogCapture log;
    CluImage record;
    record.extType = ALLext;
    EXPECT_EQ(verifyFwFile(path.c_str(), &record), c.status);
    EXPECT_EQ(record.decodedVersion, c.version);
    const std::string text = log.text();
    EXPECT_EQ(text.rfind("\n[getALLBuildVersion]\nInput file = " + path + "\nReading ALL Header...\n", 0), 0u)
        << text;
    EXPECT_NE(text.find(c.line), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Images, AllDecode, ::testing::ValuesIn(kAllCases),
                         [](const auto& info) { return "case" + std::to_string(info.index); });

TEST(AllFiles, MissingFileAndRecordedVersionWord) {
    testkit::TempDir dir;
    CluImage record;
    EXPECT_EQ(getALLBuildVersion(dir.file("none.all").c_str(), &record), 0xFFFA0000u);
    const std::string path = writeFixture(dir, "a.all", buildAllImage(all({subImage(kDwcKind, kDwc11)})));
    EXPECT_EQ(getALLBuildVersion(path.c_str(), &record), 0u);
    EXPECT_EQ(record.legacyVersion, kDwc11);
    EXPECT_EQ(record.legacyType, "UD");
}

TEST(AllFiles, AifLayoutHasNoCheckWords) {
    testkit::TempDir dir;
    AllImageLayout layout = all({subImage(kAwcKind, 0), subImage(kDwcKind, kDwc7)});
    layout.aif = true;
    const std::string path = writeFixture(dir, "fw.aif", buildAllImage(layout));
    CluImage record;
    EXPECT_EQ(getALLBuildVersion(path.c_str(), &record), 0u);
    EXPECT_EQ(record.decodedVersion, "OF202A3");
    // The same bytes under an ALL name miss their check words.
    const std::string asAll = writeFixture(dir, "fw.all", buildAllImage(layout));
    EXPECT_NE(getALLBuildVersion(asAll.c_str(), &record), 0u);
}

TEST(IsAifFile, LooksAfterTheFirstDotOfThePath) {
    const struct {
        const char* path;
        int result;
    } cases[] = {
        {"fw.aif", 2}, {"fw.AIF", 2}, {"fw.Aif", 1}, {"fw.aif.bak", 1}, {"fw", 1},
        {"dir.v2/fw.aif", 1}, {"fw.all", 1}, {"./fw.aif", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isAifFile(c.path), c.result) << c.path;
    EXPECT_EQ(isAifFile(nullptr), 1);
}

TEST(FileChecksum, FoldsWordsFromThePositionAndRestoresIt) {
    testkit::TempDir dir;
    // 5000 words after a 3-word prefix: more than two 8192-byte pieces.
    ImageBytes bytes(12, 0xEE);
    for (std::uint32_t i = 0; i < 4999; ++i) {
        bytes.resize(bytes.size() + 4);
        writeBe32(bytes.data(), bytes.size() - 4, i * 2654435761u);
    }
    bytes.resize(bytes.size() + 4);
    writeBe32(bytes.data(), bytes.size() - 4, checkWordFor(bytes, 12, 4999));
    const std::string path = writeFixture(dir, "sum.bin", bytes);

    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    ASSERT_EQ(std::fseek(file, 12, SEEK_SET), 0);
    EXPECT_EQ(FileChecksum(file, 4999), 0u);
    EXPECT_EQ(std::ftell(file), 12);
    EXPECT_NE(FileChecksum(file, 4998), 0u); // the check word is not folded in
    EXPECT_NE(FileChecksum(file, 5000), 0u); // one word more than the file holds
    EXPECT_EQ(std::ftell(file), 12);
    std::fclose(file);

    bytes[5000] ^= 0x80;
    const std::string damaged = writeFixture(dir, "bad.bin", bytes);
    file = std::fopen(damaged.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    std::fseek(file, 12, SEEK_SET);
    EXPECT_NE(FileChecksum(file, 4999), 0u);
    std::fclose(file);
}

// The fold the checksum must equal, word by word; words the file lacks are not folded
// and a fold that happens to reach zero without them answers 1.
std::uint32_t serialFold(const ImageBytes& bytes, std::size_t start, std::uint64_t n) {
    std::uint32_t sum = CHECKSUM_SEED;
    std::uint64_t folded = 0;
    for (std::size_t at = start; folded < n + 1 && at + 4 <= bytes.size(); at += 4, ++folded)
        sum = foldWord(sum, readBe32(bytes.data(), at));
    const std::uint32_t result = rotateLeft1(sum);
    return folded < n + 1 && result == 0 ? 1 : result;
}

TEST(FileChecksum, EqualsTheWordByWordFoldForEveryCountStartAndShortFile) {
    testkit::TempDir dir;
    // Two and a half mapped windows and 3 bytes: the file ends inside a word, and the
    // unaligned starts put every window boundary off the pages.
    constexpr std::uint64_t kWindowWords = platform::kMappedWindowBytes / 4;
    ImageBytes bytes(platform::kMappedWindowBytes * 5 / 2 + 3);
    std::uint32_t x = 12345;
    for (std::uint8_t& b : bytes) {
        x = x * 1103515245u + 12345u;
        b = std::uint8_t(x >> 23);
    }
    const std::uint64_t fileWords = bytes.size() / 4;
    const std::string path = writeFixture(dir, "words.bin", bytes);
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    // The file maps on both platforms, so FileChecksum takes the mapped path here.
    const auto count = [](const std::uint8_t*, std::size_t n, void* seen) { *static_cast<std::size_t*>(seen) += n; };
    std::size_t seen = 0;
    EXPECT_EQ(platform::visitMappedFile(file, 130, bytes.size(), count, &seen), std::int64_t(bytes.size() - 130));
    EXPECT_EQ(seen, bytes.size() - 130);
    const std::uint64_t counts[] = {0,  1,   30,    31,    32,    33, 63, 64, 65, 100, 16383, 16384,
                                    kWindowWords - 2, kWindowWords - 1, kWindowWords, kWindowWords + 1,
                                    2 * kWindowWords, fileWords - 40, fileWords - 1, fileWords, fileWords + 7};
    for (const std::size_t start : {0, 4, 12, 2, 130, 4097}) {
        for (const std::uint64_t n : counts) {
            SCOPED_TRACE(testing::Message() << "start " << start << ", n " << n);
            const std::uint32_t expected = serialFold(bytes, start, n);
            ASSERT_EQ(std::fseek(file, long(start), SEEK_SET), 0);
            EXPECT_EQ(FileChecksum(file, n), expected);
            EXPECT_EQ(std::ftell(file), long(start));
            EXPECT_EQ(FileChecksumByReading(file, n), expected);
            EXPECT_EQ(std::ftell(file), long(start));
        }
    }
    std::fclose(file);
}

// A file shortened by someone else while it is mapped loses the pages past its new end;
// touching them must end the visit with -1 (the checksum then reads the file), not kill
// the program. Windows refuses to shorten a mapped file.
TEST(FileChecksum, MappedFileShrinkingUnderTheVisitEndsItInsteadOfCrashing) {
    if (platform::kIsWindows)
        GTEST_SKIP() << "a mapped file cannot be shortened on Windows";
    testkit::TempDir dir;
    const std::string path = writeFixture(dir, "shrinks.bin", ImageBytes(3 * platform::kMappedWindowBytes, 0x5A));
    std::FILE* file = std::fopen(path.c_str(), "rb");
    ASSERT_NE(file, nullptr);
    struct Visit {
        std::string path;
        int windows = 0;
        std::uint32_t sum = 0;
    } visit{path};
    const auto visitor = [](const std::uint8_t* bytes, std::size_t count, void* context) {
        auto* v = static_cast<Visit*>(context);
        if (v->windows++ == 1)
            std::filesystem::resize_file(v->path, 4096);
        for (std::size_t i = 0; i < count; i += 4096)
            v->sum += bytes[i];
    };
    EXPECT_EQ(platform::visitMappedFile(file, 0, 3 * platform::kMappedWindowBytes, visitor, &visit), -1);
    EXPECT_EQ(visit.windows, 2);
    // The program goes on normally: the file is now one page, read whole.
    EXPECT_EQ(platform::visitMappedFile(file, 0, 3 * platform::kMappedWindowBytes, visitor, &visit), 4096);
    EXPECT_NE(FileChecksum(file, 3 * platform::kMappedWindowBytes / 4 - 1), 0u);
    std::fclose(file);
}

} // namespace
