// Several recordings measured side by side: each on its own, one failure never stopping the
// others, the outcomes handed out in the files' order as soon as each and those before it are in.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {

struct FileOutcome {
    std::string path;
    bool measured = false;
    MeterResult result;  // when measured
    std::string error;   // why not, one line
};

// The threads to measure `files` files on: one per core, at most one per file, at least one.
int MeasuringThreads(size_t files);

// Measures every file with options (its progress, onSecond and opened are not used) on `threads`
// threads, and calls done with each outcome in the order of paths, on the calling thread. done
// returns false to stop: the files not yet begun are left, those under way finish unread.
void MeasureFiles(const std::vector<std::string>& paths, const MeterOptions& options, int threads,
                  const std::function<bool(const FileOutcome&)>& done);

}  // namespace wobblemeter
