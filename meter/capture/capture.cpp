// Capture code that needs no audio library: which listed device a --device name means.
#include "meter/capture/capture.h"

#include <string>

namespace wobblemeter {

std::optional<size_t> MatchCaptureDevice(const std::vector<CaptureDeviceInfo>& devices,
                                         std::string_view name) {
    if (name.empty()) return std::nullopt;
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].name == name) return i;
    // Appended, not "(" + std::string: GCC 12 at -O3 warns falsely (-Wrestrict) on the latter.
    const std::string suffix = std::string("(").append(name).append(")");
    for (size_t i = 0; i < devices.size(); ++i)
        if (devices[i].name.ends_with(suffix)) return i;
    return std::nullopt;
}

}  // namespace wobblemeter
