// The meter's table of messages, one row per Msg in its order, and numbers in messages that
// compare a value with a limit.
#include "meter/message.h"

#include <algorithm>
#include <array>
#include <vector>

namespace wobblemeter {

namespace {

using enum Msg;
constexpr ExitStatus kDone = ExitStatus::kDone;
constexpr ExitStatus kFailed = ExitStatus::kFailed;
constexpr ExitStatus kUsage = ExitStatus::kUsage;

constexpr size_t kMessages = static_cast<size_t>(Msg::kCount);

constexpr std::array<MessageEntry, kMessages> kTable = {{
    // The engine, the audio files and the DSP.
    {kRecordingTooShort, kFailed,
     "the recording is too short: %.2f s of tone, at least %.2f s needed"},
    {kToneStops, kFailed,
     "the tone stops at %.1f s: its longest stretch holds %.1f s of tone, at least %.1f s needed"},
    {kWeakLine, kFailed,
     "no steady tone: the line near %.1f Hz carries only %.0f %% of the signal's power"},
    {kSwingsBeyond, kFailed,
     "the frequency swings beyond \u00b1%.0f Hz around %.1f Hz (%.3g %% of it): more than the "
     "meter can follow at this carrier and sample rate"},
    {kMeanOutsideRange, kFailed,
     "the tone's mean frequency, %s Hz, lies outside the carrier range %.0f to %.0f Hz"},
    {kWeakBand, kFailed,
     "no steady tone near %.1f Hz: the band of \u00b1%.0f Hz around it carries only %.0f %% of "
     "the signal's power"},
    {kTwoTonesBeat, kFailed,
     "no steady tone: two tones, at %.1f and %.1f Hz, beat with each other (the level falls by "
     "more than 20 dB %.0f times a second)"},
    {kLevelFalls, kFailed,
     "no steady tone: its level near %.1f Hz falls by more than 20 dB %.0f times a second"},
    {kCarrierOutsideRange, kFailed, "the carrier %s Hz lies outside %.0f to %.0f Hz"},
    {kCarrierNearHalfRate, kFailed,
     "the carrier %.1f Hz is above or too close to half the sample rate (%.0f Hz)"},
    {kSamplesNotAudio, kFailed,
     "the file holds samples that are not audio (not finite or far beyond full scale)"},
    {kRecordingSilent, kFailed, "the recording is silent"},
    {kSearchTooShort, kFailed, "no steady tone: the recording is too short to find one"},
    {kSearchSilent, kFailed, "the recording is silent where it should hold the tone"},
    {kStrongestOutsideRange, kFailed,
     "the strongest tone, at %s Hz, lies outside the carrier range %.0f to %.0f Hz"},
    {kNoToneNear, kFailed,
     "no tone near %.1f Hz: the band of \u00b1%.0f Hz around it carries %.0f %% of the signal's "
     "power; the strongest line lies at %.1f Hz"},
    {kNoLineStandsOut, kFailed,
     "no steady tone: the strongest line, near %.1f Hz, carries only %.0f %% of the signal's "
     "power and does not stand out of the noise"},
    {kNoStrongLine, kFailed, "no steady tone found: the signal has no strong line"},
    {kSpectrumMemory, kFailed, "out of memory for the spectrum"},
    {kSpectrumPlan, kFailed, "cannot plan the spectrum's transform"},
    // %s: the system's reason (strerror); the command line puts the path in front.
    {kCannotOpenFile, kFailed, "cannot open it: %s"},
    {kNotRegularFile, kFailed, "not a regular file (a FIFO or a socket): give a recording"},
    // %s: libsndfile's reason (sf_strerror).
    {kNotAudioFile, kFailed, "not an audio file libsndfile can read (%s)"},
    {kNotAudio, kFailed, "not audio libsndfile can read (%s)"},
    {kHeaderInconsistent, kFailed, "not audio libsndfile can read (its header is inconsistent)"},
    {kRateOutsideRange, kFailed, "the sample rate %d Hz is outside %d to %d Hz"},
    {kNoSuchChannel, kFailed, "channel %d does not exist: the file has %d"},
    {kTruncatedByte, kFailed,
     "the file is truncated: %lld byte of the audio its header declares is missing"},
    {kTruncatedBytes, kFailed,
     "the file is truncated: %lld bytes of the audio its header declares are missing"},
    {kHeaderDeclaresNoAudio, kFailed, "the header declares no audio: an unfinished recording?"},
    {kNoAudio, kFailed, "the file holds no audio"},
    {kFileSilent, kFailed, "the file is silent"},
    {kTruncatedSeconds, kFailed,
     "the file is truncated: its header declares %.2f s of audio, it holds %.2f s"},
    {kCancelled, kFailed, "cancelled"},
    // The outputs: summary, JSON, CSV log, plots, recordings. The last %s: the system's or
    // libsndfile's or cairo's reason.
    {kCannotWriteLog, kFailed, "cannot write the log %s: %s"},
    {kCannotDrawPlot, kFailed, "cannot draw the plot: %s"},
    {kCannotWritePlot, kFailed, "cannot write the plot %s: %s"},
    {kCannotCreateRecording, kFailed, "cannot create %s: %s"},
    {kCannotWriteRecording, kFailed, "cannot write %s: %s"},
    // The reason of a write that failed without the system's saying why.
    {kWriteError, kFailed, "write error"},
    {kCannotDrawReport, kFailed, "cannot draw the report: %s"},
    {kCannotWriteReport, kFailed, "cannot write the report %s: %s"},
    // Capture and the live session. '%s': a device's name; the last %s of a failure: the audio
    // library's reason.
    {kNoCaptureDevice, kFailed, "no capture device found"},
    {kNoSuchCaptureDevice, kFailed, "no capture device '%s' (see --list-devices)"},
    {kCaptureDeviceBusy, kFailed, "capture device '%s' is busy"},
    {kCannotOpenCaptureDevice, kFailed, "cannot open capture device '%s': %s"},
    {kCannotStartCapture, kFailed, "cannot start capturing from '%s': %s"},
    {kCaptureStopped, kFailed, "capture device '%s' stopped delivering audio (unplugged?)"},
    {kCaptureStalled, kFailed, "no audio from capture device '%s' for %.0f s"},
    {kCaptureTooFewChannels, kFailed, "capture device '%s' has %d input channel(s): no channel %d"},
    {kCaptureNoUsualRate, kFailed,
     "capture device '%s' takes none of the usual rates with channel %d: give --rate"},
    {kCaptureRateRefused, kFailed, "capture device '%s' cannot capture at %.0f Hz"},
    {kCaptureNoSuchChannel, kFailed, "capture device '%s' has no channel %d"},
    {kCannotCapture, kFailed, "cannot capture from '%s' at %.0f Hz: %s"},
    {kCaptureRunsAt, kFailed, "capture device '%s' runs at %.0f Hz, not %.0f Hz"},
    {kNoChannel, kFailed, "no channel %d"},
    // The library's file, and why it did not load (dlerror).
    {kCannotLoadAudioLibrary, kFailed,
     "cannot load the audio library %s (the package libportaudio2): %s"},
    {kAudioLibraryLacks, kFailed, "the audio library %s lacks %s (not PortAudio 19 with ALSA?)"},
    {kCannotStartAudioLibrary, kFailed, "cannot start the audio library: %s"},
    // %s: what was to be done ("while opening 'hw:1,0'").
    {kAudioSystemGone, kFailed, "the audio system stopped answering earlier; not %s"},
    {kAudioSystemHung, kFailed,
     "the audio system did not answer within %.0f s %s (is a sound server hanging?)"},
    {kBuiltWithoutCapture, kFailed, "this wobblemeter was built without live capture (PortAudio)"},
    // The live session.
    {kInputOverrun, kFailed, "input overrun at %.3f s: %lld frames lost, bridged"},
    {kSamplesNotAudioAt, kFailed,
     "samples that are no audio at %.3f s: %lld frames not numbers or far beyond full scale, "
     "bridged"},
    // The session's failure, and the recording that holds what came before it.
    {kSessionFailedRecorded, kFailed, "%s; %s holds the %.3f s recorded before"},
    // The device as opened, and why the session has no readings.
    {kSessionNoResult, kFailed, "'%s': %s"},
    {kDeviceDeliversNoAudio, kFailed,
     "the device delivers no audio: its samples are not numbers or far beyond full scale"},
    {kNothingToRecord, kFailed, "nothing to record: no device is capturing"},
    {kAlreadyRecording, kFailed, "already recording into %s"},
    // A log and a recording given one file, which the second would destroy.
    {kLogIsRecording, kFailed,
     "'%s' is both the log's and the recording's file: give each its own name"},
    {kRecordingFull, kFailed,
     "%s holds 4 GiB, the most a WAV file can: recording stopped at %.0f s"},
    // The engine's refusals where the audio came from a capture device (the session puts the
    // device's name in front): the words of kRecordingTooShort, kRecordingSilent,
    // kSearchTooShort and kSearchSilent.
    {kCaptureTooShort, kFailed, "the capture is too short: %.2f s of tone, at least %.2f s needed"},
    {kCaptureSilent, kFailed, "the capture device is silent"},
    {kCaptureSearchTooShort, kFailed, "no steady tone: the capture is too short to find one"},
    {kCaptureSearchSilent, kFailed,
     "the capture device is silent where it should deliver the tone"},
    // The command line.
    {kCannotWriteStdout, kFailed, "cannot write to standard output: %s"},
    {kCannotPrintReadings, kFailed, "cannot write the readings to standard output: %s"},
    {kCannotPrintReadingsPlotWritten, kFailed,
     "cannot write the readings to standard output: %s (the plot %s is written)"},
    {kCannotPrintTable, kFailed, "cannot write the table to standard output: %s"},
    // A file and why it could not be measured.
    {kFileNotMeasured, kFailed, "%s: %s"},
    {kOutOfMemory, kFailed, "out of memory"},
    // Progress on a terminal, redrawn in place: no failure.
    {kReadingProgress, kDone, "reading %3d %%"},
    {kFilesProgress, kDone, "measured %zu of %zu files"},
    // The command-line library's own words for an option it refuses.
    {kCommandLineRefused, kUsage, "%s (see --help)"},
    // The value given, then the spellings allowed (kPlatterRpmChoices).
    {kRpmNotAllowed, kUsage,
     "--rpm: '%s' is not allowed: give %s, written without spaces (see --help)"},
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
    {kLogNameEmpty, kUsage, "--log: an empty name: give FILE.csv (see --help)"},
    {kRecordNameEmpty, kUsage, "--record: an empty name: give FILE.wav (see --help)"},
    // The output's option (--log), its name, and the input's name.
    {kOutputIsInput, kUsage,
     "%s '%s' is the input '%s': writing it would destroy the recording (see --help)"},
    // Two outputs' options and names, in the order --help lists them.
    {kOutputsSameFile, kUsage,
     "%s '%s' is the same file as %s '%s': give each output its own name (see --help)"},
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
    {kVerifyTableNotAFile, kFailed, "cannot read %s: not a regular file"},
    // The limit in KiB.
    {kVerifyTableTooLarge, kFailed, "%s is larger than %d KiB: not a table of the set"},
    // The line's number, the limit in bytes.
    {kVerifyLineTooLong, kFailed, "%s, line %d: longer than %d bytes, not a row of the set"},
    // The header the table must begin with.
    {kVerifyHeaderMissing, kFailed, "%s, line 1: not the table's header '%s'"},
    // The line's number, then the text given (shortened).
    {kVerifyFileNameRefused, kFailed,
     "%s, line %d: file '%s' is not allowed: give the name of a file beside the table"},
    // The line's number, the column, the text given (shortened), then the range.
    {kVerifyWholeRefused, kFailed,
     "%s, line %d: %s '%s' is not allowed: give a whole number from %d to %d"},
    {kVerifyCarrierRefused, kFailed, "%s, line %d: %s '%s' is not allowed: give %s or %s"},
    {kVerifyNumberRefused, kFailed,
     "%s, line %d: %s '%s' is not allowed: give a number from %s to %s"},
    {kVerifyReadingRefused, kFailed,
     "%s, line %d: %s '%s' is not allowed: give 0 or a number from %s to %s"},
    // The line's number, the signal and its carrier (Hz).
    {kVerifySignalTwice, kFailed, "%s, line %d: signal %d at %s Hz is listed twice"},
    {kVerifySignalMissing, kFailed,
     "%s lists no signal %d at %s Hz (the set has signals 1 to 8 at 3150 and 3000 Hz)"},
    {kReportExtension, kUsage, "--report: '%s' must end in .pdf (see --help)"},
    {kReportTakesOneFile, kUsage,
     "--report takes a single FILE, not %zu: measure each file on its own for its report (see "
     "--help)"},
    // The window: its status line and its dialogs. A line that only says what the window does
    // is done (status 0); the window exits with no status of these.
    {kWindowIdle, kDone,
     "Press Start to measure the input, or open a recording (File > Open) or drop one here"},
    {kDropNotAFile, kFailed, "Drop an audio file from this computer to measure it"},
    {kReadingFile, kDone, "Reading %s"},
    {kReadingFileProgress, kDone, "Reading %s: %.0f %%"},
    {kStoppedNothingMeasured, kDone, "Stopped at %.0f %% of %s: nothing measured"},
    // The time (h:mm:ss), then the readings' span or why there are none.
    {kStoppedAfter, kDone, "Stopped after %s: %s"},
    {kReadingsOver, kDone, "the readings over %.2f s of tone from %.2f s"},
    {kPlotNameRefused, kFailed, "cannot write the plot %s: its name must end in .png or .svg"},
    {kCannotExportReadings, kFailed, "cannot write the readings %s: %s"},
    // The name chosen for an export: the recording measured.
    {kExportIsInput, kFailed,
     "cannot write %s: it is the recording measured, which writing would destroy; choose another "
     "name"},
    // Parts of a live session's status line.
    {kWaitingForTone, kDone, "Waiting for the test tone (3150 or 3000 Hz)"},
    {kToneGone, kDone, "no tone: waiting for it to return"},
    {kTonePresent, kDone, "tone present"},
    {kToneSettling, kDone, "tone present, settling: readings after %g s of tone"},
    {kLoggingTo, kDone, "logging to %s"},
    {kRecordingTo, kDone, "recording to %s"},
    {kOpeningDevice, kDone, "Opening %s"},
    // A session that failed: why, and the readings of what came before kept.
    {kErrorWithReadings, kFailed, "%s; the readings of what came before are shown"},
    {kReportNameRefused, kFailed, "cannot write the report %s: its name must end in .pdf"},
    // The question before a report is written from the window; its answer may be empty.
    {kReportNotePrompt, kDone, "A note for the report (the machine, the work done), or none:"},
    // The browser's engine: a call the page made out of order or with what it cannot take.
    {kWebNoLiveSession, kUsage, "no live session is running: start one first"},
    {kWebNothingMeasured, kFailed, "nothing measured yet: open a recording or measure live first"},
    {kWebExportKind, kUsage, "'%s' is not an export: give png, svg, csv, json, pdf or wav"},
    {kWebOptionsRefused, kUsage, "the options '%s' are not a JSON object"},
    {kWebPanelSize, kUsage, "cannot draw %d x %d pixels: give 1 to %d either way"},
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

namespace {

// The length of the UTF-8 sequence that starts text[at], and its code point; 0 where the bytes
// there are no valid UTF-8 (a stray continuation, a truncated or overlong sequence, a surrogate,
// beyond U+10FFFF).
size_t Utf8Length(std::string_view text, size_t at, char32_t* point) {
    const auto lead = static_cast<unsigned char>(text[at]);
    if (lead < 0x80) {
        *point = lead;
        return 1;
    }
    size_t length = 0;
    char32_t value = 0, least = 0;
    if ((lead & 0xE0) == 0xC0) {
        length = 2, value = lead & 0x1F, least = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, value = lead & 0x0F, least = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, value = lead & 0x07, least = 0x10000;
    } else {
        return 0;
    }
    if (text.size() - at < length) return 0;
    for (size_t k = 1; k < length; ++k) {
        const auto byte = static_cast<unsigned char>(text[at + k]);
        if ((byte & 0xC0) != 0x80) return 0;
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    *point = value;
    return length;
}

void AppendHex(std::string& out, std::string_view bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        out += "\\x";
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0x0F];
    }
}

}  // namespace

std::string QuotedName(std::string_view path) {
    std::string out;
    out.reserve(path.size());
    for (size_t i = 0; i < path.size();) {
        char32_t point = 0;
        const size_t length = Utf8Length(path, i, &point);
        if (length == 0) {
            AppendHex(out, path.substr(i, 1));
            ++i;
            continue;
        }
        if (point == '\n') {
            out += "\\n";
        } else if (point == '\t') {
            out += "\\t";
        } else if (point == '\r') {
            out += "\\r";
        } else if (point < 0x20 || (point >= 0x7F && point < 0xA0)) {
            AppendHex(out, path.substr(i, length));
        } else {
            out.append(path.substr(i, length));
        }
        i += length;
    }
    return out;
}

std::string ElidedName(std::string_view text, size_t keep) {
    // The byte offsets where characters start; a byte that is no UTF-8 counts as one.
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size();) {
        starts.push_back(i);
        char32_t point = 0;
        i += std::max<size_t>(1, Utf8Length(text, i, &point));
    }
    if (starts.size() <= 2 * keep + 1) return std::string(text);
    const size_t headEnd = starts[keep], tailStart = starts[starts.size() - keep];
    std::string out;
    out.reserve(headEnd + 3 + text.size() - tailStart);
    out.append(text.substr(0, headEnd));
    out.append("\u2026");
    out.append(text.substr(tailStart));
    return out;
}

}  // namespace wobblemeter
