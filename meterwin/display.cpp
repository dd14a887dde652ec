// The window's display made from a measurement's readings: readouts, bar meter, panels and
// status line, and the same as text for the clipboard.
#include "meterwin/display.h"

#include <cmath>
#include <string>

#include "meter/message.h"

namespace wobblemeter {

namespace {

constexpr const char* kDash = "\u2013";  // a reading not formed
constexpr const char* kSeparator = "  \u00b7  ";

std::string Percent(double value, const char* format) {
    if (!std::isfinite(value)) return std::string(kDash) + " %";
    return Format(format, value);
}

Readout PercentReadout(const char* name, const char* standard, double value) {
    return {name, standard, Percent(value, "%.4f %%"), std::isfinite(value)};
}

// The four readings every display has, in the order the window shows them.
std::vector<Readout> Readouts(double speedErrorPercent, double nominalHz, double weighted,
                              double unweighted, double rms) {
    std::vector<Readout> readouts;
    Readout speed{"Speed error",
                  std::isfinite(nominalHz) ? Format("against %.0f Hz", nominalHz) : "no nominal",
                  kDash, false};
    if (std::isfinite(speedErrorPercent)) {
        // An error that rounds to zero shows as +0.000, not -0.000.
        speed.value =
            Format("%+.3f %%", std::fabs(speedErrorPercent) < 0.0005 ? 0.0 : speedErrorPercent);
        speed.formed = true;
    } else if (!std::isfinite(nominalHz)) {
        speed.value = "unknown";
    }
    readouts.push_back(speed);
    readouts.push_back(PercentReadout("Weighted two-sigma", "AES6 / IEC 60386", weighted));
    readouts.push_back(
        PercentReadout("Unweighted two-sigma", "AES6 / IEC 60386, 0.5\u2013200 Hz", unweighted));
    readouts.push_back(PercentReadout("Weighted RMS", "JIS / NAB", rms));
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

}  // namespace

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

Display BlankDisplay(WindowState state, const std::string& heading, double barScale) {
    Display d;
    d.state = state;
    d.heading = heading;
    const double none = std::numeric_limits<double>::quiet_NaN();
    d.readouts = Readouts(none, 0.0, none, none, none);
    d.readouts[0].standard = "against the nominal";
    d.bar = Bar(none, barScale);
    return d;
}

Display DisplayOfResult(const MeterResult& r, const std::string& heading, double barScale) {
    Display d;
    d.state = WindowState::kFileRead;
    d.heading = heading;
    d.readouts = Readouts(r.speedErrorPercent, r.nominalHz, r.weightedPeakPercent,
                          r.unweightedPeakPercent, r.weightedRmsPercent);
    d.bar = Bar(r.weightedPeakPercent, barScale);
    d.unweighted = r.unweighted;
    d.weighted = r.weighted;
    d.traceStartSeconds = r.unweighted.startSeconds;
    d.traceEndSeconds = EnvelopeEnd(r.unweighted);
    d.unweightedLevelPercent = r.unweightedPeakPercent;
    d.weightedLevelPercent = r.weightedPeakPercent;
    d.spectrumHz = r.spectrumHz;
    d.spectrumPercent = r.spectrumPercent;
    d.lines = r.lines;
    d.speedError = r.speedError;

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
    for (const Readout& r : d.readouts)
        text +=
            r.name + ": " + r.value + (r.standard.empty() ? "" : " (" + r.standard + ")") + "\n";
    if (!d.status.empty()) text += d.status + "\n";
    return text;
}

}  // namespace wobblemeter
