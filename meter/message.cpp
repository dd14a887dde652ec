// The meter's table of messages, one row per Msg in its order, and numbers in messages that
// compare a value with a limit.
#include "meter/message.h"

#include <array>

namespace wobblemeter {

namespace {

using enum Msg;
constexpr ExitStatus kDone = ExitStatus::kDone;
constexpr ExitStatus kFailed = ExitStatus::kFailed;
constexpr ExitStatus kUsage = ExitStatus::kUsage;

constexpr std::array<MessageEntry, static_cast<size_t>(Msg::kCount)> kTable{{
    // The engine, the audio files and the DSP.
    {kRecordingTooShort, kFailed,
     "the recording is too short: %.2f s of tone, at least %.2f s needed"},
    {kToneStops, kFailed,
     "the tone stops at %.1f s: its longest stretch holds %.1f s of tone, at least %.1f s needed"},
    // The outputs: summary, JSON, CSV log, plots.
    // Capture and the live session.
    {kNoCaptureDevice, kFailed, "no capture device found"},
    {kInputOverrun, kFailed, "input overrun at %.3f s: %lld frames lost, bridged"},
    // The session's failure, and the recording that holds what came before it.
    {kSessionFailedRecorded, kFailed, "%s; %s holds the %.3f s recorded before"},
    // The device as opened, and why the session has no readings.
    {kSessionNoResult, kFailed, "'%s': %s"},
    {kCannotWriteLog, kFailed, "cannot write the log %s: %s"},
    {kNothingToRecord, kFailed, "nothing to record: no device is capturing"},
    {kAlreadyRecording, kFailed, "already recording into %s"},
    {kRecordingFull, kFailed,
     "%s holds 4 GiB, the most a WAV file can: recording stopped at %.0f s"},
    // The command line.
    {kCannotWriteStdout, kFailed, "cannot write to standard output: %s"},
    {kCannotPrintReadings, kFailed, "cannot write the readings to standard output: %s"},
    {kCannotPrintReadingsPlotWritten, kFailed,
     "cannot write the readings to standard output: %s (the plot %s is written)"},
    {kCannotPrintTable, kFailed, "cannot write the table to standard output: %s"},
    {kCannotWritePlot, kFailed, "cannot write the plot %s: %s"},
    // A file and why it could not be measured.
    {kFileNotMeasured, kFailed, "%s: %s"},
    {kOutOfMemory, kFailed, "out of memory"},
    // Progress on a terminal, redrawn in place: no failure.
    {kReadingProgress, kDone, "reading %3d %%"},
    {kFilesProgress, kDone, "measured %zu of %zu files"},
    // The command-line library's own words for an option it refuses.
    {kCommandLineRefused, kUsage, "%s (see --help)"},
    {kRpmNotAllowed, kUsage, "--rpm: '%s' is not allowed: give 33.33, 45 or 78 (see --help)"},
    {kVerifyAlone, kUsage, "--verify takes no other option or FILE: %s (see --help)"},
    {kVerifyNeedsDirectory, kUsage, "--verify: give the set's directory (see --help)"},
    {kLiveTakesNoFile, kUsage, "--live takes no FILE (see --help)"},
    {kLiveTakesNoCsv, kUsage,
     "--csv is for files: give --json or --log FILE.csv with --live (see --help)"},
    {kFileRequired, kUsage, "FILE is required (see --help)"},
    {kFileNameEmpty, kUsage, "FILE: an empty name (see --help)"},
    {kPlotAndLogTakeOneFile, kUsage,
     "--plot and --log take a single FILE, not %zu: measure each file on its own to plot or "
     "log it (see --help)"},
    {kPlotExtension, kUsage, "--plot: '%s' must end in .png or .svg (see --help)"},
    // A number option's refusal, after the option's name (the command-line library adds it):
    // the text given, then the range.
    {kNotWholeNumberInRange, kUsage, "'%s' is not allowed: give a whole number from %lld to %lld"},
    // The text given, the unit ("Hz"), and the range.
    {kNotDecimalInRange, kUsage, "'%s' is not allowed: give a decimal number of %s from %s to %s"},
    {kNotPositiveDecimal, kUsage, "'%s' is not allowed: give a decimal number of %s above 0"},
    // The verification set's table (DIR/expected.csv) and why.
    {kVerifySetUnreadable, kFailed,
     "cannot read %s: %s (write the set with wobblegen-cli --calibration-set DIR)"},
    {kVerifyRowRefused, kFailed, "%s, line %d: not a row of the set: '%s'"},
    {kVerifyTableUnreadable, kFailed, "cannot read %s: %s"},
    {kVerifySetEmpty, kFailed, "%s lists no signals"},
    // The window.
}};

}  // namespace

const MessageEntry& EntryOf(Msg id) {
    const auto index = static_cast<size_t>(id);
    // kCount and beyond are not messages: a programming error, caught by the table's test.
    return kTable.at(index);
}

std::string DistinctFrom(double value, double limit, int decimals) {
    for (int d = decimals; d < 9; ++d) {
        const std::string shown = Format("%.*f", d, value);
        if (value == limit || shown != Format("%.*f", d, limit)) return shown;
    }
    return Format("%.9f", value);
}

}  // namespace wobblemeter
