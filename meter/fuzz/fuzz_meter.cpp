// libFuzzer entry point: arbitrary bytes through the reading and measuring path. Anything but
// a reading or a MeterError is a fault.
#include <cstddef>
#include <cstdint>

#include "meter/meter.h"
#include "meter/output/report.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    wobblemeter::MeterOptions options;
    try {
        const wobblemeter::MeterResult result = wobblemeter::MeasureMemory(data, size, options);
        (void)wobblemeter::FormatJson(result, "fuzz");
        (void)wobblemeter::FormatSummary(result, "fuzz");
    } catch (const wobblemeter::MeterError&) {
    }
    return 0;
}
