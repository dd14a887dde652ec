// What wobblemeter --live prints while it measures: on a terminal a block of lines redrawn in
// place (the readings with the quasi-peak beside the two-sigma, wow, flutter and drift, a bar
// for the weighted figure, the session's figure and the state), and without one a line per
// second.
#pragma once

#include <string>
#include <vector>

#include "meter/live/live_session.h"

namespace wobblemeter {

// Full scales of the bar, %: the smallest that holds the figure is used.
constexpr double kBarScales[] = {0.1, 0.3, 1.0, 3.0, 10.0};

// The smallest of kBarScales at or above percent (the largest beyond it).
double BarScale(double percent);
// A bar of `width` characters filled to percent of scale ('#' filled, '.' not); empty when
// percent is not a number.
std::string Bar(double percent, double scale, int width);

// The lines of the terminal's block for a snapshot, each at most `columns` characters long.
std::vector<std::string> DisplayLines(const SessionSnapshot& snapshot, double windowSeconds,
                                      int columns);
// The line of one second, for a log on standard error without a terminal.
std::string SecondLine(const SecondReading& reading);

}  // namespace wobblemeter
