// Per-second readings as CSV rows.
#include "meter/output/csv_log.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "meter/message.h"

namespace wobblemeter {

const char* const kCsvHeader =
    "time (s),carrier (Hz),speed error (%),weighted two-sigma (%),unweighted two-sigma (%),"
    "weighted RMS (%),modulation (Hz),tone present,weighted quasi-peak (%),wow RMS (%),"
    "flutter RMS (%),drift (%)";

namespace {

// A field of a figure, empty where there is none; one that rounds to zero has no sign.
std::string Field(const char* format, double value) {
    if (!std::isfinite(value)) return {};
    std::string text = Format(format, value);
    if (text[0] == '-' && text.find_first_not_of("-0.") == std::string::npos) text.erase(0, 1);
    return text;
}

}  // namespace

std::string CsvRow(const SecondReading& r) {
    return Format("%.0f", r.timeSeconds) + "," + Field("%.4f", r.carrierHz) + "," +
           Field("%.4f", r.speedErrorPercent) + "," + Field("%.6f", r.weightedPeakPercent) + "," +
           Field("%.6f", r.unweightedPeakPercent) + "," + Field("%.6f", r.weightedRmsPercent) +
           "," + Field("%.3f", r.modulationHz) + "," + (r.tonePresent ? "1" : "0") + "," +
           Field("%.6f", r.weightedQuasiPeakPercent) + "," + Field("%.6f", r.wowRmsPercent) + "," +
           Field("%.6f", r.flutterRmsPercent) + "," + Field("%.6f", r.sessionDriftPercent);
}

CsvLog::CsvLog(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    if (file_ == nullptr)
        throw MeterError(Msg::kCannotWriteLog, path.c_str(), std::strerror(errno));
    if (std::fprintf(file_, "%s\n", kCsvHeader) < 0 || std::fflush(file_) != 0) {
        error_ = std::strerror(errno);
        std::fclose(file_);
        file_ = nullptr;
        throw MeterError(Msg::kCannotWriteLog, path.c_str(), error_.c_str());
    }
}

void CsvLog::CheckWritable(const std::string& path, Msg failure) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    // A FIFO is left for the log's own opening: opened and closed here, its reader would take
    // the close for the log's end.
    if (status.type() == std::filesystem::file_type::fifo) return;
    // Where it cannot be told, it is taken to be there, never removed.
    const bool existed = status.type() != std::filesystem::file_type::not_found;
    // Appending writes nothing and truncates nothing; it creates the file when it is not there.
    FILE* file = std::fopen(path.c_str(), "a");
    if (file == nullptr) throw MeterError(failure, path.c_str(), std::strerror(errno));
    std::fclose(file);
    if (existed) return;
    // Made only to see that it could be: removed, through a link to where it was made.
    const std::filesystem::path made = std::filesystem::canonical(path, error);
    std::filesystem::remove(error ? std::filesystem::path(path) : made, error);
}

CsvLog::~CsvLog() {
    if (file_ != nullptr) std::fclose(file_);
}

void CsvLog::Fail() {
    if (error_.empty()) error_ = errno != 0 ? std::strerror(errno) : Text(Msg::kWriteError);
}

void CsvLog::Write(const SecondReading& reading) {
    if (file_ == nullptr || !error_.empty()) return;
    errno = 0;
    // Flushed row by row: a session cut short keeps every second it saw.
    if (std::fprintf(file_, "%s\n", CsvRow(reading).c_str()) < 0 || std::fflush(file_) != 0) Fail();
}

bool CsvLog::Close() {
    if (file_ == nullptr) return error_.empty();
    errno = 0;
    if (std::fclose(file_) != 0) Fail();
    file_ = nullptr;
    return error_.empty();
}

}  // namespace wobblemeter
