// PortAudio started and stopped quietly, with deadlines (see capture_portaudio_library.h).
#include "meter/capture_portaudio_library.h"

#include <dlfcn.h>
#include <portaudio.h>
#include <unistd.h>
#ifdef __linux__
#include <alsa/asoundlib.h>
#include <pa_linux_alsa.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace wobblemeter::portaudio {

thread_local bool quietThread = false;

namespace {

// How long a busy ALSA device is retried before giving up, in tries of 10 ms.
constexpr int kBusyRetries = 25;

std::atomic<bool> abandoned{false};

bool AudioDebug() {
    const char* value = std::getenv("WOBBLEMETER_AUDIO_DEBUG");
    return value != nullptr && *value != '\0' && *value != '0';
}

#ifdef __linux__
extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif
extern "C" void SilentJackMessage(const char*) {}

#ifdef __GLIBC__
ssize_t WriteUnlessQuiet(void*, const char* data, size_t size) {
    if (quietThread) return static_cast<ssize_t>(size);
    size_t done = 0;
    while (done < size) {
        const ssize_t written = write(STDERR_FILENO, data + done, size - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return done > 0 ? static_cast<ssize_t>(done) : -1;
        done += static_cast<size_t>(written);
    }
    return static_cast<ssize_t>(size);
}
#endif

// Standard error, the stdio stream that every library prints through, replaced by one that
// passes what other threads write unchanged and unbuffered. Installed once, for the process.
void FilterStandardError() {
#ifdef __GLIBC__
    static bool installed = false;
    if (installed) return;
    installed = true;
    const cookie_io_functions_t io{nullptr, WriteUnlessQuiet, nullptr, nullptr};
    FILE* filtered = fopencookie(nullptr, "w", io);
    if (filtered == nullptr) return;
    std::setvbuf(filtered, nullptr, _IONBF, 0);
    std::fflush(stderr);
    stderr = filtered;
#endif
}

}  // namespace

void SilenceAudioLibraries() {
    if (AudioDebug()) return;
    FilterStandardError();
#ifdef __linux__
    snd_lib_error_set_handler(SilentAlsaError);
#endif
    // JACK comes with PortAudio; its handlers are found at run time, so that building needs no
    // JACK.
    using SetHandler = void (*)(void (*)(const char*));
    for (const char* setter : {"jack_set_error_function", "jack_set_info_function"}) {
        if (void* symbol = dlsym(RTLD_DEFAULT, setter))
            reinterpret_cast<SetHandler>(symbol)(SilentJackMessage);
    }
}

bool LibraryAbandoned() {
    return abandoned.load();
}
void AbandonLibrary() {
    abandoned.store(true);
}

Library::Library() {
    SilenceAudioLibraries();
#ifdef __linux__
    PaAlsa_SetRetriesBusy(kBusyRetries);
#endif
    const PaError error =
        CallLibrary("while listing the devices", kStartSeconds, [] { return Pa_Initialize(); });
    if (error != paNoError)
        throw CaptureError(std::string("cannot start the audio library: ") +
                           Pa_GetErrorText(error));
}

Library::~Library() {
    if (LibraryAbandoned()) return;
    try {
        CallLibrary("while closing", kStopSeconds, [] { return Pa_Terminate(); });
    } catch (const CaptureError&) {
        // Left to the end of the process.
    }
}

}  // namespace wobblemeter::portaudio
