// The service report's file, tried early and written last.
#include "meter/cli/report_output.h"

#include <exception>

#include "meter/cli/console.h"
#include "meter/output/csv_log.h"
#include "meter/output/service_report.h"
#include "res/version.h"

namespace wobblemeter {

void CheckReportWritable(const Options& options) {
    if (options.Given("--report")) CsvLog::CheckWritable(options.report, Msg::kCannotWriteReport);
}

bool WriteReportIfAsked(const MeterResult& result, const Options& options, const std::string& file,
                        const std::string& device) {
    if (!options.Given("--report")) return true;
    ReportDetails details;
    details.file = file;
    details.device = device;
    details.when = ReportTime();
    details.version = "wobblemeter " WOBBLEGEN_VERSION_TEXT;
    details.note = options.note;
    details.paper = options.reportPaper;
    try {
        WriteReport(result, details, options.report);
    } catch (const std::exception& e) {
        SayLine(e.what());
        return false;
    }
    return true;
}

}  // namespace wobblemeter
