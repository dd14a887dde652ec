// Records what a capture source delivers into a WAV file of 32-bit floats, one channel: exactly
// the captured samples, with silence in place of the frames an overrun lost, so that the file
// keeps the session's time line and can be measured again.
#pragma once

#include <functional>
#include <string>

#include "meter/capture.h"

namespace wobblemeter {

struct RecordOptions {
    // Frames of the session (lost ones included) after which recording stops; 0: no limit.
    long long frames = 0;
    // Polled between reads; true stops the recording (Ctrl-C).
    std::function<bool()> stopRequested;
    // An overrun: frames lost at frame atFrame of the session.
    std::function<void(long long atFrame, long long frames)> onLoss;
    // After each read, with the frames of the session so far.
    std::function<void(long long frames)> onProgress;
};

struct RecordResult {
    long long frames = 0;      // in the file, lost ones included
    long long lostFrames = 0;  // silence in place of lost frames
    int losses = 0;            // overruns
    bool full = false;         // stopped at the most a WAV file holds (4 GiB)
};

// Creates path (replacing a file there), starts source, records until options.frames, a stop
// request, the source's end or the WAV file's limit, stops the source and closes the file. Throws
// MeterError when the file cannot be written, CaptureError when the device fails; the file then
// holds what was recorded so far.
RecordResult RecordCapture(CaptureSource& source, const std::string& path,
                           const RecordOptions& options);

}  // namespace wobblemeter
