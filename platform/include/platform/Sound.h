// Playing a sound file. The device's speaker is not here: the default player
// plays nothing (there is no audio output to play on) and answers FALSE;
// tests, or a build with audio, put a player of their own in its place.
#pragma once

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

namespace plat::sound {

// The player gets every request as given (sound empty for a null one).
using Player = std::function<BOOL(const std::u16string& sound, DWORD flags)>;

// Replaces the player; null restores the default one, which plays nothing.
void SetPlayer(Player player);

// The tone player gets every Beep as given; null restores the default one.
using TonePlayer = std::function<BOOL(DWORD frequencyHz, DWORD durationMs)>;
void SetTonePlayer(TonePlayer player);

}  // namespace plat::sound
