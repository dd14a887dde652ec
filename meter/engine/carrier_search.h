// Carrier search. Takes: the input samples (full scale 1, at the recording's rate) from the first
// that is not digital silence. Gives: the mixing frequency in Hz (a steady tone's to within
// 0.001 Hz), the power-weighted mean frequency around the strongest line between 500 Hz and
// 20 kHz of Hann-windowed spectra averaged over the first 10 s or so of tone, and the samples it
// held meanwhile, for the mixer to start from. Blocks of about 1.5 s in which no line stands out
// of the noise are passed over: the tone has not begun yet. A tone whose first blocks centre on
// one frequency is found after those.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "meter/dsp/power_spectrum.h"
#include "meter/message.h"

namespace wobblemeter {

class CarrierSearch {
public:
    // A given carrierHz (> 0) is not searched for; the search then only waits for a tone near it.
    CarrierSearch(double sampleRate, double carrierHz);

    // Samples it can still take before its span is complete.
    size_t Room() const { return span_ - samples_.size(); }
    // Takes up to n <= Room() samples and returns how many it took: it stops after the block
    // that completes the search. Blocks without a tone are dropped as they complete.
    size_t Push(const float* x, size_t n);
    // Whether a block of the span showed the tone (the search then goes on to find its centre).
    bool ToneSeen() const { return toneSeen_; }
    // Whether the span is complete, or the tone proved steady before: Decide() is due.
    bool Complete() const { return steady_ || samples_.size() >= span_; }

    // Decides over the samples held (a complete span, or whatever the input left at its end):
    // true with CarrierHz() found; false with Reason() saying why not, and the samples dropped.
    bool Decide();

    double CarrierHz() const { return carrierHz_; }
    // The tone's mean frequency as the search saw it: CarrierHz() when it found it; where a
    // carrier was given, the power-weighted mean frequency around it (a tape that runs fast).
    double MeanHz() const { return meanHz_; }
    // The samples held, the first at input index SpanStart() (counted from the first sample
    // after the leading silence). Valid after a successful Decide() until Release().
    const std::vector<float>& Samples() const { return samples_; }
    long long SpanStart() const { return spanStart_; }
    void Release();
    // Why the last block or span held no tone: one line for the user.
    const std::string& Reason() const { return reason_; }
    // Its row in the table of messages.
    Msg ReasonId() const { return reasonId_; }
    // The largest distinct lines of the summed spectrum near the carrier found, in Hz, largest
    // first: to name tones that beat with each other.
    const std::vector<double>& Lines() const { return lines_; }

private:
    // Whether the block's power spectrum shows a tone (a line that stands out of the noise,
    // within the carrier range, or near the given carrier); sets reason_ when it does not.
    bool HasTone(const std::vector<double>& power, double binHz);
    // The mean frequency around the strongest line of the summed spectrum; 0 with reason_ set
    // when there is none within the carrier range.
    double Locate(const std::vector<double>& power, double binHz);
    void Drop(size_t n);
    // Notes the centre of a block that showed the tone; the search is steady_ once enough
    // blocks agree.
    void NoteBlockCentre(const std::vector<double>& power, double binHz);
    template <typename... Args>
    void SetReason(Msg id, Args... args) {
        reason_ = Text(id, args...);
        reasonId_ = id;
    }

    double rate_;
    double givenHz_;
    size_t span_;   // samples the carrier is looked for in, at most
    size_t block_;  // samples per block of the averaged spectrum
    std::vector<float> samples_;
    long long spanStart_ = 0;
    size_t blocksDone_ = 0;  // blocks of the span taken so far
    bool toneSeen_ = false;  // a block of the span showed the tone: later blocks just add up
    bool steady_ = false;
    double lowestCentre_ = 0.0, highestCentre_ = 0.0;
    std::vector<double> sum_;
    std::vector<double> scratch_;
    std::vector<double> rejected_;  // summed spectra of the blocks without the tone so far
    std::unique_ptr<PowerSpectrum> spectrum_;
    std::vector<double> lines_;
    double carrierHz_ = 0.0;
    double meanHz_ = 0.0;
    std::string reason_;
    Msg reasonId_ = Msg::kCount;
};

}  // namespace wobblemeter
