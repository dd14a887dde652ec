// The turntable view. Takes: the unweighted deviation (any unit) at the baseband rate, with the
// platter's speed at each sample. Gives: the deviation folded onto the platter's angle, the
// once-per-revolution component it holds (eccentricity, an off-centre hole) and what remains
// without it, in the input's unit; and the names of spectrum lines at the rotation rate and its
// harmonics.
#pragma once

#include <complex>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace wobblemeter {

// The platter speed that --rpm names, read strictly (ParsePlainDecimal: digits and at most one
// point, no white space, sign or exponent): 33, 33.3, 33.33 and 33.333 stand for 33 1/3 rpm,
// 45 and 78 for themselves, trailing zeros after the point aside ("45.0" is 45); nothing for
// anything else ("33.34", "0x2D", " 45").
std::optional<double> ParsePlatterRpm(const std::string& text);
// What ParsePlatterRpm takes, as --help and the message for anything else name it.
inline constexpr const char* kPlatterRpmChoices = "33, 33.3, 33.33 or 33.333 (33 1/3), 45 or 78";

// Rotation rate, Hz, of a platter at rpm that runs speedRatio times its nominal speed (the
// carrier's mean frequency over the nominal one): the fold must follow the platter as it turns,
// or a 1 % fast platter smears the fold by a tenth of a revolution in 10 revolutions.
double RotationHz(double rpm, double speedRatio);

class RevolutionFold {
public:
    // The unweighted deviation (any unit) at sampleRate, folded at rotationHz onto bins angles;
    // angle 0 is where the first sample falls.
    RevolutionFold(double sampleRate, double rotationHz, int bins = 72);

    // One sample; uncounted ones (settling, drop-outs) turn the platter but add nothing. speed:
    // the platter's speed over the one rotationHz stands for, at this sample (the tone's
    // frequency over its nominal one): a platter that runs 1 % fast, or drifts, turns so much
    // faster, and the fold follows it however long the record plays.
    void Push(double deviation, bool counted, double speed = 1.0);
    void Push(const double* deviation, size_t n, bool counted) {
        for (size_t i = 0; i < n; ++i) Push(deviation[i], counted);
    }

    int Bins() const { return static_cast<int>(sum_.size()); }
    // Revolutions over the counted samples.
    double Revolutions() const { return revolutions_; }
    // True once every bin holds a counted sample; the readings below are empty (0) before.
    bool Complete() const;
    // Mean deviation in each bin, bin k covering angles k ... k + 1 of bins.
    std::vector<double> Mean() const;
    // The once-per-revolution component: its magnitude is its peak deviation (as a spectrum
    // line's), its argument the angle of its peak in radians (from angle 0, as the angle
    // advances).
    std::complex<double> OncePerRevolution() const;
    // The fold without its once-per-revolution component.
    std::vector<double> Remainder() const;
    // RMS of the deviation without its once-per-revolution component (the sinusoid of the
    // platter's angle that, with a constant, fits the counted samples best): what the platter
    // adds besides eccentricity, repeating or not.
    double RemainingRms() const;

private:
    double step_;         // revolutions per sample at the speed rotationHz stands for
    double angle_ = 0.0;  // in revolutions, 0 ... 1
    double revolutions_ = 0.0;
    std::vector<double> sum_;
    std::vector<long long> count_;
    // The angle's cosine and sine, turned sample by sample and set afresh from angle_ now and
    // then; and over the counted samples the sums a least-squares fit of c + a * cos + b * sin
    // to the deviation needs.
    double cos_ = 1.0, sin_ = 0.0;
    int sinceExact_ = 0;
    double sumX_ = 0.0, sumCos_ = 0.0, sumSin_ = 0.0;
    double xCos_ = 0.0, xSin_ = 0.0, cosCos_ = 0.0, sinSin_ = 0.0, cosSin_ = 0.0;
    double squares_ = 0.0;
    long long counted_ = 0;
};

// The harmonic of rotationHz that a spectrum line at lineHz is, when it lies within toleranceHz
// of one (the spectrum's resolution: a few bins); 0 when it is none.
int RevolutionHarmonic(double lineHz, double rotationHz, double toleranceHz);

// How a line list names harmonic k of the rotation: "once per revolution", "twice per
// revolution", "3 times per revolution" ...
std::string RevolutionHarmonicName(int k);

}  // namespace wobblemeter
