#include "platform/Sound.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <utility>
#include <vector>

namespace {

struct Request {
    std::u16string sound;
    DWORD flags;
};

class SoundTest : public ::testing::Test {
protected:
    void TearDown() override { plat::sound::SetPlayer(nullptr); }
};

TEST_F(SoundTest, DefaultPlayerPlaysNothing) {
    EXPECT_EQ(PlaySound(u"\\OVC\\SOUNDS\\ERROR.WAV", nullptr, SND_ASYNC | SND_FILENAME), FALSE);
    EXPECT_EQ(PlaySound(nullptr, nullptr, 0), FALSE);
}

TEST_F(SoundTest, ReplacedPlayerGetsEachRequestUntilRestored) {
    std::vector<Request> requests;
    plat::sound::SetPlayer([&](const std::u16string& sound, DWORD flags) {
        requests.push_back({sound, flags});
        return TRUE;
    });
    EXPECT_EQ(PlaySound(u"A.WAV", nullptr, SND_ASYNC | SND_FILENAME), TRUE);
    EXPECT_EQ(PlaySound(nullptr, nullptr, SND_SYNC), TRUE);
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests[0].sound, u"A.WAV");
    EXPECT_EQ(requests[0].flags, SND_ASYNC | SND_FILENAME);
    EXPECT_EQ(requests[1].sound, u"");

    plat::sound::SetPlayer(nullptr);
    EXPECT_EQ(PlaySound(u"A.WAV", nullptr, SND_ASYNC), FALSE);
    EXPECT_EQ(requests.size(), 2u);
}

TEST_F(SoundTest, PlayerThatThrowsAnswersFalse) {
    plat::sound::SetPlayer([](const std::u16string&, DWORD) -> BOOL { throw 1; });
    EXPECT_EQ(PlaySound(u"A.WAV", nullptr, SND_ASYNC), FALSE);
}

}  // namespace

TEST_F(SoundTest, MessageBeepAsksThePlayerForTheSystemSoundOfItsType) {
    std::vector<Request> requests;
    plat::sound::SetPlayer([&](const std::u16string& sound, DWORD flags) {
        requests.push_back({sound, flags});
        return TRUE;
    });
    const std::pair<UINT, std::u16string> cases[] = {
        {UINT(-1), u"SystemDefault"},         {0x00000000, u"SystemDefault"},     {0x00000010, u"SystemHand"},
        {0x00000024, u"SystemQuestion"},      {0x00000030, u"SystemExclamation"}, {0x00000040, u"SystemAsterisk"},
    };
    for (const auto& [type, alias] : cases) {
        requests.clear();
        EXPECT_TRUE(MessageBeep(type));
        ASSERT_EQ(requests.size(), 1u);
        EXPECT_EQ(requests[0].sound, alias) << type;
        EXPECT_EQ(requests[0].flags, SND_ALIAS | SND_ASYNC | SND_NODEFAULT);
    }
    plat::sound::SetPlayer(nullptr);
    EXPECT_FALSE(MessageBeep(UINT(-1)));  // nothing to play on
}

namespace {

bool AlsaLoaded() {
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
        if (line.find("libasound") != std::string::npos) return true;
    return false;
}

// The wave output reaches the sink as given; without one, the sound device,
// whose library is loaded only then. This machine may have no sound device:
// nothing plays then, and the call says so without waiting.
TEST(WaveOutput, SamplesReachTheSinkOrTheSoundDevice) {
    std::vector<int16_t> got;
    DWORD rate = 0;
    plat::sound::SetPcmSink([&](const int16_t* samples, size_t count, DWORD r) {
        got.assign(samples, samples + count);
        rate = r;
        return MMSYSERR_NOERROR;
    });
    const int16_t samples[] = {-32767, 0, 32767};
    EXPECT_EQ(plat::sound::PlayPcm(samples, 3, 44100), MMSYSERR_NOERROR);
    EXPECT_EQ(got, (std::vector<int16_t>{-32767, 0, 32767}));
    EXPECT_EQ(rate, 44100u);
    EXPECT_EQ(plat::sound::PlayPcm(nullptr, 0, 44100), MMSYSERR_ERROR);
    plat::sound::SetPcmSink([](const int16_t*, size_t, DWORD) -> UINT { throw 1; });
    EXPECT_EQ(plat::sound::PlayPcm(samples, 3, 44100), MMSYSERR_ERROR);

    plat::sound::SetPcmSink(nullptr);
    EXPECT_FALSE(AlsaLoaded());  // the base library starts without it
    const std::vector<int16_t> silence(441, 0);
    const UINT answer = plat::sound::PlayPcm(silence.data(), silence.size(), 44100);
    EXPECT_TRUE(answer == MMSYSERR_NOERROR || answer == MMSYSERR_BADDEVICEID || answer == MMSYSERR_NODRIVER)
        << answer;
    if (answer != MMSYSERR_NODRIVER) {
        EXPECT_TRUE(AlsaLoaded());
    }
}

}  // namespace
