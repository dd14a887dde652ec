// wobblemeter's command for one file: measured with its progress on a terminal, its log as the
// seconds form, its readings on standard output and its plot.
#pragma once

#include "meter/cli/options.h"
#include "meter/cli/pending_plot.h"

namespace wobblemeter {

// Measures options.paths' one file and prints its readings in options.form; the plot (opened
// already, or none) and the log (options.log) are written too. Returns the exit status: 1 when
// the file could not be measured or any output not written. Throws MeterError when the log's
// name cannot be written (nothing is measured then); the log itself is made once the file is
// open and accepted, so a file that cannot be measured leaves an earlier log as it was.
int MeasureFileCommand(Options& options, PendingPlot plot);

}  // namespace wobblemeter
