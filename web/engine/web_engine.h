// The browser meter's engine behind the module's C interface (API.md): files measured whole and
// live blocks fed as they come, with the command line's outputs and the window's display model.
// Free of emscripten (exports.cpp binds it), so that it builds and is tested on Linux too.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "meter/engine/envelope.h"
#include "meter/meter.h"

namespace wobblemeter {

class Engine;
struct Display;

// Status returns of the interface: done, failed (LastError says why), called wrongly.
enum class WebStatus : int { kDone = 0, kFailed = 1, kUsage = 2 };

class WebEngine {
public:
    WebEngine();
    ~WebEngine();
    WebEngine(const WebEngine&) = delete;
    WebEngine& operator=(const WebEngine&) = delete;

    // Called with the share of a file read (0 ... 1) while it is measured.
    std::function<void(double)> progress;

    // options: a JSON object {"channel", "rpm", "carrier", "window"}, each optional; empty or
    // "null": none.
    WebStatus MeasureFile(const std::string& path, const std::string& options);
    // As `wobblemeter --json PATH` prints it (its line end included); empty before any.
    const std::string& ReadingsJson() const { return readingsJson_; }
    // kind: "png", "svg", "csv", "json", "pdf", "wav", written at path.
    WebStatus Export(const std::string& kind, const std::string& path);

    WebStatus LiveStart(double sampleRate, const std::string& options);
    WebStatus LivePush(const float* samples, long long count);
    WebStatus LiveGap(long long missing);
    WebStatus LiveStop();

    // The window's display as of now, as JSON (API.md).
    std::string DisplayJson() const;
    // The window's panels drawn into width x height RGBA pixels (not premultiplied), scale
    // device pixels to a unit of its layout; null (LastError) for a size out of range.
    const unsigned char* Render(int width, int height, double scale);

    const std::string& LastError() const { return error_; }

private:
    enum class Mode { kIdle, kFile, kFileFailed, kLive, kLiveStopped };
    struct Live;  // a session's engine and what its display needs (web_engine.cpp)

    WebStatus Fail(WebStatus status, const std::string& why);
    WebStatus Measured(MeterResult result, const std::string& path);
    void OnSecond(const SecondReading& reading);
    Display CurrentDisplay() const;

    Mode mode_ = Mode::kIdle;
    std::string error_;
    std::string path_;  // the file measured (as given)
    MeterOptions options_;
    std::optional<MeterResult> result_;
    std::string readingsJson_;
    std::vector<SecondReading> seconds_;  // for the log's export
    std::unique_ptr<Live> live_;
    std::vector<unsigned char> pixels_;
};

}  // namespace wobblemeter
