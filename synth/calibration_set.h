// The standard set of eight verification signals for wow-and-flutter meters, at both standard
// carriers, written into a directory with a table of the readings a meter must give.
#pragma once

#include <cstddef>
#include <cstdio>

// One signal of the set: a carrier swung sinusoidally (as the test tone) and the two-sigma
// readings it must give, unweighted and weighted, in % of the carrier. Signal 1 is the pure
// carrier (modulation and deviation 0).
struct CalibrationSignal {
    int number;
    double modulationHz;
    double deviationPercent;  // peak
    double unweightedPercent;
    double weightedPercent;
};

constexpr int kCalibrationSignalCount = 8;
extern const CalibrationSignal kCalibrationSignals[kCalibrationSignalCount];

// Each signal is written at both carriers, each at its own sample rate.
struct CalibrationCarrier {
    double carrierHz;
    int sampleRate;
};
constexpr int kCalibrationCarrierCount = 2;
extern const CalibrationCarrier kCalibrationCarriers[kCalibrationCarrierCount];

constexpr double kCalibrationSeconds = 30.0;
// The table of expected readings in the set's directory.
constexpr const char* kCalibrationTableName = "expected.csv";

// File name of a signal at a carrier, e.g. "3150Hz-1.wav".
void CalibrationFileName(char* name, size_t size, const CalibrationCarrier& carrier, int number);

// Writes the 16 signals (16-bit mono WAV files, as the test tone) and expected.csv into dir,
// creating dir when it does not exist (its parent must); files of the same names are replaced.
// Each file is written as the test tone's output file is (OpenOutputFile): under a temporary
// name, put in place when complete, removed when the process is interrupted, so no file of the
// set is ever half-written. expected.csv comes last: a set that has it is complete. When a file
// fails, the files this call created are removed again, and dir if this call created it; a file
// it replaced keeps the set's contents, which are the same on every call. A symbolic link in dir
// stays: the file behind it is written, and removed again if this call created it. log, unless
// null, gets "Wrote PATH" for each file. Returns 0, or -1 with one line (without line end) in
// message saying what failed: "Cannot open PATH", "Cannot write PATH", "Not a directory: DIR" or
// "Cannot create directory DIR".
int WriteCalibrationSet(const char* dir, FILE* log, char* message, size_t messageSize);
