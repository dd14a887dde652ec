// The plot's file from before the measurement (so that one that cannot be written is refused at
// once) until its bytes are in place.
#pragma once

#include <cstdio>
#include <string>

#include "meter/meter.h"
#include "meter/output/plot.h"

namespace wobblemeter {

class PendingPlot {
public:
    // None asked for.
    PendingPlot() = default;
    // Opens path (OpenOutputFile) for a plot in format; throws MeterError "cannot write the
    // plot PATH: reason" when it cannot.
    PendingPlot(const std::string& path, PlotFormat format);
    // Discards the file unless it was written: an earlier plot of that name stays as it was.
    ~PendingPlot();
    PendingPlot(PendingPlot&& other) noexcept;
    PendingPlot& operator=(PendingPlot&& other) noexcept;
    PendingPlot(const PendingPlot&) = delete;
    PendingPlot& operator=(const PendingPlot&) = delete;

    // A file is open and not yet written.
    bool Asked() const { return file_ != nullptr; }
    const std::string& Path() const { return path_; }
    // Draws the result under title into the file and puts it in place; throws (MeterError, or
    // std::bad_alloc) when it cannot, the file discarded then.
    void Write(const MeterResult& result, const std::string& title);

private:
    FILE* file_ = nullptr;
    std::string path_;
    PlotFormat format_ = PlotFormat::kNone;
};

}  // namespace wobblemeter
