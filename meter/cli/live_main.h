// wobblemeter's live commands, called from its main: --list-devices, and --live.
#pragma once

#include <cstdio>
#include <string>

#include "meter/meter.h"
#include "meter/output/plot.h"

namespace wobblemeter {

struct LiveArguments {
    std::string device;            // empty: the default capture device
    int rate = 0;                  // Hz; 0: the device's default
    double durationSeconds = 0.0;  // of captured audio; 0: until Ctrl-C
    std::string record;            // WAV file to record into; empty: none
    std::string log;               // CSV file of the readings of every second; empty: none
    std::string plot;              // PNG or SVG file of the session; empty: none
    // The plot's file, opened (OpenOutputFile) before the session so that an unwritable one is
    // refused at once; LiveCommand commits or discards it.
    FILE* plotFile = nullptr;
    PlotFormat plotFormat = PlotFormat::kNone;
    bool json = false;   // the summary as JSON
    MeterOptions meter;  // channel, carrier, nominal, window
};

// Prints the capture devices on standard output; returns the exit status.
int ListDevicesCommand();

// Measures from the device until the duration is captured or Ctrl-C, with the readings on
// standard error as they form and the summary over the session on standard output; returns
// the exit status.
int LiveCommand(const LiveArguments& arguments);

}  // namespace wobblemeter
