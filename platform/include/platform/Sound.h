// Playing sound files, the beeper, and wave output. Sound files (RIFF WAVE,
// PCM) and wave output play on the machine's sound device through ALSA,
// loaded with the first sound; without a sound device nothing plays and an
// error is answered. The beeper has no output here: its default player
// plays nothing and answers FALSE. Tests put players and a sink of their own
// in place of the defaults.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/Library.h"
#include "platform/WinTypes.h"

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the file named by sound (a device path; a RIFF WAVE file of 8- or
// 16-bit PCM, one or two channels, at most 16 MiB); module is unused. With
// SND_ASYNC the call does not wait for the sound to end, and a sound still
// playing from an earlier call stops first; without it the call returns
// when the sound has played. A null sound stops what plays. SND_ALIAS names
// a system sound, of which there are none here. FALSE when nothing is
// played.
BOOL PlaySound(const char16_t* sound, HMODULE module, DWORD flags);

// Starts the beeper's tone (37 to 32767 Hz, 1 ms to 100 s) and returns
// while it sounds, as a beeper does: the default tone player plays a square
// wave on the wave output, in place of any sound still playing. FALSE when
// the tone is out of range.
BOOL Beep(DWORD frequencyHz, DWORD durationMs);

// The system sound of a message box's icon (MB_ICONHAND... or MB_OK; -1 the
// simple beep, as MB_OK): the player is asked for the alias
// "SystemHand", "SystemQuestion", "SystemExclamation", "SystemAsterisk" or
// "SystemDefault" with SND_ALIAS | SND_ASYNC | SND_NODEFAULT. Its answer.
BOOL MessageBeep(UINT type);

// Wave output's answers.
constexpr UINT MMSYSERR_NOERROR = 0;
constexpr UINT MMSYSERR_ERROR = 1;
constexpr UINT MMSYSERR_BADDEVICEID = 2;  // no sound device
constexpr UINT MMSYSERR_NODRIVER = 6;     // no sound library

namespace plat::sound {

// The shape of wave samples: interleaved, little-endian PCM.
struct WaveFormat {
    DWORD rate = 44100;
    int channels = 1;        // 1 or 2
    int bitsPerSample = 16;  // 8 (unsigned) or 16 (signed)
    size_t FrameBytes() const { return static_cast<size_t>(channels) * static_cast<size_t>(bitsPerSample / 8); }
};

// A RIFF WAVE file's format and samples: PCM of 8 or 16 bits, one or two
// channels, 8000 to 192000 Hz; *data points into bytes, *dataSize is whole
// frames. False when the bytes are not such a file.
bool ParseWave(const uint8_t* bytes, size_t size, WaveFormat* format, const uint8_t** data, size_t* dataSize);

// The rate of tones.
constexpr DWORD kToneRate = 44100;

// A tone as 16-bit mono samples at kToneRate: a square wave of kToneRate div
// frequency samples a period, the sample at position i of a period high when
// 2i is more than the period, else low; amplitude volume (0-255) x 32767 div
// 255. The half-periods are whole samples, so above 14700 Hz the wave holds
// one level.
std::vector<int16_t> SquareWave(DWORD frequencyHz, DWORD durationMs, int volume);

// Plays 16-bit signed mono samples at the rate and returns when they have
// played, or once their playing time and 200 ms more have passed (the
// device is then stopped). One sound holds the output at a time: a sound
// file still playing stops first, a beep still sounding is waited for.
// MMSYSERR_NOERROR when played.
UINT PlayPcm(const int16_t* samples, size_t count, DWORD rate);

// The wave output gets every sound, tones and sound files, as whole frames
// of the format (from the playing thread for SND_ASYNC); null restores the
// sound device.
using PcmSink = std::function<UINT(const WaveFormat& format, const uint8_t* bytes, size_t size)>;
void SetPcmSink(PcmSink sink);

// The player gets every request as given (sound empty for a null one).
using Player = std::function<BOOL(const std::u16string& sound, DWORD flags)>;

// Replaces the player; null restores the default one, which plays sound
// files on the wave output.
void SetPlayer(Player player);

// The tone player gets every Beep as given; null restores the default one,
// the wave output.
using TonePlayer = std::function<BOOL(DWORD frequencyHz, DWORD durationMs)>;
void SetTonePlayer(TonePlayer player);

}  // namespace plat::sound
