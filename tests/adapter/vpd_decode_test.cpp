// VPD bytes: word-order repair, normalisation of PCI VPD resources and the entry walk,
// including data that is damaged or not VPD at all.
#include "adapter/vpd_decode.h"

#include <gtest/gtest.h>

#include <string>
#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes resource(std::uint8_t tag, const Bytes& body) {
    Bytes out(3 + body.size());
    out[0] = tag;
    out[1] = std::uint8_t(body.size());
    out[2] = std::uint8_t(body.size() >> 8);
    std::copy(body.begin(), body.end(), out.begin() + 3);
    return out;
}

Bytes field(const std::string& keyword, const std::string& value) {
    Bytes out(keyword.begin(), keyword.end());
    out.push_back(std::uint8_t(value.size()));
    out.insert(out.end(), value.begin(), value.end());
    return out;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes text(const std::string& s) {
    return Bytes(s.begin(), s.end());
}

Bytes swappedWords(Bytes b) {
    while (b.size() % 4 != 0)
        b.push_back(0);
    SwapBytes1(b.data(), std::uint32_t(b.size()));
    return b;
}

// Normalises a copy padded to `room` bytes and lists its entries as "KW=value".
std::uint32_t decode(Bytes data, std::vector<std::string>& entries, std::size_t room = 256) {
    const std::uint32_t length = std::uint32_t(data.size());
    data.resize(std::max<std::size_t>(room, data.size()), 0);
    const std::uint32_t status = normalizeVpd(data.data(), length);
    entries.clear();
    if (status != 0)
        return status;
    VpdEntry e;
    for (std::size_t p = walkVpdEntry(data.data(), length, 0, e); p != kVpdWalkEnd;
         p = walkVpdEntry(data.data(), length, p, e))
        entries.push_back(std::string(e.keyword) + "=" + e.value.str());
    return 0;
}

const Bytes kIdentifier = resource(0x82, text("Tavrel TV-F2 adapter"));
const Bytes kFields = field("SN", "ab12") + field("V2", "TV-F21001");
const Bytes kNormal = kIdentifier + resource(0x90, kFields + field("RV", "\x10")) + Bytes{0x78};

TEST(SwapBytes1, ReversesWholeWordsOnly) {
    Bytes b{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    SwapBytes1(b.data(), 10);
    EXPECT_EQ(b, (Bytes{4, 3, 2, 1, 8, 7, 6, 5, 9, 10}));
}

TEST(VpdNormalisation, DecodesEveryAcceptedForm) {
    const std::vector<std::string> expected = {"\x82\x82=Tavrel TV-F2 adapter", "SN=ab12",
                                               "V2=TV-F21001"};
    struct Case {
        const char* what;
        Bytes data;
    };
    const Case cases[] = {
        {"normal", kNormal},
        {"stored with swapped 32-bit words", swappedWords(kNormal)},
        {"no RV: walked up to a zero keyword byte",
         kIdentifier + resource(0x90, kFields + Bytes{0, 0, 0, 0})},
        {"nothing after the read-only fields is read", kNormal + Bytes{0x91, 0xFF, 0xFF}},
    };
    for (const Case& c : cases) {
        std::vector<std::string> entries;
        EXPECT_EQ(decode(c.data, entries), 0u) << c.what;
        EXPECT_EQ(entries, expected) << c.what;
    }
}

TEST(VpdNormalisation, RefusesDataThatIsNotVpdOrRunsPastItsEnd) {
    Bytes tooLong = kNormal;
    tooLong.resize(1025, 0);
    Bytes fieldPastResource = kIdentifier + resource(0x90, field("SN", "ab12"));
    fieldPastResource[fieldPastResource.size() - 5] = 40; // SN claims 40 bytes
    Bytes resourcePastData = kIdentifier + resource(0x90, kFields);
    resourcePastData[kIdentifier.size() + 1] = 0xF0;
    struct Case {
        const char* what;
        Bytes data;
        std::uint32_t status;
    };
    const Case cases[] = {
        {"length above 1024", tooLong, VPD_LENGTH_INVALID},
        {"no identifier tag", Bytes{0x90, 0x00, 0x00, 0x00, 0x78}, VPD_NOT_VPD_DATA},
        {"blank region", Bytes(64, 0xFF), VPD_NOT_VPD_DATA},
        {"unknown tag after the identifier", kIdentifier + resource(0x91, kFields),
         VPD_NOT_VPD_DATA},
        {"field longer than its resource", fieldPastResource, VPD_NOT_VPD_DATA},
        {"resource longer than the data", resourcePastData, VPD_NOT_VPD_DATA},
        {"identifier longer than the data", Bytes{0x82, 0x00, 0x04, 'T', 'a'}, VPD_NOT_VPD_DATA},
    };
    for (const Case& c : cases) {
        std::vector<std::string> entries;
        EXPECT_EQ(decode(c.data, entries, 2048), c.status) << c.what;
    }
}

TEST(VpdNormalisation, LongIdentifierIsCutSoLaterEntriesStillWalk) {
    const Bytes data =
        resource(0x82, Bytes(300, 'x')) + resource(0x90, field("SN", "Z9")) + Bytes{0x78};
    std::vector<std::string> entries;
    ASSERT_EQ(decode(data, entries, 1024), 0u);
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[0].size(), 3u + 255u);
    EXPECT_EQ(entries[1], "SN=Z9");
}

TEST(VpdWalk, StopsAtZeroLengthAndAtAnEntryRunningPastTheData) {
    const Bytes list = field("SN", "1") + field("V1", "") + field("V2", "x");
    VpdEntry e;
    std::size_t p = walkVpdEntry(list.data(), list.size(), 0, e);
    EXPECT_STREQ(e.keyword, "SN");
    EXPECT_EQ(walkVpdEntry(list.data(), list.size(), p, e), kVpdWalkEnd); // V1 has length 0

    const Bytes cut = field("V2", "abcdef");
    EXPECT_EQ(walkVpdEntry(cut.data(), cut.size() - 2, 0, e), kVpdWalkEnd);
}

} // namespace
