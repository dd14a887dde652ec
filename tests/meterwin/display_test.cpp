// What the window shows of a live snapshot, made without a session: the speed error's readout
// and the label of its line, as figures near zero round.
#include "meterwin/display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "tests/meterwin/fake_meter_view.h"

namespace wobblemeter {
namespace {

// A running session measuring a 3150 Hz tone off speed by speedErrorPercent.
SessionSnapshot Measuring(double speedErrorPercent) {
    SessionSnapshot s;
    s.status = SessionStatus::kRunning;
    s.sampleRate = 44100;
    s.seconds = 20.0;
    s.latest.state = MeterState::kMeasuring;
    s.latest.tonePresent = true;
    s.latest.carrierHz = 3150.0 * (1.0 + speedErrorPercent / 100.0);
    s.latest.speedErrorPercent = speedErrorPercent;
    s.latest.weightedPeakPercent = 0.0997;
    s.latest.unweightedPeakPercent = 0.0996;
    s.latest.weightedRmsPercent = 0.0707;
    s.latest.weightedQuasiPeakPercent = 0.1001;
    return s;
}

// Shown to the thousandth of a percent, both in the readout and on the line of the panel; one
// that rounds to zero has no minus sign.
TEST(LiveDisplay, SpeedErrorShowsToTheThousandthAndZeroWithoutSign) {
    const struct {
        double percent;
        const char* shown;
    } cases[] = {
        {0.0007, "+0.001 %"},  {-0.0007, "-0.001 %"}, {0.0004, "+0.000 %"},
        {-0.0004, "+0.000 %"}, {1.0, "+1.000 %"},     {-0.25, "-0.250 %"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.percent);
        const Display d =
            DisplayOfSnapshot(Measuring(c.percent), 0.3, std::numeric_limits<double>::quiet_NaN());
        const Readout& speed = wobblemeter_test::ReadoutNamed(d, "Speed error");
        EXPECT_EQ(speed.value, c.shown);
        EXPECT_EQ(speed.standard, "against 3150 Hz");
        EXPECT_EQ(d.speedErrorLabel, std::string("now ") + c.shown);
        EXPECT_EQ(d.speedErrorLinePercent, c.percent);
    }
}

// Three significant digits at least, four decimals at least (the command line's), eight at most.
TEST(PercentText, KeepsThreeSignificantDigits) {
    EXPECT_EQ(PercentText(0.0004217), "0.000422 %");
    EXPECT_EQ(PercentText(0.004217), "0.00422 %");
    EXPECT_EQ(PercentText(0.0997), "0.0997 %");
    EXPECT_EQ(PercentText(1.5), "1.5000 %");
    EXPECT_EQ(PercentText(0.0), "0.0000 %");
    EXPECT_EQ(PercentText(0.0000891), "0.0000891 %");
    EXPECT_EQ(PercentText(0.000000004), "0.00000000 %");
    EXPECT_EQ(PercentText(std::numeric_limits<double>::quiet_NaN()), "\u2013 %");
}

// The readouts under their groups, as a technician reads them; before any tone, the live
// figures wait with dashes, and the speed error names no nominal of 0 Hz.
TEST(LiveDisplay, GroupsEveryReadingAndWaitsWithDashes) {
    SessionSnapshot s = Measuring(0.01);
    s.latest.wowRmsPercent = 0.0651;
    s.latest.flutterRmsPercent = 0.0004217;
    s.latest.sessionDriftPercent = 0.0004217;
    const Display d = DisplayOfSnapshot(s, 0.3, std::numeric_limits<double>::quiet_NaN());
    std::vector<std::string> shown;
    for (const Readout& r : d.readouts) shown.push_back(r.group + ": " + r.name + " " + r.value);
    EXPECT_EQ(shown, (std::vector<std::string>{
                         "AES6 / IEC 60386: Weighted two-sigma 0.0997 %",
                         "AES6 / IEC 60386: Unweighted two-sigma 0.0996 %",
                         "DIN 45507 / IEC 386: Weighted quasi-peak 0.1001 %",
                         "JIS / NAB: Weighted RMS 0.0707 %",
                         "JIS / NAB: Wow RMS 0.0651 %",
                         "JIS / NAB: Flutter RMS 0.000422 %",
                         "Speed: Speed error +0.010 %",
                         "Speed: Drift 0.000422 %",
                         "Speed: Speed error range \u2013 %",
                     }));

    SessionSnapshot failed;
    failed.status = SessionStatus::kFailed;
    const Display none = DisplayOfSnapshot(failed, 0.3, std::numeric_limits<double>::quiet_NaN());
    const Readout& speed = wobblemeter_test::ReadoutNamed(none, "Speed error");
    EXPECT_EQ(speed.standard, "against the nominal");
    EXPECT_EQ(speed.value, "\u2013 %");
    EXPECT_FALSE(speed.formed);
}

// The live status line, part by part: the carrier, the tone, the modulation once one is read,
// the counts, the time taken and the log; a settling tone without a carrier has a dash.
TEST(LiveDisplay, StatusLineNamesCarrierToneModulationAndCounts) {
    const std::string dot = "  \u00b7  ";
    SessionSnapshot s = Measuring(0.01);
    s.latest.modulationHz = 0.55;
    s.overruns = 2;
    s.lostFrames = 300;
    s.dropouts = 4;
    s.seconds = 3725.0;
    s.logging = true;
    s.logPath = "/tmp/take.csv";
    const double none = std::numeric_limits<double>::quiet_NaN();
    std::string expected = "Carrier 3150.315 Hz";
    for (const char* part : {"tone present", "modulation 0.55 Hz", "overruns 2 (300 frames lost)",
                             "drop-outs 4", "1:02:05", "logging to /tmp/take.csv"}) {
        expected += dot;
        expected += part;
    }
    EXPECT_EQ(DisplayOfSnapshot(s, 0.3, none).status, expected);

    s.latest.state = MeterState::kSettling;
    s.latest.carrierHz = none;
    s.latest.modulationHz = none;
    s.logging = false;
    const std::string settling = DisplayOfSnapshot(s, 0.3, none).status;
    EXPECT_EQ(settling.rfind("Carrier \u2013" + dot + "tone present, settling", 0), 0u) << settling;
    EXPECT_EQ(settling.find("modulation"), std::string::npos) << settling;
}

// Seven units a character, as a fixed-width font measures.
double Width(const std::string& text) {
    size_t characters = 0;
    for (const char c : text) characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return 7.0 * static_cast<double>(characters);
}

// Broken between its parts, each whole; a long name loses its middle, the last words stay.
TEST(StatusLines, BreaksBetweenPartsAndShortensANameInItsMiddle) {
    const std::string dot = "  \u00b7  ";
    const std::string line = "Carrier 3150.012 Hz (nominal 3150 Hz)" + dot + "modulation 4.000 Hz" +
                             dot + "48000 Hz, channel 1 of 1" + dot + "drop-outs 6";
    EXPECT_EQ(StatusLines(line, Width, 2000.0, 2), std::vector<std::string>{line});
    EXPECT_EQ(StatusLines(line, Width, 500.0, 2),
              (std::vector<std::string>{
                  "Carrier 3150.012 Hz (nominal 3150 Hz)" + dot + "modulation 4.000 Hz",
                  "48000 Hz, channel 1 of 1" + dot + "drop-outs 6"}));

    const std::string name = "/home/technician/recordings/customer decks/side A, 3150 Hz.wav";
    const std::vector<std::string> shortened =
        StatusLines("Reading " + name + dot + "drop-outs 3", Width, 300.0, 2);
    ASSERT_EQ(shortened.size(), 2u);
    for (const std::string& l : shortened) EXPECT_LE(Width(l), 300.0) << l;
    EXPECT_EQ(shortened[0].rfind("Reading /home/", 0), 0u) << shortened[0];
    EXPECT_NE(shortened[0].find("\u2026"), std::string::npos) << shortened[0];
    EXPECT_EQ(shortened[0].substr(shortened[0].size() - 6), "Hz.wav") << shortened[0];
    EXPECT_EQ(shortened[1], "drop-outs 3");
}

// The status line and the alerts: a long name shortened, controls escaped, the whole bounded.
TEST(ShownLine, ShortensLongNamesAndTheWholeLineAndEscapesControls) {
    EXPECT_EQ(ShownLine("Reading /tmp/take.wav"), "Reading /tmp/take.wav");
    const std::string path = "/tmp/" + std::string(3026, 'a') + ".wav";
    EXPECT_EQ(ShownLine(path + ": cannot open it: No such file or directory"),
              "/tmp/" + std::string(35, 'a') + "\u2026" + std::string(35, 'a') +
                  ".wav: cannot open it: No such file or directory");
    EXPECT_EQ(ShownLine("a\nb\x1b[2J"), "a\\nb\\x1B[2J");
    const std::string words(300, ' ');
    EXPECT_EQ(ShownLine("x" + words + "y"),
              "x" + std::string(99, ' ') + "\u2026" + std::string(99, ' ') + "y");
}

}  // namespace
}  // namespace wobblemeter

namespace wobblemeter {
namespace {

// A live session's deviation: its last second, or all the trace keeps (the last 10 s).
TEST(DeviationSpan, LiveShowsTheLastSecondsOfTheTraceKept) {
    SessionSnapshot s;
    s.status = SessionStatus::kRunning;
    s.seconds = 25.0;
    Display d = DisplayOfSnapshot(s, 0.3, std::numeric_limits<double>::quiet_NaN());
    EXPECT_EQ(d.traceStartSeconds, 15.0);
    EXPECT_EQ(d.traceEndSeconds, 25.0);
    EXPECT_EQ(d.deviationTitle, "Deviation, the last 10 s");
    SetDeviationSpan(d, 1.0);
    EXPECT_EQ(d.traceStartSeconds, 24.0);
    EXPECT_EQ(d.traceEndSeconds, 25.0);
    EXPECT_EQ(d.deviationTitle, "Deviation, the last 1 s");
    SetDeviationSpan(d, 0.0);
    EXPECT_EQ(d.traceStartSeconds, 15.0);
}

}  // namespace
}  // namespace wobblemeter
