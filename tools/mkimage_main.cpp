// winmarlo-mkimage: writes GRP, PRG and ALL/AIF image files for tests and demos.
//
//   winmarlo-mkimage grp <file> [-g6] [-build <text>] [-body <bytes>|-size <bytes>]
//   winmarlo-mkimage prg <file> -word <hex> [-rom <hex device id>] [-size <bytes>]
//   winmarlo-mkimage all <file> <kind>:<hex word>[:<body bytes>|:prg[:<bytes>]] ...
//
// -body gives a GRP image's body size in bytes after its 140-byte header (default 64).
// kind is awc, dwc, bwc or fwc; a file whose name ends in .aif/.AIF gets the AIF
// layout (no check words). A dwc record given "prg" in place of its body size holds one
// PRG image of the record's version word, as a real firmware container does, of the
// given size when one follows. -size makes the whole GRP or PRG file that large (a
// PRG file a whole number of words): the body takes up what the header and the option
// ROM leave, so that a demo package can carry files as large as released firmware.
// Sizes are bytes, or KiB and MiB with a K or M after the number. A record whose body
// is larger than the default erase extent erases as many 64 KiB sectors as the body
// needs. Exit status 0, 1 for a usage error, 2 when the file cannot be written.
#include "tools/image_writer.h"

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr,
                 "usage: winmarlo-mkimage grp <file> [-g6] [-build <text>] [-body <bytes>|-size <bytes>]\n"
                 "       winmarlo-mkimage prg <file> -word <hex> [-rom <hex device id>] [-size <bytes>]\n"
                 "       winmarlo-mkimage all <file> <awc|dwc|bwc|fwc>:<hex word>[:<body bytes>|:prg[:<bytes>]] ...\n"
                 "sizes in bytes, or with K (KiB) or M (MiB) after the number\n");
    return 1;
}

bool parseNumber(const char* text, int base, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, base);
    return end != text && *end == '\0';
}

// A size: decimal bytes, or KiB or MiB with K or M after the number.
bool parseSize(std::string text, std::size_t& size) {
    std::size_t unit = 1;
    if (!text.empty() && (text.back() == 'K' || text.back() == 'M')) {
        unit = text.back() == 'K' ? 1024 : 1024 * 1024;
        text.pop_back();
    }
    unsigned long value = 0;
    if (text.empty() || !std::isdigit(static_cast<unsigned char>(text[0])) ||
        !parseNumber(text.c_str(), 10, value) || value > SIZE_MAX / unit)
        return false;
    size = value * unit;
    return true;
}

// Gives the PRG image a body that makes the whole file `fileSize` bytes; false when
// the header, option ROM and check word alone are larger or the size is not whole words.
bool sizePrgImage(PrgImageLayout& layout, std::size_t fileSize) {
    PrgImageLayout bare = layout;
    bare.bodySize = 0;
    const std::size_t overhead = buildPrgImage(bare).size();
    if (fileSize < overhead || fileSize % 4 != 0)
        return false;
    layout.bodySize = fileSize - overhead;
    return true;
}

// Flash is erased in 64 KiB sectors: a record's erase extent covers its body.
void coverBody(AifRecordLayout& record) {
    constexpr std::size_t kSector = 0x10000;
    const std::size_t body = record.body ? record.body->size() : record.bodySize;
    if (body > record.eraseExtent)
        record.eraseExtent = static_cast<std::uint32_t>((body + kSector - 1) / kSector * kSector);
}

bool parseRecord(const std::string& text, AifRecordLayout& record) {
    const std::size_t colon = text.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string kind = text.substr(0, colon);
    if (kind == "awc")
        record.kind = kAwcKind;
    else if (kind == "dwc")
        record.kind = kDwcKind;
    else if (kind == "bwc")
        record.kind = kBwcKind;
    else if (kind == "fwc")
        record.kind = kFwcKind;
    else
        return false;
    std::string rest = text.substr(colon + 1);
    const std::size_t second = rest.find(':');
    unsigned long value = 0;
    if (!parseNumber(rest.substr(0, second).c_str(), 16, value))
        return false;
    record.versionWord = static_cast<std::uint32_t>(value);
    const std::string body = second != std::string::npos ? rest.substr(second + 1) : "";
    if (record.kind == kDwcKind && (body == "prg" || body.rfind("prg:", 0) == 0)) {
        // The body: one word, the PRG image, then the end word of the image list.
        PrgImageLayout prg;
        prg.versionWord = record.versionWord;
        std::size_t size = 0;
        if (body != "prg" && !(parseSize(body.substr(4), size) && sizePrgImage(prg, size)))
            return false;
        const ImageBytes image = buildPrgImage(prg);
        ImageBytes bytes(4, 0);
        bytes.insert(bytes.end(), image.begin(), image.end());
        bytes.insert(bytes.end(), {0xFF, 0xFF, 0xFF, 0xFF});
        record.body = bytes;
    } else if (second != std::string::npos && !parseSize(body, record.bodySize)) {
        return false;
    }
    coverBody(record);
    return true;
}

bool endsWith(const std::string& text, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 3)
        return usage();
    const std::string kind = argv[1];
    const std::string path = argv[2];
    ImageBytes bytes;
    std::size_t fileBytes = 0;
    if (kind == "grp") {
        GrpImageLayout layout;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "-g6") == 0) {
                layout.magic = grp_layout::kMagicG6;
                layout.signature = grp_layout::kKindG6 << 16;
            } else if (std::strcmp(argv[i], "-build") == 0 && i + 1 < argc) {
                layout.buildString = argv[++i];
            } else if (std::strcmp(argv[i], "-body") == 0 && i + 1 < argc) {
                unsigned long size = 0;
                if (!parseNumber(argv[++i], 10, size))
                    return usage();
                layout.bodySize = size;
            } else if (std::strcmp(argv[i], "-size") == 0 && i + 1 < argc && parseSize(argv[i + 1], fileBytes) &&
                       fileBytes >= grp_layout::kSize) {
                layout.bodySize = fileBytes - grp_layout::kSize;
                ++i;
            } else {
                return usage();
            }
        }
        bytes = buildGrpImage(layout);
    } else if (kind == "prg") {
        PrgImageLayout layout;
        bool haveWord = false;
        std::optional<std::size_t> fileSize;
        unsigned long value = 0;
        for (int i = 3; i < argc; ++i) {
            if (std::strcmp(argv[i], "-word") == 0 && i + 1 < argc && parseNumber(argv[i + 1], 16, value)) {
                layout.versionWord = static_cast<std::uint32_t>(value);
                haveWord = true;
                ++i;
            } else if (std::strcmp(argv[i], "-rom") == 0 && i + 1 < argc && parseNumber(argv[i + 1], 16, value)) {
                PciRomLayout rom;
                rom.deviceId = static_cast<std::uint16_t>(value);
                layout.rom = rom;
                ++i;
            } else if (std::strcmp(argv[i], "-size") == 0 && i + 1 < argc && parseSize(argv[i + 1], fileBytes)) {
                fileSize = fileBytes;
                ++i;
            } else {
                return usage();
            }
        }
        // The body fills what the header and the option ROM leave, whichever came first.
        if (!haveWord || (fileSize && !sizePrgImage(layout, *fileSize)))
            return usage();
        bytes = buildPrgImage(layout);
    } else if (kind == "all") {
        AllImageLayout layout;
        layout.aif = endsWith(path, ".aif") || endsWith(path, ".AIF");
        for (int i = 3; i < argc; ++i) {
            AifRecordLayout record;
            if (!parseRecord(argv[i], record))
                return usage();
            layout.records.push_back(record);
        }
        if (layout.records.empty())
            return usage();
        bytes = buildAllImage(layout);
    } else {
        return usage();
    }
    if (writeImageFile(path, bytes) != 0) {
        std::fprintf(stderr, "winmarlo-mkimage: cannot write %s\n", path.c_str());
        return 2;
    }
    return 0;
}
