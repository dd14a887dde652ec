// Presence of the tone, decided over the filters' span on both sides of each sample.
#include "meter/engine/tone_gate.h"

#include <cmath>
#include <limits>
#include <numbers>

namespace wobblemeter {

namespace {

// The tone counts as absent where its power falls this far below the reference (-20 dB).
constexpr double kAbsentPower = 0.01;
// A phase step beyond the band is taken as the tone's own only where its power is within this
// of the reference (-6 dB): weaker, it may be the edge of a drop-out.
constexpr double kStrongPower = 0.25;

}  // namespace

ToneGate::ToneGate(double reference, long long margin, double passHz, double basebandRate)
    : absentBelow_(kAbsentPower * reference),
      strongAbove_(kStrongPower * reference),
      margin_(margin),
      cosPass_(std::cos(2.0 * std::numbers::pi * passHz / basebandRate)),
      ring_(static_cast<size_t>(margin) + 1),
      lastAbsent_(std::numeric_limits<long long>::min() / 2) {}

void ToneGate::Push(const double* samples, const double* power, const uint8_t* lost, size_t n,
                    std::vector<GatedSample>& out, long long* first) {
    out.clear();
    *first = 0;
    // Samples until every filter holds real input are left out, as are those a margin later.
    const long long warm = margin_;
    for (size_t i = 0; i < n; ++i) {
        const long long index = index_++;
        if (index < warm) continue;
        const std::complex<double> z(samples[2 * i], samples[2 * i + 1]);
        const double level = std::norm(z);
        const bool present = level > absentBelow_ && lost[i] == 0;
        if (!present) lastAbsent_ = index;
        if (wasPresent_ && !present) ++falls_;
        wasPresent_ = present;
        toneSquares_ += level;
        inputSquares_ += power[i];
        // Phase step from the previous sample: beyond the band when its cosine is smaller than
        // that of the band's edge (the step itself is taken later, by the demodulator).
        bool beyond = false;
        if (present && havePrevious_ && level >= strongAbove_) {
            const double wRe = z.real() * previous_.real() + z.imag() * previous_.imag();
            const double wIm = z.imag() * previous_.real() - z.real() * previous_.imag();
            beyond = wRe < 0.0 || wRe * wRe < (wRe * wRe + wIm * wIm) * cosPass_ * cosPass_;
        }
        havePrevious_ = present && level >= strongAbove_;
        previous_ = z;
        // The ring holds the last margin + 1 samples: this one, and the one falling due now,
        // margin samples back (the same slot when margin is 0).
        ring_[static_cast<size_t>(index) % ring_.size()] = {z, power[i], false, beyond};
        const long long delayed = index - margin_;
        if (delayed >= warm) {
            if (out.empty()) *first = delayed;
            out.push_back(ring_[static_cast<size_t>(delayed) % ring_.size()]);
            out.back().usable = lastAbsent_ < delayed - margin_;
        }
    }
}

}  // namespace wobblemeter
