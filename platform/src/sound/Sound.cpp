#include "platform/Sound.h"
#include "platform/WinConst.h"
#include "SoundFiles.h"

#include <memory>
#include <mutex>

namespace {

std::mutex g_lock;
std::shared_ptr<const plat::sound::Player> g_player;  // null: the default player
std::shared_ptr<const plat::sound::TonePlayer> g_tonePlayer;

}  // namespace

BOOL PlaySound(const char16_t* sound, HMODULE, DWORD flags) {
    std::shared_ptr<const plat::sound::Player> player;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        player = g_player;
    }
    try {
        const std::u16string name = sound ? std::u16string(sound) : std::u16string();
        if (!player) return plat::sound::PlaySoundFile(name, flags);
        return (*player)(name, flags);
    } catch (...) {
        return FALSE;
    }
}

BOOL Beep(DWORD frequencyHz, DWORD durationMs) {
    std::shared_ptr<const plat::sound::TonePlayer> player;
    {
        std::lock_guard<std::mutex> lock(g_lock);
        player = g_tonePlayer;
    }
    try {
        if (!player) return plat::sound::StartBeep(frequencyHz, durationMs);
        return (*player)(frequencyHz, durationMs);
    } catch (...) {
        return FALSE;
    }
}

namespace plat::sound {

void SetTonePlayer(TonePlayer player) {
    auto next = player ? std::make_shared<const TonePlayer>(std::move(player)) : nullptr;
    std::lock_guard<std::mutex> lock(g_lock);
    g_tonePlayer = std::move(next);
}

void SetPlayer(Player player) {
    auto next = player ? std::make_shared<const Player>(std::move(player)) : nullptr;
    std::lock_guard<std::mutex> lock(g_lock);
    g_player = std::move(next);
}

}  // namespace plat::sound

BOOL MessageBeep(UINT type) {
    const char16_t* alias = u"SystemDefault";
    if (type != UINT(-1)) {
        switch (type & MB_ICONMASK) {
        case MB_ICONHAND: alias = u"SystemHand"; break;
        case MB_ICONQUESTION: alias = u"SystemQuestion"; break;
        case MB_ICONEXCLAMATION: alias = u"SystemExclamation"; break;
        case MB_ICONASTERISK: alias = u"SystemAsterisk"; break;
        default: break;
        }
    }
    return PlaySound(alias, nullptr, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
}
