// The service report of --report: its name tried before the measurement, its page written
// after the readings and the plot.
#pragma once

#include <string>

#include "meter/cli/options.h"
#include "meter/meter.h"

namespace wobblemeter {

// Where --report is given: throws MeterError "cannot write the report PATH: reason" (status 1)
// when its file could not be made, so that it is refused before anything is measured.
void CheckReportWritable(const Options& options);

// Where --report is given: the report of result, measured from file (or, live, from device
// and recorded into file), with the note, the paper and the time now. Says why on standard
// error and returns false when it cannot be written; true otherwise.
bool WriteReportIfAsked(const MeterResult& result, const Options& options, const std::string& file,
                        const std::string& device = {});

}  // namespace wobblemeter
