// Command-line options and the utility's texts (see options.h): the one mode the
// options select, and an argument error turning an execution into an inventory.
#include "app/options.h"

#include "common/text.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

bool isHexDigit(char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'); }

enum class Option { e, inv, u, f, wwn, h, v, s, o, g, c, p, json, unknown };

Option matchOption(const char* argument) {
    static const struct {
        const char* name;
        Option option;
    } names[] = {{"e", Option::e},   {"inv", Option::inv}, {"u", Option::u},   {"f", Option::f},
                 {"wwn", Option::wwn}, {"h", Option::h},   {"v", Option::v},   {"s", Option::s},
                 {"o", Option::o},   {"g", Option::g},     {"c", Option::c},   {"p", Option::p},
                 {"json", Option::json}};
    for (const auto& n : names) {
        if (equalsIgnoreCase(argument + 1, n.name))
            return n.option;
    }
    return Option::unknown;
}

} // namespace

FixedText<221> deriveBinaryDir(const char* programArgument, std::size_t nameLimit) {
    const char fallback[3] = {'.', platform::kPathSeparator, '\0'};
    FixedText<221> binaryDir{fallback};
    if (programArgument == nullptr || std::strlen(programArgument) > nameLimit)
        return binaryDir;
    const std::string name = withoutQuotes(platform::moduleFileName());
    if (name.empty() || name.size() > nameLimit)
        return binaryDir;
    const std::size_t cut = name.find_last_of(platform::kPathSeparator);
    if (cut == std::string::npos)
        return binaryDir;
    binaryDir = name.substr(0, cut + 1);
    return binaryDir;
}

int isValidWwn(std::string& wwn) {
    if (wwn.size() > 23)
        return 0;
    for (char& c : wwn)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (wwn.size() == 23) {
        // Eight two-digit hexadecimal groups separated by colons.
        for (std::size_t i = 0; i < 23; ++i) {
            const bool colonPlace = i % 3 == 2;
            if (colonPlace ? wwn[i] != ':' : !isHexDigit(wwn[i]))
                return 0;
        }
        std::string digits;
        for (char c : wwn)
            if (c != ':')
                digits += c;
        wwn = digits;
    }
    if (wwn.size() != 16)
        return 0;
    for (char c : wwn)
        if (!isHexDigit(c))
            return 0;
    return 1;
}

namespace {

// An argument as a message names it: a long one by its first 40 characters.
std::string shown(const char* argument) {
    const std::string text = argument;
    return text.size() <= 40 ? text : text.substr(0, 40) + "...";
}

} // namespace

int parseOptions(RunOptions& options, RunPaths& paths, int argc, char** argv, std::string* problem) {
    options.mode = RUN_MODE_NONE;
    paths.configDir.clear();
    paths.payloadDir.clear();
    paths.binaryDir = deriveBinaryDir(argc > 0 ? argv[0] : nullptr, 210);

    int status = 0;
    bool anyError = false;
    // The status is the last error's; the problem said is the first one's.
    auto fail = [&](int code, const std::string& why) {
        status = code;
        if (!anyError && problem != nullptr)
            *problem = why;
        anyError = true;
    };
    bool wantImage = false, wantInventory = false, wantExecution = false, wantHelp = false,
         wantVersion = false, wantStdout = false, wantOutput = false, wantDefaultOutput = false,
         always = false, wantDefaultJson = false;

    for (int i = 1; i < argc; ++i) {
        const char* argument = argv[i];
        if (argument[0] != '-') {
            fail(16, joinText("the argument ", shown(argument), " is no option (options begin with -)"));
            continue;
        }
        const char* next = i + 1 < argc ? argv[i + 1] : nullptr;
        const bool nextIsValue = next != nullptr && next[0] != '-';
        switch (matchOption(argument)) {
        case Option::e:
            if (next == nullptr) {
                fail(22, "-e needs the name of an image file");
            } else {
                options.imageFile = next; // cut to 253 characters
                wantImage = true;
                ++i;
            }
            break;
        case Option::inv:
            options.mode = Inventory;
            wantInventory = true;
            break;
        case Option::u:
            options.updatePolicy = IfNewer;
            wantExecution = true;
            break;
        case Option::f:
            wantExecution = true;
            always = true;
            break;
        case Option::wwn: {
            if (!nextIsValue) {
                fail(22, "-wwn needs a port name");
                break;
            }
            std::string value = next;
            if (isValidWwn(value)) {
                // A valid value is taken, but an earlier argument error still stands.
                options.wwn = value;
                ++i;
            } else {
                fail(22, joinText("-wwn needs 16 hexadecimal digits or eight colon-separated pairs, not ", shown(next)));
            }
            break;
        }
        case Option::h:
            wantHelp = true;
            break;
        case Option::v:
            wantVersion = true;
            break;
        case Option::s:
            wantStdout = true;
            break;
        case Option::o:
            wantOutput = true;
            if (!nextIsValue) {
                wantDefaultOutput = true;
            } else if (std::strlen(next) >= 253) {
                fail(21, "the file name after -o has 253 characters or more");
            } else {
                options.outputFile = next;
                ++i;
            }
            break;
        case Option::g:
            if (!nextIsValue) {
                options.debugFile = "debug.log";
            } else if (std::strlen(next) >= 253) {
                fail(21, "the file name after -g has 253 characters or more");
            } else {
                options.debugFile = next;
                ++i;
            }
            break;
        case Option::json:
            // Like -o: a file name, or the mode's default name.
            if (!nextIsValue) {
                wantDefaultJson = true;
            } else if (std::strlen(next) >= 253) {
                fail(21, "the file name after -json has 253 characters or more");
            } else {
                options.jsonFile = next;
                ++i;
            }
            break;
        case Option::c:
        case Option::p: {
            if (!nextIsValue) {
                fail(22, std::string(argument) + " needs a folder");
            } else if (std::strlen(next) >= 210) {
                fail(21, std::string("the folder after ") + argument + " has 210 characters or more");
            } else {
                (matchOption(argument) == Option::c ? paths.configDir : paths.payloadDir) = next;
                ++i;
            }
            break;
        }
        case Option::unknown:
            fail(16, joinText("unknown option ", shown(argument)));
            break;
        }
    }

    if (wantHelp) {
        options.mode = Help;
    } else if (wantVersion) {
        options.mode = Version;
        if (wantInventory || wantExecution || wantImage) {
            fail(22, "-v cannot be combined with -inv, -u, -f or -e");
            options.mode = RUN_MODE_NONE;
        }
    } else if (wantImage) {
        options.mode = ImageQuery;
        if (wantInventory || wantExecution) {
            fail(22, "-e cannot be combined with -inv, -u or -f");
            options.mode = RUN_MODE_NONE;
        }
    } else if (wantExecution) {
        options.mode = Execution;
        if (wantDefaultOutput)
            options.outputFile = "execution.xml";
        if (always)
            options.updatePolicy = Always;
        if (wantInventory) {
            fail(22, "-inv cannot be combined with -u or -f");
            options.mode = RUN_MODE_NONE;
        }
    } else if (wantInventory) {
        options.mode = Inventory;
        if (wantDefaultOutput)
            options.outputFile = "inventory.xml";
    } else {
        fail(22, "no mode given: one of -inv, -u, -f, -e, -v or -h");
        options.mode = RUN_MODE_NONE;
    }

    options.outputTargets = (wantOutput ? OUTPUT_TO_FILE : 0) | (wantStdout ? OUTPUT_TO_STDOUT : 0);
    if (wantDefaultJson)
        options.jsonFile = options.mode == Execution && !anyError ? "execution.json" : "inventory.json";

    if (anyError) {
        if (options.mode == Execution)
            options.mode = Inventory;
        if (wantDefaultOutput)
            options.outputFile = "inventory.xml";
    }
    return status;
}

void displayHelp() {
    debugPrint("\n[displayHelp]\n");
    std::printf("  -c <directory_path> - Specify the configuration directory.\n");
    std::printf("  -f                  - Download firmware and/or boot code regardless of installed version.\n");
    std::printf("  -g <filename>       - Write debug output to file. If a filename is not given\n");
    std::printf("                        the default debug output filename will be used.\n");
    std::printf("  -e <image_file>     - Retrieve the firmware or boot code version from the image header.\n");
    std::printf("  -h                  - Display this help menu\n");
    std::printf("  -inv                - Create an XML-formatted inventory.\n");
    std::printf("  -json <filename>    - Also write a JSON summary. If a filename is not given\n");
    std::printf("                        inventory.json or execution.json is used.\n");
    std::printf("  -o <filename>       - Write output to file. If a filename is not given\n");
    std::printf("                        the default output filename will be used.\n");
    std::printf("  -p <directory_path> - Specify the common directory.\n");
    std::printf("  -s                  - Write output to stdout.\n");
    std::printf("  -u                  - Upgrade firmware and/or boot code only if an upgrade is necessary.\n");
    std::printf("  -v                  - The utility version string.\n");
    std::printf("  -wwn <wwn_address>  - Unique WWPN address of HBA to specify.\n");
    std::printf("\n");
    std::fflush(stdout);
}

void displayVersion() {
    debugPrint("\n[displayVersion]\n");
    std::printf("%d.%d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionRelease, kVersionBuild);
    std::fflush(stdout);
}

void displayUtilityName() { debugPrint("Utility Name    = %s\n", kUtilityName); }

void displayUtilityVersion() {
    debugPrint("Utility Version = %d.%d.%d.%d\n", kVersionMajor, kVersionMinor, kVersionRelease,
               kVersionBuild);
}

void echoCommandLine(int argc, char** argv) {
    debugPrint("\n[Command Line Options]\n");
    for (int i = 0; i < argc; ++i)
        debugPrint("%s ", argv[i]);
    debugPrint("\n\n");
}
