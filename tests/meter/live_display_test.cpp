// What wobblemeter --live prints while it measures: the bar and its scale, the terminal's block
// in each state, and the line per second without a terminal.
#include "meter/cli/live_display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace wobblemeter {
namespace {

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string all;
    for (const std::string& line : lines) all += line + "\n";
    return all;
}

SecondReading Measuring() {
    SecondReading r;
    r.timeSeconds = 12.0;
    r.state = MeterState::kMeasuring;
    r.tonePresent = true;
    r.carrierHz = 3150.0123;
    r.speedErrorPercent = 0.00039;
    r.weightedPeakPercent = 0.09968;
    r.unweightedPeakPercent = 0.1012;
    r.weightedRmsPercent = 0.07071;
    r.modulationHz = 4.001;
    r.sessionWeightedPeakPercent = 0.0997;
    r.sessionUnweightedPeakPercent = 0.101;
    return r;
}

TEST(LiveDisplay, TheBarsScaleIsTheSmallestThatHoldsTheFigure) {
    EXPECT_EQ(BarScale(0.05), 0.1);
    EXPECT_EQ(BarScale(0.1), 0.1);
    EXPECT_EQ(BarScale(0.1001), 0.3);
    EXPECT_EQ(BarScale(2.5), 3.0);
    EXPECT_EQ(BarScale(40.0), 10.0);
    EXPECT_EQ(Bar(0.15, 0.3, 10), "#####.....");
    EXPECT_EQ(Bar(0.5, 0.3, 4), "####");
    EXPECT_EQ(Bar(NAN, 0.3, 4), "    ");
    EXPECT_EQ(BarScale(NAN), 0.1);
}

TEST(LiveDisplay, TheBlockShowsTheFiguresWhileMeasuringAndTheStateOtherwise) {
    SessionSnapshot s;
    s.source = "hw:1,0";
    s.channel = 2;
    s.sampleRate = 48000;
    s.seconds = 3725.5;
    s.overruns = 2;
    s.lostFrames = 300;
    s.dropouts = 1;
    s.recording = true;
    s.recordPath = "take.wav";
    s.latest = Measuring();
    const std::string measuring = Joined(DisplayLines(s, 5.0, 0));
    for (const char* part :
         {"'hw:1,0', channel 2, 48000 Hz", "1:02:05", "carrier 3150.012 Hz", "speed error +0.000 %",
          "modulation 4.00 Hz", "weighted 0.0997 %", "unweighted 0.1012 %", "RMS 0.0707 %",
          "(last 5 s)", "session 0.0997 % / 0.1010 %", "overruns 2 (300 frames lost)",
          "drop-outs 1", "recording take.wav"}) {
        EXPECT_TRUE(Holds(measuring, part)) << part << " in\n" << measuring;
    }
    // 0.0997 % on the 0.1 % scale: the bar is all but full.
    EXPECT_TRUE(Holds(measuring, "[" + std::string(30, '#') + "] 0.1 %")) << measuring;

    s.latest.state = MeterState::kSettling;
    const std::string settling = Joined(DisplayLines(s, 5.0, 0));
    EXPECT_TRUE(Holds(settling, "settling: the readings start after 8 s of tone")) << settling;
    EXPECT_FALSE(Holds(settling, "weighted 0.0997")) << settling;
    // Nor the session's figures, which the readings' start would contradict.
    EXPECT_TRUE(Holds(settling, "session - / -")) << settling;

    s.latest.state = MeterState::kNoTone;
    EXPECT_TRUE(Holds(Joined(DisplayLines(s, 5.0, 0)), "no tone"));
    s.latest.state = MeterState::kWaiting;
    const std::vector<std::string> narrow = DisplayLines(s, 5.0, 30);
    EXPECT_TRUE(Holds(Joined(narrow), "waiting for the tone"));
    for (const std::string& line : narrow) EXPECT_LE(line.size(), 30u) << line;
}

// At 80 columns every line of figures is whole, with figures of several percent on the largest
// scale; only a line naming a long device or file is cut.
TEST(LiveDisplay, TheFiguresFitEightyColumns) {
    SessionSnapshot s;
    s.source = "hw:1,0";
    s.sampleRate = 192000;
    s.seconds = 36000.0;
    s.overruns = 12;
    s.lostFrames = 123456;
    s.dropouts = 34;
    s.latest = Measuring();
    for (double* figure : {&s.latest.weightedPeakPercent, &s.latest.unweightedPeakPercent,
                           &s.latest.weightedRmsPercent, &s.latest.sessionWeightedPeakPercent,
                           &s.latest.sessionUnweightedPeakPercent})
        *figure = 9.8765;
    s.latest.weightedQuasiPeakPercent = s.latest.wowRmsPercent = s.latest.flutterRmsPercent =
        s.latest.sessionDriftPercent = 9.8765;
    s.latest.speedErrorPercent = -5.4321;
    s.latest.modulationHz = 123.45;
    const std::vector<std::string> whole = DisplayLines(s, 10.0, 0);
    EXPECT_EQ(DisplayLines(s, 10.0, 80), whole);
    for (const std::string& line : whole) EXPECT_LE(line.size(), 80u) << line;
}

TEST(LiveDisplay, ALinePerSecondSaysWhatThatSecondHeld) {
    EXPECT_EQ(SecondLine(Measuring()),
              "   12 s  carrier 3150.012 Hz  speed error +0.000 %  weighted 0.0997 %  "
              "unweighted 0.1012 %  RMS 0.0707 %  modulation 4.00 Hz");
    SecondReading settling = Measuring();
    settling.state = MeterState::kSettling;
    settling.speedErrorPercent = -0.0123;
    EXPECT_EQ(SecondLine(settling), "   12 s  carrier 3150.012 Hz  speed error -0.012 %  settling");
    SecondReading gone;
    gone.timeSeconds = 3.0;
    gone.state = MeterState::kNoTone;
    gone.carrierHz = NAN;
    EXPECT_EQ(SecondLine(gone), "    3 s  no tone");
}

TEST(LiveDisplay, TheQuasiPeakStandsBesideTheTwoSigmaAndTheBlockKeepsItsHeight) {
    SessionSnapshot s;
    s.source = "hw:1,0";
    s.latest = Measuring();
    s.latest.weightedQuasiPeakPercent = 0.1001;
    s.latest.wowRmsPercent = 0.0502;
    s.latest.flutterRmsPercent = 0.0498;
    s.latest.sessionDriftPercent = 0.0123;
    const std::vector<std::string> measuring = DisplayLines(s, 5.0, 0);
    const std::string text = Joined(measuring);
    EXPECT_TRUE(Holds(text, "weighted 0.0997 %   quasi-peak 0.1001 %   unweighted 0.1012 %"))
        << text;
    EXPECT_TRUE(Holds(text,
                      "weighted RMS 0.0707 %  wow 0.0502 %  flutter 0.0498 %  session drift "
                      "0.0123 %"))
        << text;
    // The block is redrawn in place: it has as many lines in every state.
    for (MeterState state : {MeterState::kSettling, MeterState::kNoTone, MeterState::kWaiting}) {
        s.latest.state = state;
        EXPECT_EQ(DisplayLines(s, 5.0, 0).size(), measuring.size());
    }
    SecondReading r = Measuring();
    r.weightedQuasiPeakPercent = 0.1001;
    r.wowRmsPercent = 0.0502;
    r.flutterRmsPercent = 0.0498;
    EXPECT_EQ(SecondLine(r),
              "   12 s  carrier 3150.012 Hz  speed error +0.000 %  weighted 0.0997 %  quasi-peak "
              "0.1001 %  unweighted 0.1012 %  RMS 0.0707 %  wow 0.0502 %  flutter 0.0498 %  "
              "modulation 4.00 Hz");
}

}  // namespace
}  // namespace wobblemeter
