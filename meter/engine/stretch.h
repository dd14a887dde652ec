// Readings of one unbroken stretch of tone, from where it appears to where it stops for longer
// than a drop-out. Takes: the frequency offsets of the stretch's samples, in Hz from the mixing
// frequency at the baseband rate, bridged ones marked. Gives: after the filters have settled,
// the weighted deviation into the two-sigma and RMS detectors, the quasi-peak detector and the
// wow/flutter split, the unweighted (flat band) deviation into its detectors and, with a platter
// speed, the fold onto the platter's angle, both into the plot's traces; the offset itself into
// the drift meter; a decimated copy into the spectrum and the mean frequency. Then the stretch's
// readings, in % of its mean frequency.
#pragma once

#include <cstddef>
#include <memory>
#include <vector>

#include "meter/dsp/dsp.h"
#include "meter/dsp/flat_band.h"
#include "meter/engine/detectors.h"
#include "meter/engine/deviation_filters.h"
#include "meter/engine/deviation_spectrum.h"
#include "meter/engine/drift.h"
#include "meter/engine/envelope.h"
#include "meter/engine/mean_carrier.h"
#include "meter/engine/quasi_peak.h"
#include "meter/engine/revolution.h"
#include "meter/engine/wow_flutter.h"
#include "meter/meter.h"

namespace wobblemeter {

// What a stretch shares with every other of the same band plan.
struct StretchSetup {
    double basebandRate = 0.0;
    long long settle = 0;              // samples before the readings start
    long long driftSettle = 0;         // samples before the drift's readings start
    std::vector<double> spectrumTaps;  // decimation filter of the spectrum's copy
    size_t spectrumFirst = 0;          // first copy value whose filter saw only settled input
    size_t envelopePer = 1;            // samples per stretch of the traces, to begin with
    // The offset the first stretch is expected to hold on average, Hz (0 when mixing at the
    // tone's mean frequency); the filters start settled there.
    double meanOffsetHz = 0.0;
    // The platter's rotation rate for the fold (at the speed the tone runs), Hz; 0: no fold.
    double rotationHz = 0.0;
    // The tone's mean frequency that rate stands for, Hz: the fold turns faster or slower with
    // the slow offset's distance from meanOffsetHz, relative to it.
    double meanHz = 0.0;
};

// Rate of the spectrum's copy: the baseband rate over this.
constexpr int kSpectrumDecimation = kSpectrumDecimationFactor;

// The setup for a baseband rate; expectedSamples: the baseband samples the input will likely
// give (0: unknown), for the traces' first resolution.
StretchSetup MakeStretchSetup(double basebandRate, double expectedSamples);

// The spectrum's lines that lie at a harmonic of the rotation rate (within two bins of the
// spectrum, binHz apart) are named as such.
void NameRevolutionHarmonics(std::vector<SpectrumLine>& lines, double rotationHz, double binHz);

// Receives a stretch's samples as they are read, for the readings second by second.
class StretchObserver {
public:
    virtual ~StretchObserver() = default;
    // A sample that counts: its offset, and whether the filters have settled (and then the
    // weighted and unweighted deviation).
    virtual void Counted(double offsetHz, bool settled, const Deviation& deviation) = 0;
    // A sample bridged over a drop-out, after the filters have settled.
    virtual void Bridged() = 0;
    // A value of the spectrum's copy, from the settled part on.
    virtual void Decimated(float offsetHz) = 0;
};

class Stretch {
public:
    // meanOffsetHz: the offset the stretch is expected to hold on average, where its filters
    // start (StretchSetup::meanOffsetHz for the first; the slow offset before a gap for later
    // ones).
    Stretch(long long firstIndex, const StretchSetup& setup, StretchObserver* observer,
            double meanOffsetHz);

    // Passes one frequency offset (Hz) through the filters; a counted one enters the readings
    // once they have settled.
    void Push(double offsetHz, bool counted);

    // Whether the stretch holds enough for readings.
    bool Readable() const;
    long long Measured() const { return measured_; }
    // Fills the readings of r (carrier, speed error, peaks, RMS, spectrum, traces, span). The
    // stretch's readings start startSeconds into the input; nominalHz 0: the nearer standard.
    void Read(double mixHz, double nominalHz, double startSeconds, MeterResult& r) const;
    // Two-sigma of the weighted and unweighted deviation so far, Hz.
    double WeightedTwoSigmaHz() const;
    double UnweightedTwoSigmaHz() const;
    // Plain mean of the counted offsets so far, Hz (0 without any).
    double MeanOffsetHz() const {
        return offsetCount_ > 0 ? offsetSum_ / static_cast<double>(offsetCount_) : 0.0;
    }
    // The quasi-peak reading so far, Hz (NaN before any).
    double QuasiPeakHz() const;
    // Peak-to-peak of the slow offset so far, Hz (NaN before the drift filter settled).
    double DriftHz() const;
    // The slow offset now, Hz: where a stretch after a gap may start its filters.
    double SlowOffsetHz() const { return drift_.Current(); }

    // Kept by the demodulator.
    long long first;                  // baseband index of its first sample
    long long last = 0;               // and of its last with the tone present
    long long steps = 0, strays = 0;  // phase steps, and those beyond the demodulator's band
    double toneSquares = 0.0, inputSquares = 0.0;  // power of the baseband and of the input
    int dropouts = 0;

private:
    void ReadRevolution(double toPercent, RevolutionReading& v) const;

    StretchSetup setup_;
    StretchObserver* observer_;
    DeviationFilters filters_;
    QuasiPeakDetector quasiPeak_;
    WowFlutterSplit split_;
    DriftMeter drift_;
    std::unique_ptr<RevolutionFold> fold_;  // with a platter speed
    RealDecimator spectrumFilter_;
    LogHistogram weightedHistogram_, unweightedHistogram_;
    double weightedSquares_ = 0.0, unweightedSquares_ = 0.0;
    EnvelopeBuilder weightedTrace_, unweightedTrace_;
    DeviationSpectrum spectrum_;
    MeanCarrier mean_;
    size_t decimated_ = 0;  // values of the spectrum's copy so far
    long long fed_ = 0;     // offsets through the filters
    long long lastBridged_;
    long long measured_ = 0;  // offsets in the readings
    double offsetSum_ = 0.0;
    long long offsetCount_ = 0;
};

}  // namespace wobblemeter
