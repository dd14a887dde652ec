// libFuzzer entry point: arbitrary bytes as the verification set's table (expected.csv). Anything
// but rows or a MeterError is a fault, and so is a line of the results that grows beyond the
// table's own line limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "meter/cli/verify.h"
#include "meter/message.h"

namespace {

// Room for the line's columns besides the file's name, which a table line bounds.
constexpr size_t kColumnsRoom = 200;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::vector<wobblemeter::ExpectedRow> rows;
    try {
        rows = wobblemeter::ParseExpectedTable(bytes, "expected.csv");
    } catch (const wobblemeter::MeterError&) {
        return 0;
    }
    // Readings far off every expectation, and one where none is expected.
    wobblemeter::FileOutcome outcome;
    outcome.measured = true;
    outcome.result.unweightedPeakPercent = 1e6;
    outcome.result.weightedPeakPercent = 0.0;
    std::vector<wobblemeter::VerifyCheck> checks;
    for (const wobblemeter::ExpectedRow& row : rows)
        for (const wobblemeter::VerifyCheck& c : wobblemeter::CheckReadings(row, outcome))
            checks.push_back(c);
    const std::string table = wobblemeter::FormatVerifyTable("set", checks);
    for (size_t at = 0; at < table.size();) {
        size_t end = table.find('\n', at);
        if (end == std::string::npos) end = table.size();
        if (end - at > wobblemeter::kVerifyLineMaxBytes + kColumnsRoom) std::abort();
        at = end + 1;
    }
    return 0;
}
