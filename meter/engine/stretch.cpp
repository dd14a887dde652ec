// A stretch's filters, detectors, traces, spectrum and mean, and its readings.
#include "meter/engine/stretch.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <limits>
#include <numbers>

namespace wobblemeter {

namespace {

// Angles of the fold onto the platter: 5 degrees each.
constexpr int kRevolutionBins = 72;
// A spectrum line this many bins from a harmonic of the rotation rate is that harmonic.
constexpr double kHarmonicToleranceBins = 2.0;
// Values of the spectrum's copy a stretch needs beyond its settled start.
constexpr size_t kMinSpectrumValues = 16;

}  // namespace

StretchSetup MakeStretchSetup(double basebandRate, double expectedSamples) {
    StretchSetup s;
    s.basebandRate = basebandRate;
    s.settle = static_cast<long long>(std::llround(kSettleSeconds * basebandRate));
    s.driftSettle = static_cast<long long>(std::llround(kDriftSettleSeconds * basebandRate));
    s.spectrumTaps = DesignSpectrumDecimation(basebandRate).taps;
    s.spectrumFirst = static_cast<size_t>(
        (s.settle + static_cast<long long>(s.spectrumTaps.size())) / kSpectrumDecimation + 1);
    const double traced = std::max(0.0, expectedSamples - static_cast<double>(s.settle));
    s.envelopePer =
        static_cast<size_t>(std::min(1e9, traced / static_cast<double>(kEnvelopeStretches)));
    return s;
}

void NameRevolutionHarmonics(std::vector<SpectrumLine>& lines, double rotationHz, double binHz) {
    if (!(rotationHz > 0.0)) return;
    for (SpectrumLine& line : lines)
        line.revolutionHarmonic =
            RevolutionHarmonic(line.hz, rotationHz, kHarmonicToleranceBins * binHz);
}

Stretch::Stretch(long long firstIndex, const StretchSetup& setup, StretchObserver* observer,
                 double meanOffsetHz)
    : first(firstIndex),
      setup_(setup),
      observer_(observer),
      filters_(setup.basebandRate),
      quasiPeak_(setup.basebandRate),
      split_(setup.basebandRate),
      drift_(setup.basebandRate),
      spectrumFilter_(setup.spectrumTaps, kSpectrumDecimation),
      weightedTrace_(setup.envelopePer),
      unweightedTrace_(setup.envelopePer),
      spectrum_(setup.basebandRate / kSpectrumDecimation),
      mean_(setup.basebandRate / kSpectrumDecimation),
      lastBridged_(std::numeric_limits<long long>::min() / 2) {
    filters_.Settle(meanOffsetHz);
    drift_.Settle(meanOffsetHz);
    if (setup.rotationHz > 0.0) {
        fold_ =
            std::make_unique<RevolutionFold>(setup.basebandRate, setup.rotationHz, kRevolutionBins);
    }
}

void Stretch::Push(double offsetHz, bool counted) {
    if (!counted) lastBridged_ = fed_;
    double decimated = 0.0;
    if (spectrumFilter_.Process(offsetHz, decimated)) {
        if (decimated_++ >= setup_.spectrumFirst) {
            const auto value = static_cast<float>(decimated);
            spectrum_.Push(value);
            // A value whose filter saw a bridged gap does not count towards the mean.
            mean_.Push(value,
                       fed_ - lastBridged_ > static_cast<long long>(spectrumFilter_.Length()));
            if (observer_ != nullptr) observer_->Decimated(value);
        }
    }
    Deviation d = filters_.Process(offsetHz);
    const bool settled = ++fed_ > setup_.settle;
    // The detectors run through uncounted samples too (the needle moves on, the platter
    // turns), but only counted ones of the settled stretch enter their readings.
    const bool reads = counted && settled;
    quasiPeak_.Push(d.weighted, reads);
    split_.Push(d.weighted, reads);
    drift_.Push(offsetHz, counted && fed_ > setup_.driftSettle);
    if (fold_ && settled) {
        // Angle 0 is where the readings start. The platter turns as fast as the tone runs: a drift
        // of 0.5 % over a side would otherwise smear the fold by a tenth of a revolution in 20
        // revolutions.
        const double speed = setup_.meanHz > 0.0
                                 ? 1.0 + (drift_.Current() - setup_.meanOffsetHz) / setup_.meanHz
                                 : 1.0;
        fold_->Push(d.unweighted, reads, speed);
    }
    d.quasiPeak = quasiPeak_.Indication();
    d.wow = split_.WowNow();
    d.flutter = split_.FlutterNow();
    if (settled) {
        weightedTrace_.Push(d.weighted);
        unweightedTrace_.Push(d.unweighted);
    }
    if (!counted) {
        if (settled && observer_ != nullptr) observer_->Bridged();
        return;
    }
    offsetSum_ += offsetHz;
    ++offsetCount_;
    if (observer_ != nullptr) observer_->Counted(offsetHz, settled, d);
    if (!settled) return;
    weightedHistogram_.Add(std::fabs(d.weighted));
    unweightedHistogram_.Add(std::fabs(d.unweighted));
    weightedSquares_ += d.weighted * d.weighted;
    unweightedSquares_ += d.unweighted * d.unweighted;
    ++measured_;
}

bool Stretch::Readable() const {
    return measured_ > 0 && decimated_ > setup_.spectrumFirst + kMinSpectrumValues &&
           static_cast<double>(measured_) / setup_.basebandRate >= kMinMeasuredSeconds;
}

double Stretch::WeightedTwoSigmaHz() const {
    return weightedHistogram_.Quantile(1.0 - kTwoSigmaExceeded);
}

double Stretch::UnweightedTwoSigmaHz() const {
    return unweightedHistogram_.Quantile(1.0 - kTwoSigmaExceeded);
}

double Stretch::QuasiPeakHz() const {
    return quasiPeak_.Readings().Empty() ? kNoReading : quasiPeak_.Reading();
}

double Stretch::DriftHz() const {
    return drift_.Slow().Empty() ? kNoReading : drift_.Slow().Spread();
}

void Stretch::Read(double mixHz, double nominalHz, double startSeconds, MeterResult& r) const {
    const double rate = setup_.basebandRate;
    r.measuredSeconds = static_cast<double>(measured_) / rate;
    r.startSeconds = startSeconds;
    r.dropouts = dropouts;

    // Spectrum of the deviation, 0.1 ... 200 Hz, and its largest lines, first in Hz.
    std::vector<double> amplitude;
    const double binHz = spectrum_.Read(amplitude);
    SpectrumReading s = ReadSpectrum(binHz, amplitude, mixHz);
    r.spectrumHz = std::move(s.hz);
    r.spectrumPercent = std::move(s.amplitude);
    r.lines = std::move(s.lines);
    r.modulationHz = s.modulationHz;
    NameRevolutionHarmonics(r.lines, setup_.rotationHz, binHz);

    // Mean frequency: over whole periods of the dominant modulation when the span holds at
    // least two, otherwise Hann-weighted.
    r.carrierHz = mixHz + mean_.Mean(r.modulationHz);
    if (nominalHz > 0.0) {
        r.nominalHz = nominalHz;
    } else {
        r.nominalHz = std::fabs(r.carrierHz - kStandardCarriersHz[0]) <=
                              std::fabs(r.carrierHz - kStandardCarriersHz[1])
                          ? kStandardCarriersHz[0]
                          : kStandardCarriersHz[1];
        if (std::fabs(r.carrierHz - r.nominalHz) > kMaxStandardDistance * r.nominalHz)
            r.nominalHz = std::numeric_limits<double>::quiet_NaN();
    }
    r.speedErrorPercent = 100.0 * (r.carrierHz - r.nominalHz) / r.nominalHz;
    const double toPercent = 100.0 / r.carrierHz;
    r.weightedPeakPercent = WeightedTwoSigmaHz() * toPercent;
    r.unweightedPeakPercent = UnweightedTwoSigmaHz() * toPercent;
    const auto measured = static_cast<double>(std::max<long long>(1, measured_));
    const double weightedRmsHz = std::sqrt(weightedSquares_ / measured);
    r.weightedRmsPercent = weightedRmsHz * toPercent;
    r.unweightedRmsPercent = std::sqrt(unweightedSquares_ / measured) * toPercent;
    r.weightedQuasiPeakPercent = QuasiPeakHz() * toPercent;
    const double wow = split_.Wow().Rms(), flutter = split_.Flutter().Rms();
    const WowFlutterRms parts = WowFlutterShare(weightedRmsHz, wow * wow, flutter * flutter);
    r.wowRmsPercent = parts.wow * toPercent;
    r.flutterRmsPercent = parts.flutter * toPercent;
    r.driftPercent = DriftHz() * toPercent;
    if (!drift_.Slow().Empty() && std::isfinite(r.nominalHz)) {
        const SpeedErrorRange range = SpeedErrorRangeOf(drift_, mixHz, r.nominalHz);
        r.speedErrorLowPercent = range.lowPercent;
        r.speedErrorHighPercent = range.highPercent;
    }
    if (fold_) ReadRevolution(toPercent, r.revolution);
    r.weighted = weightedTrace_.Read(startSeconds, rate, toPercent);
    r.unweighted = unweightedTrace_.Read(startSeconds, rate, toPercent);
    for (double& a : r.spectrumPercent) a *= toPercent;
    for (SpectrumLine& line : r.lines) line.percent *= toPercent;
}

void Stretch::ReadRevolution(double toPercent, RevolutionReading& v) const {
    v.revolutions = fold_->Revolutions();
    // The rate the fold turned at on average (with the speed it followed), not the one the
    // carrier search's glimpse of a swinging tone gave to start with.
    v.rotationHz = measured_ > 0
                       ? v.revolutions * setup_.basebandRate / static_cast<double>(measured_)
                       : setup_.rotationHz;
    if (!fold_->Complete()) return;
    const std::complex<double> once = fold_->OncePerRevolution() * toPercent;
    v.oncePercent = std::abs(once);
    v.onceAngle = std::arg(once);
    if (v.onceAngle < 0.0) v.onceAngle += 2.0 * std::numbers::pi;
    v.remainingRmsPercent = fold_->RemainingRms() * toPercent;
    v.meanPercent = fold_->Mean();
    v.remainderPercent = fold_->Remainder();
    for (double& x : v.meanPercent) x *= toPercent;
    for (double& x : v.remainderPercent) x *= toPercent;
}

}  // namespace wobblemeter
