// PortAudio started and stopped quietly, with deadlines (see capture_portaudio_library.h).
#include "meter/capture/portaudio/capture_portaudio_library.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <mutex>

namespace wobblemeter::portaudio {

thread_local bool quietThread = false;

namespace {

// How long a busy ALSA device is retried before giving up, in tries of 10 ms.
constexpr int kBusyRetries = 25;

std::atomic<bool> abandoned{false};

// Finds name in the loaded library (and the libraries it loaded) into entry; the name of the
// first one missing is kept in missing.
template <typename Pointer>
void Find(void* library, const char* name, Pointer& entry, std::string& missing) {
    entry = reinterpret_cast<Pointer>(dlsym(library, name));
    if (entry == nullptr && missing.empty()) missing = name;
}

Api Load() {
    const char* given = std::getenv("WOBBLEMETER_PORTAUDIO");
    const std::string file = given != nullptr && *given != '\0' ? given : kLibraryFile;
    // Kept for the process: the audio thread and abandoned calls may run until it ends.
    void* library = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* why = dlerror();
        throw CaptureError("cannot load the audio library " + file +
                           " (the package libportaudio2): " + (why != nullptr ? why : "not found"));
    }
    Api api{};
    std::string missing;
    Find(library, "Pa_Initialize", api.Pa_Initialize, missing);
    Find(library, "Pa_Terminate", api.Pa_Terminate, missing);
    Find(library, "Pa_GetErrorText", api.Pa_GetErrorText, missing);
    Find(library, "Pa_GetDeviceCount", api.Pa_GetDeviceCount, missing);
    Find(library, "Pa_GetDefaultInputDevice", api.Pa_GetDefaultInputDevice, missing);
    Find(library, "Pa_GetDeviceInfo", api.Pa_GetDeviceInfo, missing);
    Find(library, "Pa_GetHostApiInfo", api.Pa_GetHostApiInfo, missing);
    Find(library, "Pa_HostApiTypeIdToHostApiIndex", api.Pa_HostApiTypeIdToHostApiIndex, missing);
    Find(library, "Pa_IsFormatSupported", api.Pa_IsFormatSupported, missing);
    Find(library, "Pa_OpenStream", api.Pa_OpenStream, missing);
    Find(library, "Pa_CloseStream", api.Pa_CloseStream, missing);
    Find(library, "Pa_StartStream", api.Pa_StartStream, missing);
    Find(library, "Pa_AbortStream", api.Pa_AbortStream, missing);
    Find(library, "Pa_GetStreamInfo", api.Pa_GetStreamInfo, missing);
    Find(library, "Pa_SetStreamFinishedCallback", api.Pa_SetStreamFinishedCallback, missing);
#ifdef __linux__
    Find(library, "PaAlsa_SetRetriesBusy", api.PaAlsa_SetRetriesBusy, missing);
    Find(library, "PaAlsa_InitializeStreamInfo", api.PaAlsa_InitializeStreamInfo, missing);
    // ALSA comes with PortAudio: looked for among the libraries it loaded.
    Find(library, "snd_pcm_open", api.snd_pcm_open, missing);
    Find(library, "snd_pcm_close", api.snd_pcm_close, missing);
    Find(library, "snd_strerror", api.snd_strerror, missing);
    Find(library, "snd_lib_error_set_handler", api.snd_lib_error_set_handler, missing);
#endif
    if (!missing.empty())
        throw CaptureError("the audio library " + file + " lacks " + missing +
                           " (not PortAudio 19 with ALSA?)");
    // JACK, where PortAudio brings it; building needs no JACK.
    std::string optional;
    Find(library, "jack_set_error_function", api.jack_set_error_function, optional);
    Find(library, "jack_set_info_function", api.jack_set_info_function, optional);
    return api;
}

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

const Api& Calls() {
    // Loaded once; a failure to load is kept and reported again at each use.
    static std::once_flag once;
    static Api api{};
    static std::string failure;
    std::call_once(once, [] {
        try {
            api = Load();
        } catch (const CaptureError& e) {
            failure = e.what();
        }
    });
    if (!failure.empty()) throw CaptureError(failure);
    return api;
}

void SilenceAudioLibraries() {
    if (AudioDebug()) return;
    const Api& api = Calls();
    FilterStandardError();
#ifdef __linux__
    api.snd_lib_error_set_handler(SilentAlsaError);
#endif
    if (api.jack_set_error_function != nullptr) api.jack_set_error_function(SilentJackMessage);
    if (api.jack_set_info_function != nullptr) api.jack_set_info_function(SilentJackMessage);
}

bool LibraryAbandoned() {
    return abandoned.load();
}
void AbandonLibrary() {
    abandoned.store(true);
}

Library::Library() {
    const Api& api = Calls();
    SilenceAudioLibraries();
#ifdef __linux__
    api.PaAlsa_SetRetriesBusy(kBusyRetries);
#endif
    const PaError error = CallLibrary("while listing the devices", kStartSeconds,
                                      [&api] { return api.Pa_Initialize(); });
    if (error != paNoError)
        throw CaptureError(std::string("cannot start the audio library: ") +
                           api.Pa_GetErrorText(error));
}

Library::~Library() {
    if (LibraryAbandoned()) return;
    try {
        CallLibrary("while closing", kStopSeconds, [] { return Calls().Pa_Terminate(); });
    } catch (const CaptureError&) {
        // Left to the end of the process.
    }
}

}  // namespace wobblemeter::portaudio
