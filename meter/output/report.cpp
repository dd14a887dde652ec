// Text and JSON forms of a measurement.
#include "meter/output/report.h"

#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <numbers>
#include <vector>

#include "meter/engine/revolution.h"
#include "text/decimal.h"

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
    double rounded = value;  // a finite value's "%.7g" always reads as a decimal number
    ParseDecimalReal(text, rounded);
    return rounded;
}

// A reading with its unit and a note, or "unknown" where there is none.
std::string Reading(double percent, const char* note) {
    if (!std::isfinite(percent)) return "unknown";
    char text[128];
    std::snprintf(text, sizeof text, "%.4f %% (%s)", percent, note);
    return text;
}

// A speed error with its sign, "+0.000 %" where it rounds to zero.
std::string SignedPercent(double percent) {
    const double shown = std::fabs(percent) < 0.0005 ? 0.0 : percent;
    char text[64];
    std::snprintf(text, sizeof text, "%+.3f %%", shown);
    return text;
}

}  // namespace

std::string PlatterName(double rpm) {
    if (std::fabs(rpm - 100.0 / 3.0) < 1e-6) return "33 1/3 rpm";
    char text[32];
    std::snprintf(text, sizeof text, "%g rpm", rpm);
    return text;
}

namespace {

// The summary's lines follow; each label is padded to 21 columns: the longest ("Once per
// revolution:") and a space.

// Where the audio came from: the file, or the device and the recording kept of it.
void AppendSource(std::string& out, const MeterResult& r, const std::string& path,
                  const std::string& device) {
    if (device.empty()) {
        Append(out, "File:                %s\n", path.c_str());
        Append(out,
               "Audio:               %d Hz, channel %d of %d, %.2f s (readings over %.2f s from "
               "%.2f s)\n",
               r.sampleRate, r.channel, r.channels, r.durationSeconds, r.measuredSeconds,
               r.startSeconds);
    } else {
        Append(out, "Device:              '%s', channel %d\n", device.c_str(), r.channel);
        if (!path.empty()) Append(out, "Recorded:            %s\n", path.c_str());
        Append(out,
               "Audio:               %d Hz, %.2f s captured (readings over %.2f s from %.2f s)\n",
               r.sampleRate, r.durationSeconds, r.measuredSeconds, r.startSeconds);
    }
}

// The carrier found, with its nominal and the speed error.
void AppendCarrier(std::string& out, const MeterResult& r) {
    if (std::isfinite(r.nominalHz)) {
        Append(out, "Carrier:             %.3f Hz (nominal %.0f Hz, speed error %s)\n", r.carrierHz,
               r.nominalHz, FormatSpeedError(r).c_str());
    } else {
        Append(out, "Carrier:             %.3f Hz (nominal and speed error %s)\n", r.carrierHz,
               FormatSpeedError(r).c_str());
    }
}

// The deviation's two-sigma peaks, quasi-peak and RMS readings.
void AppendDeviation(std::string& out, const MeterResult& r) {
    Append(out, "Weighted peak:       %.4f %% (two-sigma)\n", r.weightedPeakPercent);
    Append(out, "Unweighted peak:     %.4f %% (two-sigma, 0.2 to 200 Hz)\n",
           r.unweightedPeakPercent);
    Append(out, "Weighted quasi-peak: %s\n",
           Reading(r.weightedQuasiPeakPercent, "zero-to-peak, DIN 45507 / IEC 386").c_str());
    Append(out, "Weighted RMS:        %.4f %%\n", r.weightedRmsPercent);
    Append(out, "Wow RMS:             %s\n",
           Reading(r.wowRmsPercent, "weighted, below 4 Hz").c_str());
    Append(out, "Flutter RMS:         %s\n",
           Reading(r.flutterRmsPercent, "weighted, above 4 Hz").c_str());
}

// The drift, with the range of the speed error where it is known.
void AppendDrift(std::string& out, const MeterResult& r) {
    if (!std::isfinite(r.driftPercent)) {
        out += "Drift:               unknown (the stretch of tone is too short)\n";
    } else if (std::isfinite(r.speedErrorLowPercent)) {
        Append(out,
               "Drift:               %.4f %% peak-to-peak below 0.5 Hz (speed error %s to %s)\n",
               r.driftPercent, SignedPercent(r.speedErrorLowPercent).c_str(),
               SignedPercent(r.speedErrorHighPercent).c_str());
    } else {
        Append(out, "Drift:               %.4f %% peak-to-peak below 0.5 Hz\n", r.driftPercent);
    }
}

// The modulation, and what the input lost: drop-outs and overruns.
void AppendModulationAndGaps(std::string& out, const MeterResult& r) {
    if (std::isfinite(r.modulationHz))
        Append(out, "Modulation:          %.3f Hz\n", r.modulationHz);
    else
        out += "Modulation:          none (no line stands out of the noise)\n";
    Append(out, "Drop-outs:           %d%s\n", r.dropouts,
           r.dropouts > 0 ? " (bridged, left out of the readings)" : "");
    if (r.overruns == 0)
        out += "Lost input:          none\n";
    else
        Append(out, "Lost input:          %lld frames in %d overrun(s), bridged\n", r.lostFrames,
               r.overruns);
}

// The readings per revolution, given a platter speed.
void AppendPlatter(std::string& out, const RevolutionReading& v) {
    if (v.rpm > 0.0) {
        Append(out,
               "Platter:             %s (%.4f Hz at the speed measured), %.1f revolutions read\n",
               PlatterName(v.rpm).c_str(), v.rotationHz, v.revolutions);
        if (std::isfinite(v.oncePercent)) {
            Append(out, "Once per revolution: %.4f %% (peak, at %.0f degrees of the fold)\n",
                   v.oncePercent, v.onceAngle * 180.0 / std::numbers::pi);
            Append(out, "Remaining:           %.4f %% RMS (unweighted, without it)\n",
                   v.remainingRmsPercent);
        } else {
            out += "Once per revolution: unknown (not every angle of a revolution was read)\n";
        }
    }
}

// The largest lines of the spectrum where there are several (or one, given a platter speed),
// each named as a harmonic of the rotation where it is one.
void AppendLargestLines(std::string& out, const MeterResult& r) {
    const RevolutionReading& v = r.revolution;
    if (r.lines.size() > 1 || (v.rpm > 0.0 && !r.lines.empty())) {
        out += "Largest lines:       ";
        const char* separator = "";
        for (const SpectrumLine& line : r.lines) {
            Append(out, "%s%.3g Hz (%.3g %%", separator, line.hz, line.percent);
            if (line.revolutionHarmonic > 0)
                out += ", " + RevolutionHarmonicName(line.revolutionHarmonic);
            out += ")";
            separator = ", ";
        }
        out += "\n";
    }
}

}  // namespace

std::string FormatSummary(const MeterResult& r, const std::string& path,
                          const std::string& device) {
    std::string out;
    AppendSource(out, r, path, device);
    AppendCarrier(out, r);
    AppendDeviation(out, r);
    AppendDrift(out, r);
    AppendModulationAndGaps(out, r);
    AppendPlatter(out, r.revolution);
    AppendLargestLines(out, r);
    return out;
}

std::string FormatSpeedError(const MeterResult& r) {
    if (!std::isfinite(r.speedErrorPercent)) return "unknown (give --nominal)";
    // An error that rounds to zero prints as +0.000, not -0.000.
    return SignedPercent(r.speedErrorPercent);
}

namespace {

// A figure of every form, in the documented order; integer ones print without decimals.
struct Field {
    const char* key;
    double value;
    bool integer = false;
};

// The figures before the speed error's range (a pair in JSON, two columns in CSV) and after it.
std::vector<Field> FieldsBeforeRange(const MeterResult& r) {
    return {{"sample_rate", static_cast<double>(r.sampleRate), true},
            {"channel", static_cast<double>(r.channel), true},
            {"carrier_hz", r.carrierHz},
            {"nominal_hz", r.nominalHz},
            {"speed_error_percent", r.speedErrorPercent},
            {"weighted_peak_percent", r.weightedPeakPercent},
            {"unweighted_peak_percent", r.unweightedPeakPercent},
            {"weighted_quasi_peak_percent", r.weightedQuasiPeakPercent},
            {"weighted_rms_percent", r.weightedRmsPercent},
            {"unweighted_rms_percent", r.unweightedRmsPercent},
            {"wow_rms_percent", r.wowRmsPercent},
            {"flutter_rms_percent", r.flutterRmsPercent},
            {"drift_percent", r.driftPercent}};
}

std::vector<Field> FieldsAfterRange(const MeterResult& r) {
    const RevolutionReading& v = r.revolution;
    const bool platter = v.rpm > 0.0;
    return {{"modulation_hz", r.modulationHz},
            {"rpm", platter ? v.rpm : kNoReading},
            {"once_per_revolution_percent", platter ? v.oncePercent : kNoReading},
            {"remaining_rms_percent", platter ? v.remainingRmsPercent : kNoReading},
            {"duration_s", r.durationSeconds},
            {"measured_s", r.measuredSeconds},
            {"start_s", r.startSeconds},
            {"dropouts", static_cast<double>(r.dropouts), true},
            {"overruns", static_cast<double>(r.overruns), true},
            {"lost_frames", static_cast<double>(r.lostFrames), true}};
}

nlohmann::ordered_json JsonValue(const Field& f) {
    if (f.integer) return static_cast<long long>(f.value);
    return JsonNumber(f.value);
}

std::string DumpJson(const nlohmann::ordered_json& json) {
    // A file name is bytes: any that are not UTF-8 become U+FFFD, so the output stays valid
    // JSON (and valid UTF-8) whatever the name.
    return json.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

// A CSV field: quoted (its quotes doubled) where it holds a comma, a quote or a line break.
std::string CsvText(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"') quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string CsvNumber(const Field& f) {
    if (!std::isfinite(f.value)) return {};
    char text[32];
    if (f.integer)
        std::snprintf(text, sizeof text, "%lld", static_cast<long long>(f.value));
    else
        std::snprintf(text, sizeof text, "%.7g", f.value);
    return text;
}

}  // namespace

std::string JsonObject(const MeterResult& r, const std::string& path, const std::string& device) {
    // Keys in the documented order.
    nlohmann::ordered_json json;
    // Live, the file is the recording (none: null) and the device comes beside it.
    if (!device.empty() && path.empty())
        json["file"] = nullptr;
    else
        json["file"] = path;
    if (!device.empty()) json["device"] = device;
    for (const Field& f : FieldsBeforeRange(r)) json[f.key] = JsonValue(f);
    if (std::isfinite(r.speedErrorLowPercent) && std::isfinite(r.speedErrorHighPercent)) {
        json["speed_error_range_percent"] = nlohmann::ordered_json::array(
            {JsonNumber(r.speedErrorLowPercent), JsonNumber(r.speedErrorHighPercent)});
    } else {
        json["speed_error_range_percent"] = nullptr;
    }
    for (const Field& f : FieldsAfterRange(r)) json[f.key] = JsonValue(f);
    json["lines"] = nlohmann::ordered_json::array();
    for (const SpectrumLine& line : r.lines) {
        nlohmann::ordered_json item = {{"hz", JsonNumber(line.hz)},
                                       {"percent", JsonNumber(line.percent)}};
        // With a platter speed, each line says which harmonic of the rotation it is, if any.
        if (r.revolution.rpm > 0.0) {
            item["revolution_harmonic"] = line.revolutionHarmonic > 0
                                              ? nlohmann::ordered_json(line.revolutionHarmonic)
                                              : nlohmann::ordered_json(nullptr);
        }
        json["lines"].push_back(item);
    }
    return DumpJson(json);
}

std::string JsonFailure(const std::string& path, const std::string& error) {
    nlohmann::ordered_json json;
    json["file"] = path;
    json["error"] = error;
    return DumpJson(json);
}

std::string FormatJson(const MeterResult& r, const std::string& path, const std::string& device) {
    return JsonObject(r, path, device) + "\n";
}

std::string CsvHeader() {
    const MeterResult none;
    std::string header = "file";
    for (const Field& f : FieldsBeforeRange(none)) header += std::string(",") + f.key;
    header += ",speed_error_low_percent,speed_error_high_percent";
    for (const Field& f : FieldsAfterRange(none)) header += std::string(",") + f.key;
    return header + ",error";
}

std::string CsvRow(const MeterResult& r, const std::string& path) {
    std::string row = CsvText(path);
    // Appended piece by piece: GCC 12 at -O3 warns falsely (-Wrestrict) on "," + std::string.
    for (const Field& f : FieldsBeforeRange(r)) row.append(",").append(CsvNumber(f));
    row.append(",").append(CsvNumber({"", r.speedErrorLowPercent}));
    row.append(",").append(CsvNumber({"", r.speedErrorHighPercent}));
    for (const Field& f : FieldsAfterRange(r)) row.append(",").append(CsvNumber(f));
    return row + ",";
}

std::string CsvFailureRow(const std::string& path, const std::string& error) {
    const MeterResult none;
    const size_t columns = FieldsBeforeRange(none).size() + 2 + FieldsAfterRange(none).size();
    return CsvText(path) + std::string(columns, ',') + "," + CsvText(error);
}

}  // namespace wobblemeter
