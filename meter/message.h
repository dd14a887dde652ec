// The meter's messages: every refusal and failure a user reads, named, with its words and the
// exit status it leads to, in one table (message.cpp); printf-style formatting.
#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

namespace wobblemeter {

// What the meter's programs return: 0 when all that was asked was done, 1 when something
// failed (an input, an output, a device), 2 when the command line was refused before anything
// was read or written.
enum class ExitStatus : int { kDone = 0, kFailed = 1, kUsage = 2 };

inline int ToInt(ExitStatus status) {
    return static_cast<int>(status);
}

// Every message by name. Each area keeps its own block, and message.cpp's table holds the rows in
// the same order (a test checks it).
enum class Msg : int {
    // The engine, the audio files and the DSP.
    kRecordingTooShort,
    kToneStops,
    kWeakLine,
    kSwingsBeyond,
    kMeanOutsideRange,
    kWeakBand,
    kTwoTonesBeat,
    kLevelFalls,
    kCarrierOutsideRange,
    kCarrierNearHalfRate,
    kSamplesNotAudio,
    kRecordingSilent,
    kSearchTooShort,
    kSearchSilent,
    kStrongestOutsideRange,
    kNoToneNear,
    kNoLineStandsOut,
    kNoStrongLine,
    kSpectrumMemory,
    kSpectrumPlan,
    kCannotOpenFile,
    kNotRegularFile,
    kNotAudioFile,
    kNotAudio,
    kHeaderInconsistent,
    kRateOutsideRange,
    kNoSuchChannel,
    kTruncatedByte,
    kTruncatedBytes,
    kHeaderDeclaresNoAudio,
    kNoAudio,
    kFileSilent,
    kTruncatedSeconds,
    kCancelled,
    // The outputs: summary, JSON, CSV log, plots, recordings.
    kCannotWriteLog,
    kCannotDrawPlot,
    kCannotWritePlot,
    kCannotCreateRecording,
    kCannotWriteRecording,
    kWriteError,
    kCannotDrawReport,
    kCannotWriteReport,
    // Capture and the live session.
    kNoCaptureDevice,
    kNoSuchCaptureDevice,
    kCaptureDeviceBusy,
    kCannotOpenCaptureDevice,
    kCannotStartCapture,
    kCaptureStopped,
    kCaptureStalled,
    kCaptureTooFewChannels,
    kCaptureNoUsualRate,
    kCaptureRateRefused,
    kCaptureNoSuchChannel,
    kCannotCapture,
    kCaptureRunsAt,
    kNoChannel,
    kCannotLoadAudioLibrary,
    kAudioLibraryLacks,
    kCannotStartAudioLibrary,
    kAudioSystemGone,
    kAudioSystemHung,
    kBuiltWithoutCapture,
    kInputOverrun,
    kSamplesNotAudioAt,
    kSessionFailedRecorded,
    kSessionNoResult,
    kDeviceDeliversNoAudio,
    kNothingToRecord,
    kAlreadyRecording,
    kLogIsRecording,
    kRecordingFull,
    kCaptureTooShort,
    kCaptureSilent,
    kCaptureSearchTooShort,
    kCaptureSearchSilent,
    // The command line.
    kCannotWriteStdout,
    kCannotPrintReadings,
    kCannotPrintReadingsPlotWritten,
    kCannotPrintTable,
    kFileNotMeasured,
    kOutOfMemory,
    kReadingProgress,
    kFilesProgress,
    kCommandLineRefused,
    kRpmNotAllowed,
    kVerifyAlone,
    kVerifyNeedsDirectory,
    kLiveTakesNoFile,
    kLiveTakesNoCsv,
    kFileRequired,
    kFileNameEmpty,
    kPlotAndLogTakeOneFile,
    kPlotExtension,
    kLogNameEmpty,
    kRecordNameEmpty,
    kOutputIsInput,
    kOutputsSameFile,
    kNotWholeNumberInRange,
    kNotDecimalInRange,
    kNotPositiveDecimal,
    kVerifySetUnreadable,
    kVerifyRowRefused,
    kVerifyTableUnreadable,
    kVerifySetEmpty,
    kVerifyTableNotAFile,
    kVerifyTableTooLarge,
    kVerifyLineTooLong,
    kVerifyHeaderMissing,
    kVerifyFileNameRefused,
    kVerifyWholeRefused,
    kVerifyCarrierRefused,
    kVerifyNumberRefused,
    kVerifyReadingRefused,
    kVerifySignalTwice,
    kVerifySignalMissing,
    kReportExtension,
    kReportTakesOneFile,
    // The window.
    kWindowIdle,
    kDropNotAFile,
    kReadingFile,
    kReadingFileProgress,
    kStoppedNothingMeasured,
    kStoppedAfter,
    kReadingsOver,
    kPlotNameRefused,
    kCannotExportReadings,
    kExportIsInput,
    kWaitingForTone,
    kToneGone,
    kTonePresent,
    kToneSettling,
    kLoggingTo,
    kRecordingTo,
    kOpeningDevice,
    kErrorWithReadings,
    kReportNameRefused,
    kReportNotePrompt,
    // The browser's engine.
    kWebNoLiveSession,
    kWebNothingMeasured,
    kWebExportKind,
    kWebOptionsRefused,
    kWebPanelSize,
    kCount  // not a message: the table's size
};

// One row of the table: printf-style text, and the status a program exits with when this is
// why it stops.
struct MessageEntry {
    Msg id;
    ExitStatus status;
    const char* text;
};

const MessageEntry& EntryOf(Msg id);

inline int StatusOf(Msg id) {
    return ToInt(EntryOf(id).status);
}

// printf-style formatting into a string, whatever its length.
template <typename... Args>
std::string Format(const char* format, Args... args) {
    if constexpr (sizeof...(Args) == 0) {
        return format;
    } else {
        const int length = std::snprintf(nullptr, 0, format, args...);
        if (length <= 0) return {};
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::snprintf(text.data(), text.size(), format, args...);
        text.pop_back();
        return text;
    }
}

// The words of message id with its arguments filled in (they must match the row's conversions:
// the table's test formats every row).
template <typename... Args>
std::string Text(Msg id, Args... args) {
    return Format(EntryOf(id).text, args...);
}

// value with `decimals` decimals, or more (up to 9) where fewer would print it as limit prints.
std::string DistinctFrom(double value, double limit, int decimals);

// A name (a path, a device) as a message shows it, on one line and harmless to a terminal: \n \t
// \r as those two characters, other control bytes (C0, DEL, and C1 written in UTF-8) and bytes
// that are not UTF-8 as \xHH. Backslashes and letters of any script stay as they are; no quotes
// are added. Used on whole lines too: what it returns passes through it unchanged.
std::string QuotedName(std::string_view path);

// text shortened in the middle where it holds more than 2 * keep + 1 characters (code points):
// its first and last `keep` characters with "…" between. For names in a window's lines.
std::string ElidedName(std::string_view text, size_t keep = 40);

// A failure whose words come from the table: what() is one line saying why, id() names its
// row. Words made elsewhere (a library's own message passed on, a failure kept and reported
// again) carry no row, and exit with status 1.
class TableError : public std::runtime_error {
public:
    template <typename... Args>
    explicit TableError(Msg id, Args... args) : std::runtime_error(Text(id, args...)), id_(id) {}
    explicit TableError(const std::string& what, Msg id = Msg::kCount)
        : std::runtime_error(what), id_(id) {}

    Msg id() const { return id_; }
    // The status to exit with: the row's, or 1 for words outside the table.
    int status() const { return id_ == Msg::kCount ? ToInt(ExitStatus::kFailed) : StatusOf(id_); }

private:
    Msg id_;
};

// A recording, a device or an output that cannot be measured or written.
class MeterError : public TableError {
public:
    using TableError::TableError;
};

}  // namespace wobblemeter
