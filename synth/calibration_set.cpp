// The verification set: eight signals at 3150 Hz / 44.1 kHz and 3000 Hz / 48 kHz, 30 s each, and
// expected.csv. Two-sigma of a sinusoidal deviation is 0.997 of its peak; the weighted figures
// are the weighting curve's gain at 0.8, 20 and 0.2 Hz.
#include "synth/calibration_set.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "synth/test_tone.h"

const CalibrationSignal kCalibrationSignals[kCalibrationSignalCount] = {
    {1, 0.0, 0.0, 0.0, 0.0},        {2, 4.0, 0.01, 0.00997, 0.00997}, {3, 4.0, 0.1, 0.0997, 0.0997},
    {4, 4.0, 1.0, 0.997, 0.997},    {5, 4.0, 10.0, 9.97, 9.97},       {6, 0.8, 0.1, 0.0997, 0.0499},
    {7, 20.0, 0.1, 0.0997, 0.0506}, {8, 0.2, 0.1, 0.0997, 0.00296},
};

const CalibrationCarrier kCalibrationCarriers[kCalibrationCarrierCount] = {{3150.0, 44100},
                                                                           {3000.0, 48000}};

void CalibrationFileName(char* name, size_t size, const CalibrationCarrier& carrier, int number) {
    std::snprintf(name, size, "%.0fHz-%d.wav", carrier.carrierHz, number);
}

namespace {

// A file of the set on its way: written under its temporary name, renamed when all are done.
struct PendingFile {
    std::filesystem::path temporary, final;
};

// Writes one file under its temporary name; false when it cannot be opened or written.
template <typename Writer>
bool WriteFile(const std::filesystem::path& path, Writer write) {
    FILE* file = std::fopen(path.string().c_str(), "wb");
    if (file == nullptr) return false;
    const bool written = write(file);
    const bool closed = std::fclose(file) == 0;
    return written && closed;
}

bool WriteTable(FILE* file) {
    std::fprintf(file,
                 "file,signal,carrier_hz,sample_rate_hz,modulation_hz,deviation_percent,"
                 "unweighted_2sigma_percent,weighted_2sigma_percent\n");
    for (const CalibrationCarrier& carrier : kCalibrationCarriers) {
        for (const CalibrationSignal& signal : kCalibrationSignals) {
            char name[64];
            CalibrationFileName(name, sizeof name, carrier, signal.number);
            std::fprintf(file, "%s,%d,%g,%d,%g,%g,%g,%g\n", name, signal.number, carrier.carrierHz,
                         carrier.sampleRate, signal.modulationHz, signal.deviationPercent,
                         signal.unweightedPercent, signal.weightedPercent);
        }
    }
    return !std::ferror(file);
}

void Fail(char* message, size_t size, const char* what, const std::filesystem::path& path) {
    std::snprintf(message, size, "%s %s", what, path.string().c_str());
}

// Removes what a failed call left: the temporary files, and dir when this call created it.
void CleanUp(const std::vector<PendingFile>& pending, const std::filesystem::path& dir,
             bool created) {
    std::error_code ignored;
    for (const PendingFile& file : pending) std::filesystem::remove(file.temporary, ignored);
    if (created) std::filesystem::remove(dir, ignored);  // only when empty
}

}  // namespace

int WriteCalibrationSet(const char* dir, FILE* log, char* message, size_t messageSize) {
    const std::filesystem::path root(dir);
    std::error_code error;
    bool created = false;
    if (std::filesystem::exists(root, error)) {
        if (!std::filesystem::is_directory(root, error)) {
            Fail(message, messageSize, "Not a directory:", root);
            return -1;
        }
    } else {
        created = std::filesystem::create_directory(root, error);
        if (!created) {
            Fail(message, messageSize, "Cannot create directory", root);
            return -1;
        }
    }

    std::vector<PendingFile> pending;
    auto add = [&](const std::string& name) -> const PendingFile& {
        pending.push_back({root / ("." + name + ".partial"), root / name});
        return pending.back();
    };
    for (const CalibrationCarrier& carrier : kCalibrationCarriers) {
        for (const CalibrationSignal& signal : kCalibrationSignals) {
            char name[64];
            CalibrationFileName(name, sizeof name, carrier, signal.number);
            const PendingFile& file = add(name);
            const bool written = WriteFile(file.temporary, [&](FILE* f) {
                return WriteTestToneQuietly(f, carrier.sampleRate, carrier.carrierHz,
                                            signal.deviationPercent, signal.modulationHz,
                                            kCalibrationSeconds) == 0;
            });
            if (!written) {
                Fail(message, messageSize, "Cannot write", file.final);
                CleanUp(pending, root, created);
                return -1;
            }
        }
    }
    const PendingFile& table = add(kCalibrationTableName);
    if (!WriteFile(table.temporary, WriteTable)) {
        Fail(message, messageSize, "Cannot write", table.final);
        CleanUp(pending, root, created);
        return -1;
    }

    for (size_t i = 0; i < pending.size(); ++i) {
        std::filesystem::rename(pending[i].temporary, pending[i].final, error);
        if (error) {
            // The files renamed so far are complete; the rest go.
            Fail(message, messageSize, "Cannot write", pending[i].final);
            CleanUp({pending.begin() + static_cast<std::ptrdiff_t>(i), pending.end()}, root, false);
            return -1;
        }
        if (log != nullptr) std::fprintf(log, "Wrote %s\n", pending[i].final.string().c_str());
    }
    return 0;
}
