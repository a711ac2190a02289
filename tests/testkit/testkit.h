// Helpers shared by the test programs: temporary folders, running the built program,
// reading files, and a small strict XML reader for the documents the program writes.
#pragma once

#include "platform/platform.h"
#include "platform/process_control.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace testkit {

// A fresh folder under the system's temporary folder, removed again at the end.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    // path() joined with a name by the platform's separator.
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

// Path of the built program beside the test programs' folder.
std::string programPath();

struct RunResult {
    int status = -1;
    std::string output; // standard output and standard error, newlines normalised
    std::string errors; // standard error alone, when it was kept apart (output is then standard output)
};

// The status waitFor gives a run that had to be killed because it did not end.
constexpr int kHungStatus = -2;

// Waits for a started run to end, at most `seconds`; a run still going then is killed
// and kHungStatus returned, so that a run that hangs fails its test instead of
// stalling the suite. Otherwise the run's exit value (-1 when a signal ended it).
int waitFor(platform::StartedProcess& process, int seconds = 120);

// Runs the built program with arguments in a working folder, waiting as waitFor does. ProgramFiles points
// into the folder so that the run's soft VPD directory stays inside it. Unless the
// caller has set DFCSIM_BOARDS, the simulated library gets an empty board list. With
// separateErrors, standard error goes to `errors` and `output` is standard output alone.
RunResult runProgram(const std::vector<std::string>& args, const std::string& workingDir,
                     bool separateErrors = false);

// What the flash of every board of a board file holds, as the simulator's dfcsim-flash
// tool (beside the program) reports it: JSON text (see sim/README.md), or "" when the
// tool could not run or refused the file. The report goes through a file beside the
// board file.
std::string simFlashReport(const std::string& boardFile);

// Whole file in text mode ("" when it cannot be read); exists() for presence.
std::string readText(const std::string& path);
bool exists(const std::string& path);
void writeText(const std::string& path, const std::string& text);

// The simulator's journal as the requests it records: one text for each line whose
// mailbox command ("0x1C") or, for a call without a mailbox, whose function
// ("DFC_ResetAdapter") is among `wanted`. The text is that command or function, the
// SLI_CFG opcode when there is one, and the fields decoded from the request, in the
// line's order; the call, board, status and result are left out.
std::vector<std::string> journalRequests(const std::string& journalPath,
                                         const std::vector<std::string>& wanted);

// Whether libxml2's xmllint accepts the file as well-formed XML. On Windows, where
// the tool does not run, the strict reader below is the only check and this is true.
bool xmllintAccepts(const std::string& path);

// Parsed XML element.
struct XmlElement {
    std::string name;
    std::map<std::string, std::string> attributes;
    std::string text; // character data directly inside, trimmed
    std::vector<std::unique_ptr<XmlElement>> children;

    const XmlElement* child(const std::string& childName) const;
    std::vector<const XmlElement*> all(const std::string& childName) const;
};

// Parses a document (declaration and one root element); null with an error text when
// it is not well-formed.
std::unique_ptr<XmlElement> parseXml(const std::string& text, std::string* error = nullptr);

} // namespace testkit
