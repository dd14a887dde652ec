// What the window shows of a live snapshot, made without a session: the speed error's readout
// and the label of its line, as figures near zero round.
#include "meterwin/display.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

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
        ASSERT_FALSE(d.readouts.empty());
        EXPECT_EQ(d.readouts[0].name, "Speed error");
        EXPECT_EQ(d.readouts[0].value, c.shown);
        EXPECT_EQ(d.readouts[0].standard, "against 3150 Hz");
        EXPECT_EQ(d.speedErrorLabel, std::string("now ") + c.shown);
        EXPECT_EQ(d.speedErrorLinePercent, c.percent);
    }
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
