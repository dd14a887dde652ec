// The plot's file held open, then drawn into and committed, or discarded.
#include "meter/cli/pending_plot.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include "meter/message.h"
#include "sys/output_file.h"

namespace wobblemeter {

PendingPlot::PendingPlot(const std::string& path, PlotFormat format)
    : path_(path), format_(format) {
    file_ = OpenOutputFile(path.c_str());
    if (file_ == nullptr)
        throw MeterError(Msg::kCannotWritePlot, path.c_str(), std::strerror(errno));
}

PendingPlot::~PendingPlot() {
    if (file_ != nullptr) DiscardOutputFile(file_);
}

PendingPlot::PendingPlot(PendingPlot&& other) noexcept
    : file_(std::exchange(other.file_, nullptr)),
      path_(std::move(other.path_)),
      format_(other.format_) {}

PendingPlot& PendingPlot::operator=(PendingPlot&& other) noexcept {
    if (this != &other) {
        if (file_ != nullptr) DiscardOutputFile(file_);
        file_ = std::exchange(other.file_, nullptr);
        path_ = std::move(other.path_);
        format_ = other.format_;
    }
    return *this;
}

void PendingPlot::Write(const MeterResult& result, const std::string& title) {
    const std::string bytes = RenderPlot(result, title, format_);
    CommitPlot(std::exchange(file_, nullptr), bytes, path_);
}

}  // namespace wobblemeter
