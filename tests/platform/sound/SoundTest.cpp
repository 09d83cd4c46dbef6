#include "platform/Sound.h"
#include "platform/DeviceFs.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <fstream>
#include <mutex>
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

TEST_F(SoundTest, DefaultPlayerPlaysNoMissingFileAndNoSystemSound) {
    EXPECT_EQ(PlaySound(u"\\OVC\\SOUNDS\\ERROR.WAV", nullptr, SND_ASYNC | SND_FILENAME), FALSE);
    EXPECT_EQ(PlaySound(u"SystemDefault", nullptr, SND_ALIAS | SND_ASYNC), FALSE);
    EXPECT_EQ(PlaySound(nullptr, nullptr, 0), TRUE);  // nothing left playing
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
    std::vector<uint8_t> got;
    plat::sound::WaveFormat format;
    plat::sound::SetPcmSink([&](const plat::sound::WaveFormat& f, const uint8_t* bytes, size_t size) {
        got.assign(bytes, bytes + size);
        format = f;
        return MMSYSERR_NOERROR;
    });
    const int16_t samples[] = {-32767, 0, 32767};
    EXPECT_EQ(plat::sound::PlayPcm(samples, 3, 22050), MMSYSERR_NOERROR);
    EXPECT_EQ(got, (std::vector<uint8_t>{0x01, 0x80, 0x00, 0x00, 0xFF, 0x7F}));
    EXPECT_EQ(format.rate, 22050u);
    EXPECT_EQ(format.channels, 1);
    EXPECT_EQ(format.bitsPerSample, 16);
    EXPECT_EQ(plat::sound::PlayPcm(nullptr, 0, 44100), MMSYSERR_ERROR);
    plat::sound::SetPcmSink([](const plat::sound::WaveFormat&, const uint8_t*, size_t) -> UINT { throw 1; });
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

// A RIFF WAVE file: the "fmt " chunk (PCM), other chunks, then "data".
std::string Wave(uint16_t formatTag, uint16_t channels, uint32_t rate, uint16_t bits, const std::string& data,
                 const std::string& between = "", int blockAlign = -1) {
    auto le = [](uint64_t v, int n) {
        std::string s;
        for (int i = 0; i < n; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
        return s;
    };
    const uint16_t align = blockAlign >= 0 ? static_cast<uint16_t>(blockAlign) : static_cast<uint16_t>(channels * bits / 8);
    std::string fmt = "fmt " + le(16, 4) + le(formatTag, 2) + le(channels, 2) + le(rate, 4) + le(rate * align, 4) +
                      le(align, 2) + le(bits, 2);
    std::string body = "WAVE" + fmt + between + "data" + le(data.size(), 4) + data;
    return "RIFF" + le(body.size(), 4) + body;
}

TEST(WaveFile, PcmFilesAreReadAndOthersRefused) {
    struct Case {
        std::string file;
        bool ok;
        int channels, bits;
        std::string data;
    };
    const std::string four("\x01\x02\x03\x04", 4);
    const Case cases[] = {
        {Wave(1, 1, 8000, 16, four), true, 1, 16, four},
        {Wave(1, 2, 44100, 8, four), true, 2, 8, four},
        // Other chunks are passed over, an odd one with its pad byte.
        {Wave(1, 2, 48000, 16, four, std::string("LIST\x03\0\0\0abc\0", 12)), true, 2, 16, four},
        // A data chunk cut short plays its whole frames.
        {Wave(1, 2, 44100, 16, four + "\x05\x06\x07").substr(0, 44 + 6), true, 2, 16, four},
        {Wave(3, 1, 44100, 32, "12345678"), false, 0, 0, ""},   // floating point
        {Wave(1, 3, 44100, 16, "123456"), false, 0, 0, ""},     // three channels
        {Wave(1, 1, 44100, 24, "123"), false, 0, 0, ""},        // 24 bits
        {Wave(1, 1, 4000, 16, "12"), false, 0, 0, ""},          // too slow
        {Wave(1, 2, 44100, 16, four, "", 2), false, 0, 0, ""},  // frames of the wrong size
        {Wave(1, 1, 44100, 16, ""), false, 0, 0, ""},           // no samples
        {Wave(1, 1, 44100, 16, four).substr(0, 30), false, 0, 0, ""},
        {std::string("RIFF\0\0\0\0WAVEdata\4\0\0\0abcd", 24), false, 0, 0, ""},  // data before its format
        {std::string("RIFX\0\0\0\0WAVE", 12), false, 0, 0, ""},
        {std::string("RIFF\0\0\0\0WAVEjunk\xFF\xFF\xFF\xFF", 20), false, 0, 0, ""},
        {"", false, 0, 0, ""},
    };
    for (const Case& c : cases) {
        plat::sound::WaveFormat format;
        const uint8_t* data = nullptr;
        size_t size = 0;
        const auto* bytes = reinterpret_cast<const uint8_t*>(c.file.data());
        ASSERT_EQ(plat::sound::ParseWave(bytes, c.file.size(), &format, &data, &size), c.ok) << c.file.size();
        if (!c.ok) continue;
        EXPECT_EQ(format.channels, c.channels);
        EXPECT_EQ(format.bitsPerSample, c.bits);
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(data), size), c.data);
    }
}

// Sound files of the device file system play on the wave output: at once,
// or on a thread of their own with SND_ASYNC, one at a time.
class SoundFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_root = std::filesystem::temp_directory_path() / ("orvade-sound-" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_root / "Sounds");
        plat::fs::SetDeviceRoot(m_root.string());
        plat::sound::SetPcmSink([this](const plat::sound::WaveFormat& f, const uint8_t* bytes, size_t size) {
            std::lock_guard<std::mutex> lock(m_lock);
            m_played.push_back(std::to_string(f.rate) + " " + std::to_string(f.channels) + " " +
                               std::string(reinterpret_cast<const char*>(bytes), size));
            m_changed.notify_all();
            return MMSYSERR_NOERROR;
        });
    }
    void TearDown() override {
        PlaySound(nullptr, nullptr, 0);
        plat::sound::SetPcmSink(nullptr);
        std::filesystem::remove_all(m_root);
    }
    void Put(const std::string& name, const std::string& bytes) {
        std::ofstream(m_root / "Sounds" / name, std::ios::binary) << bytes;
    }
    // What played, once count sounds have (waiting up to 10 s).
    std::vector<std::string> Played(size_t count) {
        std::unique_lock<std::mutex> lock(m_lock);
        m_changed.wait_for(lock, std::chrono::seconds(10), [&] { return m_played.size() >= count; });
        return m_played;
    }

    std::filesystem::path m_root;
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::string> m_played;
};

TEST_F(SoundFileTest, WaveFilesPlayAtOnceOrWithoutWaiting) {
    Put("ding.wav", Wave(1, 2, 22050, 8, "abcd"));
    Put("bad.wav", "RIFF not a wave");
    EXPECT_EQ(PlaySound(u"\\Sounds\\ding.wav", nullptr, SND_SYNC | SND_FILENAME), TRUE);
    EXPECT_EQ(Played(1), (std::vector<std::string>{"22050 2 abcd"}));
    EXPECT_EQ(PlaySound(u"\\Sounds\\ding.wav", nullptr, SND_ASYNC | SND_FILENAME), TRUE);
    EXPECT_EQ(Played(2).size(), 2u);
    EXPECT_EQ(PlaySound(u"\\Sounds\\bad.wav", nullptr, SND_ASYNC | SND_FILENAME), FALSE);
    EXPECT_EQ(PlaySound(u"\\Sounds\\none.wav", nullptr, SND_SYNC | SND_FILENAME), FALSE);
    // Nothing outside the device root is reached.
    EXPECT_EQ(PlaySound(u"\\..\\..\\etc\\passwd", nullptr, SND_SYNC | SND_FILENAME), FALSE);
    EXPECT_EQ(Played(2).size(), 2u);
}

TEST_F(SoundFileTest, TheBeeperStartsASquareWaveAndReturns) {
    EXPECT_EQ(Beep(20, 100), FALSE);
    EXPECT_EQ(Beep(440, 0), FALSE);
    EXPECT_EQ(Beep(440, 100001), FALSE);
    EXPECT_EQ(Beep(441, 10), TRUE);
    const std::vector<std::string> played = Played(1);
    ASSERT_EQ(played.size(), 1u);
    const std::string prefix = "44100 1 ";
    ASSERT_EQ(played[0].size(), prefix.size() + 441 * 2);
    // 100 samples a period: low for the first 51, high for the next 49.
    const auto* samples = reinterpret_cast<const int16_t*>(played[0].data() + prefix.size());
    EXPECT_EQ(samples[50], -32767);
    EXPECT_EQ(samples[51], 32767);
    EXPECT_EQ(samples[100], -32767);
    // Beeps in a row are each heard whole.
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Beep(880, 10), TRUE);
    EXPECT_EQ(Played(6).size(), 6u);
}


// One output: a tone played at once while another sound plays never reaches
// the output beside it (a sound device without software mixing would refuse
// it, unheard). After a sound file or a beep, the tone comes when it is over.
TEST_F(SoundFileTest, AToneWhileAnotherSoundPlaysWaitsForTheOutput) {
    using namespace std::chrono_literals;
    Put("long.wav", Wave(1, 1, 8000, 8, std::string(800, '\x80')));
    std::mutex lock;
    std::condition_variable changed;
    int playing = 0, most = 0;
    std::vector<std::string> order;
    plat::sound::SetPcmSink([&](const plat::sound::WaveFormat& f, const uint8_t*, size_t size) -> UINT {
        std::unique_lock<std::mutex> hold(lock);
        most = std::max(most, ++playing);
        order.push_back(f.bitsPerSample == 8 ? "file" : size == 6 ? "tone" : "beep");
        changed.notify_all();
        // The earlier sound plays until a second one reaches the output
        // beside it, 500 ms at most.
        if (order.size() == 1) changed.wait_for(hold, 500ms, [&] { return playing > 1; });
        --playing;
        changed.notify_all();
        return MMSYSERR_NOERROR;
    });
    const int16_t tone[] = {-100, 100, -100};
    const std::pair<std::function<BOOL()>, std::string> earlier[] = {
        {[] { return PlaySound(u"\\Sounds\\long.wav", nullptr, SND_ASYNC | SND_FILENAME); }, "file"},
        {[] { return Beep(440, 10); }, "beep"},
    };
    for (const auto& [start, name] : earlier) {
        {
            std::lock_guard<std::mutex> hold(lock);
            order.clear();
            most = 0;
        }
        ASSERT_TRUE(start());
        {
            std::unique_lock<std::mutex> hold(lock);
            ASSERT_TRUE(changed.wait_for(hold, 10s, [&] { return !order.empty(); })) << name;
        }
        EXPECT_EQ(plat::sound::PlayPcm(tone, 3, 44100), MMSYSERR_NOERROR);
        std::lock_guard<std::mutex> hold(lock);
        EXPECT_EQ(most, 1) << name;
        EXPECT_EQ(order, (std::vector<std::string>{name, "tone"}));
    }
}

}  // namespace
