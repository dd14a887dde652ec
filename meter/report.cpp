// Text and JSON forms of a measurement.
#include "meter/report.h"

#include <cmath>
#include <cstdio>

namespace wobblemeter {

namespace {

void Append(std::string& out, const char* format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    out += line;
}

// JSON string with the characters JSON requires escaped; bytes >= 0x80 pass unchanged.
std::string JsonString(const std::string& text) {
    std::string out = "\"";
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (u < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", u);
            out += escaped;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

// A number for JSON, which has no NaN or infinity.
std::string JsonNumber(double value) {
    if (!std::isfinite(value)) return "null";
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return text;
}

}  // namespace

std::string FormatSummary(const MeterResult& r, const std::string& path,
                          const std::string& device) {
    std::string out;
    if (device.empty()) {
        Append(out, "File:               %s\n", path.c_str());
        Append(out,
               "Audio:              %d Hz, channel %d of %d, %.2f s (readings over %.2f s from "
               "%.2f s)\n",
               r.sampleRate, r.channel, r.channels, r.durationSeconds, r.measuredSeconds,
               r.startSeconds);
    } else {
        Append(out, "Device:             '%s', channel %d\n", device.c_str(), r.channel);
        if (!path.empty()) Append(out, "Recorded:           %s\n", path.c_str());
        Append(out,
               "Audio:              %d Hz, %.2f s captured (readings over %.2f s from %.2f s)\n",
               r.sampleRate, r.durationSeconds, r.measuredSeconds, r.startSeconds);
    }
    if (std::isfinite(r.nominalHz)) {
        Append(out, "Carrier:            %.3f Hz (nominal %.0f Hz, speed error %s)\n", r.carrierHz,
               r.nominalHz, FormatSpeedError(r).c_str());
    } else {
        Append(out, "Carrier:            %.3f Hz (nominal and speed error %s)\n", r.carrierHz,
               FormatSpeedError(r).c_str());
    }
    Append(out, "Weighted peak:      %.4f %% (two-sigma)\n", r.weightedPeakPercent);
    Append(out, "Unweighted peak:    %.4f %% (two-sigma, 0.5 to 200 Hz)\n",
           r.unweightedPeakPercent);
    Append(out, "Weighted RMS:       %.4f %%\n", r.weightedRmsPercent);
    if (std::isfinite(r.modulationHz))
        Append(out, "Modulation:         %.3f Hz\n", r.modulationHz);
    else
        out += "Modulation:         none (no line stands out of the noise)\n";
    Append(out, "Drop-outs:          %d%s\n", r.dropouts,
           r.dropouts > 0 ? " (bridged, left out of the readings)" : "");
    if (r.overruns == 0)
        out += "Lost input:         none\n";
    else
        Append(out, "Lost input:         %lld frames in %d overrun(s), bridged\n", r.lostFrames,
               r.overruns);
    if (r.lines.size() > 1) {
        out += "Largest lines:     ";
        for (const SpectrumLine& line : r.lines)
            Append(out, " %.3g Hz (%.3g %%)", line.hz, line.percent);
        out += "\n";
    }
    return out;
}

std::string FormatSpeedError(const MeterResult& r) {
    if (!std::isfinite(r.speedErrorPercent)) return "unknown (give --nominal)";
    // An error that rounds to zero prints as +0.000, not -0.000.
    const double shown = std::fabs(r.speedErrorPercent) < 0.0005 ? 0.0 : r.speedErrorPercent;
    char text[64];
    std::snprintf(text, sizeof text, "%+.3f %%", shown);
    return text;
}

std::string FormatJson(const MeterResult& r, const std::string& path, const std::string& device) {
    std::string out = "{";
    out += "\"file\": " + (path.empty() && !device.empty() ? "null" : JsonString(path));
    if (!device.empty()) out += ", \"device\": " + JsonString(device);
    const struct {
        const char* key;
        double value;
    } numbers[] = {{"sample_rate", static_cast<double>(r.sampleRate)},
                   {"channel", static_cast<double>(r.channel)},
                   {"carrier_hz", r.carrierHz},
                   {"nominal_hz", r.nominalHz},
                   {"speed_error_percent", r.speedErrorPercent},
                   {"weighted_peak_percent", r.weightedPeakPercent},
                   {"unweighted_peak_percent", r.unweightedPeakPercent},
                   {"weighted_rms_percent", r.weightedRmsPercent},
                   {"unweighted_rms_percent", r.unweightedRmsPercent},
                   {"modulation_hz", r.modulationHz},
                   {"duration_s", r.durationSeconds},
                   {"measured_s", r.measuredSeconds},
                   {"start_s", r.startSeconds},
                   {"dropouts", static_cast<double>(r.dropouts)},
                   {"overruns", static_cast<double>(r.overruns)},
                   {"lost_frames", static_cast<double>(r.lostFrames)}};
    for (const auto& n : numbers) out += std::string(", \"") + n.key + "\": " + JsonNumber(n.value);
    out += ", \"lines\": [";
    for (size_t i = 0; i < r.lines.size(); ++i) {
        if (i > 0) out += ", ";
        out += "{\"hz\": " + JsonNumber(r.lines[i].hz) +
               ", \"percent\": " + JsonNumber(r.lines[i].percent) + "}";
    }
    out += "]}\n";
    return out;
}

}  // namespace wobblemeter
