// The capture source of a build without PortAudio: every device request says so.
#include "meter/capture/capture.h"

namespace wobblemeter {

std::vector<CaptureDeviceInfo> ListCaptureDevices() {
    throw CaptureError(Msg::kCaptureBuiltWithout);
}

std::unique_ptr<CaptureSource> OpenCaptureDevice(const CaptureOptions&) {
    throw CaptureError(Msg::kCaptureBuiltWithout);
}

}  // namespace wobblemeter
