// The capture source of a build without PortAudio: every device request says so.
#include "meter/capture/capture.h"

namespace wobblemeter {

namespace {
const char* const kNoCapture = "this wobblemeter was built without live capture (PortAudio)";
}

std::vector<CaptureDeviceInfo> ListCaptureDevices() {
    throw CaptureError(kNoCapture);
}

std::unique_ptr<CaptureSource> OpenCaptureDevice(const CaptureOptions&) {
    throw CaptureError(kNoCapture);
}

}  // namespace wobblemeter
