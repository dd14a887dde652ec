// A stretch's filters, detectors, traces, spectrum and mean, and its readings.
#include "meter/stretch.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace wobblemeter {

namespace {

// Stopband attenuation of the spectrum copy's decimation filter, dB, and its pass edge, Hz.
constexpr double kSpectrumAttenuationDb = 90.0;
constexpr double kSpectrumPassHz = 200.0;
// Values of the spectrum's copy a stretch needs beyond its settled start.
constexpr size_t kMinSpectrumValues = 16;

}  // namespace

StretchSetup MakeStretchSetup(double basebandRate, double expectedSamples) {
    StretchSetup s;
    s.basebandRate = basebandRate;
    s.settle = static_cast<long long>(std::llround(kSettleSeconds * basebandRate));
    const double spectrumRate = basebandRate / kSpectrumDecimation;
    s.spectrumTaps =
        DesignLowPass(kSpectrumPassHz / basebandRate,
                      (spectrumRate - kSpectrumPassHz) / basebandRate, kSpectrumAttenuationDb);
    s.spectrumFirst = static_cast<size_t>(
        (s.settle + static_cast<long long>(s.spectrumTaps.size())) / kSpectrumDecimation + 1);
    const double traced = std::max(0.0, expectedSamples - static_cast<double>(s.settle));
    s.envelopePer =
        static_cast<size_t>(std::min(1e9, traced / static_cast<double>(kEnvelopeStretches)));
    return s;
}

Stretch::Stretch(long long firstIndex, const StretchSetup& setup, StretchObserver* observer)
    : first(firstIndex),
      setup_(setup),
      observer_(observer),
      filters_(setup.basebandRate),
      spectrumFilter_(setup.spectrumTaps, kSpectrumDecimation),
      weightedTrace_(setup.envelopePer),
      unweightedTrace_(setup.envelopePer),
      spectrum_(setup.basebandRate / kSpectrumDecimation),
      mean_(setup.basebandRate / kSpectrumDecimation),
      lastBridged_(std::numeric_limits<long long>::min() / 2) {}

void Stretch::Feed(double offsetHz, bool counted) {
    if (!counted) lastBridged_ = fed_;
    double decimated = 0.0;
    if (spectrumFilter_.Push(offsetHz, decimated)) {
        if (decimated_++ >= setup_.spectrumFirst) {
            const auto value = static_cast<float>(decimated);
            spectrum_.Add(value);
            // A value whose filter saw a bridged gap does not count towards the mean.
            mean_.Add(value,
                      fed_ - lastBridged_ > static_cast<long long>(spectrumFilter_.Length()));
            if (observer_ != nullptr) observer_->Decimated(value);
        }
    }
    const Deviation d = filters_.Process(offsetHz);
    const bool settled = ++fed_ > setup_.settle;
    if (settled) {
        weightedTrace_.Add(d.weighted);
        unweightedTrace_.Add(d.unweighted);
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

void Stretch::Read(double mixHz, double nominalHz, double startSeconds, MeterResult& r) const {
    const double rate = setup_.basebandRate;
    r.measuredSeconds = static_cast<double>(measured_) / rate;
    r.startSeconds = startSeconds;
    r.dropouts = dropouts;

    // Spectrum of the deviation, 0.1 ... 200 Hz, and its largest lines, first in Hz.
    std::vector<double> amplitude;
    const double binHz = spectrum_.Amplitude(amplitude);
    SpectrumReading s = ReadSpectrum(binHz, amplitude, mixHz);
    r.spectrumHz = std::move(s.hz);
    r.spectrumPercent = std::move(s.amplitude);
    r.lines = std::move(s.lines);
    r.modulationHz = s.modulationHz;

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
    r.weightedRmsPercent = std::sqrt(weightedSquares_ / measured) * toPercent;
    r.unweightedRmsPercent = std::sqrt(unweightedSquares_ / measured) * toPercent;
    r.weighted = weightedTrace_.Finish(startSeconds, rate, toPercent);
    r.unweighted = unweightedTrace_.Finish(startSeconds, rate, toPercent);
    for (double& a : r.spectrumPercent) a *= toPercent;
    for (SpectrumLine& line : r.lines) line.percent *= toPercent;
}

}  // namespace wobblemeter
