// The verification set's table as --verify reads it: whole (its header and every signal), its
// numbers through the one decimal reader and in their ranges, read in bounded memory, and the
// results printed to a bounded number of digits.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "meter/cli/verify.h"
#include "meter/meter.h"
#include "tests/meter/meter_test_util.h"

namespace wobblemeter {
namespace {

using wobblemeter_test::ScratchDir;

// The rows as wobblegen-cli --calibration-set writes them.
const char* const kSignals[] = {
    "0,0,0,0",        "4,0.01,0.00997,0.00997", "4,0.1,0.0997,0.0997",  "4,1,0.997,0.997",
    "4,10,9.97,9.97", "0.8,0.1,0.0997,0.0499",  "20,0.1,0.0997,0.0506", "0.2,0.1,0.0997,0.00296"};

std::string Row(const std::string& carrier, int signal) {
    const std::string rate = carrier == "3150" ? "44100" : "48000";
    return carrier + "Hz-" + std::to_string(signal) + ".wav," + std::to_string(signal) + "," +
           carrier + "," + rate + "," + kSignals[signal - 1];
}

std::string GoodTable() {
    std::string table = std::string(kVerifyTableHeader) + "\n";
    for (const char* carrier : {"3150", "3000"})
        for (int signal = 1; signal <= 8; ++signal) table += Row(carrier, signal) + "\n";
    return table;
}

// table with its line `from` replaced by `to` (removed where to is empty).
std::string Replaced(const std::string& from, const std::string& to) {
    std::string table = GoodTable();
    const size_t at = table.find(from + "\n");
    if (at == std::string::npos) throw std::logic_error("no line " + from);
    table.replace(at, from.size() + 1, to.empty() ? "" : to + "\n");
    return table;
}

// What ParseExpectedTable says of table, or "" when it takes it.
std::string Refusal(const std::string& table) {
    try {
        ParseExpectedTable(table, "set/expected.csv");
    } catch (const MeterError& e) {
        return e.what();
    }
    return "";
}

TEST(ExpectedTable, ReadsAWholeTableAndKeepsTheReadingsAsWritten) {
    ScratchDir dir;
    std::string table = Replaced(Row("3150", 3), "a.wav,3,3150,44100,4,0.1,0.0990,0.0500\r");
    table = table.substr(0, table.find(Row("3000", 7))) + "b.wav,7.0,3000,48000,4,0.1,0,1e-1\n" +
            "\n" + table.substr(table.find(Row("3000", 8)));
    std::ofstream(dir.Path("expected.csv")) << table;
    const std::vector<ExpectedRow> rows = ReadExpectedTable(dir.Path(""));
    ASSERT_EQ(rows.size(), 16u);
    EXPECT_EQ(rows[2].file, "a.wav");
    EXPECT_EQ(rows[2].signal, 3);
    EXPECT_EQ(rows[2].unweighted, "0.0990");
    EXPECT_EQ(rows[2].weighted, "0.0500");
    EXPECT_EQ(rows[14].signal, 7);
    EXPECT_EQ(rows[14].weighted, "1e-1");
}

TEST(ExpectedTable, RefusesValuesOutsideTheirRangesNamingTheLine) {
    const std::string row = Row("3000", 4);  // line 13
    for (const char* bad : {"3000Hz-4.wav,2.5,3000,48000,4,1,0.997,0.997",
                            "3000Hz-4.wav,0,3000,48000,4,1,0.997,0.997",
                            "3000Hz-4.wav,9,3000,48000,4,1,0.997,0.997",
                            "3000Hz-4.wav,0x3,3000,48000,4,1,0.997,0.997",
                            "3000Hz-4.wav,4,3100,48000,4,1,0.997,0.997",
                            "3000Hz-4.wav,4,3000,4000,4,1,0.997,0.997",
                            "3000Hz-4.wav,4,3000,48000,-4,1,0.997,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,101,0.997,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,1,-0.1,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,1,0x1p-3,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997,nan",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997,inf",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997,",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997,1e400",
                            "3000Hz-4.wav,4,3000,48000,4,1,1e308,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997,100.1",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997x,0.997",
                            "sub/x.wav,4,3000,48000,4,1,0.997,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997",
                            "3000Hz-4.wav,4,3000,48000,4,1,0.997,0.997,"}) {
        const std::string said = Refusal(Replaced(row, bad));
        EXPECT_EQ(said.rfind("set/expected.csv, line 13: ", 0), 0u) << bad << ": " << said;
    }
    EXPECT_EQ(Refusal(Replaced(row, "3000Hz-4.wav,4,3000,48000,4,1,1e-300,0.997")),
              "set/expected.csv, line 13: unweighted_2sigma_percent '1e-300' is not allowed: "
              "give 0 or a number from 0.001 to 100");
    EXPECT_EQ(Refusal(Replaced(row, "3000Hz-4.wav,4,3000,48000,4,1,0.001,100")), "");
}

TEST(ExpectedTable, MustHaveItsHeaderAndEverySignalOnce) {
    EXPECT_EQ(Refusal(GoodTable()), "");
    EXPECT_EQ(Refusal(GoodTable().substr(GoodTable().find('\n') + 1)),
              std::string("set/expected.csv, line 1: not the table's header '") +
                  kVerifyTableHeader + "'");
    EXPECT_EQ(Refusal(""), Refusal(GoodTable().substr(GoodTable().find('\n') + 1)));
    EXPECT_EQ(Refusal(Replaced(Row("3000", 5), "")),
              "set/expected.csv lists no signal 5 at 3000 Hz (the set has signals 1 to 8 at 3150 "
              "and 3000 Hz)");
    EXPECT_EQ(Refusal(Replaced(Row("3150", 8), Row("3150", 8) + "\n" + Row("3150", 8))),
              "set/expected.csv, line 10: signal 8 at 3150 Hz is listed twice");
    EXPECT_EQ(Refusal(std::string(kVerifyTableHeader) + "\n"), "set/expected.csv lists no signals");
}

// Lines up to kVerifyLineMaxBytes are read (the reading's digits padded with zeros); a longer
// one is refused as such.
TEST(ExpectedTable, RefusesALineLongerThanTheLimit) {
    const std::string row = Row("3150", 2);
    const std::string longest = row + std::string(kVerifyLineMaxBytes - row.size(), '0');
    EXPECT_EQ(Refusal(Replaced(row, longest)), "");
    EXPECT_EQ(Refusal(Replaced(row, longest + "0")),
              "set/expected.csv, line 3: longer than 4096 bytes, not a row of the set");
}

// A file of kVerifyTableMaxBytes is read; one byte more is refused without parsing.
TEST(ExpectedTable, ReadsAFileUpToTheSizeLimit) {
    ScratchDir dir;
    const std::string table = GoodTable();
    std::ofstream(dir.Path("expected.csv"))
        << table << std::string(kVerifyTableMaxBytes - table.size(), '\n');
    EXPECT_EQ(ReadExpectedTable(dir.Path("")).size(), 16u);
    std::ofstream(dir.Path("expected.csv"), std::ios::app) << "\n";
    try {
        ReadExpectedTable(dir.Path(""));
        ADD_FAILURE() << "a table over the limit was read";
    } catch (const MeterError& e) {
        EXPECT_EQ(std::string(e.what()),
                  dir.Path("") + "/expected.csv is larger than 1024 KiB: not a table of the set");
    }
}

// The results print the expected reading and the error to four significant digits, whatever
// digits the table gives and however far the reading is off.
TEST(VerifyTable, PrintsExpectedAndErrorToFourDigits) {
    ExpectedRow row;
    row.file = "a.wav";
    row.signal = 3;
    row.unweighted = "0.099700000000000000000000000000000001";
    row.weighted = "0.001";
    FileOutcome outcome;
    outcome.measured = true;
    outcome.result.unweightedPeakPercent = 0.1;
    outcome.result.weightedPeakPercent = 12345.678;
    const std::vector<VerifyCheck> checks = CheckReadings(row, outcome);
    const std::string table = FormatVerifyTable("set", checks);
    EXPECT_NE(table.find(" 0.0997 "), std::string::npos) << table;
    EXPECT_NE(table.find(" +0.3009 "), std::string::npos) << table;
    EXPECT_NE(table.find(" +1.235e+09 "), std::string::npos) << table;
    EXPECT_TRUE(checks[0].pass);
    EXPECT_FALSE(checks[1].pass);
}

}  // namespace
}  // namespace wobblemeter
