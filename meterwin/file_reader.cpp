// The file measurement on its thread: the meter's file mode, with progress and cancelling.
#include "meterwin/file_reader.h"

#include <new>
#include <utility>

namespace wobblemeter {

namespace {

// Thrown from the progress callback to end a cancelled reading.
struct CancelRequested {};

}  // namespace

FileReader::FileReader(std::string path, MeterOptions options) {
    thread_ = std::thread([this, path = std::move(path), options = std::move(options)]() mutable {
        Run(path, std::move(options));
    });
}

FileReader::~FileReader() {
    Stop();
}

void FileReader::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void FileReader::Run(const std::string& path, MeterOptions options) {
    options.progress = [this](double fraction) {
        if (stop_) throw CancelRequested{};
        const std::lock_guard lock(mutex_);
        progress_ = fraction;
    };
    options.onSecond = [this](const SecondReading& reading) {
        const std::lock_guard lock(mutex_);
        seconds_.push_back(reading);
    };
    std::optional<MeterResult> result;
    std::string error;
    bool cancelled = false;
    try {
        result = MeasureFile(path, options);
    } catch (const CancelRequested&) {
        cancelled = true;
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    } catch (const std::exception& e) {
        error = e.what();
    }
    {
        const std::lock_guard lock(mutex_);
        result_ = std::move(result);
        error_ = std::move(error);
        cancelled_ = cancelled;
        if (result_) progress_ = 1.0;
        finished_ = true;
    }
}

bool FileReader::Finished() const {
    const std::lock_guard lock(mutex_);
    return finished_;
}

bool FileReader::Cancelled() const {
    const std::lock_guard lock(mutex_);
    return cancelled_;
}

double FileReader::Progress() const {
    const std::lock_guard lock(mutex_);
    return progress_;
}

std::optional<MeterResult> FileReader::Result() const {
    const std::lock_guard lock(mutex_);
    return result_;
}

std::string FileReader::ResultError() const {
    const std::lock_guard lock(mutex_);
    return error_;
}

std::vector<SecondReading> FileReader::TakeSeconds() {
    const std::lock_guard lock(mutex_);
    return std::exchange(seconds_, {});
}

}  // namespace wobblemeter
