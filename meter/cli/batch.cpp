// Measuring threads that take the next file as they finish one; the caller hands out the
// outcomes in order.
#include "meter/cli/batch.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <new>
#include <optional>
#include <thread>

#include "meter/message.h"

namespace wobblemeter {

namespace {

FileOutcome MeasureOne(const std::string& path, const MeterOptions& options) {
    FileOutcome outcome;
    outcome.path = path;
    try {
        outcome.result = MeasureFile(path, options);
        outcome.measured = true;
    } catch (const std::bad_alloc&) {
        outcome.error = Text(Msg::kOutOfMemory);
    } catch (const std::exception& e) {
        outcome.error = e.what();
    }
    return outcome;
}

}  // namespace

int MeasuringThreads(size_t files) {
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return static_cast<int>(std::max<size_t>(1, std::min<size_t>(cores, files)));
}

void MeasureFiles(const std::vector<std::string>& paths, const MeterOptions& options, int threads,
                  const std::function<bool(const FileOutcome&)>& done) {
    MeterOptions quiet = options;
    quiet.progress = nullptr;
    quiet.onSecond = nullptr;
    quiet.opened = nullptr;
    std::vector<std::optional<FileOutcome>> outcomes(paths.size());
    std::mutex mutex;
    std::condition_variable ready;
    std::atomic<size_t> next{0};
    std::atomic<bool> stop{false};
    auto work = [&] {
        for (;;) {
            const size_t i = next.fetch_add(1);
            if (i >= paths.size() || stop.load()) return;
            FileOutcome outcome = MeasureOne(paths[i], quiet);
            {
                const std::lock_guard<std::mutex> lock(mutex);
                outcomes[i] = std::move(outcome);
            }
            ready.notify_all();
        }
    };
    std::vector<std::thread> workers;
    const int count = std::clamp(threads, 1, static_cast<int>(std::max<size_t>(1, paths.size())));
    // The calling thread hands out the outcomes; the workers measure.
    for (int t = 0; t < count; ++t) workers.emplace_back(work);
    std::exception_ptr failure;
    try {
        for (size_t i = 0; i < paths.size(); ++i) {
            std::optional<FileOutcome> outcome;
            {
                std::unique_lock<std::mutex> lock(mutex);
                ready.wait(lock, [&] { return outcomes[i].has_value(); });
                outcome = std::move(outcomes[i]);
                outcomes[i].reset();
            }
            if (!done(*outcome)) break;
        }
    } catch (...) {
        failure = std::current_exception();
    }
    stop.store(true);
    for (std::thread& worker : workers) worker.join();
    if (failure) std::rethrow_exception(failure);
}

}  // namespace wobblemeter
