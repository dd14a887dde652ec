// libFuzzer entry point of the live intake: the bytes script what device callbacks hand in
// (blocks of any size and samples of any value, channel counts, overruns, padding, clocks) and
// when the live session reads, through CaptureIntake and CaptureRing into a LiveSession. Checks
// that every frame handed in is read or counted lost, in its place, and that nothing is read
// that was not written; any other outcome than that is a fault (the target aborts).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <vector>

#include "meter/capture/intake.h"
#include "meter/capture/ring.h"
#include "meter/live/live_session.h"

namespace wobblemeter {
namespace {

using Clock = std::chrono::steady_clock;

// Frames one input hands in at most, and the most the session may take lost ones included
// (an overrun's estimate reaches a minute), so that an input measures in about a second at most.
constexpr uint64_t kMaxInputFrames = 1 << 15;
constexpr uint64_t kMaxSessionFrames = 1 << 18;
constexpr int kRates[] = {8000, 11025, 22050, 44100, 48000, 96000, 192000, 384000};
// Samples a faulty device may deliver.
constexpr float kOddSamples[] = {std::numeric_limits<float>::quiet_NaN(),
                                 -std::numeric_limits<float>::quiet_NaN(),
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::max(),
                                 std::numeric_limits<float>::lowest(),
                                 std::numeric_limits<float>::denorm_min(),
                                 1e6f,
                                 -1.0000001e6f,
                                 1e30f};

[[noreturn]] void Fault(const char* what, unsigned long long a = 0, unsigned long long b = 0) {
    std::fprintf(stderr, "intake fault: %s (%llu, %llu)\n", what, a, b);
    std::abort();
}

bool SameSample(double read, float written) {
    if (std::isnan(written)) return std::isnan(read);
    return read == static_cast<double>(written);
}

// Reads the script; past its end, zeros.
class Bytes {
public:
    Bytes(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    bool Empty() const { return at_ >= size_; }
    uint8_t U8() { return at_ < size_ ? data_[at_++] : 0; }
    uint16_t U16() { return static_cast<uint16_t>(U8() | (U8() << 8)); }
    template <typename T>
    T Raw() {
        unsigned char bytes[sizeof(T)] = {};
        for (unsigned char& b : bytes) b = U8();
        T value;
        std::memcpy(&value, bytes, sizeof(T));
        return value;
    }

private:
    const uint8_t* data_;
    size_t size_;
    size_t at_ = 0;
};

// A loss the reader must report before the stored sample of its position: known frames, and
// overruns whose size the intake estimates from the device clock (at least 1 frame each).
struct ExpectedLoss {
    uint64_t known = 0;
    uint64_t estimated = 0;
};

// What was handed in, as the reader must see it, and what it saw.
struct Model {
    std::vector<float> stored;                  // the channel's samples the ring took, in order
    std::map<uint64_t, ExpectedLoss> expected;  // by the count of stored samples before it
    std::map<uint64_t, uint64_t> reported;      // the reader's losses, keyed the same way
    uint64_t handedIn = 0;                      // frames of all blocks
    uint64_t read = 0, lost = 0;                // what the reader took
    bool drained = false;                       // the source ended with the ring empty
};

// A capture source that plays the script: each Read first runs the device callbacks due
// before it, then takes from the ring what PortAudio's source would take.
class ScriptedSource final : public CaptureSource {
public:
    ScriptedSource(Bytes script, Model& model);
    int SampleRate() const override { return rate_; }
    const std::string& DeviceName() const override { return name_; }
    void Start() override {}
    CaptureChunk Read(double* out, size_t maxFrames, std::chrono::milliseconds) override;
    void Stop() override {}

private:
    void PushBlock(uint8_t op);
    void KeepLossInBudget(DeviceBlock& block);
    void FillBlock(uint8_t mode, size_t frames);
    CaptureChunk Take(double* out, size_t maxFrames);
    CaptureChunk Drain(double* out, size_t maxFrames);
    void Check(const CaptureRing::Taken& taken, const double* out);

    Bytes script_;
    Model& model_;
    std::string name_ = "fuzz";
    int channels_;
    int channel_;
    int rate_;
    std::unique_ptr<CaptureRing> ring_;
    std::unique_ptr<CaptureIntake> intake_;
    std::atomic<bool> stopping_{true};  // the intake never waits: the reader is this thread
    Clock::time_point now_ = Clock::time_point(std::chrono::hours(1));
    double deviceClock_ = 0.0;  // s
    double phase_ = 0.0;        // of the tone, cycles
    bool started_ = false;
    std::vector<float> block_;
    uint64_t delivered_ = 0;
    int emptyDrains_ = 0;
    // Where the intake expects the next block on the device clock, s, and the frames the session
    // may take at most so far: for the budget, not for checking.
    double expectedAdc_ = 0.0;
    uint64_t budgetUsed_ = 0;
};

ScriptedSource::ScriptedSource(Bytes script, Model& model) : script_(script), model_(model) {
    channels_ = 1 + script_.U8() % 8;
    channel_ = script_.U8() % channels_;
    rate_ = kRates[script_.U8() % std::size(kRates)];
    ring_ = std::make_unique<CaptureRing>(1 + script_.U16() % 20000);
    const double latency = script_.U8() / 100.0;
    intake_ = std::make_unique<CaptureIntake>(*ring_, channels_, channel_, rate_, latency);
}

CaptureChunk ScriptedSource::Read(double* out, size_t maxFrames, std::chrono::milliseconds) {
    while (!script_.Empty() && model_.handedIn < kMaxInputFrames) {
        const uint8_t op = script_.U8();
        switch (op & 3) {
            case 2:
                return Take(out, std::min<size_t>(maxFrames, 1 + script_.U16() % 8192));
            case 3:
                now_ += std::chrono::milliseconds(script_.U16());
                break;
            default:
                PushBlock(op);
        }
    }
    return Drain(out, maxFrames);
}

void ScriptedSource::FillBlock(uint8_t mode, size_t frames) {
    block_.assign(frames * static_cast<size_t>(channels_), 0.0f);
    // The other channels hold what the chosen one never does, so that a mix-up shows.
    for (size_t i = 0; i < block_.size(); ++i) block_[i] = -2.0f - static_cast<float>(i % 7);
    const float amplitude = script_.U8() / 255.0f;
    const float constant = script_.Raw<float>();
    const double hz = 3150.0 + (script_.U8() - 128) * 4.0;
    for (size_t f = 0; f < frames; ++f) {
        float& sample = block_[f * static_cast<size_t>(channels_) + static_cast<size_t>(channel_)];
        if (mode == 0) {
            sample = script_.Raw<float>();
        } else if (mode == 3) {
            sample = constant;
        } else {
            sample = amplitude * static_cast<float>(std::sin(2.0 * M_PI * phase_));
            phase_ = std::fmod(phase_ + hz / rate_, 1.0);
        }
    }
    if (mode == 2 && frames > 0)
        for (int n = script_.U8() % 8; n > 0; --n) {
            const size_t f = script_.U16() % frames;
            block_[f * static_cast<size_t>(channels_) + static_cast<size_t>(channel_)] =
                kOddSamples[script_.U8() % std::size(kOddSamples)];
        }
}

// op: bit 2 overflow, bit 3 underflow, bit 4 no input, bits 5-6 the samples (raw bytes, a tone,
// a tone with odd samples, one value), bit 7 the device's times raw rather than clocked.
void ScriptedSource::PushBlock(uint8_t op) {
    const size_t frames = std::min<uint64_t>(script_.U16() & 0x3fff, kMaxInputFrames);
    FillBlock(static_cast<uint8_t>((op >> 5) & 3), frames);
    DeviceBlock block;
    block.frames = frames;
    block.overflow = (op & 4) != 0;
    block.underflow = (op & 8) != 0;
    block.interleaved = (op & 16) != 0 ? nullptr : block_.data();
    if ((op & 128) != 0) {
        block.adcTime = script_.Raw<double>();
        block.currentTime = script_.Raw<double>();
    } else {
        if (block.overflow) deviceClock_ += script_.U8() / 1000.0;
        block.adcTime = deviceClock_;
        block.currentTime = deviceClock_ + script_.U8() / 1000.0;
    }
    deviceClock_ += static_cast<double>(frames) / rate_;
    KeepLossInBudget(block);

    const size_t before = ring_->Available();
    intake_->Push(block, now_, stopping_);
    const size_t stored = ring_->Available() - before;
    if (stored > frames) Fault("stored more than handed in", stored, frames);
    model_.handedIn += frames;
    if (frames == 0) return;
    ExpectedLoss& loss = model_.expected[model_.stored.size()];
    if (started_ && block.overflow) ++loss.estimated;
    started_ = true;
    if (stored > 0 && (block.interleaved == nullptr || block.underflow))
        Fault("stored a block that holds no input", stored, frames);
    for (size_t f = 0; f < stored; ++f)
        model_.stored.push_back(
            block_[f * static_cast<size_t>(channels_) + static_cast<size_t>(channel_)]);
    if (stored < frames) model_.expected[model_.stored.size()].known += frames - stored;
    now_ += std::chrono::microseconds(
        static_cast<long long>(1e6 * static_cast<double>(frames) / rate_));
}

// An overrun whose estimate would take the session past its budget is moved to where the device
// clock shows no gap (1 frame lost).
void ScriptedSource::KeepLossInBudget(DeviceBlock& block) {
    if (block.frames == 0) return;
    uint64_t estimate = 0;
    if (started_ && block.overflow) {
        const double gap = block.adcTime - expectedAdc_;
        estimate = gap > 0.0 ? static_cast<uint64_t>(std::llround(std::min(gap, 60.0) * rate_)) : 1;
        if (budgetUsed_ + estimate + block.frames > kMaxSessionFrames) {
            block.adcTime = expectedAdc_;
            estimate = 1;
        }
    }
    budgetUsed_ += estimate + block.frames;
    expectedAdc_ = block.adcTime + static_cast<double>(block.frames) / rate_;
}

void ScriptedSource::Check(const CaptureRing::Taken& taken, const double* out) {
    if (taken.lostFrames > 0) model_.reported[model_.read] += taken.lostFrames;
    model_.lost += taken.lostFrames;
    for (size_t i = 0; i < taken.frames; ++i) {
        const uint64_t at = model_.read + i;
        if (at >= model_.stored.size()) Fault("read a sample never written", at);
        if (!SameSample(out[i], model_.stored[at])) Fault("read a sample not as written", at);
    }
    model_.read += taken.frames;
}

CaptureChunk ScriptedSource::Take(double* out, size_t maxFrames) {
    const CaptureRing::Taken taken = ring_->Pop(out, maxFrames);
    Check(taken, out);
    delivered_ += taken.frames;
    CaptureChunk chunk;
    chunk.lostFrames = static_cast<long long>(taken.lostFrames);
    chunk.frames = taken.frames;
    chunk.capturedAt = intake_->CapturedAt(delivered_, now_);
    return chunk;
}

// The script has ended: what is still in the ring, then the end.
CaptureChunk ScriptedSource::Drain(double* out, size_t maxFrames) {
    const bool flushed = ring_->Flush();
    CaptureChunk chunk = Take(out, maxFrames);
    if (chunk.frames > 0 || chunk.lostFrames > 0) {
        emptyDrains_ = 0;
        return chunk;
    }
    if (!flushed || ring_->Available() != 0) {
        if (++emptyDrains_ > 2) Fault("the ring keeps what it does not deliver");
        return chunk;
    }
    model_.drained = true;
    chunk.ended = true;
    return chunk;
}

// Every loss where it was, as large as it was (an overrun's estimate from 1 frame to a minute).
void CheckLosses(const Model& model, int rate) {
    auto reported = model.reported.begin();
    for (const auto& [at, loss] : model.expected) {
        if (loss.known == 0 && loss.estimated == 0) continue;
        if (reported == model.reported.end() || reported->first != at)
            Fault("a loss not reported in its place", at);
        const uint64_t most = loss.known + loss.estimated * (60 * static_cast<uint64_t>(rate) + 1);
        if (reported->second < loss.known + loss.estimated || reported->second > most)
            Fault("a loss reported of another size", reported->second, loss.known);
        ++reported;
    }
    if (reported != model.reported.end()) Fault("a loss reported that was none", reported->first);
}

void CheckSession(const Model& model, LiveSession& session, int rate) {
    const SessionSnapshot snapshot = session.Snapshot();
    if (snapshot.status != SessionStatus::kFinished) {
        std::fprintf(stderr, "session: %s\n", snapshot.error.c_str());
        Fault("the session did not finish");
    }
    if (!model.drained) Fault("the session ended before the ring was empty");
    if (model.read != model.stored.size()) Fault("samples stored, not read", model.read);
    CheckLosses(model, rate);
    // Frames in: read, or lost by the intake; the session counts both, lost ones as the engine's.
    const auto taken = static_cast<uint64_t>(std::llround(snapshot.seconds * rate));
    if (taken != model.read + model.lost) Fault("session frames", taken, model.read + model.lost);
    uint64_t sessionLost = 0;
    // Runs of samples that are no audio are told apart from the intake's losses.
    for (const SessionLoss& loss : session.TakeLosses())
        if (!loss.notAudio) sessionLost += static_cast<uint64_t>(loss.frames);
    if (sessionLost != model.lost) Fault("session losses", sessionLost, model.lost);
    const auto engineLost = static_cast<uint64_t>(snapshot.lostFrames);
    if (engineLost < model.lost || engineLost > model.lost + model.read)
        Fault("engine's lost frames", engineLost, model.lost);
}

}  // namespace
}  // namespace wobblemeter

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace wobblemeter;
    Model model;
    const int rate = kRates[size > 2 ? data[2] % std::size(kRates) : 0];
    LiveSession session;
    LiveOptions options;
    options.open = [&](const CaptureOptions&) -> std::unique_ptr<CaptureSource> {
        return std::make_unique<ScriptedSource>(Bytes(data, size), model);
    };
    session.StartLive(options);
    session.Wait(std::chrono::hours(1));
    session.Stop();
    CheckSession(model, session, rate);
    return 0;
}
