// A file measured on a thread of its own, so that the window never waits for it: progress as
// it reads, the readings of every second, the result or why there is none; Stop cancels it.
#pragma once

#include <atomic>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {

class FileReader {
public:
    // Starts measuring path.
    FileReader(std::string path, MeterOptions options);
    // Cancels the reading and waits for the thread.
    ~FileReader();
    FileReader(const FileReader&) = delete;
    FileReader& operator=(const FileReader&) = delete;

    // Ends the reading at the next second of audio; waits for the thread.
    void Stop();
    bool Finished() const;
    bool Cancelled() const;
    double Progress() const;  // 0 ... 1
    // Once finished: the readings, or nothing and why (the command-line tool's words).
    std::optional<MeterResult> Result() const;
    std::string ResultError() const;
    // The readings of every second since the last call.
    std::vector<SecondReading> TakeSeconds();

private:
    void Run(const std::string& path, MeterOptions options);

    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    bool finished_ = false, cancelled_ = false;
    double progress_ = 0.0;
    std::optional<MeterResult> result_;
    std::string error_;
    std::vector<SecondReading> seconds_;
    std::thread thread_;
};

}  // namespace wobblemeter
