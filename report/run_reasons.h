// Owns the plain lines that say why a run or a component failed and what to do, as
// they go to standard error after "winmarlo: ": one for each component that failed,
// and the closing line of a run that ends with a nonzero status. Renders the run's
// records and a few facts the app hands in; calls nothing that acts.
#pragma once

#include "run/run_context.h"
#include "run/run_outcome.h"
#include "run/run_plan.h"

#include <string>
#include <vector>

// Facts the closing line needs that the run's records do not hold.
struct RunEndFacts {
    std::string argumentProblem;  // the first argument the parser refused, and why
    std::string pathProblem;      // a path refused for its length, named
    std::string libraryProblem;   // why the adapter library is unusable; empty when it loaded
    bool libraryProblemSaid = false; // that problem is already on standard error
    std::string adapterMessage;   // what the adapter environment reported ("No ... adapters installed")
    bool configFolderExists = true;
    bool payloadFolderExists = true;
    bool imageFileExists = true;       // the -e file
    bool imageFileIsOrdinary = true;   // (one that is not was refused with a line of its own)
    std::vector<const HbaEntry*> selected; // the adapters the run worked on
    bool selectionMissed = false;          // a -wwn selection matched no adapter
};

// The line of a component that failed: adapter, component, the result code's text and
// what to do, told by the component's plan when there is one (the files looked at for
// a missing image; the card's other port for a port updated through it). Empty for a
// component that did not fail.
std::string componentFailureReason(const ComponentOutcome& outcome, const ComponentPlan* plan = nullptr);

// The line said before an update for a component its plan says cannot be updated:
// adapter, component, why and what to do. Empty for any other plan.
std::string planProblemLine(const ComponentPlan& plan);

// The closing line of an inventory or execution run that ends with `status`: what
// happened and what to do. Empty when the status is 0, or when the lines said during
// the run already tell it (a failed component, a stop request, an output file).
std::string runEndReason(const RunContext& run, int status, const RunEndFacts& facts);

// The line of a run that ended before its run driver began: not an administrator (15),
// too many arguments (27), no memory (62), an inconsistent enumeration (63), an
// unreadable PCI configuration header (64). Empty for another status.
std::string startFailureReason(int status);
