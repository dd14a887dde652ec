// The log along a whole tape: one CSV row per second of input, written and flushed as it goes,
// so that a spreadsheet opens it and an interrupted session keeps what it saw.
#pragma once

#include <cstdio>
#include <string>

#include "meter/meter.h"

namespace wobblemeter {

class CsvLog {
public:
    // Creates (or empties) the file at path and writes the header row; throws MeterError with
    // the reason when it cannot.
    explicit CsvLog(const std::string& path);
    // Throws MeterError with the reason when path could not be created or written, leaving
    // whatever is there as it was (a file that was not there is not left behind): for an
    // unwritable name to be refused before the input is read and the log made. failure: the
    // message, "cannot write the log %s: %s" or another output's with the same conversions.
    static void CheckWritable(const std::string& path, Msg failure = Msg::kCannotWriteLog);
    ~CsvLog();
    CsvLog(const CsvLog&) = delete;
    CsvLog& operator=(const CsvLog&) = delete;

    // Appends one row: fields without a figure stay empty.
    void Write(const SecondReading& reading);
    // Closes the file; false when a row or the file could not be written (then Error() says
    // why).
    bool Close();
    const std::string& Error() const { return error_; }

private:
    void Fail();
    FILE* file_ = nullptr;
    std::string error_;
};

// The row of a reading, without its line end.
std::string CsvRow(const SecondReading& reading);
// The header row, without its line end.
extern const char* const kCsvHeader;

}  // namespace wobblemeter
