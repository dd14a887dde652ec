// The browser meter's engine: the command line's measurement and outputs for a file, the live
// session's engine fed block by block (no thread: the worker calls in), and the window's display
// model of either, drawn by the window's own instrument code.
#include "web/engine/web_engine.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <string_view>

#include "meter/audio/wav_writer.h"
#include "meter/engine/engine.h"
#include "meter/engine/revolution.h"
#include "meter/message.h"
#include "meter/output/csv_log.h"
#include "meter/output/plot.h"
#include "meter/output/report.h"
#include "meter/output/service_report.h"
#include "meterwin/display.h"
#include "meterwin/instrument.h"
#include "res/version.h"
#include "text/decimal.h"

namespace wobblemeter {

namespace {

// What a live session is called where the command line names its device.
constexpr const char* kLiveDevice = "browser";
// A sample beyond this magnitude (or not finite) is no audio, as the live session has it.
constexpr double kMaxSample = 1e6;
// The live recording kept for the WAV export, s of audio: some 230 MB of floats at 48 kHz. Past
// it the session goes on measuring; the export holds its first kMaxRecordSeconds.
constexpr double kMaxRecordSeconds = 20.0 * 60.0;
// The largest surface drawn, pixels either way.
constexpr int kMostPixels = 8192;
constexpr int kRgbaBytes = 4;
// Between the parts of a status line, as the window writes it.
constexpr const char* kStatusSeparator = "  \u00b7  ";

// The readings of the window by name, under their keys in the JSON of --json.
struct ReadingKey {
    std::string_view name, key;
};
constexpr ReadingKey kReadingKeys[] = {
    {"Weighted two-sigma", "weighted_peak_percent"},
    {"Unweighted two-sigma", "unweighted_peak_percent"},
    {"Weighted quasi-peak", "weighted_quasi_peak_percent"},
    {"Weighted RMS", "weighted_rms_percent"},
    {"Wow RMS", "wow_rms_percent"},
    {"Flutter RMS", "flutter_rms_percent"},
    {"Speed error", "speed_error_percent"},
    {"Drift", "drift_percent"},
    {"Speed error range", "speed_error_range_percent"},
    {"Once per revolution", "once_per_revolution_percent"},
    {"Remaining", "remaining_rms_percent"},
};

nlohmann::json KeyOf(const std::string& name) {
    for (const ReadingKey& k : kReadingKeys)
        if (k.name == name) return std::string(k.key);
    return nullptr;
}

// The page's names of the window's states.
const char* StateKey(WindowState state) {
    switch (state) {
        case WindowState::kIdle:
            return "idle";
        case WindowState::kStarting:
        case WindowState::kWaitingForTone:
            return "waiting";
        case WindowState::kSettling:
            return "settling";
        case WindowState::kMeasuring:
            return "measuring";
        case WindowState::kNoTone:
            return "no tone";
        case WindowState::kStopped:
            return "stopped";
        case WindowState::kError:
            return "error";
        case WindowState::kReadingFile:
        case WindowState::kFileRead:
            return "file";
    }
    return "idle";
}

nlohmann::json Number(double value) {
    return std::isfinite(value) ? nlohmann::json(value) : nlohmann::json(nullptr);
}

// An option's text as the command line would have it: a JSON number in its shortest form, a
// string as it is. False where it is given as neither.
bool OptionText(const nlohmann::json& value, std::string& text) {
    if (value.is_number()) {
        text = value.is_number_integer() ? std::to_string(value.get<long long>())
                                         : FormatShortest(value.get<double>());
        return true;
    }
    if (!value.is_string()) return false;
    text = value.get<std::string>();
    return true;
}

// A decimal option within [lowest, highest] (unit names it), as the command line checks it.
double DecimalOption(const nlohmann::json& value, double lowest, double highest, const char* unit) {
    std::string text;
    double number = 0.0;
    if (!OptionText(value, text) || !ParseDecimalReal(text.c_str(), number) || number < lowest ||
        number > highest)
        throw MeterError(Msg::kNotDecimalInRange, text.c_str(), unit,
                         FormatShortest(lowest).c_str(), FormatShortest(highest).c_str());
    return number;
}

// The meter's options of the interface's JSON (API.md); throws MeterError with the command
// line's words for a value it would refuse.
MeterOptions ParseOptions(const std::string& json) {
    constexpr long long kMostChannels = 1024;
    MeterOptions options;
    if (json.empty()) return options;
    const nlohmann::json o = nlohmann::json::parse(json, nullptr, false);
    if (o.is_null()) return options;
    if (!o.is_object()) throw MeterError(Msg::kWebOptionsRefused, json.c_str());
    std::string text;
    if (o.contains("channel") && !o["channel"].is_null()) {
        unsigned long long channel = 0;
        if (!OptionText(o["channel"], text) ||
            !ParseDecimalWhole(text.c_str(), kMostChannels, channel) || channel < 1)
            throw MeterError(Msg::kNotWholeNumberInRange, text.c_str(), 1LL, kMostChannels);
        options.channel = static_cast<int>(channel);
    }
    if (o.contains("carrier") && !o["carrier"].is_null())
        options.carrierHz = DecimalOption(o["carrier"], kMinCarrierHz, kMaxCarrierHz, "Hz");
    if (o.contains("window") && !o["window"].is_null())
        options.windowSeconds = DecimalOption(o["window"], 1.0, kMaxWindowSeconds, "s");
    if (o.contains("rpm") && !o["rpm"].is_null()) {
        const bool none = o["rpm"].is_number() && o["rpm"].get<double>() == 0.0;
        if (!none) {
            const std::optional<double> rpm =
                OptionText(o["rpm"], text) ? ParsePlatterRpm(text) : std::nullopt;
            if (!rpm) throw MeterError(Msg::kRpmNotAllowed, text.c_str(), kPlatterRpmChoices);
            options.rpm = *rpm;
        }
    }
    return options;
}

// Writes bytes at path; throws MeterError (message `failure`: path, reason) when it cannot.
void WriteBytes(const std::string& bytes, const std::string& path, Msg failure) {
    FILE* file = std::fopen(path.c_str(), "wb");
    const bool written =
        file != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = file != nullptr && std::fclose(file) == 0;
    if (!written || !closed) {
        std::remove(path.c_str());
        throw MeterError(failure, path.c_str(), std::strerror(errno));
    }
}

// The drawing's ARGB32 pixels (premultiplied, native order) as RGBA bytes for ImageData.
void ToRgba(cairo_surface_t* surface, int width, int height, std::vector<unsigned char>& out) {
    cairo_surface_flush(surface);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    out.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * kRgbaBytes);
    unsigned char* o = out.data();
    for (int y = 0; y < height; ++y) {
        const auto* row =
            reinterpret_cast<const uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
        for (int x = 0; x < width; ++x) {
            const uint32_t p = row[x];
            const unsigned alpha = p >> 24;
            for (int shift : {16, 8, 0}) {
                const unsigned c = (p >> shift) & 0xFFu;
                *o++ = static_cast<unsigned char>(
                    alpha == 0 ? 0 : std::min(255u, (c * 255u + alpha / 2) / alpha));
            }
            *o++ = static_cast<unsigned char>(alpha);
        }
    }
}

}  // namespace

struct WebEngine::Live {
    int rate = 0;
    std::unique_ptr<Engine> engine;
    std::deque<TracePoint> trace;
    WindowSpectrum spectrum;
    EnvelopeBuilder speedErrors{1};
    SecondReading latest;
    double hold = std::numeric_limits<double>::quiet_NaN();
    // The audio, lost samples as silence, up to kMaxRecordSeconds.
    std::vector<float> recording;
    size_t recordLimit = 0;

    void Record(const float* samples, size_t count) {
        const size_t n = std::min(count, recordLimit - std::min(recordLimit, recording.size()));
        if (samples == nullptr)
            recording.insert(recording.end(), n, 0.0f);
        else
            recording.insert(recording.end(), samples, samples + n);
    }
};

WebEngine::WebEngine() = default;
WebEngine::~WebEngine() = default;

WebStatus WebEngine::Fail(WebStatus status, const std::string& why) {
    error_ = why;
    return status;
}

WebStatus WebEngine::MeasureFile(const std::string& path, const std::string& options) {
    live_.reset();
    result_.reset();
    readingsJson_.clear();
    seconds_.clear();
    path_ = path;
    mode_ = Mode::kFileFailed;
    try {
        options_ = ParseOptions(options);
    } catch (const MeterError& e) {
        return Fail(WebStatus::kUsage, e.what());
    }
    MeterOptions measuring = options_;
    measuring.progress = progress;
    measuring.onSecond = [this](const SecondReading& r) { seconds_.push_back(r); };
    try {
        return Measured(wobblemeter::MeasureFile(path, measuring), path);
    } catch (const std::bad_alloc&) {
        return Fail(WebStatus::kFailed, Text(Msg::kFileNotMeasured, QuotedName(path).c_str(),
                                             Text(Msg::kOutOfMemory).c_str()));
    } catch (const std::exception& e) {
        return Fail(WebStatus::kFailed,
                    Text(Msg::kFileNotMeasured, QuotedName(path).c_str(), e.what()));
    }
}

WebStatus WebEngine::Measured(MeterResult result, const std::string& path) {
    readingsJson_ = path.empty() ? FormatJson(result, "", kLiveDevice) : FormatJson(result, path);
    result_ = std::move(result);
    mode_ = path.empty() ? Mode::kLiveStopped : Mode::kFile;
    error_.clear();
    return WebStatus::kDone;
}

WebStatus WebEngine::Export(const std::string& kind, const std::string& path) {
    const bool live = mode_ == Mode::kLive || mode_ == Mode::kLiveStopped;
    try {
        if (kind == "wav") {
            if (!live_) return Fail(WebStatus::kFailed, Text(Msg::kNothingToRecord));
            WavWriter wav(path, live_->rate);
            wav.Write(live_->recording.data(), live_->recording.size());
            wav.Close();
            return WebStatus::kDone;
        }
        if (kind == "csv") {
            CsvLog log(path);
            for (const SecondReading& r : seconds_) log.Write(r);
            if (!log.Close())
                throw MeterError(Msg::kCannotWriteLog, path.c_str(), log.Error().c_str());
            return WebStatus::kDone;
        }
        if (!result_) return Fail(WebStatus::kFailed, Text(Msg::kWebNothingMeasured));
        const std::string title = live ? std::string(kLiveDevice) : path_;
        if (kind == "png" || kind == "svg") {
            const PlotFormat format = kind == "png" ? PlotFormat::kPng : PlotFormat::kSvg;
            WriteBytes(RenderPlot(*result_, title, format), path, Msg::kCannotWritePlot);
        } else if (kind == "json") {
            WriteBytes(readingsJson_, path, Msg::kCannotExportReadings);
        } else if (kind == "pdf") {
            ReportDetails details;
            details.file = live ? std::string() : path_;
            details.device = live ? kLiveDevice : "";
            details.when = ReportTime();
            details.version = "wobblemeter " WOBBLEGEN_VERSION_TEXT;
            WriteReport(*result_, details, path);
        } else {
            return Fail(WebStatus::kUsage, Text(Msg::kWebExportKind, kind.c_str()));
        }
    } catch (const std::exception& e) {
        return Fail(WebStatus::kFailed, e.what());
    }
    return WebStatus::kDone;
}

void WebEngine::OnSecond(const SecondReading& reading) {
    seconds_.push_back(reading);
    if (!live_) return;
    live_->speedErrors.Push(reading.speedErrorPercent);
}

WebStatus WebEngine::LiveStart(double sampleRate, const std::string& options) {
    live_.reset();
    result_.reset();
    readingsJson_.clear();
    seconds_.clear();
    path_.clear();
    mode_ = Mode::kIdle;
    const double rate = std::round(sampleRate);
    if (!(rate >= kMinSampleRate && rate <= kMaxSampleRate))
        return Fail(WebStatus::kUsage, Text(Msg::kRateOutsideRange, static_cast<int>(rate),
                                            kMinSampleRate, kMaxSampleRate));
    try {
        options_ = ParseOptions(options);
    } catch (const MeterError& e) {
        return Fail(WebStatus::kUsage, e.what());
    }
    auto live = std::make_unique<Live>();
    live->rate = static_cast<int>(rate);
    live->recordLimit = static_cast<size_t>(kMaxRecordSeconds * rate);
    MeterOptions measuring = options_;
    measuring.channel = 1;
    measuring.live = true;
    measuring.onSecond = [this](const SecondReading& r) { OnSecond(r); };
    Live* l = live.get();
    measuring.onTrace = [l](const TracePoint& p) {
        l->trace.push_back(p);
        while (l->trace.front().timeSeconds < p.timeSeconds - kSnapshotTraceSeconds)
            l->trace.pop_front();
    };
    measuring.onSpectrum = [l](const WindowSpectrum& s) { l->spectrum = s; };
    try {
        live->engine = std::make_unique<Engine>(live->rate, measuring);
    } catch (const std::exception& e) {
        return Fail(WebStatus::kFailed, e.what());
    }
    live_ = std::move(live);
    mode_ = Mode::kLive;
    error_.clear();
    return WebStatus::kDone;
}

WebStatus WebEngine::LivePush(const float* samples, long long count) {
    if (mode_ != Mode::kLive) return Fail(WebStatus::kUsage, Text(Msg::kWebNoLiveSession));
    if (count < 0 || (count > 0 && samples == nullptr)) return WebStatus::kUsage;
    Live& l = *live_;
    const auto n = static_cast<size_t>(count);
    try {
        // Runs of audio are measured and recorded; samples that are no audio count as lost,
        // as the other platforms count them.
        for (size_t first = 0; first < n;) {
            const auto audio = [](float v) {
                return std::isfinite(v) && std::fabs(v) <= kMaxSample;
            };
            const bool isAudio = audio(samples[first]);
            size_t end = first + 1;
            while (end < n && audio(samples[end]) == isAudio) ++end;
            if (isAudio) {
                l.engine->Push(samples + first, end - first);
                l.Record(samples + first, end - first);
            } else {
                l.engine->PushLost(static_cast<long long>(end - first));
                l.Record(nullptr, end - first);
            }
            first = end;
        }
        l.latest = l.engine->Latest();
    } catch (const std::exception& e) {
        return Fail(WebStatus::kFailed, e.what());
    }
    const SecondReading& r = l.latest;
    if (r.state == MeterState::kMeasuring && std::isfinite(r.weightedPeakPercent) &&
        !(r.weightedPeakPercent <= l.hold))
        l.hold = r.weightedPeakPercent;
    return WebStatus::kDone;
}

WebStatus WebEngine::LiveGap(long long missing) {
    if (mode_ != Mode::kLive) return Fail(WebStatus::kUsage, Text(Msg::kWebNoLiveSession));
    if (missing <= 0) return WebStatus::kDone;
    try {
        live_->engine->PushLost(missing);
        live_->Record(nullptr, static_cast<size_t>(missing));
    } catch (const std::exception& e) {
        return Fail(WebStatus::kFailed, e.what());
    }
    return WebStatus::kDone;
}

WebStatus WebEngine::LiveStop() {
    if (mode_ != Mode::kLive) return Fail(WebStatus::kUsage, Text(Msg::kWebNoLiveSession));
    mode_ = Mode::kLiveStopped;
    try {
        MeterResult result = live_->engine->Finish();
        result.channel = result.channels = 1;
        return Measured(std::move(result), "");
    } catch (const std::exception& e) {
        return Fail(WebStatus::kFailed, e.what());
    }
}

Display WebEngine::CurrentDisplay() const {
    const double barScale = kBarScales[kDefaultBarScale];
    switch (mode_) {
        case Mode::kIdle:
            return BlankDisplay(WindowState::kIdle, "", barScale);
        case Mode::kFile:
            return DisplayOfResult(*result_, path_, barScale);
        case Mode::kFileFailed: {
            Display d = BlankDisplay(WindowState::kError, path_, barScale);
            d.status = error_;
            return d;
        }
        case Mode::kLive:
        case Mode::kLiveStopped:
            break;
    }
    const Live& l = *live_;
    SessionSnapshot s;
    s.status = mode_ == Mode::kLive ? SessionStatus::kRunning : SessionStatus::kFinished;
    s.stopped = mode_ == Mode::kLiveStopped;
    s.source = kLiveDevice;
    s.sampleRate = l.rate;
    s.seconds = static_cast<double>(l.engine->Frames()) / l.rate;
    s.latest = l.latest;
    s.trace.assign(l.trace.begin(), l.trace.end());
    s.spectrum = l.spectrum;
    s.speedError = l.speedErrors.Read(0.0, 1.0, 1.0);
    s.overruns = l.engine->Overruns();
    s.lostFrames = l.engine->LostFrames();
    s.dropouts = l.engine->Dropouts();
    if (mode_ == Mode::kLive) return DisplayOfSnapshot(s, barScale, l.hold, options_.rpm);
    // Stopped, as the window shows it: the readings over what came (or why there are none),
    // after how long.
    Display d = result_ ? DisplayOfResult(*result_, LiveHeading(s), barScale)
                        : DisplayOfSnapshot(s, barScale, l.hold, options_.rpm);
    d.state = WindowState::kStopped;
    d.bar.holdPercent = l.hold;
    const std::string over =
        result_ ? Text(Msg::kReadingsOver, result_->measuredSeconds, result_->startSeconds)
                : Text(Msg::kSessionNoResult, kLiveDevice, error_.c_str());
    std::string status = Text(Msg::kStoppedAfter, ElapsedText(s.seconds).c_str(), over.c_str());
    if (result_) {
        status += kStatusSeparator;
        status += d.status;
    }
    d.status = status;
    return d;
}

std::string WebEngine::DisplayJson() const {
    const Display d = CurrentDisplay();
    nlohmann::ordered_json j;
    j["state"] = StateKey(d.state);
    j["state_name"] = StateName(d.state);
    j["heading"] = d.heading;
    j["status"] = d.status;
    const bool live = live_ != nullptr;
    j["sample_rate"] = live ? live_->rate : (result_ ? result_->sampleRate : 0);
    j["seconds"] = live ? static_cast<double>(live_->engine->Frames()) / live_->rate
                        : (result_ ? result_->durationSeconds : 0.0);
    j["overruns"] = live ? live_->engine->Overruns() : 0;
    j["lost_frames"] = live ? live_->engine->LostFrames() : 0;
    j["progress"] = Number(d.progress);
    nlohmann::ordered_json readings = nlohmann::ordered_json::array();
    for (const Readout& r : d.readouts) {
        nlohmann::ordered_json item;
        item["key"] = KeyOf(r.name);
        item["name"] = r.name;
        item["group"] = r.group;
        item["standard"] = r.standard;
        item["text"] = r.formed ? nlohmann::ordered_json(r.value) : nlohmann::ordered_json(nullptr);
        readings.push_back(item);
    }
    j["readings"] = readings;
    j["bar"] = {{"name", d.bar.name},
                {"value_percent", Number(d.bar.valuePercent)},
                {"scale_percent", Number(d.bar.scalePercent)},
                {"hold_percent", Number(d.bar.holdPercent)}};
    return j.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

const unsigned char* WebEngine::Render(int width, int height, double scale) {
    if (width < 1 || height < 1 || width > kMostPixels || height > kMostPixels ||
        !(scale > 0.0 && scale <= kMostPixels)) {
        error_ = Text(Msg::kWebPanelSize, width, height, kMostPixels);
        return nullptr;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_scale(cr, scale, scale);
    DrawInstrumentPanels(cr, CurrentDisplay(), width / scale, height / scale);
    const bool drawn = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    if (drawn) ToRgba(surface, width, height, pixels_);
    cairo_surface_destroy(surface);
    if (!drawn) {
        error_ = Text(Msg::kOutOfMemory);
        return nullptr;
    }
    return pixels_.data();
}

}  // namespace wobblemeter
