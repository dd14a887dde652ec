// Wow and flutter apart. Takes: the weighted deviation (any unit) at the baseband rate, sample by
// sample. Gives: its components below and above 4 Hz now, and their RMS over the span and the
// current interval, in the same unit.
#pragma once

#include <cstddef>

#include "meter/dsp/dsp.h"
#include "meter/dsp/span_stats.h"

namespace wobblemeter {

// Where wow ends and flutter begins, Hz.
constexpr double kWowFlutterSplitHz = 4.0;

// The split is a fourth-order Butterworth low-pass and high-pass at 4 Hz, each -3 dB there.
// Being power complementary, wow^2 + flutter^2 equals the weighted RMS squared for a steady
// deviation over whole periods; a component at 4 Hz itself counts half its power to each, one at
// 2 Hz or 8 Hz 0.4 % of its power to the other side (-24 dB), one at 1 Hz or 16 Hz 0.0015 %.
// Over a span that holds a few periods of a slow swing (a 5 s window holds fewer than three of
// 0.55 Hz), or while the filters settle, the two filtered parts' power need not add up to the
// deviation's: the readings therefore share the weighted RMS out between wow and flutter in the
// proportion of the power the two filters passed (WowFlutterShare).
// Wow and flutter RMS over a span: rms (the weighted RMS over it) shared out in the proportion
// of wowSquares to flutterSquares (the filtered parts' sums of squares over the same samples), so
// that wow^2 + flutter^2 = rms^2 and neither part exceeds rms. Both 0 where rms or both sums are 0.
struct WowFlutterRms {
    double wow, flutter;
};
WowFlutterRms WowFlutterShare(double rms, double wowSquares, double flutterSquares);

class WowFlutterSplit {
public:
    explicit WowFlutterSplit(double sampleRate);

    // One sample of the weighted deviation (any unit; the RMS readings are in the same one).
    // The filters start at rest, which suits the weighted deviation (no mean); they settle
    // within 1 s, inside the weighting's own settling.
    void Push(double weighted, bool counted);
    void Push(const double* weighted, size_t n, bool counted) {
        for (size_t i = 0; i < n; ++i) Push(weighted[i], counted);
    }

    // The two parts of the last sample pushed, counted or not: for readings over a window.
    double WowNow() const { return wowNow_; }
    double FlutterNow() const { return flutterNow_; }
    const SpanRms& Wow() const { return wow_; }
    const SpanRms& Flutter() const { return flutter_; }
    void RestartInterval() {
        wow_.RestartInterval();
        flutter_.RestartInterval();
    }

private:
    BiquadCascade lowPass_, highPass_;
    double wowNow_ = 0.0, flutterNow_ = 0.0;
    SpanRms wow_, flutter_;
};

}  // namespace wobblemeter
