// Building blocks of the meter's signal chain: windowed-sinc FIR design, FIR decimators for
// real and complex streams, and biquad cascades obtained from analog prototypes. The filters
// take samples with Process() and hand back their output (any unit, at the stream's rate);
// frequencies are fractions of the rate for the FIRs, Hz for the biquads.
#pragma once

#include <complex>
#include <cstddef>
#include <vector>

namespace wobblemeter {

// Low-pass FIR by the Kaiser window method. Frequencies are fractions of the sample rate
// (0 ... 0.5); the taps sum to 1 and are symmetric, as the decimators below rely on. The
// length is odd, long enough for the requested stopband attenuation in dB from stopEdge on.
std::vector<double> DesignLowPass(double passEdge, double stopEdge, double attenuationDb);

// Magnitude of a FIR's response at a fraction of its sample rate.
double FirMagnitude(const std::vector<double>& taps, double frequency);

// Low-pass filter and keep every factor-th output, for a complex stream taken block by block.
// Only the kept outputs are computed, the real and imaginary parts side by side.
class ComplexDecimator {
public:
    ComplexDecimator(std::vector<double> taps, int factor);
    // Filters n more samples, interleaved (re, im, re, im ...); replaces the contents of out
    // with the outputs that fell due, interleaved.
    void Process(const double* z, size_t n, std::vector<double>& out);
    // The same for a stream held as two real ones.
    void Process(const double* re, const double* im, size_t n, std::vector<double>& outRe,
                 std::vector<double>& outIm);
    // Inputs needed before the outputs are fully formed.
    size_t Length() const { return taps_.size(); }

private:
    std::vector<double> taps_;
    std::vector<double> halfBand_;  // a half-band filter's non-zero pair taps; empty: none
    std::vector<double> z_;         // the last Length() - 1 inputs, then the block, interleaved
    std::vector<double> split_;     // work array of the two-stream form
    std::vector<double> quads_;     // pairs of taps spread for four-wide arithmetic; empty: none
    size_t factor_;
    size_t phase_ = 0;  // inputs since the last output
};

// The same for a real stream.
class RealDecimator {
public:
    RealDecimator(std::vector<double> taps, int factor);
    bool Process(double x, double& out);
    size_t Length() const { return taps_.size(); }

private:
    std::vector<double> taps_;
    std::vector<double> buffer_;
    size_t pos_ = 0;
    int factor_;
    int phase_ = 0;
};

// Polynomial in s of degree at most 2: c2 s^2 + c1 s + c0, s in units of 2 pi rad/s (so
// that a corner at f Hz reads s + f).
struct AnalogQuadratic {
    double c2, c1, c0;
};

// Second-order section, transposed direct form II.
class Biquad {
public:
    // Bilinear transform of numerator / denominator at sampleRate, without prewarping.
    Biquad(AnalogQuadratic numerator, AnalogQuadratic denominator, double sampleRate);
    double Process(double x) {
        const double y = b0_ * x + s1_;
        s1_ = b1_ * x - a1_ * y + s2_;
        s2_ = b2_ * x - a2_ * y;
        return y;
    }
    // Puts the state where a constant input x has left it; returns the output then.
    double Settle(double x);
    std::complex<double> Response(double frequency, double sampleRate) const;
    void Scale(double gain) {
        b0_ *= gain;
        b1_ *= gain;
        b2_ *= gain;
    }

private:
    double b0_, b1_, b2_, a1_, a2_;
    double s1_ = 0.0, s2_ = 0.0;
};

// Sections in series.
class BiquadCascade {
public:
    void Add(const Biquad& section) { sections_.push_back(section); }
    double Process(double x) {
        for (Biquad& s : sections_) x = s.Process(x);
        return x;
    }
    void Settle(double x) {
        for (Biquad& s : sections_) x = s.Settle(x);
    }
    std::complex<double> Response(double frequency, double sampleRate) const;
    // Scales the first section so that |Response(frequency)| is 1.
    void Normalize(double frequency, double sampleRate);

private:
    std::vector<Biquad> sections_;
};

}  // namespace wobblemeter
