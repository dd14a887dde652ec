// The wow/flutter split: one low-pass and one high-pass of the same Butterworth order and corner.
#include "meter/engine/wow_flutter.h"

#include <cmath>

#include "meter/dsp/butterworth.h"

namespace wobblemeter {

namespace {

constexpr int kOrder = 4;

}  // namespace

WowFlutterRms WowFlutterShare(double rms, double wowSquares, double flutterSquares) {
    const double total = wowSquares + flutterSquares;
    if (!(total > 0.0) || !(rms > 0.0)) return {0.0, 0.0};
    return {rms * std::sqrt(wowSquares / total), rms * std::sqrt(flutterSquares / total)};
}

WowFlutterSplit::WowFlutterSplit(double sampleRate)
    : lowPass_(ButterworthLowPass(kOrder, kWowFlutterSplitHz, sampleRate)),
      highPass_(ButterworthHighPass(kOrder, kWowFlutterSplitHz, sampleRate)) {}

void WowFlutterSplit::Push(double weighted, bool counted) {
    wowNow_ = lowPass_.Process(weighted);
    flutterNow_ = highPass_.Process(weighted);
    if (!counted) return;
    wow_.Add(wowNow_);
    flutter_.Add(flutterNow_);
}

}  // namespace wobblemeter
