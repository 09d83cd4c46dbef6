// Wave output on ALSA. libasound is loaded with the first tone, not with
// every program that links the platform, so a machine without it still runs
// everything else; without it, or without a sound device, nothing plays and
// standard error says so once.
#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/Sound.h"

namespace {

#define ORVADE_ALSA_FUNCTIONS(X)                                                                             \
    X(snd_pcm_open) X(snd_pcm_set_params) X(snd_pcm_writei) X(snd_pcm_recover) X(snd_pcm_drain) X(snd_pcm_drop) \
    X(snd_pcm_close) X(snd_pcm_state) X(snd_pcm_wait) X(snd_lib_error_set_handler) X(snd_strerror)

struct AlsaApi {
#define ORVADE_ALSA_POINTER(name) decltype(&::name) name = nullptr;
    ORVADE_ALSA_FUNCTIONS(ORVADE_ALSA_POINTER)
#undef ORVADE_ALSA_POINTER
};

// The library's own messages would go to standard error on every failed open.
void Quiet(const char*, int, const char*, int, const char*, ...) {}

const AlsaApi* LoadAlsa() {
    static const AlsaApi* api = []() -> const AlsaApi* {
        void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
        if (!library) return nullptr;
        static AlsaApi loaded;
        bool complete = true;
#define ORVADE_ALSA_RESOLVE(name) \
    complete = complete && (loaded.name = reinterpret_cast<decltype(loaded.name)>(dlsym(library, #name)));
        ORVADE_ALSA_FUNCTIONS(ORVADE_ALSA_RESOLVE)
#undef ORVADE_ALSA_RESOLVE
        if (!complete) return nullptr;
        loaded.snd_lib_error_set_handler(&Quiet);
        return &loaded;
    }();
    return api;
}

// Each reason nothing plays is told once a process.
void TellOnce(std::once_flag& flag, const char* text, const char* detail = "") {
    std::call_once(flag, [&] { std::fprintf(stderr, "sound: %s%s\n", text, detail); });
}
std::once_flag g_noLibrary, g_noDevice;

UINT PlayOnAlsa(const int16_t* samples, size_t count, DWORD rate) {
    const AlsaApi* alsa = LoadAlsa();
    if (!alsa) {
        TellOnce(g_noLibrary, "libasound.so.2 cannot be loaded; tones are not played");
        return MMSYSERR_NODRIVER;
    }
    snd_pcm_t* pcm = nullptr;
    int error = alsa->snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) {
        TellOnce(g_noDevice, "no sound device; tones are not played: ", alsa->snd_strerror(error));
        return MMSYSERR_BADDEVICEID;
    }
    std::unique_ptr<snd_pcm_t, int (*)(snd_pcm_t*)> closer(pcm, alsa->snd_pcm_close);
    if (alsa->snd_pcm_set_params(pcm, SND_PCM_FORMAT_S16, SND_PCM_ACCESS_RW_INTERLEAVED, 1, rate, 1, 100000) < 0)
        return MMSYSERR_BADDEVICEID;
    // A device that stalls is stopped once the sound's time and 200 ms more are over.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(count * 1000 / rate + 200);
    size_t done = 0;
    while (done < count) {
        if (Clock::now() > deadline) {
            alsa->snd_pcm_drop(pcm);
            return MMSYSERR_NOERROR;
        }
        snd_pcm_sframes_t n = alsa->snd_pcm_writei(pcm, samples + done, count - done);
        if (n == -EAGAIN) {
            alsa->snd_pcm_wait(pcm, 50);
            continue;
        }
        if (n < 0) n = alsa->snd_pcm_recover(pcm, static_cast<int>(n), 1);
        if (n < 0) return MMSYSERR_ERROR;
        done += static_cast<size_t>(n);
    }
    alsa->snd_pcm_drain(pcm);  // non-blocking: it goes on while the state says so
    while (alsa->snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    alsa->snd_pcm_drop(pcm);
    return MMSYSERR_NOERROR;
}

std::mutex g_lock;
std::shared_ptr<const plat::sound::PcmSink> g_sink;  // null: the sound device

}  // namespace

namespace plat::sound {

UINT PlayPcm(const int16_t* samples, size_t count, DWORD rate) {
    if (!samples || count == 0 || rate == 0) return MMSYSERR_ERROR;
    std::shared_ptr<const PcmSink> sink;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        sink = g_sink;
    }
    if (!sink) return PlayOnAlsa(samples, count, rate);
    try {
        return (*sink)(samples, count, rate);
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

void SetPcmSink(PcmSink sink) {
    auto next = sink ? std::make_shared<const PcmSink>(std::move(sink)) : nullptr;
    std::lock_guard<std::mutex> lock(g_lock);
    g_sink = std::move(next);
}

}  // namespace plat::sound
