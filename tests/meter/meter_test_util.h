// Helpers of the meter tests: a scratch directory and test tones from our own generator,
// re-encoded with libsndfile where a test needs another sample format.
#pragma once

#include <string>
#include <vector>

// libsndfile's description of a file: the tests that read one include the library's header
// themselves, as no header of ours does.
struct SF_INFO;

namespace wobblemeter_test {

// A fresh directory under the system's temporary one, removed with its contents at the end.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string Path(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// Writes the generator's 16-bit WAV test tone to path.
void WriteTone(const std::string& path, int rate, double carrierHz, double levelPercent,
               double modHz, double seconds);

// A tone written sample by sample, not by our generator (which always starts at phase 0):
// 0.5 * sin(phase), the frequency carrierHz * (1 + deviationPercent / 100 * sin(2 pi modHz t +
// modPhase)), the carrier starting at startPhase (radians). Drop-outs: stretches of silence (the
// swing runs on through them), after each of which the carrier's phase jumps by dropoutJump
// (radians: a tone whose phase restarts after the gap).
struct Dropout {
    double startSeconds, seconds;
};
struct SwingTone {
    int rate = 48000;
    double carrierHz = 3150.0;
    double startPhase = 0.0;
    double deviationPercent = 0.0;
    double modHz = 4.0;
    double modPhase = 0.0;
    double seconds = 30.0;
    std::vector<Dropout> dropouts;
    double dropoutJump = 0.0;
};
std::vector<double> SwingSamples(const SwingTone& tone);

// Rewrites a file with libsndfile in another major/minor format (e.g. SF_FORMAT_WAV |
// SF_FORMAT_FLOAT), keeping its samples.
void Reencode(const std::string& from, const std::string& to, int format);

// Writes samples (interleaved when channels > 1) with libsndfile.
void WriteSamples(const std::string& path, int rate, int channels, int format,
                  const std::vector<double>& samples);

// Reads every sample of a file as doubles, interleaved.
std::vector<double> ReadSamples(const std::string& path, SF_INFO& info);

}  // namespace wobblemeter_test
