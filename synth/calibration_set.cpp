// The verification set: eight signals at 3150 Hz / 44.1 kHz and 3000 Hz / 48 kHz, 30 s each, and
// expected.csv. Two-sigma of a sinusoidal deviation is 0.997 of its peak; the weighted figures
// are the weighting curve's gain at 0.8, 20 and 0.2 Hz.
#include "synth/calibration_set.h"

#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "synth/test_tone.h"
#include "sys/output_file.h"

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

// The file path finally names, as OpenOutputFile writes it: symbolic links followed (a relative
// one from its own directory), at most 40 of them. The link itself is the user's: a failed set
// removes what the call wrote behind it, never the link.
std::filesystem::path FinalTarget(std::filesystem::path path) {
    std::error_code error;
    for (int links = 0; links < 40 && std::filesystem::is_symlink(path, error); ++links) {
        const std::filesystem::path link = std::filesystem::read_symlink(path, error);
        if (error) break;
        path = link.is_absolute() ? link : path.parent_path() / link;
    }
    return path;
}

// The set being written: what this call created, to be removed again if it fails.
class SetInProgress {
public:
    SetInProgress(std::filesystem::path dir, bool createdDir)
        : dir_(std::move(dir)), createdDir_(createdDir) {}

    // Writes one file with write(FILE*) -> bool. On failure fills message and returns false.
    template <typename Writer>
    bool Write(const std::string& name, Writer write, FILE* log, char* message, size_t size) {
        const std::filesystem::path path = dir_ / name;
        std::error_code ignored;
        const std::filesystem::path target = FinalTarget(path);
        const bool existed =
            std::filesystem::exists(std::filesystem::symlink_status(target, ignored));
        FILE* file = OpenOutputFile(path.string().c_str());
        if (file == nullptr) {
            std::snprintf(message, size, "Cannot open %s", path.string().c_str());
            return false;
        }
        if (!write(file)) {
            DiscardOutputFile(file);
            std::snprintf(message, size, "Cannot write %s", path.string().c_str());
            return false;
        }
        if (!CommitOutputFile(file)) {
            std::snprintf(message, size, "Cannot write %s", path.string().c_str());
            return false;
        }
        if (!existed) created_.push_back(target);
        if (log != nullptr) std::fprintf(log, "Wrote %s\n", path.string().c_str());
        return true;
    }

    // Removes the files this call created (behind a link: the file, not the link), and the
    // directory when it created that.
    void Undo() const {
        std::error_code ignored;
        for (const std::filesystem::path& path : created_) std::filesystem::remove(path, ignored);
        if (createdDir_) std::filesystem::remove(dir_, ignored);  // only when empty
    }

private:
    std::filesystem::path dir_;
    bool createdDir_;
    std::vector<std::filesystem::path> created_;
};

}  // namespace

int WriteCalibrationSet(const char* dir, FILE* log, char* message, size_t messageSize) {
    const std::filesystem::path root(dir);
    std::error_code error;
    bool created = false;
    if (std::filesystem::exists(root, error)) {
        if (!std::filesystem::is_directory(root, error)) {
            std::snprintf(message, messageSize, "Not a directory: %s", root.string().c_str());
            return -1;
        }
    } else {
        created = std::filesystem::create_directory(root, error);
        if (!created) {
            std::snprintf(message, messageSize, "Cannot create directory %s",
                          root.string().c_str());
            return -1;
        }
    }

    SetInProgress set(root, created);
    for (const CalibrationCarrier& carrier : kCalibrationCarriers) {
        for (const CalibrationSignal& signal : kCalibrationSignals) {
            char name[64];
            CalibrationFileName(name, sizeof name, carrier, signal.number);
            const auto tone = [&](FILE* file) {
                return WriteTestToneQuietly(file, carrier.sampleRate, carrier.carrierHz,
                                            signal.deviationPercent, signal.modulationHz,
                                            kCalibrationSeconds) == 0;
            };
            if (!set.Write(name, tone, log, message, messageSize)) {
                set.Undo();
                return -1;
            }
        }
    }
    // The table last: a set that has it is complete.
    if (!set.Write(kCalibrationTableName, WriteTable, log, message, messageSize)) {
        set.Undo();
        return -1;
    }
    return 0;
}
