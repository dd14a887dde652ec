// wobblemeter's live commands, called from its main: --list-devices, and --live.
#pragma once

#include <string>

#include "meter/cli/options.h"
#include "meter/cli/pending_plot.h"
#include "meter/live/live_session.h"

namespace wobblemeter {

// Why a failed session ended, and how many seconds of it the recording (record; empty: none)
// holds; empty when it did not fail.
std::string SessionFailure(const SessionSnapshot& snapshot, const std::string& record);

// Prints the capture devices on standard output; returns the exit status.
int ListDevicesCommand();

// Measures from the device until the duration is captured or Ctrl-C, with the readings on
// standard error as they form and the summary over the session on standard output, and the
// plot (opened already, or none) of the session; returns the exit status. Throws MeterError
// when the log cannot be created (nothing starts then).
int LiveCommand(const Options& options, PendingPlot plot);

}  // namespace wobblemeter
