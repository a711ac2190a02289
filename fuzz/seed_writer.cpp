// Writes the fuzz targets' seed corpora and decodes the kept regression inputs.
// Usage: winmarlo-fuzz-seeds <source dir> <output dir>. Seeds are made by the image
// writer or are short texts, so nothing binary lives in the source tree; the kept
// crash inputs are hex text under fuzz/regressions/<target>/ and become files in
// <output>/corpus/<target>/ (to fuzz onward from) and <output>/regressions/<target>/
// (to replay).
#include "tests/testkit/fixture_names.h"
#include "tools/image_writer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

int writeBytes(const fs::path& path, const ImageBytes& bytes) {
    fs::create_directories(path.parent_path());
    return writeImageFile(path.string(), bytes);
}

ImageBytes textBytes(const std::string& text) { return ImageBytes(text.begin(), text.end()); }

ImageBytes fileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return textBytes(text.str());
}

// Hex digits, blanks and line breaks ignored, '#' starts a comment to the line end.
// Returns false on a stray character or an odd digit count.
bool decodeHex(const std::string& text, ImageBytes& out) {
    std::string digits;
    bool comment = false;
    for (char c : text) {
        if (c == '\n') {
            comment = false;
        } else if (comment || std::isspace(static_cast<unsigned char>(c))) {
        } else if (c == '#') {
            comment = true;
        } else if (std::isxdigit(static_cast<unsigned char>(c))) {
            digits.push_back(c);
        } else {
            return false;
        }
    }
    if (digits.size() % 2 != 0)
        return false;
    for (std::size_t i = 0; i < digits.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return true;
}

AifRecordLayout record(std::uint32_t kind, std::uint32_t versionWord) {
    AifRecordLayout r;
    r.kind = kind;
    r.versionWord = versionWord;
    return r;
}

ImageBytes truncated(ImageBytes bytes, std::size_t size) {
    bytes.resize(std::min(size, bytes.size()));
    return bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: winmarlo-fuzz-seeds <source dir> <output dir>\n");
        return 2;
    }
    const fs::path source = argv[1];
    const fs::path corpus = fs::path(argv[2]) / "corpus";
    const fs::path regressions = fs::path(argv[2]) / "regressions";
    int failures = 0;
    auto seed = [&](const char* target, const std::string& name, const ImageBytes& bytes) {
        failures += writeBytes(corpus / target / name, bytes);
    };

    const std::uint32_t version = makeLegacyVersionWord(1, 2, 3, 4, 5, 0, 1);
    seed("grp_image", "plain", buildGrpImage({}));
    GrpImageLayout g6;
    g6.magic = 0xFEAA0003;
    g6.signature = 0xF70C0000;
    seed("grp_image", "g6", buildGrpImage(g6));
    GrpImageLayout open;
    open.terminated = false;
    seed("grp_image", "unterminated", buildGrpImage(open));
    seed("grp_image", "short", truncated(buildGrpImage({}), 100));

    PrgImageLayout prg;
    prg.versionWord = version;
    seed("prg_image", "plain", buildPrgImage(prg));
    prg.rom = PciRomLayout{};
    seed("prg_image", "boot", buildPrgImage(prg));
    prg.rom->dataOffset = 0xF0;
    prg.rom->size = 256;
    seed("prg_image", "rom_pointer_far", buildPrgImage(prg));
    prg.rom->validSignature = false;
    seed("prg_image", "rom_unsigned", buildPrgImage(prg));
    seed("prg_image", "short", truncated(buildPrgImage(prg), 60));

    AllImageLayout all;
    all.records = {record(kAwcKind, version), record(kDwcKind, version), record(kBwcKind, version)};
    seed("all_image", "three", buildAllImage(all));
    all.aif = true;
    seed("all_image", "aif", buildAllImage(all));
    AifRecordLayout lying = record(kDwcKind, version);
    lying.sizeWord = 0x7FFFFFF0;
    AllImageLayout lyingAll;
    lyingAll.records = {record(kAwcKind, version), lying};
    seed("all_image", "lying_size", buildAllImage(lyingAll));

    // The download target tries every input under every name, on a legacy board of
    // family 0xF980, a board whose V3 list takes FWC records and a Ferrox board: images
    // each of them takes.
    auto legacyWord = [](std::uint32_t type, std::uint32_t id) {
        return makeLegacyVersionWord(type, id, 1, 0, 0, 1, 2);
    };
    auto dwc = [&](std::uint32_t id) {
        PrgImageLayout inner;
        inner.versionWord = legacyWord(2, id);
        ImageBytes body(4, 0);
        const ImageBytes prgBytes = buildPrgImage(inner);
        body.insert(body.end(), prgBytes.begin(), prgBytes.end());
        body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF}); // ends the record's PRG images
        AifRecordLayout r = record(kDwcKind, legacyWord(2, id));
        r.body = body;
        return r;
    };
    AifRecordLayout awc = record(kAwcKind, 0x0A010203);
    ImageBytes awcBody(600, 0x33);
    awcBody[624 - 128 + 1] = 0x01; // the AWC image id of the family
    awc.body = awcBody;
    PrgImageLayout legacyPrg;
    legacyPrg.versionWord = legacyWord(2, 0x63);
    seed("download", "prg", buildPrgImage(legacyPrg));
    seed(
        "download", "all",
        buildAllImage({{awc, dwc(0x63), dwc(0xE0), record(kBwcKind, legacyWord(3, 0x61))}, false}));
    seed("download", "aif", buildAllImage({{dwc(0x63)}, true}));
    seed("download", "grp", buildGrpImage({}));
    // FWC records carry a signed PRG image naming the key the adapter must hold.
    const AifRecordLayout fwc = signedFwcRecord(legacyWord(2, 0xA5), "TAVREL DEFAULT DOWNLOAD KEK");
    seed("download", "fwc_all", buildAllImage({{fwc, fwc}, false}));

    for (const auto& entry : fs::directory_iterator(source / "demo" / "config"))
        seed("config_files", entry.path().filename().string(), fileBytes(entry.path()));
    seed("config_files", "odd", textBytes("pci_id = 0x1 ;c\r\nvendor_id=10DF\nsubsys_id=0x\nsubven_id=\n"
                                          "family_id=0123456789abcdefg\n[x]\nfamily_id=1\n"));

    seed("soft_vpd_file", "two",
         textBytes("WWPN=10000000DF410010 FW=2.82A4 BC=5.12A0 FID=01.04.03\n"
                   "MAC=" WM_MAC_PREFIX_DASHES "-11-22-33 FW=4.1.2.3 FID=02.01.01\r\n"));
    seed("trace_settings", "all", textBytes("DBG_MODE=1\nLOG_MODE=0x80000\nPARAM01 = 7\n//comment\n"
                                            "INSIZER=4\nOUTSIZEW=9\nFILLBYTE=0xA5\nBOGUS=1\n"));

    // Identifier "ADAPTER", then read-only fields PN and SN and the checksum field.
    seed("vpd_decode", "resources",
         ImageBytes{0x82, 7, 0, 'A', 'D', 'A', 'P', 'T', 'E', 'R', 0x90, 16, 0, 'P', 'N', 3, 'L', 'P', '1',
                    'S', 'N', 4, 'A', 'B', 'C', 'D', 'R', 'V', 1, 0, 0x78, 0, 0});

    seed("options", "inventory", textBytes("-inv\n-o\n-s\n-g\n-c\nconfig\n-p\ncommon"));
    seed("options", "execution", textBytes("-u\n-o\nout.xml\n-g\nlog.txt\n-wwn\n10:00:00:00:DF:41:00:10\n/nokova"));
    seed("options", "image", textBytes("-e\nimage.grp\n-f\n-v\n-h"));

    seed("board_file", "demo", fileBytes(source / "demo" / "boards.json"));
    seed("board_file", "readme", textBytes(
        R"({"boards":[{"name":"a","pci":{"deviceId":"0xFE00","headerType":128},"regions":{"14":{"text":"x"},)"
        R"("16":{"absent":true},"20":{"refused":true,"status":"0xFFFD"}},"memory":{"0x788":["0x7FFFC","0x0"]},)"
        R"("faults":[{"call":"DFC_IssueMboxWithRetryEx","command":"0x17","from":2,"times":1,"result":2}]},{}]})"));

    if (fs::exists(source / "fuzz" / "regressions")) {
        for (const auto& dir : fs::directory_iterator(source / "fuzz" / "regressions")) {
            for (const auto& entry : fs::directory_iterator(dir.path())) {
                std::ifstream in(entry.path());
                std::ostringstream text;
                text << in.rdbuf();
                ImageBytes bytes;
                if (!decodeHex(text.str(), bytes)) {
                    std::fprintf(stderr, "%s is not hex text\n", entry.path().string().c_str());
                    ++failures;
                    continue;
                }
                const std::string target = dir.path().filename().string();
                const std::string name = entry.path().stem().string();
                seed(target.c_str(), name, bytes);
                failures += writeBytes(regressions / target / name, bytes);
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
