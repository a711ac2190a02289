// Where the run reads and writes: directory texts, soft VPD log paths, and the debug
// and XML output files.
#pragma once

#include "catalog/soft_vpd_file.h"
#include "common/run_state.h"
#include "report/xml_writer.h"

#include <cstdio>
#include <string>

// Settles the configuration and payload folders (each ending in the separator) and
// reports them.
void defineDirectoryPaths(RunPaths& paths);
// temporary file := program folder + "temp.log"; reported only.
void defineTempFile(RunPaths& paths);
// Fills the primary and secondary soft VPD file paths; with createDir, creates the
// utility's directory under the program-files directory when it is missing (only runs
// that use the soft VPD files ask for that).
void tavCNAFIDLogPaths(SoftVpd& vpd, bool createDir = true);
// "<program-files folder>/Tavrel/marlo", or without ProgramFiles the system's state
// folder for the program (POSIX /var/lib/winmarlo): the soft VPD folder, which also
// holds the run lock and the history; empty when there is neither.
std::string primaryMarloFolder();
// Forms "<value of variable>/Tavrel/marlo/tavCNAFID.cfg" (the primary without
// ProgramFiles: in the system's state folder) into resultPath; creates the directory
// when asked. Returns the formed path.
std::string createMARLODir(const char* variable, bool create);

// Opens the debug file and the run's XML output file with their fallbacks; returns 0,
// 13 (debug file) or 14 (output file).
int openOutputFiles(RunOptions& options, XmlDocument& document);

// Creates a file afresh, removing an existing ordinary file (or link) first; never
// removes, truncates or writes through a directory, device, FIFO or socket, which
// count as a file that cannot be removed (with a line on standard error). Returns 0,
// 14 when an existing file could not be removed or re-created, 18 when a new file
// could not be created.
int openFreshFile(const char* name, std::FILE*& slot);
