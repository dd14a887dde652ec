// Text and JSON forms of a measurement.
#include "meter/report.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>

namespace wobblemeter {

namespace {

void Append(std::string& out, const char* format, auto... values) {
    char line[512];
    std::snprintf(line, sizeof line, format, values...);
    out += line;
}

// A reading for JSON, which has no NaN or infinity (null instead), to the seven significant
// digits the readings are good for (and printed as the shortest text that gives them back).
nlohmann::ordered_json JsonNumber(double value) {
    if (!std::isfinite(value)) return nullptr;
    char text[32];
    std::snprintf(text, sizeof text, "%.7g", value);
    return std::strtod(text, nullptr);
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
    // Keys in the documented order.
    nlohmann::ordered_json json;
    // Live, the file is the recording (none: null) and the device comes beside it.
    if (!device.empty() && path.empty())
        json["file"] = nullptr;
    else
        json["file"] = path;
    if (!device.empty()) json["device"] = device;
    json["sample_rate"] = r.sampleRate;
    json["channel"] = r.channel;
    json["carrier_hz"] = JsonNumber(r.carrierHz);
    json["nominal_hz"] = JsonNumber(r.nominalHz);
    json["speed_error_percent"] = JsonNumber(r.speedErrorPercent);
    json["weighted_peak_percent"] = JsonNumber(r.weightedPeakPercent);
    json["unweighted_peak_percent"] = JsonNumber(r.unweightedPeakPercent);
    json["weighted_rms_percent"] = JsonNumber(r.weightedRmsPercent);
    json["unweighted_rms_percent"] = JsonNumber(r.unweightedRmsPercent);
    json["modulation_hz"] = JsonNumber(r.modulationHz);
    json["duration_s"] = JsonNumber(r.durationSeconds);
    json["measured_s"] = JsonNumber(r.measuredSeconds);
    json["start_s"] = JsonNumber(r.startSeconds);
    json["dropouts"] = r.dropouts;
    json["overruns"] = r.overruns;
    json["lost_frames"] = r.lostFrames;
    json["lines"] = nlohmann::ordered_json::array();
    for (const SpectrumLine& line : r.lines)
        json["lines"].push_back(
            {{"hz", JsonNumber(line.hz)}, {"percent", JsonNumber(line.percent)}});
    // A file name is bytes: any that are not UTF-8 become U+FFFD, so the output stays valid
    // JSON (and valid UTF-8) whatever the name.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace wobblemeter
