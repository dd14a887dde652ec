// The measuring engine. Takes: one channel of audio (full scale 1, at kMinSampleRate ...
// kMaxSampleRate) pushed in blocks of any size, from a file or a sound card. Gives: through the
// chain of stages (carrier search, mixer and decimators, tone gate, demodulator and drop-out
// bridging, weighting and band limit, detectors, spectrum, mean carrier), readings second by
// second and a summary over the longest stretch of tone, in % of the carrier.
//
// A source pushes samples as they come and marks input it lost (an overrun) with PushLost():
// the lost frames keep their place in time and are bridged like a drop-out, never glued. The
// engine waits for a tone; when the tone stops for longer than a drop-out the stretch ends,
// and the carrier is searched for afresh: the tone may return at another frequency or level (a
// test record's next band, 3000 Hz after 3150 Hz). Readings never mix two stretches. Finish()
// may be called at any moment and reads the longest stretch seen.
#pragma once

#include <cstddef>
#include <memory>
#include <utility>
#include <vector>

#include "meter/engine/envelope.h"
#include "meter/meter.h"

namespace wobblemeter {

class CarrierSearch;
class Tracker;

class Engine {
public:
    // sampleRate: of the input (kMinSampleRate ... kMaxSampleRate). expectedFrames: the frames
    // the input will likely hold (a file's length), 0 when unknown; it only sets the traces'
    // first resolution. Uses options' carrier, nominal, window and onSecond.
    Engine(int sampleRate, const MeterOptions& options, long long expectedFrames = 0);
    ~Engine();
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Measures n more samples, full scale 1. Throws MeterError for samples that are no audio
    // (not finite or far beyond full scale).
    void Push(const float* samples, size_t n);
    // Marks `frames` frames of input as lost.
    void PushLost(long long frames);
    // Ends the input and reads the longest stretch of tone. Throws MeterError, one line saying
    // why, when nothing can be read.
    MeterResult Finish();

    // Frames pushed so far, lost ones included.
    long long Frames() const { return frames_; }
    // Whether any sample was not digital silence.
    bool SoundSeen() const { return soundSeen_; }
    // Where the measurement stands.
    MeterState State() const;
    // The readings as of the newest input the chain has demodulated (see PerSecond::Latest):
    // for a live display between the seconds. Needs options.onSecond.
    SecondReading Latest() const;
    // Drop-outs bridged so far, in every stretch.
    int Dropouts() const;
    int Overruns() const { return overruns_; }
    long long LostFrames() const { return lostFrames_; }

private:
    // The samples of Push() and PushLost() alike: lost marks them as lost input.
    void Push(const float* x, size_t n, bool lost);
    void StartSearch(long long frame);
    // Searches in up to n samples; returns how many it took (the rest belongs to the tracker
    // it started).
    size_t Search(const float* x, size_t n, bool lost);
    bool Decide();
    // The tone is gone: the tracker's stretch ends and the search starts again at frame.
    void Retire(long long frame);
    // The tracker that holds the longest stretch (the current one on a tie).
    Tracker* Longest() const;
    MeterState SearchState() const { return kept_ ? MeterState::kNoTone : MeterState::kWaiting; }
    void Emit(SecondReading reading);
    // Emits the seconds that end at or before frame, without readings.
    void EmitWaitingUntil(long long frame, MeterState state = MeterState::kWaiting);

    int rate_;
    MeterOptions options_;
    long long expectedFrames_;
    long long frames_ = 0;
    long long silent_ = 0;  // frames of digital silence before the first sound
    bool soundSeen_ = false;
    int overruns_ = 0;
    long long lostFrames_ = 0;
    std::unique_ptr<CarrierSearch> search_;
    long long searchBase_ = 0;  // input frame of the search's first sample
    // The tracker of the tone now (none while searching), and the earlier one that holds the
    // longest stretch before it.
    std::unique_ptr<Tracker> tracker_, kept_;
    int earlierDropouts_ = 0;  // of trackers retired
    double strongest_ = 0.0;   // the highest level a tone was found at (Tracker::Reference)
    // Input lost while the search held the samples: first frame and count.
    std::vector<std::pair<long long, long long>> searchLost_;
    std::vector<float> zeros_;
    // Readings second by second.
    long long nextSecond_ = 0;  // the next second to emit
    MeterState state_ = MeterState::kWaiting;
    std::unique_ptr<EnvelopeBuilder> speedErrors_;  // speed error second by second, %
};

}  // namespace wobblemeter
