// The remembered settings as "key=value" lines.
#include "meterwin/settings.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "meter/message.h"
#include "sys/output_file.h"
#include "text/decimal.h"

namespace wobblemeter {

namespace {

constexpr const char* kDeviceKey = "device";
constexpr const char* kScaleKey = "bar_scale_percent";
constexpr const char* kPlatterKey = "platter_rpm";
constexpr const char* kSpanKey = "deviation_span_seconds";

}  // namespace

std::string SettingsPath() {
#ifdef _WIN32
    // %APPDATA%\wobblegen\ (the user's roaming settings, C:\Users\NAME\AppData\Roaming), in
    // UTF-8 as the program's code page gives it.
    const char* appData = std::getenv("APPDATA");
    if (appData == nullptr || appData[0] == '\0') return {};
    std::string path = appData;
    path += "\\wobblegen\\wobblemeter-gui.conf";
    return path;
#else
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    std::string base;
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == '\0') return {};
        base = std::string(home) + "/.config";
    }
    return base + "/wobblegen/wobblemeter-gui.conf";
#endif
}

MeterSettings LoadSettings(const std::string& path) {
    MeterSettings settings;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        const size_t equals = line.find('=');
        if (equals == std::string::npos) continue;
        const std::string key = line.substr(0, equals), value = line.substr(equals + 1);
        if (key == kDeviceKey) {
            settings.device = value;
        } else if (key == kScaleKey) {
            double scale = 0.0;
            if (ParseDecimalReal(value.c_str(), scale) && scale > 0)
                settings.barScalePercent = scale;
        } else if (key == kPlatterKey) {
            double rpm = 0.0;
            if (ParseDecimalReal(value.c_str(), rpm) && rpm > 0) settings.platterRpm = rpm;
        } else if (key == kSpanKey) {
            double span = 0.0;
            if (ParseDecimalReal(value.c_str(), span) && span >= 0)
                settings.deviationSpanSeconds = span;
        }
    }
    return settings;
}

bool SaveSettings(const std::string& path, const MeterSettings& settings, std::string* error) {
    // A device name is one line of the file: one that holds a line break is not kept.
    const bool deviceFits = settings.device.find_first_of("\r\n") == std::string::npos;
    std::error_code ec;
    // The name is UTF-8 on every system (on Windows the program's code page).
    const std::filesystem::path name(std::u8string(path.begin(), path.end()));
    std::filesystem::create_directories(name.parent_path(), ec);
    FILE* file = OpenOutputFile(path.c_str());
    if (file == nullptr) {
        *error = std::strerror(errno);
        return false;
    }
    if (deviceFits) std::fprintf(file, "%s=%s\n", kDeviceKey, settings.device.c_str());
    if (settings.barScalePercent > 0)
        std::fprintf(file, "%s=%s\n", kScaleKey, FormatShortest(settings.barScalePercent).c_str());
    if (settings.platterRpm > 0)
        std::fprintf(file, "%s=%s\n", kPlatterKey, FormatShortest(settings.platterRpm).c_str());
    if (settings.deviationSpanSeconds >= 0)
        std::fprintf(file, "%s=%s\n", kSpanKey,
                     FormatShortest(settings.deviationSpanSeconds).c_str());
    errno = 0;
    if (!CommitOutputFile(file)) {
        *error = errno != 0 ? std::strerror(errno) : Text(Msg::kWriteError);
        return false;
    }
    return true;
}

}  // namespace wobblemeter
