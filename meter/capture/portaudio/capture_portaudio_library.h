// PortAudio and the libraries under it as the capture source uses them: loaded when a live
// command first needs them (so that measuring a file never loads them), started and stopped
// quietly, and every call that may wait on a sound server given a deadline. Included only by
// capture_portaudio.cpp.
#pragma once

#include <portaudio.h>
#ifdef __linux__
#include <alsa/asoundlib.h>
#include <pa_linux_alsa.h>
#endif

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <utility>

#include "meter/capture/capture.h"

namespace wobblemeter::portaudio {

// The library's file, loaded at run time; WOBBLEMETER_PORTAUDIO names another.
constexpr const char* kLibraryFile = "libportaudio.so.2";

// The entry points the capture source calls, found in the loaded PortAudio (and, on Linux, in
// the ALSA library it stands on), named as the functions are.
struct Api {
    decltype(&::Pa_Initialize) Pa_Initialize;
    decltype(&::Pa_Terminate) Pa_Terminate;
    decltype(&::Pa_GetErrorText) Pa_GetErrorText;
    decltype(&::Pa_GetDeviceCount) Pa_GetDeviceCount;
    decltype(&::Pa_GetDefaultInputDevice) Pa_GetDefaultInputDevice;
    decltype(&::Pa_GetDeviceInfo) Pa_GetDeviceInfo;
    decltype(&::Pa_GetHostApiInfo) Pa_GetHostApiInfo;
    decltype(&::Pa_HostApiTypeIdToHostApiIndex) Pa_HostApiTypeIdToHostApiIndex;
    decltype(&::Pa_IsFormatSupported) Pa_IsFormatSupported;
    decltype(&::Pa_OpenStream) Pa_OpenStream;
    decltype(&::Pa_CloseStream) Pa_CloseStream;
    decltype(&::Pa_StartStream) Pa_StartStream;
    decltype(&::Pa_AbortStream) Pa_AbortStream;
    decltype(&::Pa_GetStreamInfo) Pa_GetStreamInfo;
    decltype(&::Pa_SetStreamFinishedCallback) Pa_SetStreamFinishedCallback;
#ifdef __linux__
    decltype(&::PaAlsa_SetRetriesBusy) PaAlsa_SetRetriesBusy;
    decltype(&::PaAlsa_InitializeStreamInfo) PaAlsa_InitializeStreamInfo;
    decltype(&::snd_pcm_open) snd_pcm_open;
    decltype(&::snd_pcm_close) snd_pcm_close;
    decltype(&::snd_strerror) snd_strerror;
    decltype(&::snd_lib_error_set_handler) snd_lib_error_set_handler;
#endif
    // JACK's message handlers, where PortAudio brings JACK (null otherwise).
    void (*jack_set_error_function)(void (*)(const char*));
    void (*jack_set_info_function)(void (*)(const char*));
};

// The entry points, the library loaded on first use (and kept for the process). Throws
// CaptureError, one line, when it cannot be loaded.
const Api& Calls();

// Deadlines of library calls, s: starting the library (it opens every device to list it),
// opening and starting a stream, and stopping one.
constexpr double kStartSeconds = 10.0;
constexpr double kOpenSeconds = 5.0;
constexpr double kStopSeconds = 2.0;

// What a thread that calls the audio libraries prints through standard error is dropped while
// this is set: the libraries print their own view of every device they try, and PortAudio
// prints from its audio thread when a device fails. Their failures reach us as return values
// and stream states instead. Set for good on the audio thread and on helper threads.
extern thread_local bool quietThread;

// Drops the libraries' messages from here on: ALSA's and JACK's through their handlers, the rest
// through a standard error that passes only what quiet threads do not write.
// WOBBLEMETER_AUDIO_DEBUG=1 leaves everything through.
void SilenceAudioLibraries();

// Sets quietThread while it lives (on the reader's thread, around a library call).
class QuietCalls {
public:
    QuietCalls() : was_(quietThread) { quietThread = true; }
    ~QuietCalls() { quietThread = was_; }
    QuietCalls(const QuietCalls&) = delete;
    QuietCalls& operator=(const QuietCalls&) = delete;

private:
    bool was_;
};

// Whether a call was given up: the library may be stuck in it for good and is not called again.
bool LibraryAbandoned();
void AbandonLibrary();

// Runs call() on a thread of its own and returns its result, or throws CaptureError naming
// `doing` when it does not return within `seconds` (a sound server that hangs: PulseAudio
// stopped, say, makes ALSA's pulse device wait for minutes). The call is then left running and
// the library abandoned; what the call uses must be owned by the call (captured by value).
template <typename Call>
auto CallLibrary(const std::string& doing, double seconds, Call call) -> decltype(call()) {
    using Result = decltype(call());
    if (LibraryAbandoned())
        throw CaptureError("the audio system stopped answering earlier; not " + doing);
    struct Rendezvous {
        std::mutex mutex;
        std::condition_variable returned;
        std::optional<Result> result;
    };
    auto rendezvous = std::make_shared<Rendezvous>();
    std::thread([rendezvous, call = std::move(call)]() mutable {
        quietThread = true;
        Result result = call();
        const std::lock_guard lock(rendezvous->mutex);
        rendezvous->result.emplace(std::move(result));
        rendezvous->returned.notify_all();
    }).detach();
    std::unique_lock lock(rendezvous->mutex);
    const auto limit = std::chrono::duration<double>(seconds);
    if (!rendezvous->returned.wait_for(lock, limit,
                                       [&] { return rendezvous->result.has_value(); })) {
        AbandonLibrary();
        char limitText[32];
        std::snprintf(limitText, sizeof limitText, "%.0f", seconds);
        throw CaptureError("the audio system did not answer within " + std::string(limitText) +
                           " s " + doing + " (is a sound server hanging?)");
    }
    return std::move(*rendezvous->result);
}

// PortAudio started for as long as it lives (PortAudio counts nested starts). Throws
// CaptureError.
class Library {
public:
    Library();
    ~Library();
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

}  // namespace wobblemeter::portaudio
