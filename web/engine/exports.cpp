// The module's C interface (API.md) for worker.js: one engine, the strings it returns kept until
// the next call, and the file progress handed to the page's Module.wmProgress.
#include <emscripten.h>

#include <string>

#include "web/engine/web_engine.h"

namespace {

wobblemeter::WebEngine& TheEngine() {
    static wobblemeter::WebEngine engine;
    return engine;
}

// What the last call returned as text: valid until the next call.
std::string& Returned() {
    static std::string text;
    return text;
}

const char* Return(const std::string& text) {
    Returned() = text;
    return Returned().c_str();
}

int Status(wobblemeter::WebStatus status) {
    return static_cast<int>(status);
}

std::string Text(const char* text) {
    return text == nullptr ? std::string() : std::string(text);
}

}  // namespace

// The page's hook, if it gave one: Module.wmProgress(fraction). JavaScript, not C++: kept from
// clang-format, which would split its === into "== =".
// clang-format off
EM_JS(void, wm_report_progress, (double fraction), {
    if (typeof Module['wmProgress'] === 'function') Module['wmProgress'](fraction);
});
// clang-format on

extern "C" {

EMSCRIPTEN_KEEPALIVE int wm_measure_file(const char* path, const char* options) {
    wobblemeter::WebEngine& engine = TheEngine();
    engine.progress = [](double fraction) { wm_report_progress(fraction); };
    return Status(engine.MeasureFile(Text(path), Text(options)));
}

EMSCRIPTEN_KEEPALIVE const char* wm_readings_json() {
    return Return(TheEngine().ReadingsJson());
}

EMSCRIPTEN_KEEPALIVE int wm_export(const char* kind, const char* path) {
    return Status(TheEngine().Export(Text(kind), Text(path)));
}

EMSCRIPTEN_KEEPALIVE int wm_live_start(double sampleRate, const char* options) {
    return Status(TheEngine().LiveStart(sampleRate, Text(options)));
}

EMSCRIPTEN_KEEPALIVE int wm_live_push(const float* samples, int count) {
    return Status(TheEngine().LivePush(samples, count));
}

EMSCRIPTEN_KEEPALIVE int wm_live_gap(int missing) {
    return Status(TheEngine().LiveGap(missing));
}

EMSCRIPTEN_KEEPALIVE int wm_live_stop() {
    return Status(TheEngine().LiveStop());
}

EMSCRIPTEN_KEEPALIVE const char* wm_display_json() {
    return Return(TheEngine().DisplayJson());
}

EMSCRIPTEN_KEEPALIVE const unsigned char* wm_render_panels(int width, int height, double scale) {
    return TheEngine().Render(width, height, scale);
}

EMSCRIPTEN_KEEPALIVE const char* wm_last_error() {
    return Return(TheEngine().LastError());
}

}  // extern "C"
