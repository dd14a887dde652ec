// The summary, the JSON object and the plot of a measurement.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <string>

#include "meter/meter.h"
#include "meter/plot.h"
#include "meter/report.h"
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
    r.modulationHz = 4.0;
    r.lines = {{4.0, 0.099}};
    return r;
}

TEST(MeterJson, HoldsEveryReadingUnderItsKey) {
    const std::string json = FormatJson(Sample(), "take \"1\".wav");
    for (const char* pair :
         {"\"carrier_hz\": 3150.25", "\"nominal_hz\": 3150", "\"speed_error_percent\": 0.0079365",
          "\"weighted_peak_percent\": 0.0997", "\"unweighted_peak_percent\": 0.0996",
          "\"weighted_rms_percent\": 0.0707", "\"modulation_hz\": 4", "\"duration_s\": 30",
          "\"file\": \"take \\\"1\\\".wav\"", "\"lines\": [{\"hz\": 4, \"percent\": 0.099}]"}) {
        EXPECT_NE(json.find(pair), std::string::npos) << pair << " in " << json;
    }
    EXPECT_EQ(json.front(), '{');
    EXPECT_EQ(json.substr(json.size() - 2), "}\n");
}

TEST(MeterJson, WritesNullForANumberItCannotHold) {
    MeterResult r = Sample();
    r.modulationHz = std::numeric_limits<double>::quiet_NaN();
    EXPECT_NE(FormatJson(r, "x").find("\"modulation_hz\": null"), std::string::npos);
}

TEST(MeterSummary, NamesEachReadingWithItsValue) {
    const std::string text = FormatSummary(Sample(), "take.wav");
    EXPECT_NE(text.find("Carrier:            3150.250 Hz (nominal 3150 Hz, speed error +0.008 %)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Weighted peak:      0.0997 %"), std::string::npos) << text;
    EXPECT_NE(text.find("Weighted RMS:       0.0707 %"), std::string::npos) << text;
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
    EXPECT_NE(text.find("Modulation:         none"), std::string::npos) << text;
    EXPECT_NE(FormatJson(r, "take.wav").find("\"lines\": []"), std::string::npos);
}

TEST(MeterSummary, SpeedErrorWithoutNominalIsUnknownInBothForms) {
    MeterResult r = Sample();
    r.carrierHz = 1000.0;
    r.nominalHz = std::numeric_limits<double>::quiet_NaN();
    r.speedErrorPercent = std::numeric_limits<double>::quiet_NaN();
    const std::string text = FormatSummary(r, "take.wav");
    EXPECT_NE(text.find("Carrier:            1000.000 Hz (nominal and speed error unknown (give "
                        "--nominal))"),
              std::string::npos)
        << text;
    const std::string json = FormatJson(r, "take.wav");
    EXPECT_NE(json.find("\"nominal_hz\": null"), std::string::npos) << json;
    EXPECT_NE(json.find("\"speed_error_percent\": null"), std::string::npos) << json;
}

std::string Head(const std::string& path, size_t n) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return bytes.substr(0, n);
}

TEST(MeterPlot, WritesPngOrSvgByExtensionAndReportsAFailedWrite) {
    wobblemeter_test::ScratchDir dir;
    const std::string tone = dir.Path("tone.wav");
    wobblemeter_test::WriteTone(tone, 44100, 3150.0, 0.2, 4.0, 10.0);
    const MeterResult r = MeasureFile(tone, {});
    WritePlot(r, "tone.wav", dir.Path("plot.png"));
    EXPECT_EQ(Head(dir.Path("plot.png"), 8), "\x89PNG\r\n\x1a\n");
    WritePlot(r, "tone.wav", dir.Path("plot.svg"));
    EXPECT_NE(Head(dir.Path("plot.svg"), 200).find("<svg"), std::string::npos);
    EXPECT_THROW(WritePlot(r, "tone.wav", dir.Path("no/such/dir/plot.png")), MeterError);
}

// The PNG's height, from its header (IHDR: width and height, big-endian, after 16 bytes).
unsigned PngHeight(const std::string& path) {
    const std::string head = Head(path, 24);
    unsigned height = 0;
    for (size_t i = 20; i < 24; ++i) height = height << 8 | static_cast<unsigned char>(head[i]);
    return height;
}

TEST(MeterPlot, ThePanelOfTheSpeedErrorComesWhereTheSpeedErrorIsKnown) {
    wobblemeter_test::ScratchDir dir;
    wobblemeter_test::WriteTone(dir.Path("tone.wav"), 8000, 3150.0, 0.2, 4.0, 10.0);
    wobblemeter_test::WriteTone(dir.Path("odd.wav"), 8000, 1000.0, 0.2, 4.0, 10.0);
    const MeterResult known = MeasureFile(dir.Path("tone.wav"), {});
    const MeterResult unknown = MeasureFile(dir.Path("odd.wav"), {});
    ASSERT_EQ(known.speedError.low.size(), 10u);
    EXPECT_TRUE(unknown.speedError.low.empty());
    WritePlot(known, "tone.wav", dir.Path("known.png"));
    WritePlot(unknown, "odd.wav", dir.Path("unknown.png"));
    EXPECT_EQ(PngHeight(dir.Path("unknown.png")), 720u);
    EXPECT_GT(PngHeight(dir.Path("known.png")), 900u);
}

}  // namespace
}  // namespace wobblemeter
