// Carrier search over averaged spectra of the first seconds of tone.
#include "meter/engine/carrier_search.h"

#include <algorithm>
#include <cmath>

#include "meter/message.h"
#include "meter/meter.h"

namespace wobblemeter {

namespace {

// Seconds of audio the carrier is looked for in, at most, and most samples for it; the
// spectrum is averaged over half-overlapping blocks of about kBlockSeconds (bins of about
// 2.7 Hz).
constexpr double kSearchSeconds = 10.0;
constexpr size_t kMaxSearchSamples = size_t{1} << 20;
constexpr double kBlockSeconds = 0.37;
constexpr size_t kMaxBlock = size_t{1} << 17;
// The noise floor of a block is the median of every kFloorStride-th bin.
constexpr size_t kFloorStride = 4;
// The search ends early, after this many blocks, when their centres lie within this share of
// the carrier of each other: a steady tone, or one that swings fast.
constexpr size_t kSteadyBlocks = 4;
constexpr double kSteadyShare = 0.01;
// Lines below this frequency (hum, rumble, the remains of DC) are no tone, Hz.
constexpr double kLowestLineHz = 20.0;
// The strongest line within the carrier range must carry at least this share of the power of
// the strongest line of all (-40 dB); weaker, it is noise beside a tone outside the range.
constexpr double kMinInRangeShare = 1e-4;
// Half-width of the band around a line whose power-weighted mean frequency is the carrier: a
// share of the line's frequency, and at least kMinBandHz.
constexpr double kBandShare = 0.15;
constexpr double kMinBandHz = 30.0;
// A block holds a tone when the band around its line carries at least this many times the
// power that the band would hold at the spectrum's median level (noise: about 1.4), and at
// least this share of the block's power.
constexpr double kMinBandOverFloor = 10.0;
constexpr double kMinBandShareOfPower = 0.01;
// Lines named beside the carrier: within this share of the largest one's power, at most
// kMaxLines, and apart by at least kLineSpacingBins.
constexpr double kLineShare = 0.1;
constexpr size_t kMaxLines = 3;
constexpr size_t kLineSpacingBins = 8;

// A band's edges (the outer tenth of its half-width on either side) hold part of the tone when
// they carry more than this share of the band's power.
constexpr double kEdgeShare = 1e-3;
constexpr double kEdgeWidth = 0.1;
// Rounds of widening and centring, at most.
constexpr int kMaxCentreRounds = 16;

double BandHalfWidth(double hz) {
    return std::max(kBandShare * hz, kMinBandHz);
}

bool EdgesHoldTone(const std::vector<double>& power, double binHz, double centre, double half) {
    double band = 0.0, edges = 0.0;
    const auto first = static_cast<size_t>(std::max(kLowestLineHz, centre - half) / binHz);
    const auto last = std::min(power.size() - 1, static_cast<size_t>((centre + half) / binHz));
    for (size_t k = first; k <= last; ++k) {
        band += power[k];
        if (std::fabs(static_cast<double>(k) * binHz - centre) >= (1.0 - kEdgeWidth) * half)
            edges += power[k];
    }
    return edges > kEdgeShare * band;
}

// The power-weighted mean frequency of the band around a line at hz. The strongest line of a
// widely swinging tone may lie near the edge of its band: centre the band on the estimate a few
// times. Where the band's edges still hold part of the tone, it swings wider than the band:
// widen it and centre again.
double Centre(const std::vector<double>& power, double binHz, double hz) {
    const double nyquist = static_cast<double>(power.size() - 1) * binHz;
    double centre = hz;
    double widening = 1.0;
    for (int round = 0; round < kMaxCentreRounds; ++round) {
        const double before = centre;
        double half = 0.0;
        for (int pass = 0; pass < 4; ++pass) {
            half = widening * BandHalfWidth(centre);
            const auto first = static_cast<size_t>(std::max(kLowestLineHz, centre - half) / binHz);
            const auto last =
                std::min(power.size() - 1, static_cast<size_t>((centre + half) / binHz));
            double sum = 0.0, moment = 0.0;
            for (size_t k = std::max<size_t>(1, first); k <= last; ++k) {
                sum += power[k];
                moment += power[k] * static_cast<double>(k);
            }
            if (!(sum > 0.0)) break;
            centre = moment / sum * binHz;
        }
        if (!EdgesHoldTone(power, binHz, centre, half)) break;
        // The band's edges hold part of the tone: widen the band or, where it spans the whole
        // spectrum already, let the centre move on towards the middle of the tone.
        if (centre - half > kLowestLineHz || centre + half < nyquist)
            widening *= 2.0;
        else if (std::fabs(centre - before) < binHz)
            break;
    }
    return centre;
}

}  // namespace

CarrierSearch::CarrierSearch(double sampleRate, double carrierHz)
    : rate_(sampleRate),
      givenHz_(carrierHz),
      span_(std::min(kMaxSearchSamples,
                     NextPowerOfTwo(static_cast<size_t>(kSearchSeconds * sampleRate)))),
      block_(std::min(kMaxBlock, NextPowerOfTwo(static_cast<size_t>(kBlockSeconds * sampleRate)))) {
    block_ = std::min(block_, span_);
    samples_.reserve(span_);
}

size_t CarrierSearch::Push(const float* x, size_t n) {
    const size_t hop = std::max<size_t>(1, block_ / 2);
    size_t taken = 0;
    while (taken < n && !steady_) {
        // Up to the end of the next block, so that the search ends where that block does,
        // however the input comes in.
        const size_t start = blocksDone_ * hop;
        const size_t want =
            std::min(n - taken, start + block_ - std::min(start + block_, samples_.size()));
        samples_.insert(samples_.end(), x + taken, x + taken + want);
        taken += want;
        if (start + block_ > samples_.size()) break;
        if (!spectrum_) spectrum_ = std::make_unique<PowerSpectrum>(std::max<size_t>(2, block_));
        const std::vector<double>& p = (*spectrum_)(samples_.data() + start, block_, true);
        const double binHz = rate_ / static_cast<double>(spectrum_->Size());
        if (!toneSeen_ && !HasTone(p, binHz)) {
            // No tone yet: the search starts afresh with the next block.
            Drop(hop);
            continue;
        }
        std::vector<double>().swap(rejected_);
        toneSeen_ = true;
        if (sum_.empty()) sum_.assign(p.size(), 0.0);
        for (size_t k = 0; k < sum_.size(); ++k) sum_[k] += p[k];
        ++blocksDone_;
        NoteBlockCentre(p, binHz);
    }
    return taken;
}

void CarrierSearch::NoteBlockCentre(const std::vector<double>& power, double binHz) {
    // A tone whose blocks all centre on the same frequency needs no longer search: only a
    // slow swing, whose centre the first blocks would miss, takes the whole span.
    size_t peak = 0;
    for (size_t k = 1; k < power.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz >= kMinCarrierHz && hz <= kMaxCarrierHz && (peak == 0 || power[k] > power[peak]))
            peak = k;
    }
    if (peak == 0) return;
    const double centre =
        givenHz_ > 0.0
            ? givenHz_
            : Centre(power, binHz, (static_cast<double>(peak) + PeakOffset(power, peak)) * binHz);
    lowestCentre_ = blocksDone_ == 1 ? centre : std::min(lowestCentre_, centre);
    highestCentre_ = blocksDone_ == 1 ? centre : std::max(highestCentre_, centre);
    steady_ = blocksDone_ >= kSteadyBlocks &&
              highestCentre_ - lowestCentre_ <= kSteadyShare * highestCentre_;
}

void CarrierSearch::Drop(size_t n) {
    steady_ = false;
    n = std::min(n, samples_.size());
    samples_.erase(samples_.begin(), samples_.begin() + static_cast<std::ptrdiff_t>(n));
    spanStart_ += static_cast<long long>(n);
    blocksDone_ = 0;
    toneSeen_ = false;
    sum_.clear();
}

void CarrierSearch::Release() {
    spanStart_ += static_cast<long long>(samples_.size());
    std::vector<float>().swap(samples_);
    std::vector<double>().swap(sum_);
    std::vector<double>().swap(scratch_);
    spectrum_.reset();
    blocksDone_ = 0;
    toneSeen_ = false;
    steady_ = false;
}

bool CarrierSearch::HasTone(const std::vector<double>& power, double binHz) {
    const auto lowest = static_cast<size_t>(std::ceil(kLowestLineHz / binHz));
    if (lowest + 1 >= power.size()) {
        SetReason(Msg::kSearchTooShort);
        return false;
    }
    size_t strongest = lowest, peak = 0;
    double total = 0.0;
    for (size_t k = lowest; k < power.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        total += power[k];
        if (power[k] > power[strongest]) strongest = k;
        if (hz >= kMinCarrierHz && hz <= kMaxCarrierHz && (peak == 0 || power[k] > power[peak]))
            peak = k;
    }
    if (!(total > 0.0)) {
        SetReason(Msg::kSearchSilent);
        return false;
    }
    const double strongestHz =
        (static_cast<double>(strongest) + PeakOffset(power, strongest)) * binHz;
    double centre = 0.0;
    if (givenHz_ > 0.0) {
        centre = givenHz_;
    } else if (peak == 0 || power[peak] < kMinInRangeShare * power[strongest]) {
        SetReason(Msg::kStrongestOutsideRange,
                  (strongestHz < kMinCarrierHz ? DistinctFrom(strongestHz, kMinCarrierHz, 1)
                                               : DistinctFrom(strongestHz, kMaxCarrierHz, 1))
                      .c_str(),
                  kMinCarrierHz, kMaxCarrierHz);
        return false;
    } else {
        centre = (static_cast<double>(peak) + PeakOffset(power, peak)) * binHz;
    }
    const double half = BandHalfWidth(centre);
    const auto first =
        static_cast<size_t>(std::max(static_cast<double>(lowest), (centre - half) / binHz));
    const auto last = std::min(power.size() - 1, static_cast<size_t>((centre + half) / binHz));
    double band = 0.0;
    for (size_t k = first; k <= last; ++k) band += power[k];
    scratch_.clear();
    for (size_t k = lowest; k < power.size(); k += kFloorStride) scratch_.push_back(power[k]);
    const auto middle = scratch_.begin() + static_cast<std::ptrdiff_t>(scratch_.size() / 2);
    std::nth_element(scratch_.begin(), middle, scratch_.end());
    const double floor = *middle * static_cast<double>(last >= first ? last - first + 1 : 0);
    if (band > kMinBandOverFloor * floor && band >= kMinBandShareOfPower * total) return true;
    const double share = 100.0 * band / total;
    if (givenHz_ > 0.0) {
        // Where the strongest line lies, from every block without the tone so far.
        if (rejected_.size() != power.size()) rejected_.assign(power.size(), 0.0);
        for (size_t k = 0; k < power.size(); ++k) rejected_[k] += power[k];
        SetReason(Msg::kNoToneNear, givenHz_, half, share, Centre(rejected_, binHz, strongestHz));
    } else {
        SetReason(Msg::kNoLineStandsOut, centre, share);
    }
    return false;
}

double CarrierSearch::Locate(const std::vector<double>& power, double binHz) {
    size_t strongest = 0, peak = 0;
    for (size_t k = 1; k < power.size(); ++k) {
        const double hz = static_cast<double>(k) * binHz;
        if (hz >= kLowestLineHz && power[k] > power[strongest]) strongest = k;
        if (hz >= kMinCarrierHz && hz <= kMaxCarrierHz && power[k] > power[peak]) peak = k;
    }
    if (strongest == 0 || !(power[strongest] > 0.0)) {
        SetReason(Msg::kNoStrongLine);
        return 0.0;
    }
    // A line outside the range that dwarfs everything within it is the tone.
    if (peak == 0 || power[peak] < kMinInRangeShare * power[strongest]) {
        const double strongestHz =
            (static_cast<double>(strongest) + PeakOffset(power, strongest)) * binHz;
        SetReason(Msg::kStrongestOutsideRange,
                  (strongestHz < kMinCarrierHz ? DistinctFrom(strongestHz, kMinCarrierHz, 1)
                                               : DistinctFrom(strongestHz, kMaxCarrierHz, 1))
                      .c_str(),
                  kMinCarrierHz, kMaxCarrierHz);
        return 0.0;
    }
    const double peakHz = (static_cast<double>(peak) + PeakOffset(power, peak)) * binHz;
    return Centre(power, binHz, peakHz);
}

bool CarrierSearch::Decide() {
    lines_.clear();
    if (samples_.empty()) return false;
    double binHz = 0.0;
    if (blocksDone_ == 0) {
        // Fewer samples than a block, or none of the blocks so far held the tone: the samples
        // held (at most a block and a half) are looked at as one block.
        const size_t n = std::min(samples_.size(), block_);
        PowerSpectrum spectrum(std::max<size_t>(2, NextPowerOfTwo(n)));
        const std::vector<double>& p = spectrum(samples_.data(), n, true);
        binHz = rate_ / static_cast<double>(spectrum.Size());
        if (!HasTone(p, binHz)) {
            Drop(samples_.size());
            return false;
        }
        sum_ = p;
    } else {
        binHz = rate_ / static_cast<double>(spectrum_->Size());
    }
    carrierHz_ = givenHz_ > 0.0 ? givenHz_ : Locate(sum_, binHz);
    meanHz_ = givenHz_ > 0.0 ? Centre(sum_, binHz, givenHz_) : carrierHz_;
    // The transform's buffers are not needed again unless the search starts afresh.
    spectrum_.reset();
    std::vector<double>().swap(scratch_);
    if (!(carrierHz_ > 0.0)) {
        Drop(samples_.size());
        return false;
    }
    // The largest distinct lines near the carrier.
    const double half = BandHalfWidth(carrierHz_);
    const auto first = static_cast<size_t>(std::max(1.0, (carrierHz_ - half) / binHz));
    const auto last = std::min(sum_.size() - 2, static_cast<size_t>((carrierHz_ + half) / binHz));
    std::vector<size_t> peaks;
    for (size_t k = first; k <= last; ++k)
        if (sum_[k] > sum_[k - 1] && sum_[k] >= sum_[k + 1]) peaks.push_back(k);
    std::sort(peaks.begin(), peaks.end(), [&](size_t a, size_t b) { return sum_[a] > sum_[b]; });
    std::vector<size_t> kept;
    for (size_t k : peaks) {
        if (kept.size() == kMaxLines || sum_[k] < kLineShare * sum_[peaks.front()]) break;
        bool near = false;
        for (size_t other : kept)
            near = near || (k > other ? k - other : other - k) < kLineSpacingBins;
        if (near) continue;
        kept.push_back(k);
        lines_.push_back((static_cast<double>(k) + PeakOffset(sum_, k)) * binHz);
    }
    return true;
}

}  // namespace wobblemeter
