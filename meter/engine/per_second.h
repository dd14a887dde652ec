// Readings second by second. Takes: every gated baseband sample's index and presence (at the
// baseband rate), and, as a StretchObserver, the counted offsets (Hz), deviations and spectrum
// copy of the current stretch. Gives: a SecondReading as each second of input completes: the
// tone's presence and mean frequency over that second, and, when asked for, two-sigma, RMS,
// quasi-peak, wow, flutter and the dominant modulation over the last window seconds of the
// stretch, and two-sigma, quasi-peak and drift over the stretch the summary would read now (in %
// of the carrier); on request the same figures as of the newest sample, over the last ten tenths
// of a second (for a live display), the deviation's trace and the window's spectrum.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "meter/dsp/power_spectrum.h"
#include "meter/engine/demodulator.h"
#include "meter/engine/detectors.h"
#include "meter/engine/window_figures.h"
#include "meter/meter.h"

namespace wobblemeter {

struct PerSecondSetup {
    int sampleRate = 0;
    long long firstFrame = 0;  // input frame of baseband sample 0
    int decimation = 1;        // input frames per baseband sample
    double basebandRate = 0.0;
    double mixHz = 0.0;
    double nominalHz = 0.0;  // NaN: unknown
    double windowSeconds = kDefaultWindowSeconds;
    bool windowed = false;  // form the readings over the window (else only presence and carrier)
    // Receive the trace and the window's spectrum (windowed only); empty: none formed.
    std::function<void(const TracePoint&)> onTrace;
    std::function<void(const WindowSpectrum&)> onSpectrum;
};

class PerSecond : public StretchObserver {
public:
    PerSecond(const PerSecondSetup& setup, const Demodulator& demodulator,
              std::function<void(const SecondReading&)> emit);

    // Every gated sample, in order.
    void Push(long long index, bool usable);
    // A stretch starts: the window starts afresh.
    void StretchStarts();
    // The input ended: the second under way is emitted, if any of it was seen.
    void End();
    // The readings as of the newest sample: presence, carrier and speed error over the last
    // second, the window's figures, the modulation of the last second that had one; the time
    // is that of the end of the newest sample.
    SecondReading Latest() const;

    void Counted(double offsetHz, bool settled, const Deviation& deviation) override;
    void Bridged() override;
    void Decimated(float offsetHz) override;

private:
    // What the last second (in tenths) held, for Latest().
    struct Recent {
        long long seen = 0, usable = 0, offsets = 0;
        double offsetSum = 0.0;
    };
    static constexpr size_t kRecentSlots = 10;

    void CloseSlot();
    void Emit();
    // The figures over the window (and over the session where asked) into r; its modulation
    // is left alone.
    void ReadWindow(SecondReading& r, bool inStretch, bool session) const;
    double WindowModulation(double toPercent, double timeSeconds);
    void EmitTrace();

    PerSecondSetup setup_;
    const Demodulator& demodulator_;
    std::function<void(const SecondReading&)> emit_;
    long long second_;                 // the second under way
    long long seen_ = 0, usable_ = 0;  // gated samples of it, and usable ones
    double offsetSum_ = 0.0;           // counted offsets of it
    long long offsets_ = 0;
    // Window: one slot per baseband sample from the stretch's settling on.
    std::unique_ptr<WindowDetector> window_;
    std::unique_ptr<WindowFigures> figures_;
    size_t windowLength_ = 0;
    bool slotOpen_ = false;  // the sample's slot awaits its deviation
    bool settled_ = false;   // the current stretch has settled
    double stretchOffsetSum_ = 0.0;
    long long stretchOffsets_ = 0;
    // The spectrum copy's last values, for the window's dominant modulation.
    std::vector<float> copy_, unrolled_;
    size_t copyNext_ = 0, copyHeld_ = 0;
    std::unique_ptr<PowerSpectrum> spectrum_;
    double lastModulation_;      // of the last second emitted in this stretch
    SecondReading lastSession_;  // the last second emitted, for its session figures
    // The last second in tenths: completed ones in a ring, and the one under way.
    Recent recent_[kRecentSlots];
    Recent recentNow_;
    size_t recentNext_ = 0;
    long long recentLength_;  // samples per tenth
    long long recentSlot_ = 0;
    long long newest_ = -1;  // index of the newest sample
    // The trace point under way.
    long long traceLength_;  // samples per point
    long long tracePoint_ = -1;
    TracePoint trace_;
};

}  // namespace wobblemeter
