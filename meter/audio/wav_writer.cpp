// Captured audio written into a WAV file as it arrives (see wav_writer.h).
#include "meter/audio/wav_writer.h"

#include <sndfile.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "meter/meter.h"

namespace wobblemeter {

namespace {

// Silence is written in blocks of this many frames.
constexpr size_t kSilenceBlock = 4096;

}  // namespace

// libsndfile's handle; null once closed.
struct WavWriter::File {
    SNDFILE* sndfile = nullptr;
};

WavWriter::WavWriter(const std::string& path, int rate)
    : path_(path), file_(std::make_unique<File>()), headerEvery_(rate), nextHeader_(rate) {
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    errno = 0;
    file_->sndfile = sf_open(path.c_str(), SFM_WRITE, &info);
    if (file_->sndfile == nullptr) {
        // The system's reason where the file could not be opened, as for the log; libsndfile's
        // own ("System error") says less.
        const int error = errno;
        throw MeterError(Msg::kCannotCreateRecording, path.c_str(),
                         error != 0 ? std::strerror(error) : sf_strerror(nullptr));
    }
}

WavWriter::~WavWriter() {
    if (file_->sndfile != nullptr) sf_close(file_->sndfile);
}

template <typename T>
size_t WavWriter::WriteAs(const T* samples, size_t count) {
    count = static_cast<size_t>(std::min(static_cast<long long>(count), Room()));
    if (count == 0) return 0;
    sf_count_t written = 0;
    if constexpr (sizeof(T) == sizeof(float))
        written = sf_write_float(file_->sndfile, samples, static_cast<sf_count_t>(count));
    else
        written = sf_write_double(file_->sndfile, samples, static_cast<sf_count_t>(count));
    if (written != static_cast<sf_count_t>(count))
        throw MeterError(Msg::kCannotWriteRecording, path_.c_str(), sf_strerror(file_->sndfile));
    Wrote(count);
    return count;
}

size_t WavWriter::Write(const double* samples, size_t count) {
    return WriteAs(samples, count);
}

size_t WavWriter::Write(const float* samples, size_t count) {
    return WriteAs(samples, count);
}

long long WavWriter::WriteSilence(long long frames) {
    static const std::vector<float> silence(kSilenceBlock, 0.0f);
    long long done = 0;
    while (done < frames) {
        const auto n =
            static_cast<size_t>(std::min(frames - done, static_cast<long long>(kSilenceBlock)));
        const size_t wrote = Write(silence.data(), n);
        done += static_cast<long long>(wrote);
        if (wrote < n) break;
    }
    return done;
}

void WavWriter::Wrote(size_t count) {
    frames_ += static_cast<long long>(count);
    if (frames_ >= nextHeader_) {
        sf_command(file_->sndfile, SFC_UPDATE_HEADER_NOW, nullptr, 0);
        nextHeader_ = frames_ + headerEvery_;
    }
}

void WavWriter::Close() {
    if (file_->sndfile == nullptr) return;
    const int error = sf_close(file_->sndfile);
    file_->sndfile = nullptr;
    if (error != 0)
        throw MeterError(Msg::kCannotWriteRecording, path_.c_str(), sf_error_number(error));
}

}  // namespace wobblemeter
