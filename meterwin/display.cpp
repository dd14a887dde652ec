// The window's display made from a measurement's readings: readouts, bar meter, panels and
// status line, and the same as text for the clipboard.
#include "meterwin/display.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <string_view>

#include "meter/message.h"
#include "meter/output/report.h"

namespace wobblemeter {

namespace {

constexpr const char* kDash = "\u2013";  // a reading not formed
constexpr const char* kSeparator = "  \u00b7  ";

// The figures of the readouts; NaN: not formed. nominalHz: NaN where the carrier has no
// nominal (its speed error unknown), 0 where none is known yet.
struct Figures {
    double weighted = NAN, unweighted = NAN, quasiPeak = NAN, rms = NAN, wow = NAN, flutter = NAN;
    double speedError = NAN, nominalHz = 0.0, drift = NAN, speedLow = NAN, speedHigh = NAN;
    // The platter chosen (0: none), and its readings.
    double rpm = 0.0, once = NAN, onceDegrees = NAN, remaining = NAN;
};

// The figures a second's reading and a whole measurement's result name alike.
template <class Reading>
void CopyCommonFigures(const Reading& r, Figures& f) {
    f.weighted = r.weightedPeakPercent;
    f.unweighted = r.unweightedPeakPercent;
    f.quasiPeak = r.weightedQuasiPeakPercent;
    f.rms = r.weightedRmsPercent;
    f.wow = r.wowRmsPercent;
    f.flutter = r.flutterRmsPercent;
    f.speedError = r.speedErrorPercent;
}

// Decimals a figure of the given size shows: at least minimum, and more where fewer than three
// significant digits would remain (a drift of 0.0004217 % shows as 0.000422 %), up to
// kMostDecimals.
constexpr int kMostDecimals = 8;
int DecimalsFor(double value, int minimum) {
    if (!(std::fabs(value) > 0.0)) return minimum;
    const int leading = static_cast<int>(std::floor(std::log10(std::fabs(value))));
    return std::clamp(2 - leading, minimum, kMostDecimals);
}

// The readings' groups, as a technician reads them.
constexpr const char* kAesGroup = "AES6 / IEC 60386";
constexpr const char* kDinGroup = "DIN 45507 / IEC 386";
constexpr const char* kJisGroup = "JIS / NAB";
constexpr const char* kSpeedGroup = "Speed";

}  // namespace

std::string PercentText(double value) {
    if (!std::isfinite(value)) return std::string(kDash) + " %";
    return Format("%.*f %%", DecimalsFor(value, 4), value);
}

namespace {

Readout PercentReadout(const char* group, const char* name, const char* note, double value) {
    return {name, note, PercentText(value), std::isfinite(value), group};
}

// A speed error to the thousandth, as the command line prints it; one that rounds to zero
// shows as +0.000, not -0.000.
std::string SignedText(double percent) {
    return Format("%+.3f", std::fabs(percent) < 0.0005 ? 0.0 : percent);
}

// The readings every display has, in the order the window shows them.
std::vector<Readout> Readouts(const Figures& f) {
    std::vector<Readout> readouts;
    readouts.push_back(PercentReadout(kAesGroup, "Weighted two-sigma", "", f.weighted));
    readouts.push_back(
        PercentReadout(kAesGroup, "Unweighted two-sigma", "0.2\u2013200 Hz", f.unweighted));
    // The older standards' reading, zero-to-peak.
    readouts.push_back(
        PercentReadout(kDinGroup, "Weighted quasi-peak", "zero-to-peak", f.quasiPeak));
    readouts.push_back(PercentReadout(kJisGroup, "Weighted RMS", "", f.rms));
    readouts.push_back(PercentReadout(kJisGroup, "Wow RMS", "weighted, below 4 Hz", f.wow));
    readouts.push_back(PercentReadout(kJisGroup, "Flutter RMS", "weighted, above 4 Hz", f.flutter));
    Readout speed{"Speed error",
                  f.nominalHz > 0.0         ? Format("against %.0f Hz", f.nominalHz)
                  : std::isnan(f.nominalHz) ? "no standard carrier near"
                                            : "against the nominal",
                  kDash, false, kSpeedGroup};
    if (std::isfinite(f.speedError)) {
        speed.value = SignedText(f.speedError) + " %";
        speed.formed = true;
    } else if (std::isnan(f.nominalHz)) {
        speed.value = "unknown";
    } else {
        speed.value = std::string(kDash) + " %";
    }
    readouts.push_back(speed);
    readouts.push_back(PercentReadout(kSpeedGroup, "Drift", "peak-to-peak below 0.5 Hz", f.drift));
    Readout range{"Speed error range", "lowest to highest", std::string(kDash) + " %", false,
                  kSpeedGroup};
    if (std::isfinite(f.speedLow) && std::isfinite(f.speedHigh)) {
        range.value = SignedText(f.speedLow) + " % to " + SignedText(f.speedHigh) + " %";
        range.formed = true;
    }
    readouts.push_back(range);
    if (f.rpm > 0.0) {
        const std::string group = "Platter, " + PlatterName(f.rpm);
        Readout once = PercentReadout("", "Once per revolution", "peak", f.once);
        if (std::isfinite(f.onceDegrees))
            once.standard = Format("peak, at %.0f\u00b0", f.onceDegrees);
        Readout remaining =
            PercentReadout("", "Remaining", "RMS, unweighted, without it", f.remaining);
        once.group = remaining.group = group;
        readouts.push_back(once);
        readouts.push_back(remaining);
    }
    return readouts;
}

BarMeter Bar(double weighted, double scale) {
    BarMeter bar;
    bar.name = "Weighted two-sigma";
    bar.valuePercent = weighted;
    bar.scalePercent = scale;
    return bar;
}

double EnvelopeEnd(const Envelope& e) {
    return e.startSeconds + static_cast<double>(e.low.size()) * e.stretchSeconds;
}

// The deviation of the trace's points (one per kTracePointSeconds, oldest first, with gaps
// where a stretch of tone began afresh) as envelopes, NaN in the gaps.
void TraceEnvelopes(const std::vector<TracePoint>& trace, Envelope& weighted,
                    Envelope& unweighted) {
    if (trace.empty()) return;
    const double start = trace.front().timeSeconds;
    const auto count =
        static_cast<size_t>(std::llround((trace.back().timeSeconds - start) / kTracePointSeconds)) +
        1;
    constexpr float kNone = std::numeric_limits<float>::quiet_NaN();
    for (Envelope* e : {&weighted, &unweighted}) {
        e->startSeconds = start;
        e->stretchSeconds = kTracePointSeconds;
        e->low.assign(count, kNone);
        e->high.assign(count, kNone);
    }
    for (const TracePoint& p : trace) {
        const auto i = static_cast<size_t>(
            std::clamp(std::llround((p.timeSeconds - start) / kTracePointSeconds), 0LL,
                       static_cast<long long>(count) - 1));
        weighted.low[i] = p.weightedLow;
        weighted.high[i] = p.weightedHigh;
        unweighted.low[i] = p.unweightedLow;
        unweighted.high[i] = p.unweightedHigh;
    }
}

// The nominal carrier the speed error is read against, from a second's carrier and speed
// error (NaN where either is unknown), rounded to the hertz as the standards name it.
double NominalOf(const SecondReading& r) {
    if (!std::isfinite(r.carrierHz) || !std::isfinite(r.speedErrorPercent)) return NAN;
    return std::round(r.carrierHz / (1.0 + r.speedErrorPercent / 100.0));
}

// A live session's status line: carrier, tone, settling, overruns, drop-outs, elapsed time,
// outputs; while the device opens, that.
std::string LiveStatus(const SessionSnapshot& s, const std::string& heading) {
    const SecondReading& r = s.latest;
    std::vector<std::string> parts;
    switch (r.state) {
        case MeterState::kWaiting:
            parts.push_back(Text(Msg::kWaitingForTone));
            break;
        case MeterState::kNoTone:
            parts.push_back(Text(Msg::kToneGone));
            break;
        case MeterState::kSettling:
        case MeterState::kMeasuring:
            parts.push_back(std::isfinite(r.carrierHz) ? Format("Carrier %.3f Hz", r.carrierHz)
                                                       : std::string("Carrier \u2013"));
            parts.push_back(r.state == MeterState::kSettling
                                ? Text(Msg::kToneSettling, kSettleSeconds + kDefaultWindowSeconds)
                                : Text(Msg::kTonePresent));
            if (std::isfinite(r.modulationHz))
                parts.push_back(Format("modulation %.2f Hz", r.modulationHz));
            break;
    }
    parts.push_back(Format("overruns %d (%lld frames lost)", s.overruns, s.lostFrames));
    parts.push_back(Format("drop-outs %d", s.dropouts));
    parts.push_back(ElapsedText(s.seconds));
    if (s.logging) parts.push_back(Text(Msg::kLoggingTo, s.logPath.c_str()));
    if (s.recording) parts.push_back(Text(Msg::kRecordingTo, s.recordPath.c_str()));
    if (s.status == SessionStatus::kStarting)
        parts = {Text(Msg::kOpeningDevice, heading.substr(6).c_str())};
    std::string status;
    for (size_t i = 0; i < parts.size(); ++i) status += (i > 0 ? kSeparator : "") + parts[i];
    return status;
}

}  // namespace

WindowState StateOfSnapshot(const SessionSnapshot& s) {
    switch (s.status) {
        case SessionStatus::kIdle:
            return WindowState::kIdle;
        case SessionStatus::kStarting:
            return WindowState::kStarting;
        case SessionStatus::kFinished:
            return WindowState::kStopped;
        case SessionStatus::kFailed:
            return WindowState::kError;
        case SessionStatus::kRunning:
            break;
    }
    switch (s.latest.state) {
        case MeterState::kWaiting:
            return WindowState::kWaitingForTone;
        case MeterState::kNoTone:
            return WindowState::kNoTone;
        case MeterState::kSettling:
            return WindowState::kSettling;
        case MeterState::kMeasuring:
            return WindowState::kMeasuring;
    }
    return WindowState::kMeasuring;
}

std::string LiveHeading(const SessionSnapshot& s) {
    std::string heading = "Live: " + (s.source.empty() ? std::string("default") : s.source);
    if (s.sampleRate > 0) heading += Format(", %d Hz", s.sampleRate);
    return heading + Format(", channel %d", s.channel);
}

std::string ElapsedText(double seconds) {
    const auto whole = static_cast<long long>(std::max(0.0, seconds));
    return Format("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
}

Display DisplayOfSnapshot(const SessionSnapshot& s, double barScale, double holdPercent,
                          double rpm) {
    const SecondReading& r = s.latest;
    Display d;
    d.state = StateOfSnapshot(s);
    d.heading = LiveHeading(s);
    const bool tone = r.state == MeterState::kSettling || r.state == MeterState::kMeasuring;
    const double none = std::numeric_limits<double>::quiet_NaN();
    Figures f;
    if (tone) {
        CopyCommonFigures(r, f);
        f.nominalHz = NominalOf(r);
    }
    // The session's drift stays when the tone goes.
    f.drift = r.sessionDriftPercent;
    f.rpm = rpm;
    d.readouts = Readouts(f);
    // The range and the platter's readings are of the whole span read: the session's summary
    // has them.
    for (Readout& readout : d.readouts) {
        if (readout.name == "Speed error range") readout.standard = "lowest to highest, after Stop";
        if (rpm > 0.0 && !readout.formed && readout.group.rfind("Platter", 0) == 0)
            readout.standard += ", after Stop";
    }
    d.bar = Bar(tone ? r.weightedPeakPercent : none, barScale);
    d.bar.holdPercent = holdPercent;

    TraceEnvelopes(s.trace, d.weighted, d.unweighted);
    d.traceLastSeconds = std::max(s.seconds, kSnapshotTraceSeconds);
    d.traceFirstSeconds = d.traceLastSeconds - kSnapshotTraceSeconds;
    SetDeviationSpan(d, 0.0);
    if (r.state == MeterState::kMeasuring) {
        d.weightedLevelPercent = r.weightedPeakPercent;
        d.unweightedLevelPercent = r.unweightedPeakPercent;
    }
    d.spectrumHz = s.spectrum.hz;
    d.spectrumPercent = s.spectrum.percent;
    d.lines = s.spectrum.lines;
    d.speedError = s.speedError;
    d.speedErrorEndSeconds = s.seconds;
    if (tone && std::isfinite(r.speedErrorPercent)) {
        d.speedErrorLinePercent = r.speedErrorPercent;
        d.speedErrorLabel = Format(
            "now %+.3f %%", std::fabs(r.speedErrorPercent) < 0.0005 ? 0.0 : r.speedErrorPercent);
    }

    d.status = LiveStatus(s, d.heading);
    return d;
}

void SetDeviationSpan(Display& d, double span) {
    const bool part = span > 0.0 && span < d.traceLastSeconds - d.traceFirstSeconds;
    d.traceEndSeconds = d.traceLastSeconds;
    d.traceStartSeconds = part ? d.traceLastSeconds - span : d.traceFirstSeconds;
    if (d.summary) {
        d.deviationTitle = part ? Format("Deviation, the last %g s of the span read", span)
                                : std::string("Deviation over the span read");
    } else {
        d.deviationTitle = Format("Deviation, the last %g s", part ? span : kSnapshotTraceSeconds);
    }
}

const char* StateName(WindowState state) {
    switch (state) {
        case WindowState::kIdle:
            return "Idle";
        case WindowState::kStarting:
            return "Starting";
        case WindowState::kWaitingForTone:
            return "Waiting for tone";
        case WindowState::kSettling:
            return "Settling";
        case WindowState::kMeasuring:
            return "Measuring";
        case WindowState::kNoTone:
            return "No tone";
        case WindowState::kStopped:
            return "Stopped";
        case WindowState::kError:
            return "Error";
        case WindowState::kReadingFile:
            return "Reading file";
        case WindowState::kFileRead:
            return "File measured";
    }
    return "";
}

std::string WaitingText(const Display& d) {
    // What is measured, without the "Live: " of a session's heading.
    constexpr std::string_view kLive = "Live: ";
    const std::string source =
        d.heading.rfind(kLive, 0) == 0 ? d.heading.substr(kLive.size()) : d.heading;
    switch (d.state) {
        case WindowState::kStarting:
            return Text(Msg::kOpeningDevice, source.c_str());
        case WindowState::kWaitingForTone:
            return Text(Msg::kWaitingForTone);
        case WindowState::kSettling:
            return Text(Msg::kToneSettling, kSettleSeconds + kDefaultWindowSeconds);
        case WindowState::kNoTone:
            return Text(Msg::kToneGone);
        case WindowState::kReadingFile:
            return Text(Msg::kReadingFile, source.c_str());
        case WindowState::kIdle:
        case WindowState::kError:
        case WindowState::kStopped:
        case WindowState::kMeasuring:
        case WindowState::kFileRead:
            break;
    }
    // Nothing to wait for: what to do.
    return Text(Msg::kWindowIdle);
}

Display BlankDisplay(WindowState state, const std::string& heading, double barScale) {
    Display d;
    d.state = state;
    d.heading = heading;
    const double none = std::numeric_limits<double>::quiet_NaN();
    d.readouts = Readouts(Figures{});
    d.bar = Bar(none, barScale);
    SetDeviationSpan(d, 0.0);
    return d;
}

Display DisplayOfResult(const MeterResult& r, const std::string& heading, double barScale) {
    Display d;
    d.state = WindowState::kFileRead;
    d.heading = heading;
    d.summary = true;
    Figures f;
    CopyCommonFigures(r, f);
    f.nominalHz = r.nominalHz;
    f.drift = r.driftPercent;
    f.speedLow = r.speedErrorLowPercent;
    f.speedHigh = r.speedErrorHighPercent;
    f.rpm = r.revolution.rpm;
    f.once = r.revolution.oncePercent;
    f.onceDegrees = r.revolution.onceAngle * 180.0 / std::numbers::pi;
    f.remaining = r.revolution.remainingRmsPercent;
    d.readouts = Readouts(f);
    d.revolution = r.revolution;
    d.bar = Bar(r.weightedPeakPercent, barScale);
    d.unweighted = r.unweighted;
    d.weighted = r.weighted;
    d.traceFirstSeconds = r.unweighted.startSeconds;
    d.traceLastSeconds = EnvelopeEnd(r.unweighted);
    SetDeviationSpan(d, 0.0);
    d.unweightedLevelPercent = r.unweightedPeakPercent;
    d.weightedLevelPercent = r.weightedPeakPercent;
    d.spectrumHz = r.spectrumHz;
    d.spectrumPercent = r.spectrumPercent;
    d.lines = r.lines;
    d.speedError = r.speedError;
    d.speedErrorEndSeconds = r.durationSeconds;
    d.speedErrorSpanStartSeconds = r.startSeconds;
    d.speedErrorSpanSeconds = r.measuredSeconds;
    d.speedErrorLinePercent = r.speedErrorPercent;
    d.speedErrorLabel = "mean over the span read " + FormatSpeedError(r);

    d.status = Format("Carrier %.3f Hz", r.carrierHz);
    if (std::isfinite(r.nominalHz)) d.status += Format(" (nominal %.0f Hz)", r.nominalHz);
    d.status += kSeparator;
    d.status += std::isfinite(r.modulationHz) ? Format("modulation %.3f Hz", r.modulationHz)
                                              : std::string("no modulation stands out");
    d.status += kSeparator;
    d.status += Format("%d Hz, channel %d of %d", r.sampleRate, r.channel, r.channels);
    d.status += kSeparator;
    d.status += Format("%.2f s, read over %.2f s from %.2f s", r.durationSeconds, r.measuredSeconds,
                       r.startSeconds);
    d.status += kSeparator;
    d.status += Format("drop-outs %d", r.dropouts);
    return d;
}

std::string ReadingsText(const Display& d) {
    std::string text = "Wow and Flutter Meter";
    if (!d.heading.empty()) text += ": " + d.heading;
    text += "\n";
    text += std::string("State: ") + StateName(d.state) + "\n";
    std::string group;
    for (const Readout& r : d.readouts) {
        if (r.group != group) {
            group = r.group;
            text += group + "\n";
        }
        text += "  " + r.name + ": " + r.value;
        if (!r.standard.empty()) text += " (" + r.standard + ")";
        text += "\n";
    }
    if (!d.status.empty()) text += d.status + "\n";
    return text;
}

std::string ShownNames(const std::string& text) {
    const std::string quoted = QuotedName(text);
    std::string shown;
    shown.reserve(quoted.size());
    size_t start = 0;
    while (start <= quoted.size()) {
        size_t end = quoted.find(' ', start);
        if (end == std::string::npos) end = quoted.size();
        if (start > 0) shown += ' ';
        shown += ElidedName(std::string_view(quoted).substr(start, end - start), 40);
        start = end + 1;
    }
    return shown;
}

std::string ShownLine(const std::string& text) {
    return ElidedName(ShownNames(text), 100);
}

namespace {

// The parts packed greedily into lines of room; empty when a part alone is wider, or when more
// than maxLines are needed.
std::vector<std::string> Packed(const std::vector<std::string>& parts,
                                const std::function<double(const std::string&)>& width, double room,
                                size_t maxLines) {
    std::vector<std::string> lines;
    for (const std::string& part : parts) {
        if (!lines.empty() && width(lines.back() + kSeparator + part) <= room) {
            lines.back() += kSeparator + part;
            continue;
        }
        if (width(part) > room || lines.size() == maxLines) return {};
        lines.push_back(part);
    }
    return lines;
}

size_t Characters(const std::string& text) {
    size_t count = 0;
    for (const char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
    return count;
}

}  // namespace

std::vector<std::string> StatusLines(const std::string& status,
                                     const std::function<double(const std::string&)>& width,
                                     double room, size_t maxLines) {
    std::vector<std::string> parts;
    const std::string separator = kSeparator;
    for (size_t start = 0;;) {
        const size_t end = status.find(separator, start);
        parts.push_back(status.substr(start, end - start));
        if (end == std::string::npos) break;
        start = end + separator.size();
    }
    // A part keeps at least this many characters either side of its ellipsis.
    constexpr size_t kLeastKept = 4;
    std::vector<size_t> kept(parts.size());
    for (size_t i = 0; i < parts.size(); ++i) kept[i] = Characters(parts[i]);
    std::vector<std::string> shown = parts;
    for (;;) {
        std::vector<std::string> lines = Packed(shown, width, room, maxLines);
        if (!lines.empty()) return lines;
        // The widest part that can still lose characters loses a tenth of them.
        size_t widest = parts.size();
        for (size_t i = 0; i < parts.size(); ++i) {
            if (kept[i] > 2 * kLeastKept + 1 &&
                (widest == parts.size() || width(shown[i]) > width(shown[widest])))
                widest = i;
        }
        if (widest == parts.size()) break;
        const size_t keep = std::max(kLeastKept, (kept[widest] - 1) * 9 / 20);
        shown[widest] = ElidedName(parts[widest], keep);
        kept[widest] = 2 * keep + 1;
    }
    // Nothing shorter left: the line as it was shortened, in lines cut where they are full.
    std::string all;
    for (size_t i = 0; i < shown.size(); ++i) all += (i > 0 ? separator : "") + shown[i];
    return {ElidedName(all, static_cast<size_t>(std::max(1.0, room / 16.0)))};
}

}  // namespace wobblemeter
