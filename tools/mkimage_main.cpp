// winmarlo-mkimage: writes GRP, PRG and ALL/AIF image files for tests and demos.
//
//   winmarlo-mkimage grp <file> [-g6] [-build <text>] [-body <bytes>]
//   winmarlo-mkimage prg <file> -word <hex> [-rom <hex device id>]
//   winmarlo-mkimage all <file> <kind>:<hex word>[:<body bytes>|:prg] ...
//
// -body gives a GRP image's body size in bytes after its 140-byte header (default 64).
// kind is awc, dwc, bwc or fwc; a file whose name ends in .aif/.AIF gets the AIF
// layout (no check words). A dwc record given "prg" in place of its body size holds one
// PRG image of the record's version word, as a real firmware container does. Exit
// status 0, 1 for a usage error, 2 when the file cannot be written.
#include "tools/image_writer.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int usage() {
    std::fprintf(stderr, "usage: winmarlo-mkimage grp <file> [-g6] [-build <text>] [-body <bytes>]\n"
                         "       winmarlo-mkimage prg <file> -word <hex> [-rom <hex device id>]\n"
                         "       winmarlo-mkimage all <file> <awc|dwc|bwc|fwc>:<hex word>[:<body bytes>|:prg] ...\n");
    return 1;
}

bool parseNumber(const char* text, int base, unsigned long& value) {
    char* end = nullptr;
    value = std::strtoul(text, &end, base);
    return end != text && *end == '\0';
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
    if (second != std::string::npos && record.kind == kDwcKind && rest.substr(second + 1) == "prg") {
        // The body: one word, the PRG image, then the end word of the image list.
        PrgImageLayout prg;
        prg.versionWord = record.versionWord;
        const ImageBytes image = buildPrgImage(prg);
        ImageBytes body(4, 0);
        body.insert(body.end(), image.begin(), image.end());
        body.insert(body.end(), {0xFF, 0xFF, 0xFF, 0xFF});
        record.body = body;
    } else if (second != std::string::npos) {
        if (!parseNumber(rest.substr(second + 1).c_str(), 10, value))
            return false;
        record.bodySize = value;
    }
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
            } else {
                return usage();
            }
        }
        bytes = buildGrpImage(layout);
    } else if (kind == "prg") {
        PrgImageLayout layout;
        bool haveWord = false;
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
            } else {
                return usage();
            }
        }
        if (!haveWord)
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
