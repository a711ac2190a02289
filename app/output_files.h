// Where the run reads and writes: directory texts, soft VPD log paths, and the debug
// and XML output files.
#pragma once

#include "catalog/soft_vpd_file.h"
#include "common/run_state.h"
#include "report/xml_writer.h"

#include <cstdio>
#include <string>

// The configuration and the payload folder as the run uses them (quotes removed,
// ending in the separator; the program folder's, or its "common", by default), whole.
std::string configFolderOf(const RunPaths& paths);
std::string payloadFolderOf(const RunPaths& paths);
// Settles the configuration and payload folders (each ending in the separator) and
// reports them.
void defineDirectoryPaths(RunPaths& paths);
// temporary file := program folder + "temp.log"; reported only.
void defineTempFile(RunPaths& paths);
// Fills the primary and secondary soft VPD file paths; with createDir, creates the
// utility's directory under the program-files directory when it is missing (only runs
// that use the soft VPD files ask for that). madeThisRun: the run lock made the primary
// folder a moment before, so it counts as created by this run.
void tavCNAFIDLogPaths(SoftVpd& vpd, bool createDir = true, bool madeThisRun = false);
// "<program-files folder>/Tavrel/marlo", or without ProgramFiles the system's state
// folder for the program (POSIX /var/lib/winmarlo): the soft VPD folder, which also
// holds the run lock and the history; empty when there is neither.
std::string primaryMarloFolder();
// The whole path of the primary or the secondary soft VPD file, as createMARLODir
// forms it; empty when there is no such folder.
std::string softVpdFilePath(bool primary);
// Forms "<value of variable>/Tavrel/marlo/tavCNAFID.cfg" (the primary without
// ProgramFiles: in the system's state folder) into resultPath; creates the directory
// when asked. Returns the formed path, or nothing when the soft VPD field cannot hold it.
std::string createMARLODir(const char* variable, bool create, bool madeThisRun = false);

// Opens the debug file and the run's XML output file with their fallbacks; returns 0,
// 13 (debug file) or 14 (output file). Without withDocument (a run that writes no
// document) no XML file is created.
int openOutputFiles(RunOptions& options, XmlDocument& document, bool withDocument = true);

// Creates a file afresh, removing an existing ordinary file (or link) first; never
// removes, truncates or writes through a directory, device, FIFO or socket, which
// count as a file that cannot be removed (with a line on standard error). Returns 0,
// 14 when an existing file could not be removed or re-created, 18 when a new file
// could not be created.
int openFreshFile(const char* name, std::FILE*& slot);
