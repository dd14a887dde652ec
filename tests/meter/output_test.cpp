// The summary, the JSON object, the CSV forms and the plot of a measurement, and the per-second
// log as it is written.
#include <cairo.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "meter/meter.h"
#include "meter/output/csv_log.h"
#include "meter/output/plot.h"
#include "meter/output/report.h"
#include "meter/output/service_report.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

MeterResult Sample() {
    MeterResult r;
    r.sampleRate = 44100;
    r.channels = 1;
    r.channel = 1;
    r.durationSeconds = 30.0;
    r.measuredSeconds = 26.98;
    r.carrierHz = 3150.25;
    r.nominalHz = 3150.0;
    r.speedErrorPercent = 0.0079365;
    r.weightedPeakPercent = 0.0997;
    r.unweightedPeakPercent = 0.0996;
    r.weightedRmsPercent = 0.0707;
    r.unweightedRmsPercent = 0.0706;
    r.weightedQuasiPeakPercent = 0.1001;
    r.wowRmsPercent = 0.0501;
    r.flutterRmsPercent = 0.0499;
    r.driftPercent = 0.0123;
    r.speedErrorLowPercent = -0.004;
    r.speedErrorHighPercent = 0.0083;
    r.modulationHz = 4.0;
    r.lines = {{4.0, 0.099}};
    return r;
}

// The sample as a record on a turntable at 33 1/3 rpm, swinging once per revolution.
MeterResult Platter() {
    MeterResult r = Sample();
    r.revolution.rpm = 100.0 / 3.0;
    r.revolution.rotationHz = 0.5556;
    r.revolution.revolutions = 15.0;
    r.revolution.oncePercent = 0.08;
    r.revolution.onceAngle = std::numbers::pi / 2.0;
    r.revolution.remainingRmsPercent = 0.021;
    r.lines = {{0.5556, 0.08, 1}, {4.0, 0.05, 0}, {1.1112, 0.01, 2}};
    return r;
}

TEST(MeterJson, HoldsEveryReadingUnderItsKeyInTheDocumentedOrder) {
    const std::string text = FormatJson(Sample(), "take \"1\".wav");
    ASSERT_EQ(text.back(), '\n');
    const auto json = nlohmann::ordered_json::parse(text);
    std::vector<std::string> keys;
    for (const auto& item : json.items()) keys.push_back(item.key());
    EXPECT_EQ(keys, (std::vector<std::string>{"file",
                                              "sample_rate",
                                              "channel",
                                              "carrier_hz",
                                              "nominal_hz",
                                              "speed_error_percent",
                                              "weighted_peak_percent",
                                              "unweighted_peak_percent",
                                              "weighted_quasi_peak_percent",
                                              "weighted_rms_percent",
                                              "unweighted_rms_percent",
                                              "wow_rms_percent",
                                              "flutter_rms_percent",
                                              "drift_percent",
                                              "speed_error_range_percent",
                                              "modulation_hz",
                                              "rpm",
                                              "once_per_revolution_percent",
                                              "remaining_rms_percent",
                                              "duration_s",
                                              "measured_s",
                                              "start_s",
                                              "dropouts",
                                              "overruns",
                                              "lost_frames",
                                              "lines"}));
    EXPECT_EQ(json["file"], "take \"1\".wav");
    EXPECT_EQ(json["sample_rate"], 44100);
    EXPECT_EQ(json["carrier_hz"], 3150.25);
    EXPECT_EQ(json["nominal_hz"], 3150.0);
    EXPECT_EQ(json["speed_error_percent"], 0.0079365);
    EXPECT_EQ(json["weighted_peak_percent"], 0.0997);
    EXPECT_EQ(json["unweighted_peak_percent"], 0.0996);
    EXPECT_EQ(json["weighted_rms_percent"], 0.0707);
    EXPECT_EQ(json["unweighted_rms_percent"], 0.0706);
    EXPECT_EQ(json["weighted_quasi_peak_percent"], 0.1001);
    EXPECT_EQ(json["wow_rms_percent"], 0.0501);
    EXPECT_EQ(json["flutter_rms_percent"], 0.0499);
    EXPECT_EQ(json["drift_percent"], 0.0123);
    EXPECT_EQ(json["speed_error_range_percent"], nlohmann::ordered_json::parse("[-0.004, 0.0083]"));
    EXPECT_TRUE(json["rpm"].is_null());
    EXPECT_TRUE(json["once_per_revolution_percent"].is_null());
    EXPECT_EQ(json["modulation_hz"], 4.0);
    EXPECT_EQ(json["duration_s"], 30.0);
    EXPECT_EQ(json["measured_s"], 26.98);
    EXPECT_EQ(json["lines"], nlohmann::ordered_json::parse(R"([{"hz": 4, "percent": 0.099}])"));
}

TEST(MeterJson, ALiveSessionNamesItsDeviceAndItsRecordingAndCountsItsLostInput) {
    MeterResult r = Sample();
    r.overruns = 2;
    r.lostFrames = 1234;
    const auto live = nlohmann::ordered_json::parse(FormatJson(r, "", "hw:1,0"));
    EXPECT_TRUE(live["file"].is_null());
    EXPECT_EQ(live["device"], "hw:1,0");
    EXPECT_EQ(live["overruns"], 2);
    EXPECT_EQ(live["lost_frames"], 1234);
    EXPECT_EQ(nlohmann::ordered_json::parse(FormatJson(r, "take.wav", "hw:1,0"))["file"],
              "take.wav");
    const std::string text = FormatSummary(r, "take.wav", "hw:1,0");
    EXPECT_NE(text.find("Device:              'hw:1,0', channel 1\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Recorded:            take.wav\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Lost input:          1234 frames in 2 overrun(s), bridged\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("File:"), std::string::npos) << text;
    EXPECT_NE(FormatSummary(Sample(), "take.wav").find("Lost input:          none\n"),
              std::string::npos);
}

TEST(MeterJson, ReadingsKeepSevenSignificantDigitsAndNullForWhatTheyCannotHold) {
    MeterResult r = Sample();
    r.weightedPeakPercent = 0.996922187654321;
    r.modulationHz = std::numeric_limits<double>::quiet_NaN();
    r.speedErrorPercent = std::numeric_limits<double>::infinity();
    const std::string text = FormatJson(r, "x");
    EXPECT_NE(text.find("\"weighted_peak_percent\":0.9969222,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"modulation_hz\":null,"), std::string::npos) << text;
    EXPECT_NE(text.find("\"speed_error_percent\":null,"), std::string::npos) << text;
}

TEST(MeterJson, PlatterSpeedAddsTheRevolutionFiguresAndNamesTheLines) {
    const auto json = nlohmann::ordered_json::parse(FormatJson(Platter(), "record.wav"));
    EXPECT_NEAR(json["rpm"].get<double>(), 33.33333, 1e-5);
    EXPECT_EQ(json["once_per_revolution_percent"], 0.08);
    EXPECT_EQ(json["remaining_rms_percent"], 0.021);
    EXPECT_EQ(json["lines"], nlohmann::ordered_json::parse(R"([
        {"hz": 0.5556, "percent": 0.08, "revolution_harmonic": 1},
        {"hz": 4, "percent": 0.05, "revolution_harmonic": null},
        {"hz": 1.1112, "percent": 0.01, "revolution_harmonic": 2}])"));
    // Without a drift reading nor a nominal, the range is null, not a pair of nulls.
    MeterResult r = Sample();
    r.speedErrorLowPercent = r.speedErrorHighPercent = kNoReading;
    EXPECT_TRUE(
        nlohmann::ordered_json::parse(FormatJson(r, "x"))["speed_error_range_percent"].is_null());
}

// Splits a CSV row, honouring quoted fields.
std::vector<std::string> CsvFields(const std::string& row) {
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < row.size(); ++i) {
        const char c = row[i];
        if (quoted && c == '"' && i + 1 < row.size() && row[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

TEST(MeterCsv, RowsMatchTheHeaderNameFirstAndFailuresCarryTheirError) {
    const std::vector<std::string> header = CsvFields(CsvHeader());
    ASSERT_GE(header.size(), 20u);
    EXPECT_EQ(header.front(), "file");
    EXPECT_EQ(header.back(), "error");
    const std::vector<std::string> row = CsvFields(CsvRow(Sample(), "take, \"one\".wav"));
    ASSERT_EQ(row.size(), header.size());
    auto column = [&](const std::string& key) {
        const auto at = std::find(header.begin(), header.end(), key);
        return at == header.end() ? std::string("missing")
                                  : row[static_cast<size_t>(at - header.begin())];
    };
    EXPECT_EQ(row.front(), "take, \"one\".wav");
    EXPECT_EQ(column("weighted_peak_percent"), "0.0997");
    EXPECT_EQ(column("weighted_quasi_peak_percent"), "0.1001");
    EXPECT_EQ(column("wow_rms_percent"), "0.0501");
    EXPECT_EQ(column("flutter_rms_percent"), "0.0499");
    EXPECT_EQ(column("drift_percent"), "0.0123");
    EXPECT_EQ(column("speed_error_low_percent"), "-0.004");
    EXPECT_EQ(column("speed_error_high_percent"), "0.0083");
    EXPECT_EQ(column("sample_rate"), "44100");
    EXPECT_EQ(column("once_per_revolution_percent"), "");
    EXPECT_EQ(column("error"), "");

    const std::vector<std::string> failed =
        CsvFields(CsvFailureRow("cut.wav", "the file is truncated: 3 bytes, of it"));
    ASSERT_EQ(failed.size(), header.size());
    EXPECT_EQ(failed.front(), "cut.wav");
    EXPECT_EQ(failed.back(), "the file is truncated: 3 bytes, of it");
    EXPECT_EQ(failed[3], "");
}

// The log along a tape, read from outside while it is still open, as after a kill -9: every
// finished second is in the file, whole, as soon as it is written.
TEST(CsvLog, EverySecondWrittenIsInTheFileWholeWhileTheLogIsOpen) {
    wobblemeter_test::ScratchDir dir;
    const std::string path = dir.Path("take.csv");
    CsvLog log(path);
    std::vector<std::string> expected = {kCsvHeader};
    auto linesOnDisk = [&path] {
        std::ifstream in(path);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    };
    EXPECT_EQ(linesOnDisk(), expected);
    for (int second = 0; second < 3; ++second) {
        SecondReading r;
        r.timeSeconds = second;
        r.state = MeterState::kMeasuring;
        r.tonePresent = true;
        r.carrierHz = 3150.25;
        r.weightedPeakPercent = 0.0997;
        log.Write(r);
        expected.push_back(CsvRow(r));
        EXPECT_EQ(linesOnDisk(), expected) << "after the row of second " << second;
    }
    EXPECT_TRUE(log.Close()) << log.Error();
}

// A log whose first line cannot be written (a full disk) is refused with the system's reason
// and keeps no descriptor open: a window that tries again and again runs out of none.
TEST(CsvLog, ALogWhoseHeaderCannotBeWrittenIsRefusedAndLeavesNoDescriptorOpen) {
    auto OpenDescriptors = [] {
        const std::filesystem::directory_iterator fds("/proc/self/fd");
        return std::distance(std::filesystem::begin(fds), std::filesystem::end(fds));
    };
    const auto before = OpenDescriptors();
    for (int attempt = 0; attempt < 3; ++attempt) {
        try {
            CsvLog log("/dev/full");
            ADD_FAILURE() << "a log on /dev/full was made";
        } catch (const MeterError& e) {
            EXPECT_STREQ(e.what(), "cannot write the log /dev/full: No space left on device");
        }
    }
    EXPECT_EQ(OpenDescriptors(), before);
}

// A log into a FIFO (another program reading it as it grows) is checked without opening it:
// the reader would take the check's open and close for the whole log, and see nothing.
TEST(CsvLog, AFifosReaderGetsTheWholeLogAfterItIsChecked) {
    wobblemeter_test::ScratchDir dir;
    const std::string path = dir.Path("pipe");
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0) << std::strerror(errno);
    // Each opening's text until its end; a second opening where the first brought nothing, so
    // that the log's own opening never waits for a reader that has gone.
    std::vector<std::string> reads;
    std::thread reader([&path, &reads] {
        for (int opening = 0; opening < 2; ++opening) {
            std::ifstream in(path);
            reads.emplace_back(std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>());
            if (!reads.back().empty()) break;
        }
    });
    SecondReading r;
    r.timeSeconds = 1;
    {
        CsvLog::CheckWritable(path);
        // The check comes before the input is opened, the log once it is.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        CsvLog log(path);
        log.Write(r);
        EXPECT_TRUE(log.Close()) << log.Error();
    }
    reader.join();
    EXPECT_EQ(reads, std::vector<std::string>{std::string(kCsvHeader) + "\n" + CsvRow(r) + "\n"});
}

TEST(MeterSummary, PlatterSpeedShowsTheRevolutionAndNamesTheLines) {
    const std::string text = FormatSummary(Platter(), "record.wav");
    EXPECT_NE(text.find("Platter:             33 1/3 rpm (0.5556 Hz at the speed measured), 15.0 "
                        "revolutions read"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Once per revolution: 0.0800 % (peak, at 90 degrees of the fold)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Remaining:           0.0210 % RMS"), std::string::npos) << text;
    EXPECT_NE(text.find("0.556 Hz (0.08 %, once per revolution), 4 Hz (0.05 %), 1.11 Hz (0.01 %, "
                        "twice per revolution)"),
              std::string::npos)
        << text;
    EXPECT_EQ(FormatSummary(Sample(), "x").find("Platter"), std::string::npos);
}

TEST(MeterSummary, NamesEachReadingWithItsValue) {
    const std::string text = FormatSummary(Sample(), "take.wav");
    for (const char* line : {"Weighted quasi-peak: 0.1001 % (zero-to-peak",
                             "Wow RMS:             0.0501 % (weighted, below 4 Hz)",
                             "Flutter RMS:         0.0499 % (weighted, above 4 Hz)",
                             "Drift:               0.0123 % peak-to-peak below 0.5 Hz (speed error "
                             "-0.004 % to +0.008 %)"})
        EXPECT_NE(text.find(line), std::string::npos) << line << "\n" << text;
    EXPECT_NE(text.find("Carrier:             3150.250 Hz (nominal 3150 Hz, speed error +0.008 %)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Weighted peak:       0.0997 %"), std::string::npos) << text;
    EXPECT_NE(text.find("Weighted RMS:        0.0707 %"), std::string::npos) << text;
}

TEST(MeterSummary, SpeedErrorThatRoundsToZeroHasNoMinusSign) {
    MeterResult r = Sample();
    r.speedErrorPercent = -3.7e-6;
    EXPECT_EQ(FormatSpeedError(r), "+0.000 %");
    r.speedErrorPercent = -0.0006;
    EXPECT_EQ(FormatSpeedError(r), "-0.001 %");
    r.speedErrorPercent = 0.0079365;
    EXPECT_EQ(FormatSpeedError(r), "+0.008 %");
}

TEST(MeterSummary, SaysWhenThereIsNoModulation) {
    MeterResult r = Sample();
    r.modulationHz = std::numeric_limits<double>::quiet_NaN();
    r.lines.clear();
    const std::string text = FormatSummary(r, "take.wav");
    EXPECT_NE(text.find("Modulation:          none"), std::string::npos) << text;
    EXPECT_NE(FormatJson(r, "take.wav").find("\"lines\":[]"), std::string::npos);
}

// The spectrum's largest lines are listed from two of them on; one alone is the modulation
// line already (without a platter speed, which names it as a harmonic).
TEST(MeterSummary, ListsTheLargestLinesFromTwoOfThemOn) {
    MeterResult r = Sample();
    r.lines = {{4.0, 0.099}, {12.0, 0.02}};
    EXPECT_NE(
        FormatSummary(r, "take.wav").find("Largest lines:       4 Hz (0.099 %), 12 Hz (0.02 %)"),
        std::string::npos)
        << FormatSummary(r, "take.wav");
    r.lines.resize(1);
    EXPECT_EQ(FormatSummary(r, "take.wav").find("Largest lines:"), std::string::npos);
}

TEST(MeterSummary, SpeedErrorWithoutNominalIsUnknownInBothForms) {
    MeterResult r = Sample();
    r.carrierHz = 1000.0;
    r.nominalHz = std::numeric_limits<double>::quiet_NaN();
    r.speedErrorPercent = std::numeric_limits<double>::quiet_NaN();
    const std::string text = FormatSummary(r, "take.wav");
    EXPECT_NE(text.find("Carrier:             1000.000 Hz (nominal and speed error unknown (give "
                        "--nominal))"),
              std::string::npos)
        << text;
    const std::string json = FormatJson(r, "take.wav");
    EXPECT_NE(json.find("\"nominal_hz\":null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"speed_error_percent\":null"), std::string::npos) << json;
}

std::string Contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(MeterPlot, WritesPngOrSvgByExtensionAndReportsAFailedWrite) {
    wobblemeter_test::ScratchDir dir;
    const std::string tone = dir.Path("tone.wav");
    wobblemeter_test::WriteTone(tone, 44100, 3150.0, 0.2, 4.0, 10.0);
    const MeterResult r = MeasureFile(tone, {});
    WritePlot(r, "tone.wav", dir.Path("plot.png"));
    EXPECT_EQ(Contents(dir.Path("plot.png")).substr(0, 8), "\x89PNG\r\n\x1a\n");
    WritePlot(r, "tone.wav", dir.Path("plot.SVG"));
    EXPECT_NE(Contents(dir.Path("plot.SVG")).substr(0, 200).find("<svg"), std::string::npos);
    EXPECT_THROW(WritePlot(r, "tone.wav", dir.Path("no/such/dir/plot.png")), MeterError);
    // A plot onto a full disk (a link to /dev/full) is refused with the system's reason.
    const std::string full = dir.Path("full.png");
    std::filesystem::create_symlink("/dev/full", full);
    try {
        WritePlot(r, "tone.wav", full);
        ADD_FAILURE() << "a plot on /dev/full was written";
    } catch (const MeterError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "cannot write the plot " + full + ": No space left on device");
    }
}

// cairo counts its surfaces per process: the SVG of a plot drawn after other drawings (as the
// window draws it) is byte for byte the one drawn first (as the command line draws it).
TEST(MeterPlot, SvgIsTheSameBytesHoweverManySurfacesCameBefore) {
    wobblemeter_test::ScratchDir dir;
    const std::string tone = dir.Path("tone.wav");
    wobblemeter_test::WriteTone(tone, 44100, 3150.0, 0.2, 4.0, 10.0);
    const MeterResult r = MeasureFile(tone, {});
    const std::string first = RenderPlot(r, "tone.wav", PlotFormat::kSvg);
    for (int i = 0; i < 3; ++i)
        cairo_surface_destroy(cairo_image_surface_create(CAIRO_FORMAT_RGB24, 4, 4));
    RenderPlot(r, "tone.wav", PlotFormat::kPng);
    EXPECT_EQ(RenderPlot(r, "tone.wav", PlotFormat::kSvg), first);
    EXPECT_NE(first.find("id=\"surface1\""), std::string::npos);
}

// A PNG decoded back into pixels, 0xRRGGBB each.
struct Pixels {
    int width = 0, height = 0;
    std::vector<std::uint32_t> rgb;
    std::uint32_t At(int x, int y) const {
        return rgb[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
    }
};

Pixels DecodePng(const std::string& png) {
    struct Reader {
        const std::string& bytes;
        size_t at;
    } reader{png, 0};
    cairo_surface_t* surface = cairo_image_surface_create_from_png_stream(
        [](void* closure, unsigned char* data, unsigned int length) {
            auto* r = static_cast<Reader*>(closure);
            if (r->bytes.size() - r->at < length) return CAIRO_STATUS_READ_ERROR;
            std::memcpy(data, r->bytes.data() + r->at, length);
            r->at += length;
            return CAIRO_STATUS_SUCCESS;
        },
        &reader);
    Pixels p;
    if (cairo_surface_status(surface) == CAIRO_STATUS_SUCCESS) {
        p.width = cairo_image_surface_get_width(surface);
        p.height = cairo_image_surface_get_height(surface);
        const int stride = cairo_image_surface_get_stride(surface);
        const unsigned char* data = cairo_image_surface_get_data(surface);
        for (int y = 0; y < p.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(data + y * stride);
            for (int x = 0; x < p.width; ++x) p.rgb.push_back(row[x] & 0xffffffu);
        }
    }
    cairo_surface_destroy(surface);
    return p;
}

// The weighted trace's orange red over the unweighted's light blue: red strong, blue weak.
bool IsWeightedTrace(std::uint32_t rgb) {
    const std::uint32_t red = rgb >> 16, green = (rgb >> 8) & 0xffu, blue = rgb & 0xffu;
    return red > 160 && green < 130 && blue < 100;
}

// The sample result with no two-sigma levels and both traces 890 stretches of 1/32 s, one per
// pixel column of the deviation's box, each stretch's value (lowest and highest) given.
MeterResult WithTraces(const std::function<float(int stretch)>& value) {
    MeterResult r = Sample();
    r.weightedPeakPercent = r.unweightedPeakPercent = 0.0;
    Envelope e;
    e.startSeconds = 0.0;
    e.stretchSeconds = 1.0 / 32.0;
    for (int i = 0; i < 890; ++i) {
        e.low.push_back(value(i));
        e.high.push_back(value(i));
    }
    r.weighted = r.unweighted = e;
    return r;
}

TEST(MeterPlot, PngShowsTheDeviationWhenAndWhereItHappenedUnbroken) {
    // 890 stretches of 1/32 s, one per pixel column of the deviation's box (x from 80; y from
    // 45 over 280 pixels, zero at 185): -0.05 %, raised to +0.05 % for stretches 224 to 287
    // (7 to 9 s). The steps between neighbouring columns must still be drawn.
    const MeterResult r = WithTraces([](int i) { return i >= 224 && i < 288 ? 0.05f : -0.05f; });
    const Pixels plot = DecodePng(RenderPlot(r, "take.wav", PlotFormat::kPng));
    ASSERT_EQ(plot.width, 1000);
    ASSERT_EQ(plot.height, 720);
    // The background, to every edge and corner of the image.
    for (const auto& [x, y] : {std::pair{0, 0}, std::pair{3, 3}, std::pair{0, 719},
                               std::pair{999, 0}, std::pair{999, 719}, std::pair{0, 400}})
        EXPECT_EQ(plot.At(x, y), 0xffffffu) << x << ", " << y;

    // Columns left of the legend (at the right) with the trace above and below zero.
    std::vector<int> raised, lowered;
    for (int x = 81; x < 700; ++x) {
        bool above = false, below = false;
        for (int y = 46; y < 324; ++y) {
            if (IsWeightedTrace(plot.At(x, y))) (y < 185 ? above : below) = true;
        }
        if (above) raised.push_back(x);
        if (below) lowered.push_back(x);
    }
    ASSERT_FALSE(raised.empty());
    EXPECT_EQ(raised.front(), 80 + 224);
    EXPECT_EQ(raised.back(), 80 + 288);  // the step down, drawn in the next column
    EXPECT_EQ(raised.back() - raised.front() + 1, static_cast<int>(raised.size()));
    // Below zero everywhere else, and in the two columns of the steps.
    EXPECT_EQ(lowered.size(), 619u - 63u);
}

// A column joins its trace to the column before it, also where a drop-out lies just before:
// after one stretch missing (400), one at -0.05 % and then +0.05 % from the next on, the step
// between them is drawn as one unbroken line across zero (geometry as above).
TEST(MeterPlot, AStepJustAfterADropOutIsDrawnUnbroken) {
    const MeterResult r = WithTraces([](int i) {
        return i == 400 ? NAN : i < 402 ? -0.05f : 0.05f;
    });
    const Pixels plot = DecodePng(RenderPlot(r, "take.wav", PlotFormat::kPng));
    // The step's column: the trace from below zero to above it, without a gap.
    std::vector<int> rows;
    for (int y = 46; y < 324; ++y)
        if (IsWeightedTrace(plot.At(80 + 402, y))) rows.push_back(y);
    ASSERT_FALSE(rows.empty());
    EXPECT_LT(rows.front(), 185);
    EXPECT_GT(rows.back(), 185);
    // Unbroken but for the zero line drawn across it.
    EXPECT_GE(static_cast<int>(rows.size()), rows.back() - rows.front() + 1 - 3)
        << rows.front() << " to " << rows.back();
}

TEST(MeterPlot, TheTwoSigmaLevelsAreDashedEitherSideOfZeroInTheirColours) {
    // No traces; levels 0.1 % unweighted and 0.05 % weighted: the scale is +-0.15 % over the
    // box's 280 pixels from y 45 (zero at 185), so the levels lie 93.3 and 46.7 pixels from it.
    MeterResult r = Sample();
    r.unweightedPeakPercent = 0.1;
    r.weightedPeakPercent = 0.05;
    const Pixels plot = DecodePng(RenderPlot(r, "take.wav", PlotFormat::kPng));
    auto IsUnweightedLevel = [](std::uint32_t rgb) {
        return (rgb >> 16) < 110 && (rgb & 0xffu) > 170;
    };
    // Rows of the box (left of the legend) that a dashed line of either colour crosses:
    // more than a third of the columns, as a dash of 6 pixels in 10 does.
    std::vector<int> weighted, unweighted;
    for (int y = 46; y < 324; ++y) {
        int w = 0, u = 0;
        for (int x = 100; x < 700; ++x) {
            w += IsWeightedTrace(plot.At(x, y)) ? 1 : 0;
            u += IsUnweightedLevel(plot.At(x, y)) ? 1 : 0;
        }
        if (w > 200) weighted.push_back(y);
        if (u > 200) unweighted.push_back(y);
    }
    EXPECT_EQ(unweighted, (std::vector<int>{91, 278}));
    EXPECT_EQ(weighted, (std::vector<int>{138, 231}));
}

TEST(MeterPlot, PlatterSpeedAddsThePolarPanelWithThePeakAtItsAngleClockwise) {
    // A swing of 0.08 % peaking at 90 degrees of the fold: on the chart (angle 0 at the top,
    // clockwise as the platter turns, 0 % on the middle ring, the outer ring the scale's limit
    // of 0.1 %) its peak lies right of the centre, its trough close to the centre on the left.
    MeterResult r = Platter();
    constexpr int kBins = 72;
    for (int k = 0; k < kBins; ++k) {
        const double angle = 2.0 * std::numbers::pi * (k + 0.5) / kBins;
        r.revolution.meanPercent.push_back(0.08 * std::cos(angle - std::numbers::pi / 2.0));
        r.revolution.remainderPercent.push_back(0.0);
    }
    const Pixels plot = DecodePng(RenderPlot(r, "record.wav", PlotFormat::kPng));
    const Pixels plain = DecodePng(RenderPlot(Sample(), "record.wav", PlotFormat::kPng));
    ASSERT_EQ(plot.width, plain.width);
    ASSERT_GT(plot.height, plain.height + 300);

    // The chart is square, at the panel's left edge below the spectrum; its rings span the
    // panel's height less their labels' margin.
    const int top = plain.height, left = 80;
    const int size = plot.height - 20 - top;
    const int cx = left + size / 2, cy = top + size / 2;
    const double radius = size / 2.0 - 28.0;
    auto isMean = [](std::uint32_t rgb) {  // the mean's blue, 26, 77, 204
        const std::uint32_t green = (rgb >> 8) & 0xffu;
        return (rgb & 0xffu) > 150 && ((rgb >> 16) & 0xffu) < 90 && green > 50 && green < 110;
    };
    auto isPeak = [](std::uint32_t rgb) {
        return ((rgb >> 16) & 0xffu) > 140 && ((rgb >> 8) & 0xffu) < 60 && (rgb & 0xffu) < 40;
    };
    std::vector<int> mean, peak;
    for (int x = left; x < left + size; ++x) {
        if (isMean(plot.At(x, cy))) mean.push_back(x - cx);
        if (isPeak(plot.At(x, cy))) peak.push_back(x - cx);
    }
    ASSERT_FALSE(mean.empty());
    ASSERT_FALSE(peak.empty());
    const double outer = radius / 2.0 * 1.8, inner = radius / 2.0 * 0.2;
    EXPECT_NEAR(mean.front(), -inner, 3.0);                       // the trough, on the left
    EXPECT_NEAR((peak.front() + peak.back()) / 2.0, outer, 3.0);  // the peak's mark
    EXPECT_LT(*std::max_element(mean.begin(), mean.end()), outer + 6.0);
}

TEST(MeterPlot, ThePanelOfTheSpeedErrorShowsItSecondBySecondAlongTheWholeInput) {
    // 20 s: no tone for the first 2 s, then +0.01 % until 12 s and -0.01 % after. The panel
    // (x from 80 over 890 pixels: 44.5 a second; y from 720 over 190, zero at 815) has its
    // scale at +-0.015 %.
    MeterResult r = Sample();
    r.durationSeconds = 20.0;
    r.startSeconds = 5.0;
    r.measuredSeconds = 7.0;
    r.speedErrorPercent = 0.01;
    r.speedError.startSeconds = 0.0;
    r.speedError.stretchSeconds = 1.0;
    for (int s = 0; s < 20; ++s) {
        const float v = s < 2 ? NAN : s < 12 ? 0.01f : -0.01f;
        r.speedError.low.push_back(v);
        r.speedError.high.push_back(v);
    }
    const Pixels plot = DecodePng(RenderPlot(r, "take.wav", PlotFormat::kPng));
    ASSERT_EQ(plot.width, 1000);
    ASSERT_GT(plot.height, 720 + 190);
    // The trace's green: the rows it lies in, in a column of each part.
    auto rowsOfTrace = [&plot](int x) {
        std::vector<int> rows;
        for (int y = 721; y < 909; ++y) {
            const std::uint32_t rgb = plot.At(x, y);
            const std::uint32_t red = rgb >> 16, green = (rgb >> 8) & 0xffu, blue = rgb & 0xffu;
            if (green > 90 && green < 140 && red < 80 && blue < 60) rows.push_back(y);
        }
        return rows;
    };
    EXPECT_TRUE(rowsOfTrace(80 + 44).empty());  // 1 s: no tone
    const std::vector<int> fast = rowsOfTrace(80 + 7 * 44), slow = rowsOfTrace(80 + 16 * 44);
    ASSERT_FALSE(fast.empty());
    ASSERT_FALSE(slow.empty());
    // +0.01 % of +-0.015 % lies a third of the half-height above zero, -0.01 % as far below.
    EXPECT_NEAR(fast.front(), 815 - 0.01 / 0.015 * 95, 2);
    EXPECT_NEAR(slow.front(), 815 + 0.01 / 0.015 * 95, 2);
    // The scale's "0" beside zero, in the 11-pixel type of the axes: its ink 8 pixels tall, give
    // or take the hinting (the next labels lie 32 pixels above and below).
    int top = 0, bottom = -1;
    for (int y = 800; y < 831; ++y) {
        for (int x = 30; x < 79; ++x) {
            const std::uint32_t rgb = plot.At(x, y);
            if ((rgb >> 16) < 128 && ((rgb >> 8) & 0xffu) < 128 && (rgb & 0xffu) < 128) {
                if (bottom < 0) top = y;
                bottom = y;
            }
        }
    }
    EXPECT_GE(bottom - top + 1, 7) << "from " << top << " to " << bottom;
    EXPECT_LE(bottom - top + 1, 9) << "from " << top << " to " << bottom;

    // Without a nominal there is no speed error, and no panel.
    r.speedError = {};
    EXPECT_EQ(DecodePng(RenderPlot(r, "take.wav", PlotFormat::kPng)).height, 720);
}

TEST(ReportPaper, LetterForTheAmericasThatUseItAndThePhilippinesA4ForEveryOtherName) {
    for (const char* letter :
         {"en_US.UTF-8", "en_US", "fr_CA.utf8", "es_MX@euro", "fil_PH", "es_CO"})
        EXPECT_EQ(PaperOfLocale(letter), Paper::kLetter) << letter;
    for (const char* a4 : {"en_GB.UTF-8", "de_DE@euro", "pt_BR.UTF-8", "en_AU", "C", "POSIX",
                           "C.UTF-8", "", "en_USA", "en_us", "US"})
        EXPECT_EQ(PaperOfLocale(a4), Paper::kA4) << a4;
}

// The environment's locale variables set for a test and put back after it.
class LocaleVariables : public ::testing::Test {
protected:
    void SetUp() override {
        for (const char* name : kNames) {
            const char* value = std::getenv(name);
            saved_.emplace_back(value != nullptr, value != nullptr ? value : "");
        }
    }
    void TearDown() override {
        for (size_t i = 0; i < kNames.size(); ++i) {
            if (saved_[i].first)
                setenv(kNames[i], saved_[i].second.c_str(), 1);
            else
                unsetenv(kNames[i]);
        }
    }
    static void Set(const char* all, const char* paper, const char* lang) {
        const std::array<const char*, 3> values = {all, paper, lang};
        for (size_t i = 0; i < kNames.size(); ++i) {
            if (values[i] != nullptr)
                setenv(kNames[i], values[i], 1);
            else
                unsetenv(kNames[i]);
        }
    }
    static constexpr std::array<const char*, 3> kNames = {"LC_ALL", "LC_PAPER", "LANG"};

private:
    std::vector<std::pair<bool, std::string>> saved_;
};

TEST_F(LocaleVariables, LcAllThenLcPaperThenLangTheFirstNotEmptyDecides) {
    Set("de_DE.UTF-8", "en_US.UTF-8", "en_US.UTF-8");
    EXPECT_EQ(PaperFromEnvironment(), Paper::kA4);
    Set("", "en_US.UTF-8", "de_DE");
    EXPECT_EQ(PaperFromEnvironment(), Paper::kLetter);
    Set(nullptr, "", "en_CA.UTF-8");
    EXPECT_EQ(PaperFromEnvironment(), Paper::kLetter);
    Set(nullptr, "de_DE", "en_CA.UTF-8");
    EXPECT_EQ(PaperFromEnvironment(), Paper::kA4);
    Set(nullptr, nullptr, nullptr);
    EXPECT_EQ(PaperFromEnvironment(), Paper::kA4);
}

TEST(ReportNames, PaperIsA4OrLetterInAnyCaseAndTheNameEndsInPdf) {
    Paper paper = Paper::kA4;
    EXPECT_TRUE(ParsePaper("Letter", paper));
    EXPECT_EQ(paper, Paper::kLetter);
    EXPECT_TRUE(ParsePaper("A4", paper));
    EXPECT_EQ(paper, Paper::kA4);
    EXPECT_FALSE(ParsePaper("a5", paper));
    EXPECT_FALSE(ParsePaper("", paper));
    for (const char* name : {"r.pdf", "R.PDF", "dir.x/r.Pdf"}) EXPECT_TRUE(IsReportName(name));
    for (const char* name : {"", "pdf", ".pdf", "r.pdf.txt", "r.pd", "r.png", "rpdf"})
        EXPECT_FALSE(IsReportName(name)) << name;
}

TEST(ReportFigures, AtLeastThreeSignificantDigitsAndTheDecimalsAsked) {
    EXPECT_EQ(SignificantPercent(0.0004217), "0.000422");
    EXPECT_EQ(SignificantPercent(0.1403254), "0.1403");
    EXPECT_EQ(SignificantPercent(0.0501), "0.0501");
    EXPECT_EQ(SignificantPercent(0.00999), "0.00999");
    EXPECT_EQ(SignificantPercent(12.5), "12.5000");
    EXPECT_EQ(SignificantPercent(-0.00123), "-0.00123");
    EXPECT_EQ(SignificantPercent(0.0), "0.0000");
    EXPECT_EQ(SignificantPercent(1e-12), "0.000000000");
    EXPECT_EQ(SignificantPercent(0.0004217, 2), "0.000422");
    EXPECT_EQ(SignificantPercent(0.5, 2), "0.500");
    EXPECT_EQ(SignificantPercent(kNoReading), "unknown");
}

TEST(ReportPage, OnePageOfThePaperAskedWithItsFontsEmbedded) {
    ReportDetails details{"take.wav", "", "2026-12-09 18:40 UTC", "wobblemeter 1.0", "note"};
    for (const MeterResult& result : {Sample(), Platter()}) {
        details.paper = Paper::kLetter;
        const std::string letter = RenderReport(result, details);
        details.paper = Paper::kA4;
        const std::string a4 = RenderReport(result, details);
        EXPECT_EQ(letter.substr(0, 5), "%PDF-");
        EXPECT_NE(letter.find("/MediaBox [ 0 0 612 792 ]"), std::string::npos);
        EXPECT_NE(a4.find("/MediaBox [ 0 0 595.27"), std::string::npos);
        for (const std::string* pdf : {&letter, &a4}) {
            EXPECT_NE(pdf->find("/Count 1"), std::string::npos);
            EXPECT_NE(pdf->find("/FontFile2"), std::string::npos);  // embedded TrueType
        }
    }
}

}  // namespace
}  // namespace wobblemeter
