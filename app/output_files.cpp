// Where the run reads and writes (see output_files.h): the utility's folder for the
// soft VPD files, and the fallback from a user-named debug or output file to the
// default name.
#include "app/output_files.h"

#include "common/result_codes.h"
#include "common/text.h"
#include "log/console.h"
#include "log/debug_log.h"
#include "platform/platform.h"
#include "report/xml_writer.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace {

const char kSeparator[2] = {platform::kPathSeparator, '\0'};

bool isDefaultOutputName(const RunOptions& options) {
    const char* name = options.outputFile.c_str();
    return (options.mode == Inventory && std::strstr(name, "inventory.xml") != nullptr) ||
           (options.mode == Execution && std::strstr(name, "execution.xml") != nullptr);
}

} // namespace

namespace {

// A folder as the run uses it: longer than one character, it ends in the separator.
std::string withSeparator(std::string folder) {
    if (folder.size() > 1 && folder.back() != platform::kPathSeparator)
        folder += platform::kPathSeparator;
    return folder;
}

} // namespace

std::string configFolderOf(const RunPaths& paths) {
    return withSeparator(paths.configDir.empty() ? paths.binaryDir.str() : withoutQuotes(paths.configDir.view()));
}

std::string payloadFolderOf(const RunPaths& paths) {
    return withSeparator(paths.payloadDir.empty() ? paths.binaryDir.str() + "common"
                                                  : withoutQuotes(paths.payloadDir.view()));
}

namespace {

// A folder its field cannot hold whole is left empty rather than cut to another
// folder's name (a run refuses it before it reads anything: findOverlongPath).
void takeWhole(FixedText<211>& field, const std::string& folder) {
    if (folder.size() <= field.capacity)
        field = folder;
    else
        field.clear();
}

} // namespace

void defineDirectoryPaths(RunPaths& paths) {
    takeWhole(paths.configDir, configFolderOf(paths));
    takeWhole(paths.payloadDir, payloadFolderOf(paths));
    debugPrint("\n[defineDirectoryPaths]\n");
    debugPrint("Binary  Dir     = %s\n", paths.binaryDir.c_str());
    debugPrint("Payload Dir     = %s\n", paths.payloadDir.c_str());
    debugPrint("Config Dir      = %s\n\n", paths.configDir.c_str());
}

void defineTempFile(RunPaths& paths) {
    paths.tempFile = paths.binaryDir.str() + "temp.log";
    debugPrint("Temp File       = %s\n", paths.tempFile.c_str());
}

namespace {

// The folder of a soft VPD file: "<base>/Tavrel/marlo" under the named program-files
// folder, whole. Without ProgramFiles the primary folder is the system's state folder
// for the program; none when there is neither.
std::optional<std::string> marloFolder(bool primary) {
    const std::optional<std::string> base =
        primary ? platform::programFilesDir() : platform::secondaryProgramFilesDir();
    std::optional<std::string> folder;
    if (base)
        folder = *base + kSeparator + "Tavrel" + kSeparator + "marlo";
    else if (primary)
        folder = platform::defaultStateDir();
    return folder;
}

} // namespace

std::string primaryMarloFolder() { return marloFolder(true).value_or(std::string()); }

std::string softVpdFilePath(bool primary) {
    const std::optional<std::string> folder = marloFolder(primary);
    return folder ? *folder + kSeparator + "tavCNAFID.cfg" : std::string();
}

std::string createMARLODir(const char* variable, bool create, bool madeThisRun) {
    debugPrint("\n[createMARLODir]\n");
    const bool primary = std::strcmp(variable, "ProgramFiles") == 0;
    const std::optional<std::string> folder = marloFolder(primary);
    const std::string directory = folder.value_or(std::string());
    debugPrint("marlo dir = %s\n", directory.c_str());
    if (create) {
        debugPrint("Attemping to create the marlo dir\n");
        // Without a folder there is no usable directory; never create one at the
        // root of the current drive instead.
        const int result = folder ? platform::createDirectoryWithParents(directory)
                                  : platform::ERROR_BAD_PATHNAME_CODE;
        switch (result) {
        case platform::ERROR_OK:
            debugPrint("The marlo dir was successfully created\n");
            break;
        case platform::ERROR_ALREADY_EXISTS_CODE:
        case platform::ERROR_FILE_EXISTS_CODE:
            // The run lock, taken before this, makes the folder it lives in.
            if (madeThisRun)
                debugPrint("The marlo dir was successfully created\n");
            else
                debugPrint("The marlo dir already exists\n");
            break;
        case platform::ERROR_PATH_NOT_FOUND_CODE:
            debugPrint("ERROR: The marlo dir path was not found\n");
            break;
        case platform::ERROR_BAD_PATHNAME_CODE:
            debugPrint("ERROR: The marlo dir path was a relative path\n");
            break;
        case platform::ERROR_FILENAME_EXCED_RANGE_CODE:
            debugPrint("ERROR: The marlo dir path is too long\n");
            break;
        default:
            debugPrint("ERROR: Could not create marlo dir\n");
            break;
        }
    }
    // A path the soft VPD field cannot hold whole names no file of ours: none then (the
    // run has refused it before this).
    const std::string path = softVpdFilePath(primary);
    return path.size() <= decltype(SoftVpd::primaryPath)::capacity ? path : std::string();
}

void tavCNAFIDLogPaths(SoftVpd& vpd, bool createDir, bool madeThisRun) {
    vpd.primaryPath = createMARLODir("ProgramFiles", createDir, madeThisRun);
    vpd.secondaryPath = createMARLODir("PROGRAMFILES(x86)", false, false);
    if (!vpd.secondaryPath.empty() && !platform::fileExists(vpd.secondaryPath.str())) {
        debugPrint("Secondary log %s does not exist\n", vpd.secondaryPath.c_str());
        debugPrint("Resetting secondary log path to null\n");
        vpd.secondaryPath.clear();
    }
    debugPrint("\n[tavCNAFIDLogPaths]\n");
    debugPrint("Pri FID Log = %s\n", vpd.primaryPath.c_str());
    debugPrint("Sec FID Log = %s\n", vpd.secondaryPath.c_str());
}

namespace {

// What a name that is no ordinary file is, for the message that leaves it alone.
const char* notOrdinaryFile(platform::FileKind kind) {
    switch (kind) {
    case platform::FileKind::Directory: return "a directory";
    case platform::FileKind::Device: return "a device";
    case platform::FileKind::Pipe: return "a FIFO";
    case platform::FileKind::Socket: return "a socket";
    case platform::FileKind::Missing:
    case platform::FileKind::Regular:
    case platform::FileKind::Link: return nullptr;
    case platform::FileKind::Other: break;
    }
    return "not an ordinary file";
}

} // namespace

// Only ordinary files and links are removed (a link itself, never what it names), and
// the new file is created exclusively, so that nothing planted at the name in between
// is written through. Anything else at the name is left alone and counts as a file
// that cannot be removed.
int openFreshFile(const char* name, std::FILE*& slot) {
    slot = nullptr;
    const platform::FileKind kind = platform::fileKindAt(name);
    if (const char* what = notOrdinaryFile(kind)) {
        debugPrint("Failed to remove output file! File = %s\n", name);
        sayOnStandardError("%s is %s, not an ordinary file; it is left alone", name, what);
        return codeNumber(ResultCode::OutputFileFailed);
    }
    if (kind != platform::FileKind::Missing) {
        if (!platform::removeFileName(name)) {
            debugPrint("Failed to remove output file! File = %s\n", name);
            return codeNumber(ResultCode::OutputFileFailed);
        }
        debugPrint("Removed output file. File = %s\n", name);
        slot = platform::createFileExclusive(name);
        if (slot == nullptr) {
            debugPrint("Failed to create output file! File = %s\n", name);
            return codeNumber(ResultCode::OutputFileFailed);
        }
        debugPrint("Successfully created output file! File = %s\n", name);
        return 0;
    }
    slot = platform::createFileExclusive(name);
    return slot == nullptr ? 18 : 0;
}

// Opens the XML document's file as openFreshFile does and hands it to the document.
int openDocumentFile(const char* name, XmlDocument& document) {
    std::FILE* file = nullptr;
    const int status = openFreshFile(name, file);
    if (status == 0)
        document.attach(file);
    return status;
}

namespace {

constexpr const char* kWhatToCheck = "check that its folder exists and may be written";

} // namespace

int openOutputFiles(RunOptions& options, XmlDocument& document, bool withDocument) {
    if (!options.debugFile.empty()) {
        if (openFreshFile(options.debugFile.c_str(), debugFileSlot()) != 0) {
            if (equalsIgnoreCase(options.debugFile.c_str(), "debug.log")) {
                debugPrint("Failed to create default debug file! File = %s\n", options.debugFile.c_str());
                sayOnStandardError("the debug log %s cannot be created; %s", options.debugFile.c_str(), kWhatToCheck);
                return codeNumber(ResultCode::DebugFileFailed);
            }
            debugPrint("Failed to create user specified debug file! File = %s\n", options.debugFile.c_str());
            const std::string asked = options.debugFile.str();
            options.debugFile = "debug.log";
            if (openFreshFile(options.debugFile.c_str(), debugFileSlot()) != 0) {
                debugPrint("Failed to create default debug file! File = %s\n", options.debugFile.c_str());
                sayOnStandardError("the debug log %s cannot be created, nor %s in its place; %s", asked.c_str(),
                                   options.debugFile.c_str(), kWhatToCheck);
                return codeNumber(ResultCode::DebugFileFailed);
            }
            sayOnStandardError("the debug log %s cannot be created; it is written to %s instead", asked.c_str(),
                               options.debugFile.c_str());
        }
        nameDebugFile(options.debugFile.c_str());
    }
    if ((options.outputTargets & OUTPUT_TO_FILE) == 0 || !withDocument)
        return 0;
    if (openDocumentFile(options.outputFile.c_str(), document) != 0) {
        if (isDefaultOutputName(options)) {
            debugPrint("Failed to create default output file! File = %s\n", options.outputFile.c_str());
            sayOnStandardError("the XML document %s cannot be created; %s", options.outputFile.c_str(), kWhatToCheck);
            return codeNumber(ResultCode::OutputFileFailed);
        }
        debugPrint("Failed to create user specified output file! File = %s\n", options.outputFile.c_str());
        const std::string asked = options.outputFile.str();
        options.outputFile = options.mode == Execution ? "execution.xml" : "inventory.xml";
        if (openDocumentFile(options.outputFile.c_str(), document) != 0) {
            debugPrint("Failed to create user specified output file! File = %s\n", options.outputFile.c_str());
            sayOnStandardError("the XML document %s cannot be created, nor %s in its place; %s", asked.c_str(),
                               options.outputFile.c_str(), kWhatToCheck);
            return codeNumber(ResultCode::OutputFileFailed);
        }
        sayOnStandardError("the XML document %s cannot be created; it is written to %s instead", asked.c_str(),
                           options.outputFile.c_str());
    }
    return 0;
}
