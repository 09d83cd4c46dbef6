// Playing a sound file, the beeper, and wave output. Sound files and the
// beeper have no output here: their default players play nothing and answer
// FALSE; tests put a player of their own in their place. Wave output (16-bit
// mono PCM) plays on the machine's sound device through ALSA, loaded with
// its first use; without a sound device nothing plays and an error is
// answered.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "platform/Library.h"
#include "platform/WinTypes.h"

constexpr DWORD SND_SYNC = 0x0000;
constexpr DWORD SND_ASYNC = 0x0001;
constexpr DWORD SND_NODEFAULT = 0x0002;
constexpr DWORD SND_ALIAS = 0x00010000;
constexpr DWORD SND_FILENAME = 0x00020000;

// Plays the file named by sound (a device path, with SND_FILENAME); module is
// unused. With SND_ASYNC the call does not wait for the sound to end. A null
// sound stops what plays. FALSE when nothing is played.
BOOL PlaySound(const char16_t* sound, HMODULE module, DWORD flags);

// Sounds the speaker's tone for the duration; FALSE when nothing sounds
// (the default tone player has no speaker either).
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

// Plays 16-bit signed mono samples at the rate and returns when they have
// played, or once their playing time and 200 ms more have passed (the
// device is then stopped). MMSYSERR_NOERROR when played.
UINT PlayPcm(const int16_t* samples, size_t count, DWORD rate);

// The wave output gets every PlayPcm as given; null restores the sound device.
using PcmSink = std::function<UINT(const int16_t* samples, size_t count, DWORD rate)>;
void SetPcmSink(PcmSink sink);

// The player gets every request as given (sound empty for a null one).
using Player = std::function<BOOL(const std::u16string& sound, DWORD flags)>;

// Replaces the player; null restores the default one, which plays nothing.
void SetPlayer(Player player);

// The tone player gets every Beep as given; null restores the default one.
using TonePlayer = std::function<BOOL(DWORD frequencyHz, DWORD durationMs)>;
void SetTonePlayer(TonePlayer player);

}  // namespace plat::sound
