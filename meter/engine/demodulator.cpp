// Phase differences into frequency, gaps bridged or ending the stretch.
#include "meter/engine/demodulator.h"

#include <cmath>
#include <numbers>

namespace wobblemeter {

Demodulator::Demodulator(const StretchSetup& setup, double passHz, long long maxGap,
                         std::function<StretchObserver*(long long first)> onStart)
    : setup_(setup),
      passHz_(passHz),
      radiansToHz_(setup.basebandRate / (2.0 * std::numbers::pi)),
      maxGap_(maxGap),
      onStart_(std::move(onStart)),
      meanOffset_(setup.meanOffsetHz) {}

const Stretch* Demodulator::Best() const {
    if (current_ && (!best_ || current_->Measured() > best_->Measured())) return current_.get();
    return best_.get();
}

void Demodulator::End() {
    EndStretch();
}

void Demodulator::EndStretch() {
    // A stretch after the gap starts its filters at the slow speed this one ended with.
    if (current_) meanOffset_ = current_->SlowOffsetHz();
    if (current_ && (!best_ || current_->Measured() > best_->Measured()))
        best_ = std::move(current_);
    current_.reset();
}

void Demodulator::Push(const GatedSample& g, long long index) {
    // A phase step beyond the band counts against the stretch even where the gate has given
    // up on the sample: a tone swinging out of the band fades from it.
    if (g.beyond) {
        ++totals_.strays;
        if (current_) ++current_->strays;
    }
    if (!g.usable) {
        if (wasUsable_) ++totals_.falls;
        wasUsable_ = false;
        havePrevious_ = false;
        if (current_ && ++gap_ > maxGap_) {
            ++totals_.stops;
            EndStretch();
        }
        return;
    }
    wasUsable_ = true;
    ++totals_.present;
    if (!current_) {
        current_ = std::make_unique<Stretch>(index, setup_, onStart_ ? onStart_(index) : nullptr,
                                             meanOffset_);
        gap_ = 0;
        history_.Clear();
    }
    Stretch& s = *current_;
    const double magnitude = std::norm(g.z);
    s.last = index;
    s.toneSquares += magnitude;
    s.inputSquares += g.power;
    totals_.toneSquares += magnitude;
    totals_.inputSquares += g.power;
    if (!havePrevious_) {
        // No phase step across a gap: the sample after it waits for the next.
        previous_ = g.z;
        havePrevious_ = true;
        if (gap_ > 0) {
            ++s.dropouts;
            ++totals_.dropouts;
            pending_ = gap_ + 1;
        }
        gap_ = 0;
        return;
    }
    // Phase step from the previous sample: arg(z conj(previous)).
    const std::complex<double> z = g.z;
    const double offset = std::atan2(z.imag() * previous_.real() - z.real() * previous_.imag(),
                                     z.real() * previous_.real() + z.imag() * previous_.imag()) *
                          radiansToHz_;
    previous_ = z;
    ++s.steps;
    ++totals_.steps;
    if (std::fabs(offset) > passHz_ && !g.beyond) {
        ++s.strays;
        ++totals_.strays;
    }
    if (pending_ > 0) {
        history_.CopyTo(historyCopy_);
        BridgeGap(historyCopy_, offset, static_cast<size_t>(pending_), bridge_);
        for (double b : bridge_) {
            s.Push(b, false);
            history_.Push(b);
        }
        pending_ = 0;
    }
    s.Push(offset, true);
    history_.Push(offset);
}

}  // namespace wobblemeter
