// The meter's table of messages, one row per Msg in its order, and numbers in messages that
// compare a value with a limit.
#include "meter/message.h"

#include <array>

namespace wobblemeter {

namespace {

using enum Msg;
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
    // The command line.
    {kCannotWriteStdout, kFailed, "cannot write to standard output: %s"},
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
