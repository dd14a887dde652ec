// Demodulator and drop-out bridging. Takes: the gated baseband samples (tone_gate.h), one by one
// at the baseband rate, each with its index. Gives: the instantaneous frequency (the difference
// of successive phases), in Hz from the mixing frequency, one offset per baseband sample into
// stretches of tone (stretch.h). Where the tone is absent no phase step is taken across the gap;
// a short gap (a drop-out) is bridged, one offset for each sample of it, by the frequency the
// stretch's last fraction of a second predicts, bent to meet the one after the gap (gap_bridge.h):
// that keeps the filters' input smooth, the drift's low-pass as it would have been without the
// gap and later samples in their place, but counts in no reading. A long gap ends the stretch.
// The stretch with the most measured samples is kept as the best.
#pragma once

#include <complex>
#include <functional>
#include <memory>
#include <vector>

#include "meter/engine/gap_bridge.h"
#include "meter/engine/stretch.h"
#include "meter/engine/tone_gate.h"

namespace wobblemeter {

class Demodulator {
public:
    // passHz: the band followed; maxGap: the longest drop-out bridged, in baseband samples.
    // onStart is called as each stretch starts (to attach what observes it).
    Demodulator(const StretchSetup& setup, double passHz, long long maxGap,
                std::function<StretchObserver*(long long first)> onStart);

    // Demodulates the next gated sample, at baseband index `index`.
    void Push(const GatedSample& sample, long long index);
    // Ends the current stretch (the input ended, or was cut off).
    void End();

    // The stretch with the most measured samples so far, ended or current; null: none.
    const Stretch* Best() const;
    const Stretch* Current() const { return current_.get(); }
    // Totals over every sample so far, stretch or not.
    struct Totals {
        long long steps = 0, strays = 0;               // phase steps, and those beyond the band
        long long present = 0;                         // usable samples
        long long falls = 0;                           // times a usable run gave way to a gap
        long long stops = 0;                           // gaps that ended a stretch
        int dropouts = 0;                              // gaps bridged
        double toneSquares = 0.0, inputSquares = 0.0;  // power of the baseband and the input
    };
    const Totals& Total() const { return totals_; }

private:
    void EndStretch();

    StretchSetup setup_;
    double passHz_;
    double radiansToHz_;
    long long maxGap_;
    std::function<StretchObserver*(long long)> onStart_;
    std::unique_ptr<Stretch> current_, best_;
    Totals totals_;
    long long gap_ = 0;      // absent samples in a row
    long long pending_ = 0;  // samples of a bridged gap waiting for the frequency after it
    bool havePrevious_ = false;
    bool wasUsable_ = false;
    std::complex<double> previous_ = 0.0;
    OffsetHistory history_;  // the current stretch's last offsets, for the bridge
    std::vector<double> historyCopy_, bridge_;
    double meanOffset_;  // where the next stretch starts its filters, Hz
};

}  // namespace wobblemeter
