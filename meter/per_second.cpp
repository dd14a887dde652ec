// Readings of each second of input, and over the last window seconds.
#include "meter/per_second.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "meter/deviation_spectrum.h"

namespace wobblemeter {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// The window's dominant modulation is read from its last seconds, at most this many.
constexpr double kMaxSpectrumSeconds = 20.0;
// Values of the spectrum's copy the window's modulation needs, at least.
constexpr size_t kMinSpectrumValues = 16;

}  // namespace

PerSecond::PerSecond(const PerSecondSetup& setup, const Demodulator& demodulator,
                     std::function<void(const SecondReading&)> emit)
    : setup_(setup),
      demodulator_(demodulator),
      emit_(std::move(emit)),
      second_(setup.firstFrame / setup.sampleRate) {
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

void PerSecond::Sample(long long index, bool usable) {
    CloseSlot();
    const long long frame = setup_.firstFrame + index * setup_.decimation;
    const long long second = frame / setup_.sampleRate;
    while (second > second_) Emit();
    ++seen_;
    if (usable) ++usable_;
    slotOpen_ = settled_;
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
}

void PerSecond::Counted(double offsetHz, bool settled, const Deviation& deviation) {
    offsetSum_ += offsetHz;
    ++offsets_;
    stretchOffsetSum_ += offsetHz;
    ++stretchOffsets_;
    if (!settled) return;
    settled_ = true;
    if (window_) {
        window_->Add(LogHistogram::Bin(std::fabs(deviation.weighted)),
                     LogHistogram::Bin(std::fabs(deviation.unweighted)),
                     deviation.weighted * deviation.weighted);
        figures_->Add(deviation.quasiPeak, deviation.wow, deviation.flutter);
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

void PerSecond::Flush() {
    CloseSlot();
    if (seen_ > 0) Emit();
}

double PerSecond::WindowModulation() {
    if (copyHeld_ < kMinSpectrumValues) return kNaN;
    unrolled_.resize(copyHeld_);
    // Oldest first: the ring's next slot holds the oldest value once it is full.
    const size_t start = copyHeld_ == copy_.size() ? copyNext_ : 0;
    for (size_t i = 0; i < copyHeld_; ++i) unrolled_[i] = copy_[(start + i) % copy_.size()];
    std::vector<double> amplitude;
    const double binHz =
        SegmentSpectrum(unrolled_.data(), unrolled_.size(),
                        setup_.basebandRate / kSpectrumDecimation, spectrum_, amplitude);
    return ReadSpectrum(binHz, amplitude, setup_.mixHz).modulationHz;
}

void PerSecond::Emit() {
    SecondReading r;
    r.timeSeconds = static_cast<double>(second_);
    r.tonePresent = seen_ > 0 && 2 * usable_ >= seen_;
    r.carrierHz = r.tonePresent && offsets_ > 0
                      ? setup_.mixHz + offsetSum_ / static_cast<double>(offsets_)
                      : kNaN;
    r.speedErrorPercent = 100.0 * (r.carrierHz - setup_.nominalHz) / setup_.nominalHz;
    r.weightedPeakPercent = r.unweightedPeakPercent = r.weightedRmsPercent = kNaN;
    r.modulationHz = r.sessionWeightedPeakPercent = r.sessionUnweightedPeakPercent = kNaN;
    const bool inStretch = demodulator_.Current() != nullptr;
    r.state = r.tonePresent || inStretch ? MeterState::kSettling : MeterState::kNoTone;
    if (window_) {
        const double stretchCarrier =
            setup_.mixHz +
            (stretchOffsets_ > 0 ? stretchOffsetSum_ / static_cast<double>(stretchOffsets_) : 0.0);
        if (inStretch && window_->Taken() >= windowLength_) {
            const double toPercent = 100.0 / stretchCarrier;
            r.state = MeterState::kMeasuring;
            r.weightedPeakPercent = window_->WeightedTwoSigma() * toPercent;
            r.unweightedPeakPercent = window_->UnweightedTwoSigma() * toPercent;
            r.weightedRmsPercent = window_->WeightedRms() * toPercent;
            r.weightedQuasiPeakPercent = figures_->QuasiPeak() * toPercent;
            r.wowRmsPercent = figures_->WowRms() * toPercent;
            r.flutterRmsPercent = figures_->FlutterRms() * toPercent;
            r.modulationHz = WindowModulation();
        }
        const Stretch* best = demodulator_.Best();
        if (best != nullptr && best->Measured() > 0) {
            const double toPercent = 100.0 / (setup_.mixHz + best->MeanOffsetHz());
            r.sessionWeightedPeakPercent = best->WeightedTwoSigmaHz() * toPercent;
            r.sessionUnweightedPeakPercent = best->UnweightedTwoSigmaHz() * toPercent;
            r.sessionWeightedQuasiPeakPercent = best->QuasiPeakHz() * toPercent;
            r.sessionDriftPercent = best->DriftHz() * toPercent;
        }
    }
    emit_(r);
    ++second_;
    seen_ = usable_ = offsets_ = 0;
    offsetSum_ = 0.0;
}

}  // namespace wobblemeter
