// PortAudio started and stopped quietly, with deadlines (see capture_portaudio_library.h).
#include "meter/capture/portaudio/capture_portaudio_library.h"

#include <cstdlib>
#include <mutex>

#include "sys/library.h"

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
    entry = reinterpret_cast<Pointer>(FindLibrarySymbol(library, name));
    if (entry == nullptr && missing.empty()) missing = name;
}

#ifdef _WIN32
// On Windows PortAudio is linked in (with WASAPI and MME, which are Windows' own).
Api Load() {
    Api api{};
    api.Pa_Initialize = &::Pa_Initialize;
    api.Pa_Terminate = &::Pa_Terminate;
    api.Pa_GetErrorText = &::Pa_GetErrorText;
    api.Pa_GetDeviceCount = &::Pa_GetDeviceCount;
    api.Pa_GetDefaultInputDevice = &::Pa_GetDefaultInputDevice;
    api.Pa_GetDeviceInfo = &::Pa_GetDeviceInfo;
    api.Pa_GetHostApiInfo = &::Pa_GetHostApiInfo;
    api.Pa_HostApiTypeIdToHostApiIndex = &::Pa_HostApiTypeIdToHostApiIndex;
    api.Pa_IsFormatSupported = &::Pa_IsFormatSupported;
    api.Pa_OpenStream = &::Pa_OpenStream;
    api.Pa_CloseStream = &::Pa_CloseStream;
    api.Pa_StartStream = &::Pa_StartStream;
    api.Pa_AbortStream = &::Pa_AbortStream;
    api.Pa_GetStreamInfo = &::Pa_GetStreamInfo;
    api.Pa_SetStreamFinishedCallback = &::Pa_SetStreamFinishedCallback;
    return api;
}
#else
Api Load() {
    const char* given = std::getenv("WOBBLEMETER_PORTAUDIO");
    const std::string file = given != nullptr && *given != '\0' ? given : kLibraryFile;
    // Kept for the process: the audio thread and abandoned calls may run until it ends.
    std::string why;
    void* library = LoadSharedLibrary(file, why);
    if (library == nullptr) {
        throw CaptureError(Msg::kCannotLoadAudioLibrary, file.c_str(),
                           why.empty() ? "not found" : why.c_str());
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
        throw CaptureError(Msg::kAudioLibraryLacks, file.c_str(), missing.c_str());
    // JACK, where PortAudio brings it; building needs no JACK.
    std::string optional;
    Find(library, "jack_set_error_function", api.jack_set_error_function, optional);
    Find(library, "jack_set_info_function", api.jack_set_info_function, optional);
    return api;
}
#endif

bool AudioDebug() {
    const char* value = std::getenv("WOBBLEMETER_AUDIO_DEBUG");
    return value != nullptr && *value != '\0' && *value != '0';
}

#ifdef __linux__
extern "C" void SilentAlsaError(const char*, int, const char*, int, const char*, ...) {}
#endif
extern "C" void SilentJackMessage(const char*) {}

bool OnQuietThread() {
    return quietThread;
}

}  // namespace

const Api& Calls() {
    // Loaded once; a failure to load is kept and reported again at each use.
    static std::once_flag once;
    static Api api{};
    static std::string failure;
    static Msg failureId = Msg::kCount;
    std::call_once(once, [] {
        try {
            api = Load();
        } catch (const CaptureError& e) {
            failure = e.what();
            failureId = e.id();
        }
    });
    if (!failure.empty()) throw CaptureError(failure, failureId);
    return api;
}

void SilenceAudioLibraries() {
    if (AudioDebug()) return;
    const Api& api = Calls();
    // Standard error, the stdio stream that every library prints through, silent on the
    // threads that call the library quietly (where the C library can filter it).
    FilterStandardError(OnQuietThread);
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
        throw CaptureError(Msg::kCannotStartAudioLibrary, api.Pa_GetErrorText(error));
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
