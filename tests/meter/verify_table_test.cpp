// The verification set's table as --verify reads it: its numbers through the one decimal
// reader, the signal a whole number however it is written, and rows that are none refused.
#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "meter/cli/verify.h"
#include "meter/meter.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::ScratchDir;

constexpr const char* kHeader =
    "file,signal,carrier_hz,rate_hz,modulation_hz,deviation_percent,unweighted,weighted\n";

void WriteTable(const ScratchDir& dir, const std::string& rows) {
    std::ofstream(dir.Path("expected.csv")) << kHeader << rows;
}

TEST(ExpectedTable, ReadsTheSignalAndKeepsTheReadingsAsWritten) {
    ScratchDir dir;
    WriteTable(dir,
               "a.wav,3,3150,48000,4,0.1,0.0990,0.0500\r\nb.wav,7.0,3000,48000,4,0.1,0,1e-1\n");
    const std::vector<ExpectedRow> rows = ReadExpectedTable(dir.Path(""));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].file, "a.wav");
    EXPECT_EQ(rows[0].signal, 3);
    EXPECT_EQ(rows[0].unweighted, "0.0990");
    EXPECT_EQ(rows[0].weighted, "0.0500");
    EXPECT_EQ(rows[1].signal, 7);
    EXPECT_EQ(rows[1].weighted, "1e-1");
}

TEST(ExpectedTable, RefusesRowsWhoseNumbersAreNoReadings) {
    for (const char* row :
         {"a.wav,2.5,3150,48000,4,0.1,0.1,0.05", "a.wav,0,3150,48000,4,0.1,0.1,0.05",
          "a.wav,0x3,3150,48000,4,0.1,0.1,0.05", "a.wav,3,3150,48000,4,0.1,-0.1,0.05",
          "a.wav,3,3150,48000,4,0.1,0x1p-3,0.05", "a.wav,3,3150,48000,4,0.1,0.1,nan",
          "a.wav,3,3150,48000,4,0.1,0.1,inf", "a.wav,3,3150,48000,4,0.1,0.1,",
          "a.wav,3,3150,48000,4,0.1,0.1,1e400", "a.wav,3,3150,48000,4,0.1,0.1x,0.05"}) {
        ScratchDir dir;
        WriteTable(dir, std::string(row) + "\n");
        EXPECT_THROW(ReadExpectedTable(dir.Path("")), MeterError) << row;
    }
}

}  // namespace
}  // namespace wobblemeter
