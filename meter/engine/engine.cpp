// The engine: the stages joined, the search's samples replayed once the carrier is known, the
// band widened when the tone swings beyond it, and the refusals that name the real reason.
#include "meter/engine/engine.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "meter/engine/baseband.h"
#include "meter/engine/carrier_search.h"
#include "meter/engine/demodulator.h"
#include "meter/engine/per_second.h"
#include "meter/engine/revolution.h"
#include "meter/engine/stretch.h"
#include "meter/engine/tone_gate.h"
#include "meter/message.h"

namespace wobblemeter {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// Samples at or below this magnitude count as digital silence, 1 = full scale (-120 dBFS).
constexpr double kSilence = 1e-6;
// Largest magnitude a sample may have; beyond it the input holds garbage, not audio.
constexpr double kMaxSample = 1e6;
// The carrier must carry at least this share of the signal's power.
constexpr double kMinTonePower = 0.5;
// Share of the phase steps that may lie beyond the demodulator's band.
constexpr double kMaxStrayFraction = 0.001;
// Gaps in the tone up to this long are drop-outs, bridged; longer ones end the stretch, s.
constexpr double kMaxDropoutSeconds = 0.5;
// The tone's level near the carrier is taken from the search's baseband, as the level it
// keeps most of the time (hiss may fill part of the span before the tone).
constexpr double kReferenceQuantile = 0.8;
// A tone whose level falls away more often than this, per second, without ever holding a
// readable stretch, is no steady tone (two tones beating, heavy noise).
constexpr double kMaxFallsPerSecond = 2.0;
// Slack of the range check on the carrier measured: relative, and as a share of the tone's
// swing (its unweighted two-sigma), within which the mean of a swinging tone is known. A tone
// at 500.000 Hz with 1 % of wow (5 Hz) averages 499.9997 Hz; one at 499.95 Hz without wow is
// outside.
constexpr double kCarrierRangeSlack = 1e-9;
constexpr double kCarrierRangeSwingShare = 1e-3;
// A tone found again after the tone was lost counts only within this power of the strongest
// tone so far (-40 dB): weaker, it is the remains of it (print-through, crosstalk, hum's
// harmonics), not a tone to measure.
constexpr double kMinReturningLevel = 1e-4;
// Input samples mixed per block when the search's samples are replayed, and baseband samples
// gated at a time.
constexpr size_t kReplayBlock = 4096;
constexpr size_t kGateBlock = 1024;

// The nominal carrier for a frequency: the given one, or the nearer standard one when the
// frequency lies within kMaxStandardDistance of it; NaN otherwise.
double NominalFor(double hz, double givenHz) {
    if (givenHz > 0.0) return givenHz;
    const double nearer =
        std::fabs(hz - kStandardCarriersHz[0]) <= std::fabs(hz - kStandardCarriersHz[1])
            ? kStandardCarriersHz[0]
            : kStandardCarriersHz[1];
    return std::fabs(hz - nearer) > kMaxStandardDistance * nearer ? kNaN : nearer;
}

// The stretches' setup for a band plan: where their filters start (the mean frequency the
// search saw, against the mixing frequency) and, with a platter speed, the rotation rate at
// the speed the tone runs (a platter 1 % fast turns 1 % faster).
StretchSetup TrackerSetup(double basebandRate, double expectedSamples, double mixHz, double meanHz,
                          const MeterOptions& options) {
    StretchSetup s = MakeStretchSetup(basebandRate, expectedSamples);
    s.meanOffsetHz = meanHz - mixHz;
    s.meanHz = meanHz;
    if (options.rpm > 0.0) {
        const double nominal = NominalFor(meanHz, options.nominalHz);
        s.rotationHz = RotationHz(options.rpm, std::isfinite(nominal) ? meanHz / nominal : 1.0);
    }
    return s;
}

}  // namespace

// The chain from the mixer on, for one mixing frequency and band.
class Tracker {
public:
    // meanHz: the tone's mean frequency as the search saw it.
    Tracker(int rate, double mixHz, double meanHz, const BandPlan& plan, long long firstFrame,
            const MeterOptions& options, long long expectedFrames,
            std::function<void(const SecondReading&)> emit)
        : rate_(rate),
          mixHz_(mixHz),
          firstFrame_(firstFrame),
          nominalHz_(options.nominalHz),
          live_(options.live),
          baseband_(rate, mixHz, plan),
          setup_(TrackerSetup(
              plan.basebandRate,
              expectedFrames > 0
                  ? static_cast<double>(expectedFrames - firstFrame) / baseband_.Decimation() -
                        static_cast<double>(baseband_.Warm())
                  : 0.0,
              mixHz, meanHz, options)),
          maxGap_(std::llround(kMaxDropoutSeconds * plan.basebandRate)),
          demodulator_(setup_, plan.passHz, maxGap_,
                       [this](long long) -> StretchObserver* {
                           perSecond_->StretchStarts();
                           return perSecond_.get();
                       }),
          emit_(std::move(emit)) {
        PerSecondSetup s;
        s.sampleRate = rate;
        s.firstFrame = firstFrame;
        s.decimation = baseband_.Decimation();
        s.basebandRate = plan.basebandRate;
        s.mixHz = mixHz;
        s.nominalHz = NominalFor(mixHz, options.nominalHz);
        s.windowSeconds = options.windowSeconds;
        s.windowed = static_cast<bool>(options.onSecond);
        s.onTrace = options.onTrace;
        s.onSpectrum = options.onSpectrum;
        perSecond_ = std::make_unique<PerSecond>(s, demodulator_, [this](const SecondReading& r) {
            if (held_)
                heldReadings_.push_back(r);
            else
                emit_(r);
        });
    }

    // Starts on the search's samples (lost ranges: first index and count within them): the
    // tone's reference level comes from their baseband, then they are gated and demodulated.
    // The readings of their seconds are held until Accept().
    void Start(const std::vector<float>& samples,
               const std::vector<std::pair<size_t, size_t>>& lost) {
        const size_t expected = samples.size() / static_cast<size_t>(baseband_.Decimation()) + 1;
        std::vector<double> z, power;
        std::vector<uint8_t> lostMarks;
        z.reserve(2 * expected);
        power.reserve(expected);
        lostMarks.reserve(expected);
        size_t position = 0;
        size_t nextLost = 0;
        while (position < samples.size()) {
            size_t end = std::min(samples.size(), position + kReplayBlock);
            bool lostHere = false;
            if (nextLost < lost.size()) {
                const auto [lostFirst, lostCount] = lost[nextLost];
                if (position >= lostFirst) {
                    lostHere = true;
                    end = std::min(samples.size(), lostFirst + lostCount);
                    ++nextLost;
                } else {
                    end = std::min(end, lostFirst);
                }
            }
            baseband_.Push(samples.data() + position, end - position, lostHere);
            z.insert(z.end(), baseband_.Samples().begin(), baseband_.Samples().end());
            power.insert(power.end(), baseband_.Power().begin(), baseband_.Power().end());
            lostMarks.insert(lostMarks.end(), baseband_.Lost().begin(), baseband_.Lost().end());
            position = end;
        }
        double reference = 0.0;
        {
            const auto warm = static_cast<size_t>(baseband_.Warm());
            std::vector<double> levels;
            levels.reserve(power.size());
            for (size_t i = warm; i < power.size(); ++i)
                levels.push_back(z[2 * i] * z[2 * i] + z[2 * i + 1] * z[2 * i + 1]);
            if (!levels.empty()) {
                const auto rank = static_cast<std::ptrdiff_t>(
                    kReferenceQuantile * static_cast<double>(levels.size() - 1));
                std::nth_element(levels.begin(), levels.begin() + rank, levels.end());
                reference = levels[static_cast<size_t>(rank)];
            }
        }
        reference_ = reference;
        gate_ = std::make_unique<ToneGate>(reference, baseband_.Warm(), baseband_.Plan().passHz,
                                           baseband_.Plan().basebandRate);
        for (size_t first = 0; first < power.size(); first += kGateBlock) {
            const size_t n = std::min(kGateBlock, power.size() - first);
            Gate(z.data() + 2 * first, power.data() + first, lostMarks.data() + first, n);
        }
    }

    void Push(const float* x, size_t n, bool lost) {
        baseband_.Push(x, n, lost);
        Gate(baseband_.Samples().data(), baseband_.Power().data(), baseband_.Lost().data(),
             baseband_.Size());
    }

    // Whether the tone swung beyond the band more often than allowed so far.
    bool SwingsBeyond() const {
        const Demodulator::Totals& t = demodulator_.Total();
        return t.strays > 0 &&
               static_cast<double>(t.strays) > kMaxStrayFraction * static_cast<double>(t.steps);
    }
    const BandPlan& Plan() const { return baseband_.Plan(); }

    // From now on the readings go out as they form.
    void Accept() {
        held_ = false;
        for (const SecondReading& r : heldReadings_) emit_(r);
        std::vector<SecondReading>().swap(heldReadings_);
    }

    void End() {
        perSecond_->End();
        demodulator_.End();
    }

    MeterState State() const {
        return demodulator_.Current() != nullptr ? MeterState::kSettling : MeterState::kNoTone;
    }

    // Whether the tone has been gone for longer than a drop-out, with no stretch under way.
    bool ToneLost() const { return demodulator_.Current() == nullptr && absent_ > maxGap_; }
    // Measured samples of the longest stretch; -1: none.
    long long BestMeasured() const {
        const Stretch* best = demodulator_.Best();
        return best != nullptr ? best->Measured() : -1;
    }
    int Dropouts() const { return demodulator_.Total().dropouts; }
    // The level the tone keeps (|z|^2 of the baseband).
    double Reference() const { return reference_; }
    SecondReading Latest() const { return perSecond_->Latest(); }
    // The two-sigma figures over the longest stretch into r's session figures.
    void SessionPeaks(SecondReading& r) const {
        const Stretch* best = demodulator_.Best();
        if (best == nullptr || best->Measured() == 0) return;
        const double toPercent = 100.0 / (mixHz_ + best->MeanOffsetHz());
        r.sessionWeightedPeakPercent = best->WeightedTwoSigmaHz() * toPercent;
        r.sessionUnweightedPeakPercent = best->UnweightedTwoSigmaHz() * toPercent;
        r.sessionWeightedQuasiPeakPercent = best->QuasiPeakHz() * toPercent;
        r.sessionDriftPercent = best->DriftHz() * toPercent;
    }
    // The largest lines near the carrier in the search's spectrum, Hz.
    void SetLines(std::vector<double> lines) { lines_ = std::move(lines); }

    // The readings of the longest stretch, or the reason there are none. lines: the largest
    // lines near the carrier in the search's spectrum.
    void Read(long long frames, MeterResult& r) const {
        const Stretch* best = demodulator_.Best();
        if (best != nullptr && best->steps > 0) {
            r.tonePowerFraction = 2.0 * best->toneSquares / best->inputSquares;
            if (!(r.tonePowerFraction >= kMinTonePower)) {
                throw MeterError(Msg::kWeakLine, mixHz_, 100.0 * r.tonePowerFraction);
            }
            if (static_cast<double>(best->strays) >
                kMaxStrayFraction * static_cast<double>(best->steps)) {
                throw MeterError(SwingMessage(), Msg::kSwingsBeyond);
            }
        }
        if (best == nullptr || !best->Readable()) RefuseUnreadable(best, frames, lines_);
        const double start = SecondsAt(best->first + setup_.settle);
        best->Read(mixHz_, nominalHz_, start, r);
        // A tone at a limit may read a little beyond it: a few parts in a billion, and more
        // where it swings.
        const double slack = kCarrierRangeSlack * r.carrierHz + kCarrierRangeSwingShare *
                                                                    r.unweightedPeakPercent /
                                                                    100.0 * r.carrierHz;
        if (!(r.carrierHz >= kMinCarrierHz - slack && r.carrierHz <= kMaxCarrierHz + slack)) {
            const double limit = r.carrierHz < kMinCarrierHz ? kMinCarrierHz : kMaxCarrierHz;
            throw MeterError(Msg::kMeanOutsideRange, DistinctFrom(r.carrierHz, limit, 3).c_str(),
                             kMinCarrierHz, kMaxCarrierHz);
        }
    }

private:
    void Gate(const double* z, const double* power, const uint8_t* lost, size_t n) {
        long long first = 0;
        gate_->Push(z, power, lost, n, gated_, &first);
        for (size_t i = 0; i < gated_.size(); ++i) {
            const long long index = first + static_cast<long long>(i);
            perSecond_->Push(index, gated_[i].usable);
            demodulator_.Push(gated_[i], index);
            absent_ = gated_[i].usable ? 0 : absent_ + 1;
        }
    }

    // Seconds from the start of the input to a baseband sample.
    double SecondsAt(long long index) const {
        return static_cast<double>(firstFrame_) / rate_ +
               static_cast<double>(index) / baseband_.Plan().basebandRate;
    }

    std::string SwingMessage() const {
        const double pass = baseband_.Plan().passHz;
        return Text(Msg::kSwingsBeyond, pass, mixHz_, 100.0 * pass / mixHz_);
    }

    [[noreturn]] void RefuseUnreadable(const Stretch* best, long long frames,
                                       const std::vector<double>& lines) const {
        const double rate = baseband_.Plan().basebandRate;
        if (gate_->InputSquares() > 0.0) {
            const double share = 2.0 * gate_->ToneSquares() / gate_->InputSquares();
            if (share < kMinTonePower) {
                throw MeterError(Msg::kWeakBand, mixHz_, baseband_.Plan().passHz, 100.0 * share);
            }
        }
        if (SwingsBeyond()) throw MeterError(SwingMessage(), Msg::kSwingsBeyond);
        const double seconds = static_cast<double>(gate_->Count()) / rate;
        const double fallsPerSecond =
            seconds > 0.0 ? static_cast<double>(gate_->Falls()) / seconds : 0.0;
        if (fallsPerSecond > kMaxFallsPerSecond) {
            if (lines.size() >= 2) {
                throw MeterError(Msg::kTwoTonesBeat, std::min(lines[0], lines[1]),
                                 std::max(lines[0], lines[1]), fallsPerSecond);
            }
            throw MeterError(Msg::kLevelFalls, mixHz_, fallsPerSecond);
        }
        const double needed = kSettleSeconds + kMinMeasuredSeconds;
        if (demodulator_.Total().stops > 0 && best != nullptr) {
            throw MeterError(Msg::kToneStops, SecondsAt(best->last),
                             static_cast<double>(best->last - best->first) / rate, needed);
        }
        throw MeterError(live_ ? Msg::kCaptureTooShort : Msg::kRecordingTooShort,
                         static_cast<double>(frames - firstFrame_) / rate_,
                         static_cast<double>(baseband_.Warm()) / rate + needed);
    }

    int rate_;
    double mixHz_;
    long long firstFrame_;
    double nominalHz_;
    bool live_;  // MeterOptions::live
    Baseband baseband_;
    StretchSetup setup_;
    std::unique_ptr<ToneGate> gate_;
    double reference_ = 0.0;
    long long maxGap_;      // the longest drop-out, baseband samples
    long long absent_ = 0;  // gated samples in a row without the tone
    Demodulator demodulator_;
    std::unique_ptr<PerSecond> perSecond_;
    std::vector<GatedSample> gated_;
    std::function<void(const SecondReading&)> emit_;
    bool held_ = true;
    std::vector<SecondReading> heldReadings_;
    std::vector<double> lines_;
};

Engine::Engine(int sampleRate, const MeterOptions& options, long long expectedFrames)
    : rate_(sampleRate),
      options_(options),
      expectedFrames_(expectedFrames),
      speedErrors_(std::make_unique<EnvelopeBuilder>(1)) {
    const double given = options.carrierHz;
    if (given != 0.0 && !(given >= kMinCarrierHz && given <= kMaxCarrierHz)) {
        const double limit = given < kMinCarrierHz ? kMinCarrierHz : kMaxCarrierHz;
        throw MeterError(Msg::kCarrierOutsideRange, DistinctFrom(given, limit, 1).c_str(),
                         kMinCarrierHz, kMaxCarrierHz);
    }
}

Engine::~Engine() = default;

MeterState Engine::State() const {
    return state_;
}

SecondReading Engine::Latest() const {
    SecondReading r;
    if (tracker_) {
        r = tracker_->Latest();
    } else {
        r.timeSeconds = static_cast<double>(frames_) / rate_;
        // A tone the search has found but not yet placed is settling already.
        r.state = search_ && search_->ToneSeen() ? MeterState::kSettling : SearchState();
        r.carrierHz = r.speedErrorPercent = kNaN;
        r.weightedPeakPercent = r.unweightedPeakPercent = r.weightedRmsPercent = kNaN;
        r.modulationHz = r.sessionWeightedPeakPercent = r.sessionUnweightedPeakPercent = kNaN;
    }
    if (kept_ && kept_.get() == Longest()) kept_->SessionPeaks(r);
    return r;
}

int Engine::Dropouts() const {
    return earlierDropouts_ + (tracker_ ? tracker_->Dropouts() : 0);
}

Tracker* Engine::Longest() const {
    if (kept_ && (!tracker_ || kept_->BestMeasured() > tracker_->BestMeasured()))
        return kept_.get();
    return tracker_.get();
}

void Engine::Push(const float* samples, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (!std::isfinite(samples[i]) || std::fabs(samples[i]) > kMaxSample) {
            throw MeterError(Msg::kSamplesNotAudio);
        }
    }
    Push(samples, n, false);
}

void Engine::PushLost(long long frames) {
    if (frames <= 0) return;
    ++overruns_;
    lostFrames_ += frames;
    if (zeros_.empty()) zeros_.assign(kReplayBlock, 0.0f);
    while (frames > 0) {
        const auto n = static_cast<size_t>(std::min<long long>(frames, kReplayBlock));
        Push(zeros_.data(), n, true);
        frames -= static_cast<long long>(n);
    }
}

void Engine::Push(const float* x, size_t n, bool lost) {
    long long at = frames_;  // input frame of x[0]
    frames_ += static_cast<long long>(n);
    if (!soundSeen_) {
        // Digital silence (or lost input) before the first sound is skipped.
        size_t i = 0;
        if (!lost)
            while (i < n && std::fabs(x[i]) <= kSilence) ++i;
        else
            i = n;
        silent_ += static_cast<long long>(i);
        x += i;
        n -= i;
        at += static_cast<long long>(i);
        if (n == 0) {
            EmitWaitingUntil(silent_);
            return;
        }
        soundSeen_ = true;
        StartSearch(silent_);
    }
    while (n > 0) {
        size_t done = 0;
        if (tracker_) {
            // In steps that end on a fixed grid of the input, so that where a lost tone is
            // noticed does not depend on the blocks the input comes in.
            done = std::min(
                n, kReplayBlock - static_cast<size_t>(at % static_cast<long long>(kReplayBlock)));
            tracker_->Push(x, done, lost);
            state_ = tracker_->State();
            if (tracker_->ToneLost()) Retire(at + static_cast<long long>(done));
        } else {
            done = Search(x, n, lost);
        }
        x += done;
        n -= done;
        at += static_cast<long long>(done);
    }
}

void Engine::StartSearch(long long frame) {
    search_ = std::make_unique<CarrierSearch>(rate_, options_.carrierHz);
    searchBase_ = frame;
    searchLost_.clear();
}

void Engine::Retire(long long frame) {
    tracker_->End();
    earlierDropouts_ += tracker_->Dropouts();
    if (!kept_ || tracker_->BestMeasured() > kept_->BestMeasured()) kept_ = std::move(tracker_);
    tracker_.reset();
    state_ = MeterState::kNoTone;
    StartSearch(frame);
}

size_t Engine::Search(const float* x, size_t n, bool lost) {
    size_t done = 0;
    while (done < n) {
        const size_t take = std::min(n - done, search_->Room());
        if (lost) {
            const long long from = searchBase_ + search_->SpanStart() +
                                   static_cast<long long>(search_->Samples().size());
            searchLost_.emplace_back(from, static_cast<long long>(take));
        }
        const size_t taken = search_->Push(x + done, take);
        if (lost && taken < take) searchLost_.back().second = static_cast<long long>(taken);
        done += taken;
        EmitWaitingUntil(searchBase_ + search_->SpanStart(), SearchState());
        if (search_->Complete() && Decide()) break;
    }
    return done;
}

bool Engine::Decide() {
    if (!search_->Decide()) {
        EmitWaitingUntil(searchBase_ + search_->SpanStart(), SearchState());
        return false;
    }
    const double mix = search_->CarrierHz();
    const long long spanStart = searchBase_ + search_->SpanStart();
    double pass = kDefaultPassHz;
    std::optional<BandPlan> plan = PlanBand(rate_, mix, pass);
    if (!plan) {
        throw MeterError(Msg::kCarrierNearHalfRate, mix, rate_ / 2.0);
    }
    // Lost input within the span, as positions in the held samples.
    std::vector<std::pair<size_t, size_t>> lost;
    for (const auto& [from, count] : searchLost_) {
        if (from + count <= spanStart) continue;
        const long long first = std::max(from, spanStart);
        lost.emplace_back(static_cast<size_t>(first - spanStart),
                          static_cast<size_t>(from + count - first));
    }
    searchLost_.clear();
    // A tone that swings beyond the band is followed in a wider one, up to the widest the
    // carrier and the rate allow.
    const double widest = WidestPass(rate_, mix);
    for (;;) {
        tracker_ =
            std::make_unique<Tracker>(rate_, mix, search_->MeanHz(), *plan, spanStart, options_,
                                      expectedFrames_, [this](const SecondReading& r) { Emit(r); });
        tracker_->Start(search_->Samples(), lost);
        const double wider = std::min(2.0 * pass, widest);
        if (!tracker_->SwingsBeyond() || !(wider > pass)) break;
        pass = wider;
        plan = PlanBand(rate_, mix, pass);
        if (!plan) break;
    }
    if (kept_ && !(tracker_->Reference() >= kMinReturningLevel * strongest_)) {
        // Too weak to be the tone returning: searched for again after it.
        tracker_.reset();
        const long long after = spanStart + static_cast<long long>(search_->Samples().size());
        StartSearch(after);
        EmitWaitingUntil(after, SearchState());
        return false;
    }
    strongest_ = std::max(strongest_, tracker_->Reference());
    tracker_->SetLines(search_->Lines());
    tracker_->Accept();
    state_ = tracker_->State();
    search_->Release();
    return true;
}

void Engine::Emit(SecondReading reading) {
    // The session's figures are those of the longest stretch, whichever tracker holds it.
    if (kept_ && kept_.get() == Longest()) kept_->SessionPeaks(reading);
    speedErrors_->Push(reading.speedErrorPercent);
    nextSecond_ = static_cast<long long>(reading.timeSeconds) + 1;
    state_ = reading.state;
    if (options_.onSecond) options_.onSecond(reading);
}

void Engine::EmitWaitingUntil(long long frame, MeterState state) {
    while ((nextSecond_ + 1) * rate_ <= frame) {
        SecondReading r;
        r.timeSeconds = static_cast<double>(nextSecond_);
        r.state = state;
        r.carrierHz = r.speedErrorPercent = kNaN;
        r.weightedPeakPercent = r.unweightedPeakPercent = r.weightedRmsPercent = kNaN;
        r.modulationHz = r.sessionWeightedPeakPercent = r.sessionUnweightedPeakPercent = kNaN;
        Emit(r);
    }
}

MeterResult Engine::Finish() {
    MeterResult r;
    r.sampleRate = rate_;
    r.durationSeconds = static_cast<double>(frames_) / rate_;
    r.lostFrames = lostFrames_;
    r.overruns = overruns_;
    if (!soundSeen_) {
        EmitWaitingUntil(frames_ + rate_ - 1);
        throw MeterError(options_.live ? Msg::kCaptureSilent : Msg::kRecordingSilent);
    }
    // A search under way decides over what it holds; where it finds nothing, an earlier
    // stretch may still be read.
    if (!tracker_ && !Decide() && !kept_) {
        EmitWaitingUntil(frames_ + rate_ - 1);
        const Msg why = search_->ReasonId();
        if (options_.live && why == Msg::kSearchTooShort)
            throw MeterError(Msg::kCaptureSearchTooShort);
        if (options_.live && why == Msg::kSearchSilent) throw MeterError(Msg::kCaptureSearchSilent);
        throw MeterError(search_->Reason(), why);
    }
    if (tracker_) tracker_->End();
    EmitWaitingUntil(frames_ + rate_ - 1, tracker_ ? state_ : MeterState::kNoTone);
    Longest()->Read(frames_, r);
    if (options_.rpm > 0.0) r.revolution.rpm = options_.rpm;
    if (std::isfinite(r.nominalHz)) r.speedError = speedErrors_->Read(0.0, 1.0, 1.0);
    return r;
}

}  // namespace wobblemeter
