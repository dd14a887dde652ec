// The live display's lines (see live_display.h).
#include "meter/cli/live_display.h"

#include <algorithm>
#include <cmath>

#include "meter/message.h"

namespace wobblemeter {

namespace {

// Characters of the bar: its line, with the scale and the session's figures, fits 80 columns.
constexpr int kBarWidth = 30;

std::string Percent(double value) {
    if (!std::isfinite(value)) return "-";
    return Format("%.4f %%", value);
}

// "+0.004 %", without a sign on a figure that rounds to zero.
std::string SpeedError(double value) {
    if (!std::isfinite(value)) return "-";
    return Format("%+.3f %%", std::fabs(value) < 0.0005 ? 0.0 : value);
}

std::string Clock(double seconds) {
    const auto whole = static_cast<long long>(seconds);
    return Format("%lld:%02lld:%02lld", whole / 3600, whole / 60 % 60, whole % 60);
}

const char* StateWords(MeterState state) {
    switch (state) {
        case MeterState::kWaiting:
            return "waiting for the tone";
        case MeterState::kNoTone:
            return "no tone";
        case MeterState::kSettling:
            return "settling";
        case MeterState::kMeasuring:
            return "measuring";
    }
    return "";
}

}  // namespace

double BarScale(double percent) {
    if (std::isnan(percent)) return kBarScales[0];
    for (const double scale : kBarScales)
        if (percent <= scale) return scale;
    return kBarScales[std::size(kBarScales) - 1];
}

std::string Bar(double percent, double scale, int width) {
    if (!std::isfinite(percent)) return std::string(static_cast<size_t>(width), ' ');
    const auto filled = static_cast<int>(
        std::lround(std::clamp(percent / scale, 0.0, 1.0) * static_cast<double>(width)));
    return std::string(static_cast<size_t>(filled), '#') +
           std::string(static_cast<size_t>(width - filled), '.');
}

std::vector<std::string> DisplayLines(const SessionSnapshot& s, double windowSeconds, int columns) {
    const SecondReading& r = s.latest;
    std::vector<std::string> lines;
    lines.push_back(Format("%s   %s   '%s', channel %d, %d Hz", StateWords(r.state),
                           Clock(s.seconds).c_str(), QuotedName(s.source).c_str(), s.channel,
                           s.sampleRate));
    if (r.state == MeterState::kWaiting || r.state == MeterState::kNoTone) {
        lines.push_back(r.state == MeterState::kWaiting
                            ? "  play the test tone (3150 or 3000 Hz, or give --carrier)"
                            : "  no tone: waiting for it to return");
    } else {
        lines.push_back(Format(
            "  carrier %s Hz   speed error %s   modulation %s",
            std::isfinite(r.carrierHz) ? Format("%.3f", r.carrierHz).c_str() : "-",
            SpeedError(r.speedErrorPercent).c_str(),
            std::isfinite(r.modulationHz) ? Format("%.2f Hz", r.modulationHz).c_str() : "-"));
    }
    // Two lines of figures in every state, so that the block keeps its height: the peaks
    // (two-sigma with the older standards' quasi-peak beside it), then the RMS with its wow
    // and flutter parts and the session's drift.
    if (r.state == MeterState::kMeasuring) {
        lines.push_back(Format("  weighted %s   quasi-peak %s   unweighted %s   (last %g s)",
                               Percent(r.weightedPeakPercent).c_str(),
                               Percent(r.weightedQuasiPeakPercent).c_str(),
                               Percent(r.unweightedPeakPercent).c_str(), windowSeconds));
        lines.push_back(
            Format("  weighted RMS %s  wow %s  flutter %s  session drift %s",
                   Percent(r.weightedRmsPercent).c_str(), Percent(r.wowRmsPercent).c_str(),
                   Percent(r.flutterRmsPercent).c_str(), Percent(r.sessionDriftPercent).c_str()));
    } else if (r.state == MeterState::kSettling) {
        lines.push_back(Format("  settling: the readings start after %g s of tone",
                               kSettleSeconds + windowSeconds));
        lines.push_back("");
    } else {
        lines.push_back("");
        lines.push_back("");
    }
    const double scale = BarScale(r.weightedPeakPercent);
    // The session's figures where the readings are formed; while the tone settles the block
    // says when they start, and shows none.
    const bool formed = r.state != MeterState::kSettling && r.state != MeterState::kWaiting;
    lines.push_back(Format("  [%s] %g %%   session %s / %s",
                           Bar(r.weightedPeakPercent, scale, kBarWidth).c_str(), scale,
                           Percent(formed ? r.sessionWeightedPeakPercent : NAN).c_str(),
                           Percent(formed ? r.sessionUnweightedPeakPercent : NAN).c_str()));
    std::string status = Format("  overruns %d (%lld frames lost)   drop-outs %d", s.overruns,
                                s.lostFrames, s.dropouts);
    // Names escaped: the block is redrawn in place, a line each.
    if (s.logging) status.append("   log ").append(QuotedName(s.logPath));
    if (s.recording) status.append("   recording ").append(QuotedName(s.recordPath));
    lines.push_back(status);
    for (std::string& line : lines)
        if (columns > 0 && line.size() > static_cast<size_t>(columns))
            line.resize(static_cast<size_t>(columns));
    return lines;
}

std::string SecondLine(const SecondReading& r) {
    std::string line = Format("%5.0f s  ", r.timeSeconds);
    if (r.state == MeterState::kWaiting || r.state == MeterState::kNoTone ||
        !std::isfinite(r.carrierHz)) {
        return line + StateWords(r.state);
    }
    line += Format("carrier %.3f Hz  speed error %s", r.carrierHz,
                   SpeedError(r.speedErrorPercent).c_str());
    if (r.state != MeterState::kMeasuring) return line + "  settling";
    // The quasi-peak beside the two-sigma, wow and flutter after the RMS, where the reading
    // holds them.
    line += "  weighted " + Percent(r.weightedPeakPercent);
    if (std::isfinite(r.weightedQuasiPeakPercent))
        line += "  quasi-peak " + Percent(r.weightedQuasiPeakPercent);
    line += "  unweighted " + Percent(r.unweightedPeakPercent) + "  RMS " +
            Percent(r.weightedRmsPercent);
    if (std::isfinite(r.wowRmsPercent) && std::isfinite(r.flutterRmsPercent)) {
        line += "  wow " + Percent(r.wowRmsPercent) + "  flutter " + Percent(r.flutterRmsPercent);
    }
    if (std::isfinite(r.modulationHz)) line += Format("  modulation %.2f Hz", r.modulationHz);
    return line;
}

}  // namespace wobblemeter
