// The measuring chain: find the carrier, mix it to an I/Q baseband, low-pass and decimate to
// 4 ... 8 kHz, differentiate the phase into the instantaneous frequency where the tone is
// present, then weight, band-limit and read out the deviation of the longest stretch of tone;
// a decimated copy gives the mean frequency and the spectrum.
#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdio>
#include <limits>
#include <memory>
#include <numbers>
#include <optional>
#include <string>

#include "meter/audio_file.h"
#include "meter/dsp.h"
#include "meter/meter.h"
#include "meter/weighting.h"

namespace wobblemeter {

namespace {

constexpr double kTwoPi = 2.0 * std::numbers::pi;
// Half-width of the baseband the demodulator keeps, Hz: the carrier's swing plus the
// highest modulation measured (200 Hz).
constexpr double kPassHz = 400.0;
// Widest start of the channel filter's stopband, Hz.
constexpr double kStopHz = 1000.0;
// Narrowest transition the channel filter is allowed, Hz.
constexpr double kMinTransitionHz = 150.0;
// Lowest rate of the demodulated frequency; it lies in [kMinBasebandRate, 2 kMinBasebandRate).
constexpr double kMinBasebandRate = 4000.0;
// The spectrum's copy of the frequency is kept at the baseband rate over this factor.
constexpr int kSpectrumDecimation = 8;
// Samples at or below this magnitude count as digital silence, 1 = full scale (-120 dBFS).
constexpr double kSilence = 1e-6;
// Largest magnitude a sample may have; beyond it the file holds garbage, not audio.
constexpr double kMaxSample = 1e6;
// The carrier must carry at least this share of the signal's power.
constexpr double kMinTonePower = 0.5;
// Share of the time the frequency may stray beyond the demodulator's band.
constexpr double kMaxStrayFraction = 0.001;
// Length of the spectrum's segments, s: bins of 1/40 Hz with the zero padding.
constexpr double kSegmentSeconds = 20.0;
// Seconds of audio the carrier is looked for in, at most, and most samples for it; the
// spectrum is averaged over blocks of about kSearchBlockSeconds.
constexpr double kSearchSeconds = 10.0;
constexpr size_t kMaxSearchSamples = size_t{1} << 20;
constexpr double kSearchBlockSeconds = 1.5;
constexpr size_t kMaxSearchBlock = size_t{1} << 19;
// The strongest line within the carrier range must carry at least this share of the power of
// the strongest line of all (-40 dB); weaker, it is noise beside a tone outside the range.
constexpr double kMinInRangeShare = 1e-4;
// The tone counts as absent where its magnitude falls this far below the reference level
// (-20 dB, in power), the level it keeps most of the search block (its 80th percentile:
// hiss may fill much of the block before the tone).
constexpr double kAbsentPower = 0.01;
constexpr double kReferenceQuantile = 0.8;
// Gaps in the tone up to this long are drop-outs, bridged; longer ones end the stretch of
// tone, and the longest stretch is measured, s.
constexpr double kMaxDropoutSeconds = 0.5;
// A largest line of the deviation's spectrum under this, in percent, or under this many
// times the spectrum's median is no modulation.
constexpr double kMinLinePercent = 1e-4;
constexpr double kMinLineOverMedian = 3.0;
// Stretches of the plotted envelopes, at most.
constexpr size_t kEnvelopeStretches = 2048;

std::string Format(const char* format, double a, double b = 0.0, double c = 0.0) {
    char text[256];
    std::snprintf(text, sizeof text, format, a, b, c);
    return text;
}

// Histogram of magnitudes on a logarithmic axis, 1e-7 ... 1e4 Hz at 5000 bins a decade
// (steps of 0.046 %, interpolated within), for the percentile of a stream too long to keep.
class LogHistogram {
public:
    void Add(double magnitude) {
        // Allocated on first use: hiss breaks into many stretches that never reach a reading.
        if (counts_.empty()) counts_.assign(kBins, 0);
        size_t bin = 0;
        if (magnitude > kLowest) {
            const double position = std::log10(magnitude / kLowest) * kPerDecade;
            bin = position < static_cast<double>(kBins - 1) ? static_cast<size_t>(position)
                                                            : kBins - 1;
        }
        ++counts_[bin];
        ++total_;
    }
    // The level that fraction of the values stay at or below.
    double Quantile(double fraction) const {
        if (total_ == 0) return 0.0;
        const double target = fraction * static_cast<double>(total_);
        double below = 0.0;
        for (size_t bin = 0; bin < kBins; ++bin) {
            const auto count = static_cast<double>(counts_[bin]);
            if (below + count >= target && count > 0.0) {
                if (bin == 0) return 0.0;
                const double within = (target - below) / count;
                return kLowest * std::pow(10.0, (static_cast<double>(bin) + within) / kPerDecade);
            }
            below += count;
        }
        return kLowest * std::pow(10.0, static_cast<double>(kBins) / kPerDecade);
    }

private:
    static constexpr double kLowest = 1e-7;
    static constexpr double kPerDecade = 5000.0;
    static constexpr size_t kBins = 55000;
    std::vector<unsigned> counts_;  // enough for 6 days at the highest baseband rate
    unsigned long long total_ = 0;
};

// Minimum and maximum over stretches that double in length whenever the stretches run out.
class EnvelopeBuilder {
public:
    explicit EnvelopeBuilder(size_t samplesPerStretch)
        : per_(std::max<size_t>(1, samplesPerStretch)) {}
    void Add(double v) {
        if (fill_ == 0) {
            low_.push_back(static_cast<float>(v));
            high_.push_back(static_cast<float>(v));
        } else {
            low_.back() = std::min(low_.back(), static_cast<float>(v));
            high_.back() = std::max(high_.back(), static_cast<float>(v));
        }
        if (++fill_ == per_) {
            fill_ = 0;
            if (low_.size() == kEnvelopeStretches) Halve();
        }
    }
    Envelope Finish(double startSeconds, double sampleRate, double scale) const {
        Envelope e;
        e.startSeconds = startSeconds;
        e.stretchSeconds = static_cast<double>(per_) / sampleRate;
        for (size_t i = 0; i < low_.size(); ++i) {
            e.low.push_back(static_cast<float>(low_[i] * scale));
            e.high.push_back(static_cast<float>(high_[i] * scale));
        }
        return e;
    }

private:
    void Halve() {
        for (size_t i = 0; i < low_.size() / 2; ++i) {
            low_[i] = std::min(low_[2 * i], low_[2 * i + 1]);
            high_[i] = std::max(high_[2 * i], high_[2 * i + 1]);
        }
        low_.resize(low_.size() / 2);
        high_.resize(high_.size() / 2);
        per_ *= 2;
    }
    size_t per_;
    size_t fill_ = 0;
    std::vector<float> low_, high_;
};

// Readings of one unbroken stretch of tone: from where the tone appears to where it stops for
// longer than a drop-out.
struct Stretch {
    Stretch(long long firstIndex, double baseband, const std::vector<double>& spectrumTaps,
            size_t samplesPerStretch)
        : first(firstIndex),
          weighting(MakeWeightingFilter(baseband)),
          bandLimit(MakeBandLimitFilter(baseband)),
          spectrumFilter(spectrumTaps, kSpectrumDecimation),
          weightedTrace(samplesPerStretch),
          unweightedTrace(samplesPerStretch) {}

    // Passes one frequency offset (Hz) through the filters; after the settling samples the
    // traces show it, and a counted one enters the readings.
    void Feed(double offset, long long settle, bool counted) {
        double decimated = 0.0;
        if (!counted) lastBridged = fed;
        if (spectrumFilter.Push(offset, decimated)) {
            frequency.push_back(static_cast<float>(decimated));
            valid.push_back(fed - lastBridged > static_cast<long long>(spectrumFilter.Length()));
        }
        if (fed++ == 0) {
            weighting.Settle(offset);
            bandLimit.Settle(offset);
        }
        const double w = weighting.Process(offset);
        const double u = bandLimit.Process(offset);
        if (fed <= settle) return;
        weightedTrace.Add(w);
        unweightedTrace.Add(u);
        if (!counted) return;
        weightedHistogram.Add(std::fabs(w));
        unweightedHistogram.Add(std::fabs(u));
        weightedSquares += w * w;
        unweightedSquares += u * u;
        ++measured;
    }

    long long first;     // baseband index of its first sample
    long long last = 0;  // and of its last with the tone present
    BiquadCascade weighting, bandLimit;
    RealDecimator spectrumFilter;
    LogHistogram weightedHistogram, unweightedHistogram;
    double weightedSquares = 0.0, unweightedSquares = 0.0;
    EnvelopeBuilder weightedTrace, unweightedTrace;
    std::vector<float> frequency;  // offset from the mixing frequency at the spectrum's rate, Hz
    std::vector<bool> valid;       // whether that frequency's filter saw no bridged gap
    long long fed = 0;             // offsets through the filters
    long long lastBridged = std::numeric_limits<long long>::min() / 2;
    long long measured = 0;           // offsets in the readings
    long long steps = 0, strays = 0;  // phase steps, and those beyond the demodulator's band
    double toneSquares = 0.0, inputSquares = 0.0;  // power of the baseband and of the input
    int dropouts = 0;
};

struct FftwFree {
    void operator()(void* p) const { fftw_free(p); }
};

// Power spectra of Hann-windowed blocks, zero-padded to size points (a power of two, at least
// 2 and at least the block's length): size / 2 + 1 bins. The buffers and the plan serve every
// block of that size. The real transform is taken as
// a complex one of half the size over the even and odd samples, then split: FFTW plans that
// several times faster than its real-input transform, and planning dominates short files.
class PowerSpectrum {
public:
    explicit PowerSpectrum(size_t size)
        : size_(size),
          half_(size / 2),
          in_(fftw_alloc_complex(half_)),
          out_(fftw_alloc_complex(half_)),
          power_(half_ + 1) {
        if (!in_ || !out_ || half_ > static_cast<size_t>(std::numeric_limits<int>::max()))
            throw MeterError("out of memory for the spectrum");
        plan_ = fftw_plan_dft_1d(static_cast<int>(half_), in_.get(), out_.get(), FFTW_FORWARD,
                                 FFTW_ESTIMATE);
        if (plan_ == nullptr) throw MeterError("cannot plan the spectrum's transform");
    }
    ~PowerSpectrum() { fftw_destroy_plan(plan_); }
    PowerSpectrum(const PowerSpectrum&) = delete;
    PowerSpectrum& operator=(const PowerSpectrum&) = delete;

    // Power of the block of n samples at x (n <= size), valid until the next call.
    const std::vector<double>& operator()(const double* x, size_t n, bool removeMean);

private:
    size_t size_, half_;
    std::unique_ptr<fftw_complex[], FftwFree> in_, out_;
    std::vector<double> power_;
    fftw_plan plan_ = nullptr;
};

const std::vector<double>& PowerSpectrum::operator()(const double* x, size_t n, bool removeMean) {
    const size_t size = size_, half = half_;
    fftw_complex* in = in_.get();
    fftw_complex* out = out_.get();
    double mean = 0.0;
    if (removeMean) {
        for (size_t i = 0; i < n; ++i) mean += x[i];
        mean /= static_cast<double>(n);
    }
    // Window and twiddles by rotating unit phasors (renormalised as they go): the library's
    // cosine per sample would cost more than the transform.
    const std::complex<double> windowStep = std::polar(1.0, kTwoPi / static_cast<double>(n));
    std::complex<double> windowPhase = 1.0;
    auto windowed = [&](size_t i) {
        const double value = i < n ? (x[i] - mean) * (0.5 - 0.5 * windowPhase.real()) : 0.0;
        windowPhase *= windowStep;
        if (i % 1024 == 1023) windowPhase /= std::abs(windowPhase);
        return value;
    };
    for (size_t i = 0; i < half; ++i) {
        in[i][0] = windowed(2 * i);
        in[i][1] = windowed(2 * i + 1);
    }
    fftw_execute(plan_);
    // X[k] = E[k] + e^(-j 2 pi k / size) O[k], with E and O the transforms of the even and
    // odd samples: E[k] = (Z[k] + conj Z[half - k]) / 2, O[k] = -j (Z[k] - conj Z[half - k]) / 2.
    std::vector<double>& power = power_;
    power[0] = (out[0][0] + out[0][1]) * (out[0][0] + out[0][1]);
    power[half] = (out[0][0] - out[0][1]) * (out[0][0] - out[0][1]);
    const std::complex<double> twiddleStep = std::polar(1.0, -kTwoPi / static_cast<double>(size));
    std::complex<double> twiddle = twiddleStep;
    for (size_t k = 1; k < half; ++k) {
        const std::complex<double> a(out[k][0], out[k][1]);
        const std::complex<double> b(out[half - k][0], -out[half - k][1]);
        const std::complex<double> even = 0.5 * (a + b);
        const std::complex<double> odd = std::complex<double>(0.0, -0.5) * (a - b);
        power[k] = std::norm(even + twiddle * odd);
        twiddle *= twiddleStep;
        if (k % 1024 == 0) twiddle /= std::abs(twiddle);
    }
    return power;
}

// Offset of a peak from bin k, in bins, from a parabola through the logarithms of its
// neighbours: exact for a Gaussian, close for a Hann window's main lobe.
double PeakOffset(const std::vector<double>& p, size_t k) {
    if (k == 0 || k + 1 >= p.size() || p[k - 1] <= 0.0 || p[k] <= 0.0 || p[k + 1] <= 0.0)
        return 0.0;
    const double a = std::log(p[k - 1]), b = std::log(p[k]), c = std::log(p[k + 1]);
    const double d = a - 2.0 * b + c;
    if (d >= 0.0) return 0.0;
    return std::clamp(0.5 * (a - c) / d, -0.5, 0.5);
}

// Height of that parabola's top at the offset, as a factor on p[k].
double PeakGain(const std::vector<double>& p, size_t k, double offset) {
    if (offset == 0.0) return 1.0;
    return std::exp(0.25 * (std::log(p[k + 1]) - std::log(p[k - 1])) * offset);
}

size_t NextPowerOfTwo(size_t n) {
    size_t p = 1;
    while (p < n) p *= 2;
    return p;
}

// Mean frequency of the tone in the search block: the power-weighted mean over the band
// around the strongest line of the carrier range, which for a tone of steady amplitude equals
// the mean of its instantaneous frequency. The spectrum is averaged over half-overlapping
// blocks, so the whole block counts alike: hiss before the tone, or a slow swing, then
// neither hides the line nor biases the mean much.
double FindCarrier(const std::vector<double>& search, double rate) {
    const size_t block = std::min(
        search.size(),
        std::min(kMaxSearchBlock, NextPowerOfTwo(static_cast<size_t>(kSearchBlockSeconds * rate))));
    const size_t size = std::max<size_t>(2, NextPowerOfTwo(block));
    const size_t hop = std::max<size_t>(1, block / 2);
    std::vector<double> power(size / 2 + 1, 0.0);
    PowerSpectrum spectrum(size);
    for (size_t start = 0; start + block <= search.size(); start += hop) {
        const std::vector<double>& p = spectrum(search.data() + start, block, true);
        for (size_t k = 0; k < power.size(); ++k) power[k] += p[k];
    }
    const double binHz = rate / static_cast<double>(size);
    size_t strongest = 0, peak = 0;
    for (size_t k = 1; k < power.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz >= 20.0 && power[k] > power[strongest]) strongest = k;
        if (hz >= kMinCarrierHz && hz <= kMaxCarrierHz && power[k] > power[peak]) peak = k;
    }
    if (strongest == 0 || !(power[strongest] > 0.0))
        throw MeterError("no steady tone found: the signal has no strong line");
    // A line outside the range that dwarfs everything within it is the tone.
    if (peak == 0 || power[peak] < kMinInRangeShare * power[strongest]) {
        const double strongestHz =
            (static_cast<double>(strongest) + PeakOffset(power, strongest)) * binHz;
        throw MeterError(
            Format("the strongest tone, at %.1f Hz, lies outside the carrier range %.0f to %.0f Hz",
                   strongestHz, kMinCarrierHz, kMaxCarrierHz));
    }
    const double peakHz = (static_cast<double>(peak) + PeakOffset(power, peak)) * binHz;
    // The strongest line of a widely swinging tone may lie near the edge of its band: centre
    // the band on the estimate a few times.
    double centre = peakHz;
    for (int pass = 0; pass < 4; ++pass) {
        const double half = std::max(0.15 * centre, 30.0);
        const auto first = static_cast<size_t>(std::max(1.0, (centre - half) / binHz));
        const auto last = std::min(power.size() - 1, static_cast<size_t>((centre + half) / binHz));
        double sum = 0.0, moment = 0.0;
        for (size_t k = first; k <= last; ++k) {
            sum += power[k];
            moment += power[k] * static_cast<double>(k);
        }
        if (!(sum > 0.0)) break;
        centre = moment / sum * binHz;
    }
    return centre;
}

// Hann-weighted mean over the valid samples: a plain mean over a span that ends part way
// through a slow swing would be pulled towards that swing.
double WindowedMean(const std::vector<float>& x, const std::vector<bool>& valid, size_t first) {
    const size_t n = x.size() - first;
    double sum = 0.0, weights = 0.0;
    for (size_t i = 0; i < n; ++i) {
        if (!valid[first + i]) continue;
        const double w =
            0.5 - 0.5 * std::cos(kTwoPi * (static_cast<double>(i) + 0.5) / static_cast<double>(n));
        sum += w * x[first + i];
        weights += w;
    }
    return weights > 0.0 ? sum / weights : 0.0;
}

// Mean of x[first ... first + n), a span of whole periods of a swing of cycles per sample.
// With every sample valid this is the plain mean; with gaps it is the offset of the least-
// squares fit of offset + sinusoid to the valid samples, which the missing part of the swing
// does not bias.
double MeanOverPeriods(const std::vector<float>& x, const std::vector<bool>& valid, size_t first,
                       size_t n, double cyclesPerSample) {
    double sum = 0.0;
    size_t count = 0;
    for (size_t i = first; i < first + n; ++i) {
        if (!valid[i]) continue;
        sum += x[i];
        ++count;
    }
    if (count == n) return sum / static_cast<double>(n);
    // Normal equations of x = m + a cos + b sin.
    double a[3][4] = {};
    const std::complex<double> step = std::polar(1.0, kTwoPi * cyclesPerSample);
    std::complex<double> phasor = 1.0;
    for (size_t i = first; i < first + n; ++i) {
        if (valid[i]) {
            const double basis[3] = {1.0, phasor.real(), phasor.imag()};
            for (int r = 0; r < 3; ++r) {
                for (int c = 0; c < 3; ++c) a[r][c] += basis[r] * basis[c];
                a[r][3] += basis[r] * x[i];
            }
        }
        phasor *= step;
        if ((i - first) % 1024 == 1023) phasor /= std::abs(phasor);
    }
    // Gaussian elimination with partial pivoting; a singular system falls back to the mean.
    for (int col = 0; col < 3; ++col) {
        int pivot = col;
        for (int r = col + 1; r < 3; ++r)
            if (std::fabs(a[r][col]) > std::fabs(a[pivot][col])) pivot = r;
        if (!(std::fabs(a[pivot][col]) > 1e-9 * static_cast<double>(count)))
            return count > 0 ? sum / static_cast<double>(count) : 0.0;
        std::swap(a[col], a[pivot]);
        for (int r = 0; r < 3; ++r) {
            if (r == col) continue;
            const double f = a[r][col] / a[col][col];
            for (int c = col; c < 4; ++c) a[r][c] -= f * a[col][c];
        }
    }
    return a[0][3] / a[0][0];
}

// Welch-averaged amplitude spectrum (peak amplitude of each line, same unit as x).
void AmplitudeSpectrum(const std::vector<float>& x, size_t first, double rate,
                       std::vector<double>& hz, std::vector<double>& amplitude) {
    const size_t n = x.size() - first;
    const size_t segment = std::min(n, NextPowerOfTwo(static_cast<size_t>(kSegmentSeconds * rate)));
    const size_t size = 2 * NextPowerOfTwo(segment);
    std::vector<double> block(segment);
    PowerSpectrum spectrum(size);
    std::vector<double> sum(size / 2 + 1, 0.0);
    int segments = 0;
    for (size_t start = first; start + segment <= x.size();
         start += std::max<size_t>(1, segment / 2)) {
        for (size_t i = 0; i < segment; ++i) block[i] = x[start + i];
        const std::vector<double>& p = spectrum(block.data(), segment, true);
        for (size_t k = 0; k < sum.size(); ++k) sum[k] += p[k];
        ++segments;
    }
    // Sum of the Hann window: a line of amplitude a shows as a * windowSum / 2.
    const double windowSum = static_cast<double>(segment) / 2.0;
    hz.resize(sum.size());
    amplitude.resize(sum.size());
    for (size_t k = 0; k < sum.size(); ++k) {
        hz[k] = static_cast<double>(k) * rate / static_cast<double>(size);
        amplitude[k] = 2.0 * std::sqrt(sum[k] / std::max(1, segments)) / windowSum;
    }
}

MeterResult Measure(AudioFile& file, const MeterOptions& options) {
    MeterResult result;
    result.sampleRate = file.SampleRate();
    result.channels = file.Channels();
    result.channel = options.channel;
    const int rateInt = file.SampleRate();
    if (rateInt < kMinSampleRate || rateInt > kMaxSampleRate) {
        throw MeterError(Format("the sample rate %.0f Hz is outside %.0f to %.0f Hz", rateInt,
                                kMinSampleRate, kMaxSampleRate));
    }
    if (options.channel < 1 || options.channel > file.Channels()) {
        throw MeterError(Format("channel %.0f does not exist: the file has %.0f", options.channel,
                                file.Channels()));
    }
    if (file.TruncatedBytes() > 0) {
        throw MeterError(
            Format("the file is truncated: %.0f bytes of the audio its header declares are missing",
                   static_cast<double>(file.TruncatedBytes())));
    }
    const int channel = options.channel - 1;
    const auto rate = static_cast<double>(rateInt);
    const double declared = static_cast<double>(std::max(0LL, file.DeclaredFrames()));

    // Skip digital silence at the start, then take the block the carrier is looked for in.
    std::vector<double> buffer(4096);
    std::vector<double> search;
    const size_t searchSize =
        std::min(kMaxSearchSamples, NextPowerOfTwo(static_cast<size_t>(kSearchSeconds * rate)));
    search.reserve(searchSize);
    long long skipped = 0;
    long long total = 0;
    while (search.size() < searchSize) {
        const size_t want = std::min(buffer.size(), searchSize - search.size());
        const size_t got = file.Read(channel, buffer.data(), want);
        if (got == 0) break;
        total += static_cast<long long>(got);
        for (size_t i = 0; i < got; ++i) {
            const double x = buffer[i];
            if (!std::isfinite(x) || std::fabs(x) > kMaxSample) {
                throw MeterError(
                    "the file holds samples that are not audio (not finite or far beyond full "
                    "scale)");
            }
            if (search.empty() && std::fabs(x) <= kSilence) {
                ++skipped;
            } else {
                search.push_back(x);
            }
        }
    }
    if (total == 0 && file.DeclaredFrames() == 0)
        throw MeterError("the header declares no audio: an unfinished recording?");
    if (total == 0) throw MeterError("the file holds no audio");
    if (search.empty()) throw MeterError("the file is silent");

    double mix = options.carrierHz;
    if (mix == 0.0) mix = FindCarrier(search, rate);
    if (!(mix >= kMinCarrierHz && mix <= kMaxCarrierHz)) {
        throw MeterError(Format("the carrier %.1f Hz lies outside %.0f to %.0f Hz", mix,
                                kMinCarrierHz, kMaxCarrierHz));
    }

    // Decimation: halvings down to the baseband rate.
    int halvings = 0;
    double baseband = rate;
    while (baseband / 2.0 >= kMinBasebandRate) {
        baseband /= 2.0;
        ++halvings;
    }
    // The mixing image at -2 carrier (folded at the input rate) must fall in the channel
    // filter's stopband.
    const double image = std::fmod(2.0 * mix, rate);
    const double imageDistance = std::min(image, rate - image);
    const double stop = std::min(kStopHz, imageDistance - kPassHz);
    if (stop < kPassHz + kMinTransitionHz || mix + kPassHz >= rate / 2.0) {
        throw MeterError(
            Format("the carrier %.1f Hz is above or too close to half the sample rate (%.0f Hz)",
                   mix, rate / 2.0));
    }
    std::vector<ComplexDecimator> stages;
    const std::vector<double> halfTaps = DesignLowPass(0.05, 0.45, 110.0);
    for (int i = 0; i < halvings; ++i) stages.emplace_back(halfTaps, 2);
    ComplexDecimator channelFilter(DesignLowPass(kPassHz / baseband, stop / baseband, 110.0), 1);
    const double spectrumRate = baseband / kSpectrumDecimation;
    const std::vector<double> spectrumTaps =
        DesignLowPass(200.0 / baseband, (spectrumRate - 200.0) / baseband, 90.0);

    // Baseband samples until every FIR holds real input.
    double warmSeconds = static_cast<double>(channelFilter.Length()) / baseband;
    for (int i = 0; i < halvings; ++i) {
        warmSeconds += static_cast<double>(halfTaps.size()) / (rate / std::pow(2.0, i));
    }
    const auto warm = static_cast<long long>(std::ceil(warmSeconds * baseband)) + 1;
    // Samples of a stretch of tone before its readings start.
    const auto settle = static_cast<long long>(std::llround(kSettleSeconds * baseband));
    const auto maxGap = static_cast<long long>(std::llround(kMaxDropoutSeconds * baseband));
    // Spectrum copy: index from which its FIR has seen only settled input.
    const auto spectrumFirst = static_cast<size_t>(
        (settle + static_cast<long long>(spectrumTaps.size())) / kSpectrumDecimation + 1);
    const double expected =
        std::max(0.0, (declared - static_cast<double>(skipped)) / rate * baseband -
                          static_cast<double>(warm + settle));
    const auto per =
        static_cast<size_t>(std::min(1e9, expected / static_cast<double>(kEnvelopeStretches)));

    // Mixing oscillator e^(j 2 pi mix t), advanced by rotation and renormalised now and then;
    // complex products are written out, sparing the library's checks for infinities.
    double oscRe = 1.0, oscIm = 0.0;
    const double stepRe = std::cos(kTwoPi * mix / rate), stepIm = std::sin(kTwoPi * mix / rate);
    int sinceNormalised = 0;
    // Mean square of the input over each baseband sample's span of input samples.
    const int decimation = 1 << halvings;
    double powerSum = 0.0;
    int powerCount = 0;
    std::vector<double> inputPower;
    long long consumed = 0;
    double nextProgress = rate;

    // Work arrays of one block: the mixer's output, then each decimator's.
    std::vector<double> mixedRe, mixedIm;
    std::vector<std::vector<double>> stageRe(stages.size() + 1), stageIm(stages.size() + 1);

    // Mixes and decimates a block: its baseband lands in stageRe/Im.back(), with one entry
    // of inputPower for each baseband sample.
    auto mixDown = [&](const double* x, size_t n) {
        mixedRe.resize(n);
        mixedIm.resize(n);
        inputPower.clear();
        for (size_t i = 0; i < n; ++i) {
            const double s = x[i];
            powerSum += s * s;
            if (++powerCount == decimation) {
                inputPower.push_back(powerSum / decimation);
                powerSum = 0.0;
                powerCount = 0;
            }
            mixedRe[i] = s * oscRe;
            mixedIm[i] = -s * oscIm;
            const double re = oscRe * stepRe - oscIm * stepIm;
            oscIm = oscRe * stepIm + oscIm * stepRe;
            oscRe = re;
            if (++sinceNormalised == 1024) {
                const double norm = 1.0 / std::sqrt(oscRe * oscRe + oscIm * oscIm);
                oscRe *= norm;
                oscIm *= norm;
                sinceNormalised = 0;
            }
        }
        const std::vector<double>* re = &mixedRe;
        const std::vector<double>* im = &mixedIm;
        for (size_t k = 0; k < stages.size(); ++k) {
            stages[k].Process(re->data(), im->data(), re->size(), stageRe[k], stageIm[k]);
            re = &stageRe[k];
            im = &stageIm[k];
        }
        channelFilter.Process(re->data(), im->data(), re->size(), stageRe.back(), stageIm.back());
    };

    // Demodulation of the baseband into stretches of tone. Where the tone is absent no phase
    // step is taken across the gap; a short gap (a drop-out) is bridged by a straight line
    // from the frequency before it to the one after, which keeps the filters' input smooth but
    // counts in no reading; a long gap ends the stretch.
    double absentBelow = 0.0;  // power of the baseband below which the tone counts as absent
    std::optional<Stretch> current, best;
    long long basebandIndex = 0;
    long long gap = 0;      // absent samples in a row
    long long pending = 0;  // samples of a bridged gap waiting for the frequency after it
    long long stops = 0;    // gaps that ended a stretch
    bool havePrevious = false;
    std::complex<double> previous = 0.0;
    double lastOffset = 0.0;
    const double radiansToHz = baseband / kTwoPi;
    auto endStretch = [&] {
        if (current && (!best || current->measured > best->measured)) best = std::move(current);
        current.reset();
    };
    // A sample is used when the tone is present throughout the filters' span on both sides
    // of it: next to a gap their window straddles the step and the phase goes astray. The
    // decision therefore waits for the samples after it, held in a ring.
    const auto margin = static_cast<size_t>(warm);
    std::vector<std::complex<double>> ringZ(margin + 1);
    std::vector<double> ringPower(margin + 1);
    long long lastAbsent = std::numeric_limits<long long>::min() / 2;
    auto take = [&](std::complex<double> z, double power, long long index, bool usable) {
        const double magnitude = std::norm(z);
        if (!usable) {
            havePrevious = false;
            if (current && ++gap > maxGap) {
                ++stops;
                endStretch();
            }
            return;
        }
        if (!current) {
            current.emplace(index, baseband, spectrumTaps, per);
            gap = 0;
        }
        Stretch& s = *current;
        s.last = index;
        s.toneSquares += magnitude;
        s.inputSquares += power;
        if (!havePrevious) {
            // No phase step across a gap: the sample after it waits for the next.
            previous = z;
            havePrevious = true;
            if (gap > 0) {
                ++s.dropouts;
                pending = gap + 1;
            }
            gap = 0;
            return;
        }
        // Phase step from the previous sample: arg(z conj(previous)).
        const double offset = std::atan2(z.imag() * previous.real() - z.real() * previous.imag(),
                                         z.real() * previous.real() + z.imag() * previous.imag()) *
                              radiansToHz;
        previous = z;
        ++s.steps;
        if (std::fabs(offset) > kPassHz) ++s.strays;
        for (long long k = 1; k <= pending; ++k) {
            s.Feed(lastOffset + (offset - lastOffset) * static_cast<double>(k) /
                                    static_cast<double>(pending + 1),
                   settle, false);
        }
        pending = 0;
        s.Feed(offset, settle, true);
        lastOffset = offset;
    };
    auto demodulate = [&](const double* zRe, const double* zIm, const double* power, size_t n) {
        for (size_t i = 0; i < n; ++i) {
            const long long index = basebandIndex++;
            if (index < warm) continue;
            const std::complex<double> z(zRe[i], zIm[i]);
            if (!(std::norm(z) > absentBelow)) lastAbsent = index;
            const auto slot = static_cast<size_t>(index) % ringZ.size();
            const long long delayed = index - static_cast<long long>(margin);
            if (delayed >= warm) {
                take(ringZ[slot], ringPower[slot], delayed,
                     lastAbsent < delayed - static_cast<long long>(margin));
            }
            ringZ[slot] = z;
            ringPower[slot] = power[i];
        }
    };

    // The search block first: its baseband sets the reference level of the tone.
    {
        std::vector<double> zRe, zIm, power;
        for (size_t first = 0; first < search.size(); first += buffer.size()) {
            mixDown(search.data() + first, std::min(buffer.size(), search.size() - first));
            zRe.insert(zRe.end(), stageRe.back().begin(), stageRe.back().end());
            zIm.insert(zIm.end(), stageIm.back().begin(), stageIm.back().end());
            power.insert(power.end(), inputPower.begin(), inputPower.end());
        }
        std::vector<double> magnitudes;
        for (size_t i = static_cast<size_t>(warm); i < zRe.size(); ++i)
            magnitudes.push_back(zRe[i] * zRe[i] + zIm[i] * zIm[i]);
        if (!magnitudes.empty()) {
            const auto rank = static_cast<std::ptrdiff_t>(
                kReferenceQuantile * static_cast<double>(magnitudes.size() - 1));
            const auto at = magnitudes.begin() + rank;
            std::nth_element(magnitudes.begin(), at, magnitudes.end());
            absentBelow = kAbsentPower * *at;
        }
        demodulate(zRe.data(), zIm.data(), power.data(), zRe.size());
    }
    consumed = static_cast<long long>(search.size());
    std::vector<double>().swap(search);
    for (;;) {
        const size_t got = file.Read(channel, buffer.data(), buffer.size());
        if (got == 0) break;
        for (size_t i = 0; i < got; ++i) {
            if (!std::isfinite(buffer[i]) || std::fabs(buffer[i]) > kMaxSample) {
                throw MeterError(
                    "the file holds samples that are not audio (not finite or far beyond full "
                    "scale)");
            }
        }
        mixDown(buffer.data(), got);
        demodulate(stageRe.back().data(), stageIm.back().data(), inputPower.data(),
                   stageRe.back().size());
        total += static_cast<long long>(got);
        consumed += static_cast<long long>(got);
        if (options.progress && static_cast<double>(consumed) >= nextProgress && declared > 0.0) {
            options.progress(std::min(1.0, static_cast<double>(total) / declared));
            nextProgress += rate;
        }
    }
    // A gap at the end is trimmed, as silence at the start is: it is no drop-out.
    endStretch();
    if (declared > static_cast<double>(total)) {
        throw MeterError(
            Format("the file is truncated: its header declares %.2f s of audio, it holds %.2f s",
                   declared / rate, static_cast<double>(total) / rate));
    }
    result.durationSeconds = static_cast<double>(total) / rate;
    // Seconds from the start of the file to a baseband sample.
    auto secondsAt = [&](long long index) {
        return static_cast<double>(skipped) / rate + static_cast<double>(index) / baseband;
    };
    // Hiss and a tone too short both break into short stretches: the checks of the tone come
    // first, so that hiss is named as such.
    if (best && best->steps > 0) {
        result.tonePowerFraction = 2.0 * best->toneSquares / best->inputSquares;
        if (!(result.tonePowerFraction >= kMinTonePower)) {
            throw MeterError(Format(
                "no steady tone: the line near %.1f Hz carries only %.0f %% of the signal's power",
                mix, 100.0 * result.tonePowerFraction));
        }
        if (static_cast<double>(best->strays) >
            kMaxStrayFraction * static_cast<double>(best->steps)) {
            throw MeterError(
                Format("no steady tone: its frequency strays more than %.0f Hz from %.1f Hz",
                       kPassHz, mix));
        }
    }
    if (!best || best->measured == 0 || best->frequency.size() <= spectrumFirst + 16 ||
        static_cast<double>(best->measured) / baseband < kMinMeasuredSeconds) {
        if (stops > 0 && best) {
            throw MeterError(Format(
                "the tone stops at %.1f s: its longest stretch holds %.1f s of tone, at least "
                "%.1f s needed",
                secondsAt(best->last), static_cast<double>(best->last - best->first) / baseband,
                kSettleSeconds + kMinMeasuredSeconds));
        }
        throw MeterError(
            Format("the recording is too short: %.2f s of tone, at least %.2f s needed",
                   static_cast<double>(consumed) / rate,
                   static_cast<double>(warm) / baseband + kSettleSeconds + kMinMeasuredSeconds));
    }
    const Stretch& tone = *best;
    const std::vector<float>& frequency = tone.frequency;
    const double startSeconds = secondsAt(tone.first + settle);
    result.measuredSeconds = static_cast<double>(tone.measured) / baseband;
    result.startSeconds = startSeconds;
    result.dropouts = tone.dropouts;

    // Spectrum of the deviation, 0.1 ... 200 Hz, and its largest lines, first in Hz.
    std::vector<double> hz, amplitude;
    AmplitudeSpectrum(frequency, spectrumFirst, spectrumRate, hz, amplitude);
    std::vector<size_t> peaks;
    for (size_t k = 1; k + 1 < hz.size(); ++k) {
        if (hz[k] < 0.1 || hz[k] > 200.0) continue;
        result.spectrumHz.push_back(hz[k]);
        result.spectrumPercent.push_back(amplitude[k]);
        if (amplitude[k] > amplitude[k - 1] && amplitude[k] >= amplitude[k + 1]) peaks.push_back(k);
    }
    std::sort(peaks.begin(), peaks.end(),
              [&](size_t a, size_t b) { return amplitude[a] > amplitude[b]; });
    const double binHz = hz.size() > 1 ? hz[1] : 0.0;
    std::vector<double> power(amplitude.size());
    for (size_t k = 0; k < amplitude.size(); ++k) power[k] = amplitude[k] * amplitude[k];
    // A line's side lobes (within 8 bins: 4 of the unpadded segment) are not lines of their own.
    for (size_t k : peaks) {
        if (result.lines.size() == 5 || amplitude[k] < 0.01 * amplitude[peaks.front()]) break;
        const double offset = PeakOffset(power, k);
        const double lineHz = (static_cast<double>(k) + offset) * binHz;
        const double lineAmplitude = amplitude[k] * std::sqrt(PeakGain(power, k, offset));
        bool near = false;
        for (const SpectrumLine& line : result.lines)
            near = near || std::fabs(line.hz - lineHz) < std::max(0.1 * line.hz, 8.0 * binHz);
        if (!near) result.lines.push_back({lineHz, lineAmplitude});
    }
    // A largest line below the floor is the demodulator's own noise, no modulation.
    if (!result.spectrumPercent.empty()) {
        std::vector<double> sorted = result.spectrumPercent;
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        const double floorHz =
            std::max(kMinLinePercent / 100.0 * mix, kMinLineOverMedian * *middle);
        if (!result.lines.empty() && result.lines.front().percent < floorHz) result.lines.clear();
    }
    result.modulationHz =
        result.lines.empty() ? std::numeric_limits<double>::quiet_NaN() : result.lines.front().hz;

    // Mean frequency: over whole periods of the dominant modulation when the span holds at
    // least two, which a sinusoidal swing cannot bias; otherwise Hann-weighted. Frequencies
    // from a bridged drop-out are left out.
    const size_t span = frequency.size() - spectrumFirst;
    const double periods =
        result.lines.empty()
            ? 0.0
            : std::floor(static_cast<double>(span) / spectrumRate * result.modulationHz);
    double meanOffset = 0.0;
    if (periods >= 2.0) {
        const auto n =
            static_cast<size_t>(std::llround(periods / result.modulationHz * spectrumRate));
        meanOffset = MeanOverPeriods(frequency, tone.valid, spectrumFirst + (span - n) / 2, n,
                                     result.modulationHz / spectrumRate);
    } else {
        meanOffset = WindowedMean(frequency, tone.valid, spectrumFirst);
    }
    result.carrierHz = mix + meanOffset;
    if (options.nominalHz > 0.0) {
        result.nominalHz = options.nominalHz;
    } else {
        result.nominalHz = std::fabs(result.carrierHz - kStandardCarriersHz[0]) <=
                                   std::fabs(result.carrierHz - kStandardCarriersHz[1])
                               ? kStandardCarriersHz[0]
                               : kStandardCarriersHz[1];
        if (std::fabs(result.carrierHz - result.nominalHz) >
            kMaxStandardDistance * result.nominalHz)
            result.nominalHz = std::numeric_limits<double>::quiet_NaN();
    }
    result.speedErrorPercent = 100.0 * (result.carrierHz - result.nominalHz) / result.nominalHz;
    const double toPercent = 100.0 / result.carrierHz;
    // Two-sigma: the level the magnitude exceeds 5 % of the time.
    result.weightedPeakPercent = tone.weightedHistogram.Quantile(0.95) * toPercent;
    result.unweightedPeakPercent = tone.unweightedHistogram.Quantile(0.95) * toPercent;
    result.weightedRmsPercent =
        std::sqrt(tone.weightedSquares / static_cast<double>(tone.measured)) * toPercent;
    result.unweightedRmsPercent =
        std::sqrt(tone.unweightedSquares / static_cast<double>(tone.measured)) * toPercent;
    result.weighted = tone.weightedTrace.Finish(startSeconds, baseband, toPercent);
    result.unweighted = tone.unweightedTrace.Finish(startSeconds, baseband, toPercent);
    for (double& a : result.spectrumPercent) a *= toPercent;
    for (SpectrumLine& line : result.lines) line.percent *= toPercent;
    return result;
}

}  // namespace

MeterResult MeasureFile(const std::string& path, const MeterOptions& options) {
    AudioFile file(path);
    return Measure(file, options);
}

MeterResult MeasureMemory(const void* data, size_t size, const MeterOptions& options) {
    AudioFile file(data, size);
    return Measure(file, options);
}

}  // namespace wobblemeter
