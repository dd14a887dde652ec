// The service report: one PDF page for a machine's owner with the readings (their standards
// named, as searchable text, a line on what each means), the deviation and spectrum panels, the
// recording, the date, the meter's version and the technician's note.
#pragma once

#include <string>

#include "meter/meter.h"

namespace wobblemeter {

enum class Paper { kA4, kLetter };

// The paper a locale name ("en_US.UTF-8", "de_DE@euro") prints on: Letter where its territory
// (the two letters after '_') is one of the Americas' that use it or the Philippines, A4 for
// every other name, "C" and "POSIX" too.
Paper PaperOfLocale(const std::string& locale);
// The paper of the environment's locale as POSIX ranks its variables: LC_ALL, else LC_PAPER,
// else LANG (the first that is set and not empty); A4 when none is.
Paper PaperFromEnvironment();
// "a4" or "letter" (any case) as a paper; false for anything else.
bool ParsePaper(const std::string& text, Paper& paper);

// Whether a report's file name ends in ".pdf", in any case.
bool IsReportName(const std::string& path);

// What the page says beside the readings.
struct ReportDetails {
    std::string file;     // the recording measured, or kept of a live session; may be empty
    std::string device;   // live: the capture device; empty for a file
    std::string when;     // the date and time, as the page prints it
    std::string version;  // the meter's: "wobblemeter 1.0"
    std::string note;     // the technician's; empty: none
    Paper paper = Paper::kA4;
};

// The local date and time now, as a report prints it: "2026-12-09 18:40 UTC".
std::string ReportTime();

// value in %, with at least minDecimals decimals and at least three significant digits (up to
// nine decimals): 0.0004217 as "0.000422", 0.1403 as "0.1403" with four; "unknown" for NaN.
std::string SignificantPercent(double value, int minDecimals = 4);

// The report's page as the bytes of a PDF file. Throws MeterError when it cannot be drawn.
std::string RenderReport(const MeterResult& result, const ReportDetails& details);

// Writes the report into path (OpenOutputFile: under a temporary name, put in place whole).
// Throws MeterError "cannot write the report PATH: reason" when it cannot; nothing is left then.
void WriteReport(const MeterResult& result, const ReportDetails& details, const std::string& path);

}  // namespace wobblemeter
