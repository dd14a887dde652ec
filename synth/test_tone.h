// The wow-and-flutter test tone: a sine carrier whose instantaneous frequency swings
// sinusoidally, written as a 16-bit mono PCM WAV file.
#pragma once

#include <cstddef>
#include <cstdio>

// Largest frame count whose 16-bit mono data still leaves the RIFF chunk size within a signed
// 32-bit field: 36 + 2 * 1073741805 = 2147483646.
constexpr long kMaxTestToneFrames = 1073741805;

// Samples per block: each block leaves in one write call.
constexpr int kSampleBlockSize = 8192;

// GenerateTestTone's result when it rejects its arguments before touching the file.
constexpr int kTestToneRejected = -1;
// GenerateTestTone's result when the file is complete but something meant for standard output
// or standard error was lost (closed at start, full, a pipe without reader).
constexpr int kTestToneOutputLost = 1;

// The argument that CheckTestToneArguments found at fault.
enum class ToneArgument { kNone, kSampleRate, kCenterFrequency, kLevel, kModFrequency, kDuration };

// Checks the arguments GenerateTestTone would be given. On a bad one, writes one line (without
// line end) naming the value and the allowed range into message and returns that argument;
// kNone when all are good. A frame count out of range is blamed on the duration.
ToneArgument CheckTestToneArguments(int sampleRate, double centerFrequency, double levelPercent,
                                    double modFrequency, double duration, char* message,
                                    size_t messageSize);

// Frames for sampleRate * duration seconds, rounded half up. Arguments must have passed
// CheckTestToneArguments.
int TestToneFrames(int sampleRate, double duration);

// Fills WaveHeader, prints its summary to standard output and writes the header and every
// sample to file. Returns 0, or -1 as soon as a write fails. Arguments must have passed
// CheckTestToneArguments.
int WriteTestTone(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
                  double modFrequency, double duration);

// The same file without the summary on standard output, for callers that write many.
int WriteTestToneQuietly(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
                         double modFrequency, double duration);

// The same file, computed by the straightforward loop: per sample two floors and two sines
// from the C library, one after the other. Kept as the measure for WriteTestTone's speed and
// samples.
int WriteTestToneReference(FILE* file, int sampleRate, double centerFrequency, double levelPercent,
                           double modFrequency, double duration);

// Implementations of WriteTestTone's sample loop. kPortable uses the C library's sine and writes
// exactly WriteTestToneReference's samples; the others use SLEEF's vectorised sines (error at
// most 1 ulp), which may move a sample by one step where it lands within rounding distance of
// a half.
enum class ToneKernel { kPortable, kSse4, kAvx2, kAvx512 };

// "portable", "sse4", "avx2" or "avx512".
const char* ToneKernelName(ToneKernel kernel);

// Built into this program and supported by this processor.
bool ToneKernelAvailable(ToneKernel kernel);

// The kernel WriteTestTone uses. Chosen on first use: the one named by the environment
// variable WOBBLEGEN_TONE_KERNEL when that one is available, otherwise the fastest available.
ToneKernel ActiveToneKernel();

// Makes WriteTestTone use kernel from now on. False, and no change, when it is not available.
bool SetToneKernel(ToneKernel kernel);

// Writes the test-tone WAV file at path and returns 0.
// Bad arguments: prints one line to standard output and returns kTestToneRejected without
// opening the file. The file is written under a temporary name beside it and put in place when
// complete (see OpenOutputFile); a device or a pipe is written in place. The file cannot be
// opened, or a write, the close or the renaming fails: prints "Cannot open <path>" or "Cannot
// write <path>" to standard output (and to standard error when standard output is lost),
// leaves no partial file at path, and ends the process with exit status 1. The file is
// complete but standard output or error lost something: says so on standard error (where it
// can) and returns kTestToneOutputLost.
int GenerateTestTone(int sampleRate, const char* path, double centerFrequency, double levelPercent,
                     double modFrequency, double duration);
