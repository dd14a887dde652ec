// Several files measured side by side: the outcomes in the files' order whatever finishes
// first, a failure among them, the same readings as one at a time, and an early stop.
#include "meter/cli/batch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::ScratchDir;
using wobblemeter_test::WriteTone;

TEST(MeasureFiles, HandsOutEveryOutcomeInOrderWithFailuresInTheirPlace) {
    ScratchDir dir;
    // A long file first, so that the short ones after it finish before it on a second thread.
    const std::vector<std::string> paths = {dir.Path("long.wav"), dir.Path("missing.wav"),
                                            dir.Path("a.wav"), dir.Path("b.wav")};
    WriteTone(paths[0], 44100, 3150.0, 0.3, 4.0, 40.0);
    WriteTone(paths[2], 48000, 3000.0, 0.1, 20.0, 9.0);
    WriteTone(paths[3], 44100, 3150.0, 1.0, 4.0, 9.0);
    MeterOptions options;
    options.rpm = 45.0;
    std::vector<FileOutcome> outcomes;
    MeasureFiles(paths, options, 2, [&outcomes](const FileOutcome& o) {
        outcomes.push_back(o);
        return true;
    });
    ASSERT_EQ(outcomes.size(), paths.size());
    for (size_t i = 0; i < paths.size(); ++i) EXPECT_EQ(outcomes[i].path, paths[i]);
    EXPECT_FALSE(outcomes[1].measured);
    EXPECT_NE(outcomes[1].error.find("cannot open"), std::string::npos) << outcomes[1].error;
    for (size_t i : {0u, 2u, 3u}) {
        ASSERT_TRUE(outcomes[i].measured) << outcomes[i].error;
        // Side by side reads what one at a time does, options included.
        const MeterResult alone = MeasureFile(paths[i], options);
        EXPECT_DOUBLE_EQ(outcomes[i].result.weightedPeakPercent, alone.weightedPeakPercent);
        EXPECT_DOUBLE_EQ(outcomes[i].result.weightedQuasiPeakPercent,
                         alone.weightedQuasiPeakPercent);
        EXPECT_EQ(outcomes[i].result.revolution.rpm, 45.0);
    }
    EXPECT_NEAR(outcomes[0].result.weightedPeakPercent, 0.3 * 0.99692, 0.001);
    EXPECT_NEAR(outcomes[3].result.weightedPeakPercent, 0.99692, 0.002);
}

TEST(MeasureFiles, StopsHandingOutWhenAskedAndUsesAThreadPerCoreAtMost) {
    ScratchDir dir;
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(dir.Path(std::string("t").append(std::to_string(i)).append(".wav")));
        WriteTone(paths.back(), 44100, 3150.0, 0.1, 4.0, 6.0);
    }
    int seen = 0;
    MeasureFiles(paths, {}, 3, [&seen](const FileOutcome&) { return ++seen < 2; });
    EXPECT_EQ(seen, 2);
    EXPECT_EQ(MeasuringThreads(1), 1);
    EXPECT_EQ(MeasuringThreads(0), 1);
    EXPECT_GE(MeasuringThreads(64), 1);
    EXPECT_LE(MeasuringThreads(2), 2);
}

// A stop (done returning false, as when standard output is lost) leaves the files not yet
// begun unread: the workers may finish the file each has under way, and take no other.
TEST(MeasureFiles, AStopLeavesTheFilesNotYetBegunUnread) {
    ScratchDir dir;
    const std::string tone = dir.Path("tone.wav");
    WriteTone(tone, 8000, 3150.0, 0.1, 4.0, 10.0);
    // The measurement asks whether it is cancelled once a second of audio: a count of the
    // seconds read.
    std::atomic<int> secondsRead{0};
    std::atomic<bool> handedOut{false};
    MeterOptions options;
    options.cancelled = [&] {
        ++secondsRead;
        // Held until the first outcome is handed out, so that the workers have begun at most
        // one file each by then.
        while (!handedOut.load()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return false;
    };
    // The first outcome comes at once (a file that is missing) and stops the rest.
    std::vector<std::string> paths = {dir.Path("missing.wav")};
    paths.resize(12, tone);
    int seen = 0;
    MeasureFiles(paths, options, 2, [&](const FileOutcome&) {
        ++seen;
        handedOut = true;
        return false;
    });
    EXPECT_EQ(seen, 1);
    const int perFile = 10;
    // The two under way, and one more at most should a worker finish before the stop is seen.
    EXPECT_LE(secondsRead.load(), 3 * perFile);
}

}  // namespace
}  // namespace wobblemeter
