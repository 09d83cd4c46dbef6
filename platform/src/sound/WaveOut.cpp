// Wave output on ALSA, and sound files played on it. libasound is loaded
// with the first sound, not with every program that links the platform, so
// a machine without it still runs everything else; without it, or without a
// sound device, nothing plays and standard error says so once.
#include <alsa/asoundlib.h>
#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/DeviceFs.h"
#include "platform/Sound.h"
#include "SoundFiles.h"

namespace {

using plat::sound::WaveFormat;

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

// Plays whole frames; stop (may be null) ends the sound early.
UINT PlayOnAlsa(const WaveFormat& format, const uint8_t* bytes, size_t size, const std::atomic<bool>* stop) {
    const AlsaApi* alsa = LoadAlsa();
    if (!alsa) {
        TellOnce(g_noLibrary, "libasound.so.2 cannot be loaded; sounds are not played");
        return MMSYSERR_NODRIVER;
    }
    snd_pcm_t* pcm = nullptr;
    const int error = alsa->snd_pcm_open(&pcm, "default", SND_PCM_STREAM_PLAYBACK, SND_PCM_NONBLOCK);
    if (error < 0) {
        TellOnce(g_noDevice, "no sound device; sounds are not played: ", alsa->snd_strerror(error));
        return MMSYSERR_BADDEVICEID;
    }
    std::unique_ptr<snd_pcm_t, int (*)(snd_pcm_t*)> closer(pcm, alsa->snd_pcm_close);
    const snd_pcm_format_t sampleFormat = format.bitsPerSample == 8 ? SND_PCM_FORMAT_U8 : SND_PCM_FORMAT_S16_LE;
    if (alsa->snd_pcm_set_params(pcm, sampleFormat, SND_PCM_ACCESS_RW_INTERLEAVED,
                                 static_cast<unsigned>(format.channels), format.rate, 1, 100000) < 0)
        return MMSYSERR_BADDEVICEID;
    const size_t frameBytes = format.FrameBytes();
    const size_t frames = size / frameBytes;
    auto stopped = [stop] { return stop && stop->load(); };
    // A device that stalls is stopped once the sound's time and 200 ms more are over.
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(frames * 1000 / format.rate + 200);
    size_t done = 0;
    while (done < frames) {
        if (Clock::now() > deadline || stopped()) {
            alsa->snd_pcm_drop(pcm);
            return MMSYSERR_NOERROR;
        }
        snd_pcm_sframes_t n = alsa->snd_pcm_writei(pcm, bytes + done * frameBytes, frames - done);
        if (n == -EAGAIN) {
            alsa->snd_pcm_wait(pcm, 50);
            continue;
        }
        if (n < 0) n = alsa->snd_pcm_recover(pcm, static_cast<int>(n), 1);
        if (n < 0) return MMSYSERR_ERROR;
        done += static_cast<size_t>(n);
    }
    alsa->snd_pcm_drain(pcm);  // non-blocking: it goes on while the state says so
    while (alsa->snd_pcm_state(pcm) == SND_PCM_STATE_DRAINING && Clock::now() < deadline && !stopped())
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    alsa->snd_pcm_drop(pcm);
    return MMSYSERR_NOERROR;
}

std::mutex g_lock;
std::shared_ptr<const plat::sound::PcmSink> g_sink;  // null: the sound device

// One sound at a time holds the output: a sound device without software
// mixing opens once, and a second sound would fail unheard. The sound that
// comes later waits here for the one that plays (after stopping it, when it
// is the kind that stops). Taken by no one who holds AsyncSound's lock.
std::mutex g_output;

UINT Output(const WaveFormat& format, const uint8_t* bytes, size_t size, const std::atomic<bool>* stop) {
    std::shared_ptr<const plat::sound::PcmSink> sink;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        sink = g_sink;
    }
    std::lock_guard<std::mutex> output(g_output);
    // Stopped while it waited for the output: it is not heard at all.
    if (stop && stop->load()) return MMSYSERR_NOERROR;
    if (!sink) return PlayOnAlsa(format, bytes, size, stop);
    try {
        return (*sink)(format, bytes, size);
    } catch (...) {
        return MMSYSERR_ERROR;
    }
}

// The sound that plays while its caller goes on: one at a time, on a thread
// of its own; starting another, or none, stops it first, and so does a
// sound played at once. A tone after a beep (a beep or the tone generator)
// waits for it to end instead, so tones in a row are each heard whole.
class AsyncSound {
public:
    enum class Kind { File, Beep, Tone };
    ~AsyncSound() { Stop(); }
    void Stop() {
        std::lock_guard<std::mutex> lock(m_lock);
        StopLocked();
    }
    // Makes way for a sound of the kind: the one playing ends, or is waited for.
    void MakeWay(Kind next) {
        std::lock_guard<std::mutex> lock(m_lock);
        MakeWayLocked(next);
    }
    void Start(Kind kind, const WaveFormat& format, std::vector<uint8_t> file, size_t offset, size_t size) {
        std::lock_guard<std::mutex> lock(m_lock);
        MakeWayLocked(kind);
        m_kind = kind;
        m_stop = std::make_shared<std::atomic<bool>>(false);
        m_thread = std::thread([format, file = std::move(file), offset, size, stop = m_stop] {
            Output(format, file.data() + offset, size, stop.get());
        });
    }

private:
    void MakeWayLocked(Kind next) {
        if (next != Kind::File && m_kind == Kind::Beep && m_thread.joinable()) m_thread.join();
        StopLocked();
    }
    // The playing thread never takes this lock, so waiting for it here is safe.
    void StopLocked() {
        if (m_stop) *m_stop = true;
        if (m_thread.joinable()) m_thread.join();
        m_stop.reset();
    }
    std::mutex m_lock;
    std::thread m_thread;
    std::shared_ptr<std::atomic<bool>> m_stop;
    Kind m_kind = Kind::File;
};

AsyncSound& Async() {
    static AsyncSound sound;
    return sound;
}

uint32_t Le32(const uint8_t* at) { return at[0] | at[1] << 8 | at[2] << 16 | static_cast<uint32_t>(at[3]) << 24; }
uint16_t Le16(const uint8_t* at) { return static_cast<uint16_t>(at[0] | at[1] << 8); }

constexpr size_t kMaxSoundFile = 16u << 20;

}  // namespace

namespace plat::sound {

bool ParseWave(const uint8_t* bytes, size_t size, WaveFormat* format, const uint8_t** data, size_t* dataSize) {
    if (!bytes || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0)
        return false;
    bool haveFormat = false;
    WaveFormat found;
    size_t at = 12;
    while (size - at >= 8) {
        const uint8_t* chunk = bytes + at;
        const size_t length = Le32(chunk + 4);
        const size_t body = at + 8;
        const size_t inFile = std::min(length, size - body);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (inFile < 16 || Le16(chunk + 8) != 1) return false;  // PCM only
            found.channels = Le16(chunk + 10);
            found.rate = Le32(chunk + 12);
            found.bitsPerSample = Le16(chunk + 22);
            if (found.channels < 1 || found.channels > 2 || (found.bitsPerSample != 8 && found.bitsPerSample != 16) ||
                found.rate < 8000 || found.rate > 192000 || Le16(chunk + 20) != found.FrameBytes())
                return false;
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) return false;
            // A data chunk cut short plays as far as it goes.
            *format = found;
            *data = bytes + body;
            *dataSize = inFile - inFile % found.FrameBytes();
            return *dataSize > 0;
        }
        if (length > size - body) return false;
        at = body + length + (length & 1);
        if (at > size) return false;
    }
    return false;
}

std::vector<int16_t> SquareWave(DWORD frequencyHz, DWORD durationMs, int volume) {
    if (frequencyHz == 0) return {};
    const size_t period = kToneRate / frequencyHz;
    const size_t count = static_cast<size_t>(uint64_t{kToneRate} * durationMs / 1000);
    const auto high = static_cast<int16_t>(std::clamp(volume, 0, 255) * 32767 / 255);
    const auto low = static_cast<int16_t>(-high);
    std::vector<int16_t> samples(count);
    for (size_t i = 0; i < count; ++i) samples[i] = period > 0 && 2 * (i % period) > period ? high : low;
    return samples;
}

BOOL StartBeep(DWORD frequencyHz, DWORD durationMs) {
    if (frequencyHz < 37 || frequencyHz > 32767 || durationMs == 0 || durationMs > 100000) return FALSE;
    const std::vector<int16_t> samples = SquareWave(frequencyHz, durationMs, 255);
    std::vector<uint8_t> bytes(samples.size() * sizeof(int16_t));
    std::memcpy(bytes.data(), samples.data(), bytes.size());
    const size_t size = bytes.size();
    Async().Start(AsyncSound::Kind::Beep, WaveFormat{}, std::move(bytes), 0, size);
    return TRUE;
}

UINT PlayPcm(const int16_t* samples, size_t count, DWORD rate) {
    if (!samples || count == 0 || rate == 0) return MMSYSERR_ERROR;
    WaveFormat format;
    format.rate = rate;
    Async().MakeWay(AsyncSound::Kind::Tone);
    return Output(format, reinterpret_cast<const uint8_t*>(samples), count * sizeof(int16_t), nullptr);
}

void SetPcmSink(PcmSink sink) {
    auto next = sink ? std::make_shared<const PcmSink>(std::move(sink)) : nullptr;
    std::lock_guard<std::mutex> lock(g_lock);
    g_sink = std::move(next);
}

// The default player: sound files on the wave output.
BOOL PlaySoundFile(const std::u16string& sound, DWORD flags) {
    if (sound.empty()) {
        Async().Stop();
        return TRUE;
    }
    if (flags & SND_ALIAS) return FALSE;  // no system sounds here
    std::vector<uint8_t> file;
    if (FILE* f = plat::fs::OpenFile(sound, "rb")) {
        uint8_t chunk[65536];
        size_t n;
        while (file.size() <= kMaxSoundFile && (n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
            file.insert(file.end(), chunk, chunk + n);
        std::fclose(f);
    }
    WaveFormat format;
    const uint8_t* data = nullptr;
    size_t size = 0;
    if (file.size() > kMaxSoundFile || !ParseWave(file.data(), file.size(), &format, &data, &size)) return FALSE;
    if (flags & SND_ASYNC) {
        const size_t offset = static_cast<size_t>(data - file.data());
        Async().Start(AsyncSound::Kind::File, format, std::move(file), offset, size);
        return TRUE;
    }
    Async().Stop();
    return Output(format, data, size, nullptr) == MMSYSERR_NOERROR;
}

}  // namespace plat::sound
