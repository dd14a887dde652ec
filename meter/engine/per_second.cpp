// Readings of each second of input, and over the last window seconds.
#include "meter/engine/per_second.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "meter/engine/deviation_spectrum.h"
#include "meter/engine/wow_flutter.h"

namespace wobblemeter {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The window's dominant modulation is read from its last seconds, at most this many.
constexpr double kMaxSpectrumSeconds = 20.0;
// Values of the spectrum's copy the window's modulation needs, at least.
constexpr size_t kMinSpectrumValues = 16;
// Share of a whole second that must hold counted offsets for the second's mean frequency: with
// less (a stretch starting or ending in it, the input cut short) it is left empty rather than
// guessed from a part that a swing would pull one way.
constexpr double kMinCountedShare = 0.5;

}  // namespace

PerSecond::PerSecond(const PerSecondSetup& setup, const Demodulator& demodulator,
                     std::function<void(const SecondReading&)> emit)
    : setup_(setup),
      demodulator_(demodulator),
      emit_(std::move(emit)),
      second_(setup.firstFrame / setup.sampleRate),
      lastModulation_(kNaN),
      recentLength_(std::max(1LL, std::llround(setup.basebandRate / kRecentSlots))),
      traceLength_(std::max(1LL, std::llround(kTracePointSeconds * setup.basebandRate))) {
    lastSession_.sessionWeightedPeakPercent = lastSession_.sessionUnweightedPeakPercent = kNaN;
    lastSession_.sessionWeightedQuasiPeakPercent = lastSession_.sessionDriftPercent = kNaN;
    if (setup_.windowed) {
        windowLength_ = static_cast<size_t>(
            std::max(1.0, std::round(setup_.windowSeconds * setup_.basebandRate)));
        window_ = std::make_unique<WindowDetector>(windowLength_);
        figures_ = std::make_unique<WindowFigures>(windowLength_, setup_.basebandRate);
        const double copyRate = setup_.basebandRate / kSpectrumDecimation;
        copy_.resize(static_cast<size_t>(std::max(
            1.0, std::round(std::min(setup_.windowSeconds, kMaxSpectrumSeconds) * copyRate))));
    }
}

void PerSecond::Push(long long index, bool usable) {
    CloseSlot();
    const long long frame = setup_.firstFrame + index * setup_.decimation;
    const long long second = frame / setup_.sampleRate;
    while (second > second_) Emit();
    ++seen_;
    if (usable) ++usable_;
    slotOpen_ = settled_;
    newest_ = index;
    const long long slot = index / recentLength_;
    if (slot != recentSlot_) {
        recent_[recentNext_] = recentNow_;
        recentNext_ = (recentNext_ + 1) % kRecentSlots;
        // Tenths without a sample (none are skipped while samples flow) count as empty.
        const long long empty =
            std::min(slot - recentSlot_ - 1, static_cast<long long>(kRecentSlots));
        for (long long s = 0; s < empty; ++s) {
            recent_[recentNext_] = {};
            recentNext_ = (recentNext_ + 1) % kRecentSlots;
        }
        recentNow_ = {};
        recentSlot_ = slot;
    }
    ++recentNow_.seen;
    if (usable) ++recentNow_.usable;
    if (setup_.windowed && setup_.onTrace) {
        const long long point = index / traceLength_;
        if (point != tracePoint_) {
            if (tracePoint_ >= 0) EmitTrace();
            tracePoint_ = point;
            const auto none = std::numeric_limits<float>::quiet_NaN();
            trace_ = {};
            trace_.timeSeconds =
                static_cast<double>(setup_.firstFrame + point * traceLength_ * setup_.decimation) /
                setup_.sampleRate;
            trace_.weightedLow = trace_.weightedHigh = none;
            trace_.unweightedLow = trace_.unweightedHigh = none;
        }
    }
}

void PerSecond::EmitTrace() {
    setup_.onTrace(trace_);
}

void PerSecond::CloseSlot() {
    // A sample of the settled stretch that did not count (a gap, a bridged one) keeps its
    // place in the window.
    if (slotOpen_ && window_) {
        window_->Skip();
        figures_->Skip();
    }
    slotOpen_ = false;
}

void PerSecond::StretchStarts() {
    slotOpen_ = false;
    settled_ = false;
    stretchOffsetSum_ = 0.0;
    stretchOffsets_ = 0;
    if (window_) {
        window_->Clear();
        figures_->Clear();
    }
    copyNext_ = copyHeld_ = 0;
    lastModulation_ = kNaN;
}

void PerSecond::Counted(double offsetHz, bool settled, const Deviation& deviation) {
    offsetSum_ += offsetHz;
    ++offsets_;
    stretchOffsetSum_ += offsetHz;
    ++stretchOffsets_;
    recentNow_.offsetSum += offsetHz;
    ++recentNow_.offsets;
    if (!settled) return;
    settled_ = true;
    if (tracePoint_ >= 0) {
        const double toPercent = 100.0 / setup_.mixHz;
        const auto w = static_cast<float>(deviation.weighted * toPercent);
        const auto u = static_cast<float>(deviation.unweighted * toPercent);
        // NaN compares false: the first value replaces it.
        if (!(w >= trace_.weightedLow)) trace_.weightedLow = w;
        if (!(w <= trace_.weightedHigh)) trace_.weightedHigh = w;
        if (!(u >= trace_.unweightedLow)) trace_.unweightedLow = u;
        if (!(u <= trace_.unweightedHigh)) trace_.unweightedHigh = u;
    }
    if (window_) {
        window_->Push(LogHistogram::Bin(std::fabs(deviation.weighted)),
                      LogHistogram::Bin(std::fabs(deviation.unweighted)),
                      deviation.weighted * deviation.weighted);
        figures_->Push(deviation.quasiPeak, deviation.wow, deviation.flutter);
    }
    slotOpen_ = false;
}

void PerSecond::Bridged() {}

void PerSecond::Decimated(float offsetHz) {
    if (copy_.empty()) return;
    copy_[copyNext_] = offsetHz;
    copyNext_ = copyNext_ + 1 == copy_.size() ? 0 : copyNext_ + 1;
    copyHeld_ = std::min(copyHeld_ + 1, copy_.size());
}

void PerSecond::End() {
    CloseSlot();
    if (seen_ > 0) Emit();
    if (tracePoint_ >= 0) EmitTrace();
    tracePoint_ = -1;
}

double PerSecond::WindowModulation(double toPercent, double timeSeconds) {
    if (copyHeld_ < kMinSpectrumValues) return kNaN;
    unrolled_.resize(copyHeld_);
    // Oldest first: the ring's next slot holds the oldest value once it is full.
    const size_t start = copyHeld_ == copy_.size() ? copyNext_ : 0;
    for (size_t i = 0; i < copyHeld_; ++i) unrolled_[i] = copy_[(start + i) % copy_.size()];
    std::vector<double> amplitude;
    const double binHz =
        SegmentSpectrum(unrolled_.data(), unrolled_.size(),
                        setup_.basebandRate / kSpectrumDecimation, spectrum_, amplitude);
    SpectrumReading reading = ReadSpectrum(binHz, amplitude, setup_.mixHz);
    if (setup_.onSpectrum) {
        WindowSpectrum w;
        w.timeSeconds = timeSeconds;
        w.hz = std::move(reading.hz);
        w.percent = std::move(reading.amplitude);
        for (double& a : w.percent) a *= toPercent;
        w.lines = std::move(reading.lines);
        for (SpectrumLine& line : w.lines) line.percent *= toPercent;
        w.modulationHz = reading.modulationHz;
        setup_.onSpectrum(w);
    }
    return reading.modulationHz;
}

void PerSecond::ReadWindow(SecondReading& r, bool inStretch, bool session) const {
    r.weightedPeakPercent = r.unweightedPeakPercent = r.weightedRmsPercent = kNaN;
    r.weightedQuasiPeakPercent = r.wowRmsPercent = r.flutterRmsPercent = kNaN;
    r.sessionWeightedPeakPercent = r.sessionUnweightedPeakPercent = kNaN;
    r.sessionWeightedQuasiPeakPercent = r.sessionDriftPercent = kNaN;
    r.state = r.tonePresent || inStretch ? MeterState::kSettling : MeterState::kNoTone;
    if (!window_) return;
    if (inStretch && window_->Taken() >= windowLength_) {
        const double stretchCarrier =
            setup_.mixHz +
            (stretchOffsets_ > 0 ? stretchOffsetSum_ / static_cast<double>(stretchOffsets_) : 0.0);
        const double toPercent = 100.0 / stretchCarrier;
        r.state = MeterState::kMeasuring;
        r.weightedPeakPercent = window_->WeightedTwoSigma() * toPercent;
        r.unweightedPeakPercent = window_->UnweightedTwoSigma() * toPercent;
        r.weightedRmsPercent = window_->WeightedRms() * toPercent;
        r.weightedQuasiPeakPercent = figures_->QuasiPeak() * toPercent;
        const double wow = figures_->WowRms(), flutter = figures_->FlutterRms();
        const WowFlutterRms parts =
            WowFlutterShare(window_->WeightedRms(), wow * wow, flutter * flutter);
        r.wowRmsPercent = parts.wow * toPercent;
        r.flutterRmsPercent = parts.flutter * toPercent;
    }
    const Stretch* best = demodulator_.Best();
    if (session && best != nullptr && best->Measured() > 0) {
        const double toPercent = 100.0 / (setup_.mixHz + best->MeanOffsetHz());
        r.sessionWeightedPeakPercent = best->WeightedTwoSigmaHz() * toPercent;
        r.sessionUnweightedPeakPercent = best->UnweightedTwoSigmaHz() * toPercent;
        r.sessionWeightedQuasiPeakPercent = best->QuasiPeakHz() * toPercent;
        r.sessionDriftPercent = best->DriftHz() * toPercent;
    }
}

SecondReading PerSecond::Latest() const {
    SecondReading r;
    // Over the last ten whole tenths (a whole second: a modulation at a whole number of Hz
    // averages out), or over what there is.
    Recent sum;
    for (const Recent& slot : recent_) {
        sum.seen += slot.seen;
        sum.usable += slot.usable;
        sum.offsets += slot.offsets;
        sum.offsetSum += slot.offsetSum;
    }
    if (sum.seen == 0) sum = recentNow_;
    r.timeSeconds = static_cast<double>(setup_.firstFrame + (newest_ + 1) * setup_.decimation) /
                    setup_.sampleRate;
    r.tonePresent = sum.seen > 0 && 2 * sum.usable >= sum.seen;
    r.carrierHz = r.tonePresent && sum.offsets > 0
                      ? setup_.mixHz + sum.offsetSum / static_cast<double>(sum.offsets)
                      : kNaN;
    r.speedErrorPercent = 100.0 * (r.carrierHz - setup_.nominalHz) / setup_.nominalHz;
    // The session's figures (quantiles of the stretch's fine histograms) as of the last second:
    // they move slowly, and a display asks for the readings many times a second.
    ReadWindow(r, demodulator_.Current() != nullptr, false);
    r.sessionWeightedPeakPercent = lastSession_.sessionWeightedPeakPercent;
    r.sessionUnweightedPeakPercent = lastSession_.sessionUnweightedPeakPercent;
    r.sessionWeightedQuasiPeakPercent = lastSession_.sessionWeightedQuasiPeakPercent;
    r.sessionDriftPercent = lastSession_.sessionDriftPercent;
    r.modulationHz = r.state == MeterState::kMeasuring ? lastModulation_ : kNaN;
    return r;
}

void PerSecond::Emit() {
    SecondReading r;
    r.timeSeconds = static_cast<double>(second_);
    r.tonePresent = seen_ > 0 && 2 * usable_ >= seen_;
    r.carrierHz = r.tonePresent && offsets_ > 0 &&
                          static_cast<double>(offsets_) >= kMinCountedShare * setup_.basebandRate
                      ? setup_.mixHz + offsetSum_ / static_cast<double>(offsets_)
                      : kNaN;
    r.speedErrorPercent = 100.0 * (r.carrierHz - setup_.nominalHz) / setup_.nominalHz;
    ReadWindow(r, demodulator_.Current() != nullptr, true);
    lastSession_ = r;
    r.modulationHz = kNaN;
    if (r.state == MeterState::kMeasuring) {
        r.modulationHz = WindowModulation(
            100.0 / (setup_.mixHz +
                     stretchOffsetSum_ / static_cast<double>(std::max(1LL, stretchOffsets_))),
            r.timeSeconds);
        lastModulation_ = r.modulationHz;
    }
    emit_(r);
    ++second_;
    seen_ = usable_ = offsets_ = 0;
    offsetSum_ = 0.0;
}

}  // namespace wobblemeter
