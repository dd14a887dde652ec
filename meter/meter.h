// The wow-and-flutter meter: reads a recording of a test tone, demodulates its frequency and
// reports the weighted and unweighted readings, the speed error and the deviation's spectrum.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <stdexcept>
#include <string>
#include <vector>

#include "meter/message.h"

namespace wobblemeter {

constexpr double kMinCarrierHz = 500.0;
constexpr double kMaxCarrierHz = 20000.0;
constexpr int kMinSampleRate = 8000;
constexpr int kMaxSampleRate = 384000;
// Time the weighting filter and the flat band get to settle before the readings start, s.
constexpr double kSettleSeconds = 3.0;
// Shortest span the readings are taken over, s.
constexpr double kMinMeasuredSeconds = 5.0;
// The standard carriers; the nominal one is the nearer of them unless given.
constexpr double kStandardCarriersHz[2] = {3150.0, 3000.0};
// A carrier further than this share from both standard ones has no nominal of its own: its
// speed error is unknown unless the nominal is given.
constexpr double kMaxStandardDistance = 0.15;

// Where the measurement stands.
enum class MeterState {
    kWaiting,    // no tone found yet
    kNoTone,     // the tone is absent (between stretches)
    kSettling,   // the tone is present; the readings over the window are not yet formed
    kMeasuring,  // readings over the last window seconds
};

// A figure that does not exist (yet).
constexpr double kNoReading = std::numeric_limits<double>::quiet_NaN();

struct SpectrumLine {
    double hz;
    double percent;  // peak deviation of that sinusoidal component
    // With a platter speed: the harmonic of its rotation rate the line lies at (1: once per
    // revolution); 0: none.
    int revolutionHarmonic = 0;
};

// The readings of one second of input, from the start of the input (time 0). A figure that
// does not exist (yet) is NaN.
struct SecondReading {
    double timeSeconds = 0.0;  // start of the second
    MeterState state = MeterState::kWaiting;
    bool tonePresent = false;            // for most of the second
    double carrierHz = 0.0;              // mean frequency of the tone over the second
    double speedErrorPercent = 0.0;      // against the nominal (given, or the nearer standard)
    double weightedPeakPercent = 0.0;    // two-sigma over the last window
    double unweightedPeakPercent = 0.0;  // the same, unweighted
    double weightedRmsPercent = 0.0;     // RMS over the last window
    double modulationHz = 0.0;           // largest line of the window's spectrum
    // Two-sigma over the stretch the summary would read if the input ended now.
    double sessionWeightedPeakPercent = 0.0;
    double sessionUnweightedPeakPercent = 0.0;
    // Over the last window, as the two-sigma: the largest quasi-peak indication, and the RMS of
    // the weighted deviation below and above 4 Hz.
    double weightedQuasiPeakPercent = kNoReading;
    double wowRmsPercent = kNoReading;
    double flutterRmsPercent = kNoReading;
    // Over the stretch the summary would read now: the quasi-peak reading and the peak-to-peak
    // drift.
    double sessionWeightedQuasiPeakPercent = kNoReading;
    double sessionDriftPercent = kNoReading;
};

// The deviation as it forms, for a live display: its lowest and highest value over each
// kTracePointSeconds of the current stretch, in % of the carrier. NaN where none counted (the
// filters settling, a drop-out bridged, no tone).
constexpr double kTracePointSeconds = 0.02;
struct TracePoint {
    double timeSeconds = 0.0;  // start of the span, from the start of the input
    float weightedLow = 0.0f, weightedHigh = 0.0f;
    float unweightedLow = 0.0f, unweightedHigh = 0.0f;
};

// The spectrum of the deviation over the last window seconds (at most 20 s of them), as the
// readings of each second find it, and its largest lines, largest first.
struct WindowSpectrum {
    double timeSeconds = 0.0;  // the second whose readings it belongs to
    std::vector<double> hz, percent;
    std::vector<SpectrumLine> lines;
    double modulationHz = 0.0;  // NaN: no line stands out of the noise
};

// Default and largest span of the readings second by second, s.
constexpr double kDefaultWindowSeconds = 5.0;
constexpr double kMaxWindowSeconds = 600.0;

struct MeterOptions {
    int channel = 1;         // 1-based
    double carrierHz = 0.0;  // mixing frequency; 0 finds the carrier in the recording
    double nominalHz = 0.0;  // 0: the nearer of the standard carriers
    // Span of the readings second by second, s (kMinMeasuredSeconds is the standard's least).
    double windowSeconds = kDefaultWindowSeconds;
    // Platter speed of a test record, rpm (100/3, 45 or 78): folds the deviation onto the
    // platter's angle and names the spectrum's lines at its rotation rate. 0: none.
    double rpm = 0.0;
    // Called about once per second of audio with the fraction of the file read so far.
    std::function<void(double)> progress;
    // Called with the readings of each second, in order, from 0 s; empty: none are formed.
    std::function<void(const SecondReading&)> onSecond;
    // Called with the deviation's trace as it forms, in order, and with the window's spectrum
    // each second that has one (only where onSecond is set too).
    std::function<void(const TracePoint&)> onTrace;
    std::function<void(const WindowSpectrum&)> onSpectrum;
    // Polled about once per second of input read from a file; true ends the measurement with
    // MeterCancelled.
    std::function<bool()> cancelled;
    // Called once a file is open and its rate, channel and length accepted, before its audio is
    // read: the moment to create outputs that must not be touched for a file that cannot be
    // measured (the log). What it throws ends the measurement.
    std::function<void()> opened;
    // The audio comes from a capture device, not a recording: the refusals say so.
    bool live = false;
};

// Minimum and maximum of a deviation over consecutive stretches of time, in percent.
struct Envelope {
    double startSeconds = 0.0;    // time of the first stretch, from the start of the file
    double stretchSeconds = 0.0;  // length of each stretch
    std::vector<float> low, high;
};

// The turntable view (MeterOptions::rpm): the unweighted deviation folded onto the platter's
// angle over the measured span.
struct RevolutionReading {
    double rpm = 0.0;          // 0: not asked for (the rest is empty)
    double rotationHz = 0.0;   // the platter's rotation rate at the speed measured
    double revolutions = 0.0;  // revolutions measured
    // Peak deviation of the component that repeats once per revolution (eccentricity, an
    // off-centre hole), and the angle of its peak, radians from angle 0 (where the span read
    // starts), in the direction the platter turns. NaN: not one revolution measured.
    double oncePercent = kNoReading;
    double onceAngle = kNoReading;
    // RMS of the unweighted deviation without that component.
    double remainingRmsPercent = kNoReading;
    // Mean deviation over the revolutions at each of the equal angles from 0, and the same
    // without the once-per-revolution component, %.
    std::vector<double> meanPercent, remainderPercent;
};

struct MeterResult {
    int sampleRate = 0;
    int channels = 0;
    int channel = 0;
    double durationSeconds = 0.0;        // the whole file
    double measuredSeconds = 0.0;        // span the readings are taken over, without drop-outs
    double startSeconds = 0.0;           // where that span starts in the file
    double carrierHz = 0.0;              // mean frequency of the tone over that span
    double nominalHz = 0.0;              // NaN when unknown (see kMaxStandardDistance)
    double speedErrorPercent = 0.0;      // NaN when the nominal is unknown
    double weightedPeakPercent = 0.0;    // two-sigma of the weighted deviation
    double unweightedPeakPercent = 0.0;  // two-sigma of the deviation in the flat band
    double weightedRmsPercent = 0.0;
    double unweightedRmsPercent = 0.0;
    // The older standards' reading: the largest indication of the quasi-peak detector.
    double weightedQuasiPeakPercent = kNoReading;
    // RMS of the weighted deviation below and above 4 Hz.
    double wowRmsPercent = kNoReading;
    double flutterRmsPercent = kNoReading;
    // The slow speed (below 0.5 Hz): its peak-to-peak change over the span, % of the carrier,
    // and its lowest and highest as speed errors (NaN without a nominal). NaN: the stretch
    // was too short for the drift filter to settle.
    double driftPercent = kNoReading;
    double speedErrorLowPercent = kNoReading;
    double speedErrorHighPercent = kNoReading;
    double modulationHz = 0.0;       // largest line of the deviation's spectrum; NaN: none
    double tonePowerFraction = 0.0;  // share of the signal's power near the carrier
    int dropouts = 0;                // gaps in the tone, bridged and left out of the readings
    long long lostFrames = 0;        // input lost on the way (a sound card's overruns), bridged
    int overruns = 0;                // and the times it was lost
    // Amplitude spectrum of the deviation from 0.1 to 200 Hz, and its largest lines, largest
    // first.
    std::vector<double> spectrumHz, spectrumPercent;
    std::vector<SpectrumLine> lines;
    Envelope weighted, unweighted;
    // Speed error second by second over the whole input, % (NaN where there was no tone;
    // empty when the nominal is unknown): the drift along a tape.
    Envelope speedError;
    RevolutionReading revolution;
};

// A measurement ended on request (MeterOptions::cancelled).
class MeterCancelled : public MeterError {
public:
    MeterCancelled() : MeterError(Msg::kCancelled) {}
};

// Measures the file at path (any format libsndfile reads). Throws MeterError.
MeterResult MeasureFile(const std::string& path, const MeterOptions& options);

// The same for a file image held in memory.
MeterResult MeasureMemory(const void* data, size_t size, const MeterOptions& options);

}  // namespace wobblemeter
