// The capture side without a device: the ring between the audio thread and the reader, the
// choice of device by name, and the fake source's injected losses.
#include "meter/capture/capture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "meter/capture/fake.h"
#include "meter/capture/intake.h"
#include "meter/capture/ring.h"
#include "meter/meter.h"

namespace wobblemeter {
namespace {

constexpr double kLost = std::numeric_limits<double>::quiet_NaN();

// The time line the reader sees: each delivered sample, and a NaN for each lost frame.
void PopInto(CaptureRing& ring, std::vector<double>& timeline, size_t maxFrames) {
    std::vector<double> block(maxFrames);
    const CaptureRing::Taken taken = ring.Pop(block.data(), maxFrames);
    timeline.insert(timeline.end(), taken.lostFrames, kLost);
    timeline.insert(timeline.end(), block.begin(), block.begin() + static_cast<long>(taken.frames));
}

void ExpectSameTimeline(const std::vector<double>& expected, const std::vector<double>& got) {
    ASSERT_EQ(expected.size(), got.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        if (std::isnan(expected[i]))
            ASSERT_TRUE(std::isnan(got[i])) << "frame " << i << " should be lost";
        else
            ASSERT_EQ(expected[i], got[i]) << "frame " << i;
    }
}

TEST(CaptureRing, KeepsTheChosenChannelInOrderAcrossManyWraps) {
    CaptureRing ring(7);
    std::vector<double> expected, got;
    float next = 0;
    for (size_t round = 0; round < 40; ++round) {
        // Three channels: 1000 + n, n, -n; channel 1 (from 0) carries n.
        const size_t frames = 1 + round % 5;
        std::vector<float> interleaved;
        for (size_t i = 0; i < frames; ++i, ++next) {
            interleaved.insert(interleaved.end(), {1000 + next, next, -next});
            expected.push_back(next);
        }
        ASSERT_EQ(frames, ring.Push(interleaved.data(), frames, 3, 1));
        while (ring.Available() > 0) PopInto(ring, got, 1 + round % 3);
    }
    ExpectSameTimeline(expected, got);
}

TEST(CaptureRing, FramesThatDoNotFitAreLostWhereTheyWereAndNoChunkSpansALoss) {
    CaptureRing ring(4);
    const float first[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(4u, ring.Push(first, 6, 1, 0));  // 5 and 6 lost
    EXPECT_EQ(0u, ring.Space());
    std::vector<double> got;
    PopInto(ring, got, 100);
    EXPECT_EQ((std::vector<double>{1, 2, 3, 4}), got);  // stops before the loss
    const float second[2] = {7, 8};
    EXPECT_EQ(2u, ring.Push(second, 2, 1, 0));
    ring.MarkLost(3);  // a device overrun: three more after 8
    ring.MarkLost(2);  // and two at the same place
    const float third[1] = {9};
    ring.Push(third, 1, 1, 0);
    got.clear();
    std::vector<double> block(100);
    CaptureRing::Taken taken = ring.Pop(block.data(), 100);
    EXPECT_EQ(2u, taken.lostFrames);
    ASSERT_EQ(2u, taken.frames);
    EXPECT_EQ(7.0, block[0]);
    taken = ring.Pop(block.data(), 100);
    EXPECT_EQ(5u, taken.lostFrames);
    ASSERT_EQ(1u, taken.frames);
    EXPECT_EQ(9.0, block[0]);
    taken = ring.Pop(block.data(), 100);
    EXPECT_EQ(0u, taken.lostFrames + taken.frames);
}

// Random pushes, losses and reads against a model of the time line, including the case where
// every loss mark is in use and further samples must be lost with the pending loss.
TEST(CaptureRing, RandomTrafficMatchesTheProducersTimeline) {
    std::mt19937 random(12345);
    CaptureRing ring(50);
    std::vector<double> expected, got;
    float next = 0;
    for (int step = 0; step < 20000; ++step) {
        const auto what = random() % 10;
        if (what < 5) {
            const size_t frames = random() % 30;
            std::vector<float> block;
            for (size_t i = 0; i < frames; ++i) block.push_back(next++);
            const size_t stored = ring.Push(block.data(), frames, 1, 0);
            for (size_t i = 0; i < frames; ++i) expected.push_back(i < stored ? block[i] : kLost);
        } else if (what < 7) {
            const size_t frames = 1 + random() % 3;
            ring.MarkLost(frames);
            expected.insert(expected.end(), frames, kLost);
        } else if (step % 3000 < 2000) {  // long stretches without reads fill the marks
            PopInto(ring, got, 1 + random() % 40);
        }
    }
    for (int i = 0; i < 1000 && ring.Available() > 0; ++i) PopInto(ring, got, 64);
    const float last = next;
    ring.Push(&last, 1, 1, 0);  // publishes a loss still pending, if any
    expected.push_back(last);
    for (int i = 0; i < 1000 && got.size() < expected.size(); ++i) PopInto(ring, got, 64);
    ExpectSameTimeline(expected, got);
}

// The audio thread and the reader at once: every frame arrives in its place or is counted lost.
TEST(CaptureRing, ConcurrentProducerAndReaderKeepEveryFrameInItsPlace) {
    constexpr size_t kFrames = 100000;
    CaptureRing ring(256);
    std::thread producer([&ring] {
        std::vector<float> block(97);
        for (size_t done = 0; done < kFrames; done += block.size()) {
            for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<float>(done + i);
            ring.Push(block.data(), block.size(), 1, 0);
            if (done % 5 == 0) std::this_thread::yield();
        }
        while (!ring.Flush()) std::this_thread::yield();
    });
    std::vector<double> got;
    const size_t total = (kFrames + 96) / 97 * 97;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (got.size() < total && std::chrono::steady_clock::now() < deadline)
        PopInto(ring, got, 1 + got.size() % 200);
    producer.join();
    ASSERT_EQ(total, got.size());
    size_t lost = 0;
    for (size_t i = 0; i < got.size(); ++i) {
        if (std::isnan(got[i]))
            ++lost;
        else
            ASSERT_EQ(static_cast<double>(i), got[i]) << "frame " << i << " out of place";
    }
    EXPECT_LT(lost, total);
}

// Blocks of a mono device at 1000 Hz whose sample n is n, with times on the device clock.
class CaptureIntakeTest : public ::testing::Test {
protected:
    static constexpr double kRate = 1000;
    CaptureIntakeTest() : intake_(ring_, 1, 0, kRate, 0.0) {}

    DeviceBlock Block(size_t frames, double adcTime) {
        samples_.resize(frames);
        for (size_t i = 0; i < frames; ++i) samples_[i] = static_cast<float>(next_++);
        DeviceBlock block;
        block.interleaved = samples_.data();
        block.frames = frames;
        block.adcTime = adcTime;
        block.currentTime = adcTime + static_cast<double>(frames) / kRate;
        return block;
    }
    // A clocked device: each block arrives when its frames have been captured.
    void Push(const DeviceBlock& block) {
        intake_.Push(block, start_ + Seconds(block.currentTime), stopping_);
    }
    static CaptureIntake::Clock::duration Seconds(double s) {
        return std::chrono::duration_cast<CaptureIntake::Clock::duration>(
            std::chrono::duration<double>(s));
    }
    std::vector<double> Timeline() {
        std::vector<double> timeline;
        for (size_t before = 1; before != timeline.size();) {
            before = timeline.size();
            PopInto(ring_, timeline, 10000);
        }
        return timeline;
    }

    CaptureRing ring_{10000};
    CaptureIntake intake_;
    std::atomic<bool> stopping_{false};
    std::vector<float> samples_;
    long next_ = 0;
    const CaptureIntake::Clock::time_point start_ = CaptureIntake::Clock::now();
};

TEST_F(CaptureIntakeTest, AnOverrunFlagLosesTheFramesTheDeviceClockSkipped) {
    Push(Block(100, 0.0));
    Push(Block(100, 0.1));
    DeviceBlock late = Block(100, 0.35);  // 150 frames after the last one ended
    late.overflow = true;
    Push(late);
    DeviceBlock unclear = Block(100, 0.45);  // flagged, but the clock shows no gap
    unclear.overflow = true;
    Push(unclear);
    DeviceBlock padding = Block(100, 0.55);
    padding.underflow = true;
    Push(padding);
    Push(Block(50, 0.65));

    std::vector<double> expected;
    for (int i = 0; i < 200; ++i) expected.push_back(i);
    expected.insert(expected.end(), 150, kLost);
    for (int i = 200; i < 300; ++i) expected.push_back(i);
    expected.push_back(kLost);
    for (int i = 300; i < 400; ++i) expected.push_back(i);
    expected.insert(expected.end(), 100, kLost);  // the padding
    for (int i = 500; i < 550; ++i) expected.push_back(i);
    ExpectSameTimeline(expected, Timeline());
}

TEST_F(CaptureIntakeTest, AnOverrunTheClockPutsBeyondAMinuteLosesAMinute) {
    // A device clock that jumps 90 s is taken for a faulty one: the loss is capped at 60 s (at
    // 1000 frames a second), so that a bad clock cannot fill a session with lost frames.
    Push(Block(100, 0.0));
    DeviceBlock late = Block(100, 90.1);
    late.overflow = true;
    Push(late);
    const std::vector<double> timeline = Timeline();
    ASSERT_EQ(timeline.size(), 100u + 60000u + 100u);
    EXPECT_TRUE(std::isnan(timeline[100]) && std::isnan(timeline[60099]));
    EXPECT_EQ(timeline[60100], 100.0);
}

TEST_F(CaptureIntakeTest, ClockedDeviceLosesWhatDoesNotFitButOneAheadOfTheClockWaits) {
    CaptureRing ring(1500);  // 1.5 s, more than an unclocked device may run ahead
    CaptureIntake intake(ring, 1, 0, kRate, 0.0);
    // Clocked: 20 blocks of 100 in real time against a reader that does not read.
    for (int i = 0; i < 20; ++i)
        intake.Push(Block(100, 0.1 * i), start_ + Seconds(0.1 * (i + 1)), stopping_);
    std::vector<double> got;
    PopInto(ring, got, 10000);
    PopInto(ring, got, 10000);
    ASSERT_EQ(2000u, got.size());
    EXPECT_EQ(1499.0, got[1499]);
    EXPECT_TRUE(std::isnan(got[1500]) && std::isnan(got[1999]));

    // Not clocked: the same 20 blocks all at once; the 16th waits until the reader makes room.
    CaptureRing fileRing(1500);
    CaptureIntake file(fileRing, 1, 0, kRate, 0.0);
    std::atomic<int> taken{0};
    std::thread device([&] {
        for (int i = 0; i < 20; ++i) {
            file.Push(Block(100, 0.1 * i), start_, stopping_);
            ++taken;
        }
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(15, taken.load()) << "the device did not wait for room";
    got.clear();
    while (got.size() < 2000) PopInto(fileRing, got, 100);
    device.join();
    for (size_t i = 0; i < got.size(); ++i) ASSERT_EQ(2000.0 + static_cast<double>(i), got[i]);
}

TEST_F(CaptureIntakeTest, DatesEachDeliveredFrameFromTheLatestBlock) {
    const auto now = CaptureIntake::Clock::now();
    EXPECT_EQ(now, intake_.CapturedAt(0, now));  // nothing yet
    DeviceBlock block = Block(100, 10.0);
    block.currentTime = 10.25;  // the first frame was captured 0.25 s before the callback
    intake_.Push(block, now, stopping_);
    // The last frame, 99 frames after the first: 0.151 s before the callback.
    EXPECT_NEAR(-0.151, std::chrono::duration<double>(intake_.CapturedAt(100, now) - now).count(),
                1e-9);
    EXPECT_NEAR(-0.201, std::chrono::duration<double>(intake_.CapturedAt(50, now) - now).count(),
                1e-9);
}

// The device's clock against the reader's: a reader held up (the meter stopped for 3 s) finds
// the device still delivering or, when the whole process was held, gives it the full 2 s from
// its return; only a device that itself stops delivering counts as stalled.
TEST_F(CaptureIntakeTest, OnlyADeviceThatStopsDeliveringStallsNotAReaderHeldUp) {
    constexpr double kLimit = 2.0;
    StallWatch watch;
    watch.Start(start_);
    const auto stalled = [&](double t) {
        const auto now = start_ + Seconds(t);
        return now >= watch.Deadline(intake_, now, kLimit);
    };
    double t = 0.0;
    const auto run = [&](double until, bool device, bool reader) {
        for (; t < until - 1e-9; t += 0.1) {
            if (device) Push(Block(100, t));
            if (reader) {
                ASSERT_FALSE(stalled(t)) << "at " << t << " s";
            }
        }
    };
    run(1.0, true, true);
    run(4.0, true, false);  // the reader sleeps 3 s, the device goes on
    run(5.0, true, true);
    run(8.0, false, false);  // the whole process stopped for 3 s (kill -STOP)
    EXPECT_FALSE(stalled(t)) << "the reader is back first: the device has not stalled";
    run(9.0, true, true);  // the device resumes (its overrun is bridged)
    const double stopped = t;
    while (!stalled(t)) t += 0.1;
    EXPECT_NEAR(stopped + kLimit, t, 0.15) << "a device that stops stalls after 2 s";

    // A reader that sleeps a second at a time is not held up: the device stalls as before.
    run(t + 1.0, true, true);
    const double again = t;
    do {
        watch.Sleeps(start_ + Seconds(t + 1.0));
        t += 1.0;
    } while (!stalled(t) && t < again + 10.0);
    EXPECT_NEAR(again + kLimit, t, 1.05);
}

TEST(MatchCaptureDevice, TakesTheExactNameFirstThenTheAlsaNameInParentheses) {
    const std::vector<CaptureDeviceInfo> devices = {
        {"HDA Intel PCH: ALC892 Analog (hw:0,0)", 2, 44100, false},
        {"USB Audio CODEC: - (hw:1,0)", 2, 48000, false},
        {"hw:1,0", 1, 48000, false},  // a PCM of that very name wins over the suffix
        {"pulse", 32, 44100, true},
    };
    EXPECT_EQ(2u, MatchCaptureDevice(devices, "hw:1,0"));
    EXPECT_EQ(0u, MatchCaptureDevice(devices, "hw:0,0"));
    EXPECT_EQ(3u, MatchCaptureDevice(devices, "pulse"));
    EXPECT_EQ(1u, MatchCaptureDevice(devices, "USB Audio CODEC: - (hw:1,0)"));
    EXPECT_FALSE(MatchCaptureDevice(devices, "hw:0"));  // not a whole parenthesised name
    EXPECT_FALSE(MatchCaptureDevice(devices, "plughw:1,0"));
    EXPECT_FALSE(MatchCaptureDevice(devices, ""));
}

std::vector<double> Ramp(size_t frames) {
    std::vector<double> samples(frames);
    for (size_t i = 0; i < frames; ++i) samples[i] = static_cast<double>(i) / 65536.0;
    return samples;
}

TEST(FakeCaptureSource, DeliversBlocksAndReportsEachInjectedLossWhereItBegins) {
    FakeCaptureSource source(Ramp(1000), 8000, 64, {{700, 10}, {300, 50}, {340, 20}, {995, 50}});
    source.Start();
    std::vector<double> block(1000);
    std::vector<std::pair<long long, long long>> losses;  // (frame, count)
    long long position = 0;
    size_t largest = 0;
    for (;;) {
        const CaptureChunk chunk = source.Read(block.data(), block.size(), {});
        if (chunk.ended) break;
        if (chunk.lostFrames > 0) losses.emplace_back(position, chunk.lostFrames);
        position += chunk.lostFrames;
        for (size_t i = 0; i < chunk.frames; ++i, ++position)
            ASSERT_EQ(static_cast<double>(position) / 65536.0, block[i]);
        largest = std::max(largest, chunk.frames);
    }
    EXPECT_EQ(1000, position);
    EXPECT_EQ(64u, largest);
    // 300+50 and 340+20 overlap into one loss of 300 ... 359; the last one stops at the end.
    EXPECT_EQ((std::vector<std::pair<long long, long long>>{{300, 60}, {700, 10}, {995, 5}}),
              losses);
}

TEST(FakeCaptureSource, FailsAsAnUnpluggedDeviceAtTheChosenFrame) {
    FakeCaptureSource source(Ramp(1000), 8000, 100);
    source.FailAt(250);
    source.Start();
    std::vector<double> block(1000);
    long long position = 0;
    EXPECT_THROW(
        for (;;) position += static_cast<long long>(source.Read(block.data(), 1000, {}).frames),
        CaptureError);
    EXPECT_EQ(250, position);
}

}  // namespace
}  // namespace wobblemeter
