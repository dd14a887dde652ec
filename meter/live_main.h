// wobblemeter's live commands, called from its main: --list-devices, and --live --record.
#pragma once

#include <string>

namespace wobblemeter {

struct LiveArguments {
    std::string device;            // empty: the default capture device
    int rate = 0;                  // Hz; 0: the device's default
    int channel = 1;               // from 1
    double durationSeconds = 0.0;  // of captured audio; 0: until Ctrl-C
    std::string record;            // WAV file to record into
};

// Prints the capture devices on standard output; returns the exit status.
int ListDevicesCommand();

// Records from the device until the duration is captured or Ctrl-C; returns the exit status.
int RecordLiveCommand(const LiveArguments& arguments);

}  // namespace wobblemeter
