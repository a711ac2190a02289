// Owns what a run says on standard error besides its documents: the progress display
// when standard error is a terminal (wired to the run's update observer), the line of
// each component that failed, and the closing line of a run that ends with a nonzero
// status. Nothing of the display is drawn when standard error is no terminal, so logs
// and pipes get the reason lines alone.
#pragma once

#include "report/progress_display.h"
#include "run/run_context.h"
#include "run/run_outcome.h"

#include <memory>
#include <vector>

class RunFeedback {
  public:
    // Starts the display when standard error is a terminal.
    explicit RunFeedback(RunContext& run);
    ~RunFeedback();
    RunFeedback(const RunFeedback&) = delete;
    RunFeedback& operator=(const RunFeedback&) = delete;

    void discovering();
    void discovered(const RunOutcome& outcome);
    void readingPackage();
    // The update starts: a line for each component its plan says cannot be updated,
    // before anything is sent to a card.
    void updating(const RunOutcome& outcome);
    // A finished adapter: the display's lines, and a line for each failed component,
    // told by the run's plan.
    void adapterFinished(const AdapterOutcome& outcomes, const RunPlan& plan);
    // The run ends with `status`: the display's table, then the closing line when the
    // status is not 0 (a generic one when nothing said during the run tells why).
    void finish(int status, const RunOutcome& outcome);

  private:
    RunContext& run_;
    std::unique_ptr<ProgressDisplay> display_;
};
