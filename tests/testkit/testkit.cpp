#include "tests/testkit/testkit.h"

#include "platform/platform.h"
#include "platform/process_control.h"

#include <atomic>
#include <cctype>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace testkit {

TempDir::TempDir() {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path base = fs::temp_directory_path() /
                    ("wm-" + std::to_string(platform::processId()) + "-" +
                     std::to_string(stamp % 1000000007) + "-" + std::to_string(counter++));
    fs::create_directories(base);
    path_ = base.string();
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string TempDir::file(const std::string& name) const {
    return path_ + platform::kPathSeparator + name;
}

std::string programPath() {
    const fs::path self = platform::moduleFileName();
    return (self.parent_path().parent_path() / (platform::kIsWindows ? "winmarlo.exe" : "winmarlo"))
        .string();
}

std::string simFlashReport(const std::string& boardFile) {
    const fs::path tool = fs::path(programPath()).parent_path() /
                          (platform::kIsWindows ? "dfcsim-flash.exe" : "dfcsim-flash");
    const fs::path folder = fs::path(boardFile).parent_path();
    const std::string report = (folder / "flash-report.json").string();
    if (platform::runProcess({tool.string(), boardFile}, folder.string(), report) != 0)
        return "";
    return readText(report);
}

int waitFor(platform::StartedProcess& process, int seconds) {
    int status = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (!platform::tryWaitProcess(&process, &status)) {
        if (std::chrono::steady_clock::now() >= deadline) {
            platform::killProcess(process);
            platform::waitProcess(&process);
            return kHungStatus;
        }
        platform::sleepMs(1);
    }
    return status;
}

RunResult runProgram(const std::vector<std::string>& args, const std::string& workingDir, bool separateErrors) {
    std::vector<std::string> argv{programPath()};
    argv.insert(argv.end(), args.begin(), args.end());
    platform::setEnv("ProgramFiles", workingDir);
    // The simulated adapter library sits beside the program: without a board file of
    // the caller's it serves an empty board list, so the run sees no adapters.
    const bool ownBoards = !platform::getEnv("DFCSIM_BOARDS").has_value();
    if (ownBoards) {
        const std::string boards = workingDir + platform::kPathSeparator + "no-boards.json";
        writeText(boards, "{\"boards\": []}\n");
        platform::setEnv("DFCSIM_BOARDS", boards);
    }
    // Board files with a timing model (the demo's) would make the run wait like a card.
    const bool ownTiming = !platform::getEnv("DFCSIM_TIMING").has_value();
    if (ownTiming)
        platform::setEnv("DFCSIM_TIMING", "off");
    const std::string outputPath = workingDir + platform::kPathSeparator + "console.out";
    const std::string errorPath = separateErrors ? workingDir + platform::kPathSeparator + "console.err" : "";
    RunResult result;
    platform::StartedProcess process;
    result.status =
        platform::startProcess(argv, workingDir, outputPath, &process, errorPath) ? waitFor(process) : -1;
    result.output = readText(outputPath);
    if (separateErrors)
        result.errors = readText(errorPath);
    if (ownBoards)
        platform::unsetEnv("DFCSIM_BOARDS");
    if (ownTiming)
        platform::unsetEnv("DFCSIM_TIMING");
    std::error_code ignored;
    fs::remove(outputPath, ignored);
    if (separateErrors)
        fs::remove(errorPath, ignored);
    return result;
}

std::string readText(const std::string& path) {
    std::ifstream in(path); // text mode: CR LF reads as LF on Windows
    if (!in)
        return {};
    std::ostringstream text;
    text << in.rdbuf();
    std::string s = text.str();
    // Wine's console may leave CRs on the way through; compare on LF alone.
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i)
        if (!(s[i] == '\r' && i + 1 < s.size() && s[i + 1] == '\n'))
            out += s[i];
    return out;
}

std::vector<std::string> journalRequests(const std::string& journalPath,
                                         const std::vector<std::string>& wanted) {
    std::vector<std::string> requests;
    std::istringstream lines(readText(journalPath));
    for (std::string line; std::getline(lines, line);) {
        std::istringstream words(line);
        std::string call, word, command, rest;
        words >> call;
        while (words >> word) {
            if (word.rfind("command=", 0) == 0)
                command = word.substr(8);
            else if (word.rfind("board=", 0) != 0 && word.rfind("status=", 0) != 0 &&
                     word.rfind("result=", 0) != 0)
                rest += " " + word;
        }
        const std::string name = command == "-" ? call : command;
        for (const std::string& w : wanted)
            if (w == name) {
                requests.push_back(name + rest);
                break;
            }
    }
    return requests;
}

bool exists(const std::string& path) { return platform::fileExists(path); }

void writeText(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
}

bool xmllintAccepts(const std::string& path) {
    if (platform::kIsWindows)
        return true;
    const std::string out = path + ".xmllint";
    const int status = platform::runProcess({"/usr/bin/xmllint", "--noout", path}, "", out);
    std::error_code ignored;
    fs::remove(out, ignored);
    return status == 0;
}

const XmlElement* XmlElement::child(const std::string& childName) const {
    for (const auto& c : children)
        if (c->name == childName)
            return c.get();
    return nullptr;
}

std::vector<const XmlElement*> XmlElement::all(const std::string& childName) const {
    std::vector<const XmlElement*> found;
    for (const auto& c : children)
        if (c->name == childName)
            found.push_back(c.get());
    return found;
}

namespace {

class XmlParser {
  public:
    explicit XmlParser(const std::string& text) : s_(text) {}

    std::unique_ptr<XmlElement> document(std::string& error) {
        skipSpace();
        if (s_.compare(pos_, 5, "<?xml") == 0) {
            const std::size_t end = s_.find("?>", pos_);
            if (end == std::string::npos)
                return fail(error, "unterminated declaration");
            pos_ = end + 2;
        }
        skipSpace();
        auto root = element(error);
        if (!root)
            return nullptr;
        skipSpace();
        if (pos_ != s_.size())
            return fail(error, "content after the root element");
        return root;
    }

  private:
    std::unique_ptr<XmlElement> fail(std::string& error, const std::string& why) {
        if (error.empty())
            error = why + " at offset " + std::to_string(pos_);
        return nullptr;
    }

    void skipSpace() {
        while (pos_ < s_.size() && std::isspace(static_cast<unsigned char>(s_[pos_])))
            ++pos_;
    }

    static bool nameChar(char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-' || c == '.' || c == ':';
    }

    std::string name() {
        const std::size_t start = pos_;
        while (pos_ < s_.size() && nameChar(s_[pos_]))
            ++pos_;
        return s_.substr(start, pos_ - start);
    }

    // Character data and attribute values: no '<', and '&' only as an entity reference.
    static bool checkText(const std::string& text) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '<')
                return false;
            if (text[i] != '&')
                continue;
            const std::size_t end = text.find(';', i);
            if (end == std::string::npos)
                return false;
            const std::string entity = text.substr(i + 1, end - i - 1);
            const bool named = entity == "amp" || entity == "lt" || entity == "gt" || entity == "quot" ||
                               entity == "apos";
            const bool numeric = entity.size() > 1 && entity[0] == '#' &&
                                 entity.find_first_not_of("0123456789", 1) == std::string::npos;
            if (!named && !numeric)
                return false;
            i = end;
        }
        return true;
    }

    std::unique_ptr<XmlElement> element(std::string& error) {
        if (pos_ >= s_.size() || s_[pos_] != '<')
            return fail(error, "expected an element");
        ++pos_;
        auto e = std::make_unique<XmlElement>();
        e->name = name();
        if (e->name.empty())
            return fail(error, "element without a name");
        for (;;) {
            skipSpace();
            if (pos_ >= s_.size())
                return fail(error, "unterminated start tag");
            if (s_.compare(pos_, 2, "/>") == 0) {
                pos_ += 2;
                return e;
            }
            if (s_[pos_] == '>') {
                ++pos_;
                break;
            }
            const std::string attribute = name();
            if (attribute.empty())
                return fail(error, "bad attribute");
            skipSpace();
            if (pos_ >= s_.size() || s_[pos_] != '=')
                return fail(error, "attribute without a value");
            ++pos_;
            skipSpace();
            if (pos_ >= s_.size() || (s_[pos_] != '"' && s_[pos_] != '\''))
                return fail(error, "unquoted attribute value");
            const char quote = s_[pos_++];
            const std::size_t end = s_.find(quote, pos_);
            if (end == std::string::npos)
                return fail(error, "unterminated attribute value");
            const std::string value = s_.substr(pos_, end - pos_);
            if (!checkText(value))
                return fail(error, "markup in an attribute value");
            if (!e->attributes.emplace(attribute, value).second)
                return fail(error, "repeated attribute " + attribute);
            pos_ = end + 1;
        }
        std::string text;
        for (;;) {
            const std::size_t lt = s_.find('<', pos_);
            if (lt == std::string::npos)
                return fail(error, "element " + e->name + " is never closed");
            const std::string chunk = s_.substr(pos_, lt - pos_);
            if (!checkText(chunk))
                return fail(error, "bad character data");
            text += chunk;
            pos_ = lt;
            if (s_.compare(pos_, 2, "</") == 0) {
                pos_ += 2;
                const std::string closing = name();
                skipSpace();
                if (closing != e->name || pos_ >= s_.size() || s_[pos_] != '>')
                    return fail(error, "mismatched end tag for " + e->name);
                ++pos_;
                break;
            }
            auto c = element(error);
            if (!c)
                return nullptr;
            e->children.push_back(std::move(c));
        }
        const auto first = text.find_first_not_of(" \t\r\n");
        const auto last = text.find_last_not_of(" \t\r\n");
        e->text = first == std::string::npos ? "" : text.substr(first, last - first + 1);
        return e;
    }

    const std::string& s_;
    std::size_t pos_ = 0;
};

} // namespace

std::unique_ptr<XmlElement> parseXml(const std::string& text, std::string* error) {
    std::string ignored;
    XmlParser parser(text);
    return parser.document(error != nullptr ? *error : ignored);
}

} // namespace testkit
