// Command-line options and the utility's texts (see options.h): the one mode the
// options select, and an argument error turning an execution into an inventory.
#include "app/options.h"

#include "common/text.h"
#include "log/debug_log.h"
#include "platform/platform.h"

#include <algorithm>
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

// What the walk over the arguments asked for; the mode is chosen from it afterwards.
struct Wanted {
    bool image = false, inventory = false, execution = false, help = false, version = false;
    bool standardOutput = false, outputFile = false, defaultOutputName = false, always = false,
         defaultJsonName = false;
};

// The parser's errors: the status is the last error's code, the problem said the
// first error's words.
struct ArgumentErrors {
    std::string* problem = nullptr;
    int status = 0;
    bool any = false;

    void fail(int code, const std::string& why) {
        status = code;
        if (!any && problem != nullptr)
            *problem = why;
        any = true;
    }
};

// The walk's place in the arguments: the option at `at` and the argument after it,
// which a value-taking option consumes.
struct ArgumentWalk {
    int argc;
    char** argv;
    int at = 1;

    const char* argument() const { return argv[at]; }
    const char* next() const { return at + 1 < argc ? argv[at + 1] : nullptr; }
    // An option's value is the next argument unless that begins with "-".
    bool nextIsValue() const { return next() != nullptr && next()[0] != '-'; }
    void consume() { ++at; }
};

// The file name after -o, -g or -json (`option`), taken into `field` and consumed when
// it has fewer than 253 characters. False when no value follows: the option then
// stands for its default name.
bool takeFileName(ArgumentWalk& walk, const char* option, FixedText<254>& field, ArgumentErrors& errors) {
    if (!walk.nextIsValue())
        return false;
    if (std::strlen(walk.next()) >= 253) {
        errors.fail(21, joinText("the file name after ", option, " has 253 characters or more"));
    } else {
        field = walk.next();
        walk.consume();
    }
    return true;
}

// The folder after -c or -p; required.
void takeFolder(ArgumentWalk& walk, FixedText<211>& folder, ArgumentErrors& errors) {
    const std::string option = walk.argument();
    if (!walk.nextIsValue()) {
        errors.fail(22, option + " needs a folder");
    } else if (std::strlen(walk.next()) >= 210) {
        errors.fail(21, "the folder after " + option + " has 210 characters or more");
    } else {
        folder = walk.next();
        walk.consume();
    }
}

// The port name after -wwn; required. A valid value is taken, but an earlier argument
// error still stands.
void takeWwn(ArgumentWalk& walk, RunOptions& options, ArgumentErrors& errors) {
    if (!walk.nextIsValue()) {
        errors.fail(22, "-wwn needs a port name");
        return;
    }
    std::string value = walk.next();
    if (!isValidWwn(value)) {
        errors.fail(22, joinText("-wwn needs 16 hexadecimal digits or eight colon-separated pairs, not ",
                                 shown(walk.next())));
        return;
    }
    options.wwn = value;
    walk.consume();
}

// Reads the argument at the walk's place, and the value it consumes.
void readArgument(ArgumentWalk& walk, RunOptions& options, RunPaths& paths, Wanted& wanted, ArgumentErrors& errors) {
    const char* argument = walk.argument();
    if (argument[0] != '-') {
        errors.fail(16, joinText("the argument ", shown(argument), " is no option (options begin with -)"));
        return;
    }
    switch (matchOption(argument)) {
    case Option::e:
        if (walk.next() == nullptr) {
            errors.fail(22, "-e needs the name of an image file");
        } else {
            // A name its field cannot hold whole is refused: a shorter one names
            // another file. It is consumed all the same.
            if (std::strlen(walk.next()) > decltype(options.imageFile)::capacity)
                errors.fail(21, joinText("the file name after -e has ",
                                         std::to_string(decltype(options.imageFile)::capacity + 1),
                                         " characters or more"));
            else
                options.imageFile = walk.next();
            wanted.image = true;
            walk.consume();
        }
        break;
    case Option::inv:
        options.mode = Inventory;
        wanted.inventory = true;
        break;
    case Option::u:
        options.updatePolicy = IfNewer;
        wanted.execution = true;
        break;
    case Option::f:
        wanted.execution = true;
        wanted.always = true;
        break;
    case Option::wwn:
        takeWwn(walk, options, errors);
        break;
    case Option::h:
        wanted.help = true;
        break;
    case Option::v:
        wanted.version = true;
        break;
    case Option::s:
        wanted.standardOutput = true;
        break;
    case Option::o:
        wanted.outputFile = true;
        if (!takeFileName(walk, "-o", options.outputFile, errors))
            wanted.defaultOutputName = true;
        break;
    case Option::g:
        if (!takeFileName(walk, "-g", options.debugFile, errors))
            options.debugFile = "debug.log";
        break;
    case Option::json:
        // Like -o: a file name, or the mode's default name.
        if (!takeFileName(walk, "-json", options.jsonFile, errors))
            wanted.defaultJsonName = true;
        break;
    case Option::c:
        takeFolder(walk, paths.configDir, errors);
        break;
    case Option::p:
        takeFolder(walk, paths.payloadDir, errors);
        break;
    case Option::unknown:
        errors.fail(16, joinText("unknown option ", shown(argument)));
        break;
    }
}

// The one mode the arguments select, by priority: help, version, image query,
// execution, inventory. A conflict leaves no mode.
void chooseMode(const Wanted& wanted, RunOptions& options, ArgumentErrors& errors) {
    if (wanted.help) {
        options.mode = Help;
    } else if (wanted.version) {
        options.mode = Version;
        if (wanted.inventory || wanted.execution || wanted.image) {
            errors.fail(22, "-v cannot be combined with -inv, -u, -f or -e");
            options.mode = RUN_MODE_NONE;
        }
    } else if (wanted.image) {
        options.mode = ImageQuery;
        if (wanted.inventory || wanted.execution) {
            errors.fail(22, "-e cannot be combined with -inv, -u or -f");
            options.mode = RUN_MODE_NONE;
        }
    } else if (wanted.execution) {
        options.mode = Execution;
        if (wanted.defaultOutputName)
            options.outputFile = "execution.xml";
        if (wanted.always)
            options.updatePolicy = Always;
        if (wanted.inventory) {
            errors.fail(22, "-inv cannot be combined with -u or -f");
            options.mode = RUN_MODE_NONE;
        }
    } else if (wanted.inventory) {
        options.mode = Inventory;
        if (wanted.defaultOutputName)
            options.outputFile = "inventory.xml";
    } else {
        errors.fail(22, "no mode given: one of -inv, -u, -f, -e, -v or -h");
        options.mode = RUN_MODE_NONE;
    }
}

// Whether an argument is a help request: exactly "-h", in any case.
bool isHelpArgument(const std::string& argument) {
    return argument.size() == 2 && argument[0] == '-' && std::tolower(static_cast<unsigned char>(argument[1])) == 'h';
}

} // namespace

int parseOptions(RunOptions& options, RunPaths& paths, int argc, char** argv, std::string* problem) {
    options.mode = RUN_MODE_NONE;
    paths.configDir.clear();
    paths.payloadDir.clear();
    paths.binaryDir = deriveBinaryDir(argc > 0 ? argv[0] : nullptr, 210);

    ArgumentErrors errors{problem};
    Wanted wanted;
    // Errors do not stop the walk.
    for (ArgumentWalk walk{argc, argv}; walk.at < argc; ++walk.at)
        readArgument(walk, options, paths, wanted, errors);
    chooseMode(wanted, options, errors);

    options.outputTargets =
        (wanted.outputFile ? OUTPUT_TO_FILE : 0) | (wanted.standardOutput ? OUTPUT_TO_STDOUT : 0);
    if (wanted.defaultJsonName)
        options.jsonFile = options.mode == Execution && !errors.any ? "execution.json" : "inventory.json";
    // An argument error turns an execution into an inventory, which only reports.
    if (errors.any) {
        if (options.mode == Execution)
            options.mode = Inventory;
        if (wanted.defaultOutputName)
            options.outputFile = "inventory.xml";
    }
    return errors.status;
}

CommandLine readCommandLine(int argc, char** argv) {
    CommandLine line;
    line.arguments.assign(argv, argv + (argc > 0 ? argc : 0));
    for (int i = 1; i < argc && line.overlongArgument == 0; ++i)
        if (line.arguments[i].size() >= 255)
            line.overlongArgument = i;
    // Help wins wherever -h stands, even where an option would take it as its value.
    line.helpAsked = argc <= 1 || std::any_of(line.arguments.begin() + 1, line.arguments.end(), isHelpArgument);
    line.parseStatus = parseOptions(line.options, line.paths, argc, argv, &line.argumentProblem);
    line.documentOnStandardOutput = (line.options.outputTargets & OUTPUT_TO_STDOUT) != 0;
    for (int i = 1; i < argc; ++i) {
        if (i > 1)
            line.joined += ' ';
        line.joined += line.arguments[i];
    }
    return line;
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

void echoCommandLine(const std::vector<std::string>& arguments) {
    debugPrint("\n[Command Line Options]\n");
    for (const std::string& argument : arguments)
        debugPrint("%s ", argument.c_str());
    debugPrint("\n\n");
}
