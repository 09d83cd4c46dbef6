// The device and system commands through the core: the device clock, ending
// the session with a message, waiting events, and the commands that only answer.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <sys/stat.h>
#include <thread>

#include "CoreFixture.h"
#include "platform/Input.h"
#include "platform/Sound.h"
#include "platform/Window.h"

namespace coretest {
namespace {

struct RecordingDialogs : ICoreDialogs {
    std::vector<std::u16string> messages;
    void ShowMessage(std::u16string_view text) override { messages.emplace_back(text); }
};

struct CountingWidgets : ICoreWidgets {
    int removals = 0;
    void RemoveAll() override { ++removals; }
};

class DeviceCommandsTest : public CoreTest {
protected:
    void SetUp() override {
        CoreTest::SetUp();
        plat::clock::SetDeviceClockOffsetMs(0);
    }
    void TearDown() override {
        plat::clock::SetDeviceClockOffsetMs(0);
        CoreTest::TearDown();
    }
    std::vector<Bytes> Ask(const Bytes& payload, int mode = 0) {
        Send(payload, mode);
        return Replies(mode);
    }
};

TEST_F(DeviceCommandsTest, SetTimeMovesTheDeviceClockNotTheMachines) {
    const std::time_t before = std::time(nullptr);
    EXPECT_EQ(Ask("t" + FD + "20070315 142530"), (std::vector<Bytes>{"t" + FD + "1"}));
    SYSTEMTIME now{};
    GetSystemTime(&now);
    EXPECT_EQ(now.wYear, 2007);
    EXPECT_EQ(now.wMonth, 3);
    EXPECT_EQ(now.wDay, 15);
    EXPECT_EQ(now.wHour, 14);
    EXPECT_EQ(now.wMinute, 25);
    EXPECT_LE(now.wSecond - 30, 1);
    EXPECT_NE(plat::clock::GetDeviceClockOffsetMs(), 0);
    EXPECT_GE(std::time(nullptr), before);  // the machine's clock is where it was
}

TEST_F(DeviceCommandsTest, SetTimeRefusesTimesThatDoNotExist) {
    for (const Bytes text : {"20070230 142530", "20071315 142530", "20070315 246000", "20070315 142560",
                             "20070315 1425", "20070315", "", "2007O315 142530", "16000101 000000"}) {
        for (int mode : {0, 1}) {
            m_core = std::make_unique<CClientCore>(m_window);
            if (mode == 1) Send("B" + FD + "1"), Replies(0);
            EXPECT_EQ(Ask("t" + FD + text, mode), (std::vector<Bytes>{"t" + FD + "0"})) << text << " " << mode;
        }
        EXPECT_EQ(plat::clock::GetDeviceClockOffsetMs(), 0) << text;
    }
}

TEST_F(DeviceCommandsTest, KillCommandShowsItsMessageAnswersAndEndsTheSession) {
    RecordingDialogs dialogs;
    CountingWidgets widgets;
    m_core->SetDialogs(&dialogs);
    m_core->SetWidgets(&widgets);
    TakePosted(WM_CORE_SESSION_ENDED);
    EXPECT_EQ(Ask("k" + FD + "Host going down"), (std::vector<Bytes>{"k" + FD + "1"}));
    EXPECT_EQ(dialogs.messages, (std::vector<std::u16string>{u"Host going down"}));
    EXPECT_EQ(widgets.removals, 1);
    EXPECT_EQ(TakePosted(WM_CORE_SESSION_ENDED), 1);
    // Without a text no box is shown; the session still ends.
    EXPECT_EQ(Ask("k" + FD), (std::vector<Bytes>{"k" + FD + "1"}));
    EXPECT_EQ(dialogs.messages.size(), 1u);
    EXPECT_EQ(TakePosted(WM_CORE_SESSION_ENDED), 1);
    m_core->SetDialogs(nullptr);
    m_core->SetWidgets(nullptr);
}

TEST_F(DeviceCommandsTest, TellEventSaysWhetherInputWaits) {
    EXPECT_EQ(Ask("F" + FD), (std::vector<Bytes>{"F" + FD}));
    Key(113);  // queued: no input field is open
    EXPECT_EQ(Ask("F" + FD), (std::vector<Bytes>{"F" + FD + "1"}));
    EXPECT_EQ(m_core->Events().Size(), 1);  // only asked, not taken
}

TEST_F(DeviceCommandsTest, WakeAnswersNothingAndLoadKeyMapOne) {
    StartLog();
    EXPECT_EQ(Ask("Z" + FD + FF + "a" + FD), (std::vector<Bytes>{"a" + FD + "1"}));
    const std::string log = LogText();
    EXPECT_NE(log.find("WAK"), std::string::npos);
    EXPECT_NE(log.find("LoadKeyMap"), std::string::npos);
}

// A device-control library whose beep plays only tones of 1000 Hz.
struct BeepingDevices : FakeDevices {
    std::vector<std::pair<int32_t, int32_t>> beeps;
    int32_t PlayBeep(int32_t durationMs, int32_t frequencyHz) override {
        beeps.emplace_back(durationMs, frequencyHz);
        return frequencyHz == 1000;
    }
};

class PlayToneTest : public DeviceCommandsTest {
protected:
    void SetUp() override {
        DeviceCommandsTest::SetUp();
        plat::sound::SetPlayer([this](const std::u16string& sound, DWORD flags) {
            sounds.emplace_back(sound, flags);
            return TRUE;
        });
        plat::sound::SetPcmSink([this](const plat::sound::WaveFormat& format, const uint8_t* bytes, size_t size) {
            EXPECT_EQ(format.channels, 1);
            EXPECT_EQ(format.bitsPerSample, 16);
            played.push_back("tone " + std::to_string(size / 2) + " at " + std::to_string(format.rate));
            pcm.resize(size / 2);
            std::memcpy(pcm.data(), bytes, size);
            return pcmAnswer;
        });
        // The thread's waits let the device's time pass, a second a wait: a
        // rest takes no real time. Its first wait is recorded.
        plat::messages::SetMessageWaitHook([this](int) {
            if (played.empty() || played.back() != "rest") played.push_back("rest");
            g_now += 1000;
        });
        m_core->SetDevices(&m_beeper);
        std::filesystem::create_directories(m_base / "TONES");
    }
    void TearDown() override {
        plat::sound::SetPlayer(nullptr);
        plat::sound::SetPcmSink(nullptr);
        plat::messages::SetMessageWaitHook(nullptr);
        DeviceCommandsTest::TearDown();
    }
    void Put(const std::string& name, const Bytes& content) {
        std::ofstream(m_base / "TONES" / name, std::ios::binary) << content;
    }
    LRESULT OnMessage(UINT msg, WPARAM w, LPARAM l) override {
        if (msg == WM_TIMER) played.push_back("timer");
        if (msg == kUserCommand) played.push_back("user");
        if (msg == kEndSession) m_core->EndSession();
        return DeviceCommandsTest::OnMessage(msg, w, l);
    }
    static constexpr UINT kUserCommand = WM_USER + 70;
    static constexpr UINT kEndSession = WM_USER + 71;
    BeepingDevices m_beeper;
    std::vector<std::pair<std::u16string, DWORD>> sounds;
    std::vector<std::string> played;
    std::vector<int16_t> pcm;  // the last tone's samples
    UINT pcmAnswer = MMSYSERR_NOERROR;
};

TEST_F(PlayToneTest, RecordsPlayInTurnAndTonesOutOfRangeAreSkipped) {
    Put("ring.ton", "440" + FD + "100" + FE + "0" + FD + "50" + FE + "50" + FD + "100" + FE + "1000" + FD + "30" +
                        FE + "880" + FD + "0" + FE + "25000" + FD + "10" + FE + "660" + FD + "20");
    const DWORD start = g_now;
    EXPECT_TRUE(Ask("T" + FD + "ring.ton").empty());
    EXPECT_GE(g_now - start, 50u);
    // 1000 Hz went to the library's beep; 50 Hz, a duration of 0 and 25 kHz sound nowhere.
    EXPECT_EQ(played, (std::vector<std::string>{"tone 4410 at 44100", "rest", "tone 882 at 44100"}));
    EXPECT_EQ(m_beeper.beeps.size(), 6u);
    EXPECT_EQ(m_beeper.beeps[0], (std::pair<int32_t, int32_t>{100, 440}));
    EXPECT_TRUE(sounds.empty());
}

// The tone generator's square wave: 44100 / f samples a period, the sample
// at i of a period high when 2i is more than the period, at full volume.
TEST_F(PlayToneTest, TonesAreSquareWavesOfSixteenBitSamples) {
    Put("a.ton", "440" + FD + "100" + FE);
    Send("T" + FD + "a.ton");
    ASSERT_EQ(pcm.size(), 4410u);
    for (size_t i = 0; i < pcm.size(); ++i) {
        const size_t at = i % 100;  // 44100 / 440 = 100 samples a period
        ASSERT_EQ(pcm[i], at > 50 ? 32767 : -32767) << i;
    }
    // The bytes the device gets: little-endian, low level first.
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    EXPECT_EQ((std::vector<uint8_t>(bytes + 100, bytes + 104)), (std::vector<uint8_t>{0x01, 0x80, 0xFF, 0x7F}));
    // Kept: three samples a period at 14700 Hz; above it the wave holds one level.
    Put("high.ton", "14700" + FD + "10" + FE);
    Send("T" + FD + "high.ton");
    ASSERT_EQ(pcm.size(), 441u);
    EXPECT_EQ((std::vector<int16_t>(pcm.begin(), pcm.begin() + 6)),
              (std::vector<int16_t>{-32767, -32767, 32767, -32767, -32767, 32767}));
    Put("higher.ton", "15000" + FD + "10" + FE);
    Send("T" + FD + "higher.ton");
    ASSERT_EQ(pcm.size(), 441u);
    EXPECT_EQ(std::count(pcm.begin(), pcm.end(), -32767), 441);
}

// One tone file sounds at most as long as one tone may, 100 s in all: the
// records past that are not played.
TEST_F(PlayToneTest, AToneFileSoundsAtMostOneHundredSeconds) {
    Bytes file;
    for (int i = 0; i < 5000; ++i) file += "1000" + FD + "60000" + FE;
    Put("long.ton", "1000" + FD + "30000" + FE + file);
    Send("T" + FD + "long.ton");
    EXPECT_EQ(m_beeper.beeps.size(), 2u);
}

// The tones and rests of one packet sound 100 s in all at most, whatever
// their files: the records past that are not played, in that file or the
// packet's later ones. The next packet has its 100 s again.
TEST_F(PlayToneTest, APacketsTonesAndRestsSoundAtMostOneHundredSecondsInAll) {
    StartLog();
    Put("minute.ton", "1000" + FD + "60000" + FE);
    Put("short.ton", "1000" + FD + "10" + FE);
    Send("T" + FD + "minute.ton" + FF + "T" + FD + "minute.ton" + FF + "T" + FD + "short.ton");
    EXPECT_EQ(m_beeper.beeps.size(), 1u);
    Send("T" + FD + "minute.ton");
    EXPECT_EQ(m_beeper.beeps.size(), 2u);
    // 2 s of rest and 10 ms of tone a file: 49 of them fit in 100 s.
    m_beeper.beeps.clear();
    Put("pause.ton", "0" + FD + "2000" + FE + "1000" + FD + "10" + FE);
    Bytes packet = "T" + FD + "pause.ton";
    for (int i = 1; i < 60; ++i) packet += FF + "T" + FD + "pause.ton";
    const DWORD start = g_now;
    Send(packet);
    EXPECT_EQ(m_beeper.beeps.size(), 49u);
    EXPECT_GE(g_now - start, 49u * 2000);
    EXPECT_LT(g_now - start, 60u * 2000);
    // Told once for each packet cut short.
    const std::string log = LogText();
    const std::string line = "PLAYTONE: the packet's tones sound longer than 100000 ms; the rest is not played";
    int told = 0;
    for (size_t at = log.find(line); at != std::string::npos; at = log.find(line, at + 1)) ++told;
    EXPECT_EQ(told, 2);
}

// A rest keeps the interface alive: the thread's messages, timers and
// paints are served while it waits, and the tones go on after it.
TEST_F(PlayToneTest, ARestServesTheThreadsMessagesTimersAndPaints) {
    WNDCLASS wc{};
    wc.lpfnWndProc = DefWindowProc;
    wc.lpszClassName = u"RestScreen";
    RegisterClass(&wc);
    const HWND screen = CreateWindowEx(0, u"RestScreen", u"", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, 0, 0, nullptr,
                                       nullptr);
    ASSERT_NE(screen, 0u);
    plat::window::SetWindowProcedure(screen, [this](HWND w, UINT msg, WPARAM wp, LPARAM lp) -> LRESULT {
        if (msg == WM_PAINT) played.push_back("paint");
        return DefWindowProc(w, msg, wp, lp);
    });
    UpdateWindow(screen);
    Put("pause.ton", "0" + FD + "3000" + FE + "440" + FD + "100" + FE);
    played.clear();
    InvalidateRect(screen, nullptr, TRUE);
    PostMessage(m_window, kUserCommand, 0, 0);
    SetTimer(m_window, 7, 2500);
    Send("T" + FD + "pause.ton");
    KillTimer(m_window, 7);
    DestroyWindow(screen);
    UnregisterClass(u"RestScreen", nullptr);
    EXPECT_EQ(played, (std::vector<std::string>{"user", "paint", "rest", "timer", "tone 4410 at 44100"}));
}

// The user ending the session, or the program quitting, during a rest ends
// it and the packet's tones: nothing more sounds, and the packet's later
// commands are not run once the session is over.
TEST_F(PlayToneTest, ARestEndsWithTheSessionOrTheProgram) {
    Put("pause.ton", "0" + FD + "3000" + FE + "440" + FD + "100" + FE);
    const Bytes packet = "T" + FD + "pause.ton" + FF + "T" + FD + "pause.ton" + FF + "F" + FD;
    for (bool quit : {false, true}) {
        SCOPED_TRACE(quit ? "quit" : "session ended");
        played.clear();
        if (quit) PostQuitMessage(0);
        else PostMessage(m_window, kEndSession, 0, 0);
        const DWORD start = g_now;
        const std::vector<Bytes> replies = Ask(packet);
        EXPECT_EQ(g_now, start);
        EXPECT_TRUE(played.empty());
        EXPECT_EQ(replies, quit ? std::vector<Bytes>{"F" + FD} : std::vector<Bytes>{});
        MSG msg;
        EXPECT_EQ(PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE), quit ? TRUE : FALSE);
        // The next packet sounds again.
        Send("T" + FD + "pause.ton");
        EXPECT_EQ(played, (std::vector<std::string>{"rest", "tone 4410 at 44100"}));
    }
}

TEST_F(PlayToneTest, WithoutASoundDeviceNothingPlaysAndTheLogSaysSoOnce) {
    StartLog();
    pcmAnswer = MMSYSERR_BADDEVICEID;
    Put("two.ton", "440" + FD + "100" + FE + "880" + FD + "100" + FE);
    Send("T" + FD + "two.ton");
    EXPECT_EQ(played.size(), 2u);
    const std::string log = LogText();
    const std::string line = "PLAYTONE: no tone played, wave output error 2";
    ASSERT_NE(log.find(line), std::string::npos);
    EXPECT_EQ(log.find(line, log.find(line) + 1), std::string::npos);
}

TEST_F(PlayToneTest, WithoutAToneFileTheSoundFileOfItsNamePlays) {
    Put("empty.ton", "");
    const struct {
        Bytes name;
        std::u16string sound;
    } cases[] = {
        {"ring.ton", u"ring.wav"},
        {"empty.ton", u"empty.wav"},
        {"beep", u"beep.wav"},  // no extension: ".wav" appended, nothing cut off
        {"a", u"a.wav"},
        {"x.y.ton", u"x.y.wav"},
    };
    for (const auto& c : cases) {
        sounds.clear();
        Send("T" + FD + c.name);
        ASSERT_EQ(sounds.size(), 1u) << c.name;
        const std::u16string& sound = sounds[0].first;
        EXPECT_EQ(sound.substr(sound.size() - c.sound.size()), c.sound) << c.name;
        EXPECT_NE(sound.find(u"TONES"), std::u16string::npos) << c.name;
        EXPECT_EQ(sounds[0].second, SND_ASYNC | SND_FILENAME);
    }
    EXPECT_TRUE(played.empty());
    EXPECT_TRUE(Replies().empty());
}

TEST_F(PlayToneTest, SilentModePlaysNothing) {
    ChangeProperties([](CoreProperties& p) { p.silentMode = 1; });
    Put("ring.ton", "440" + FD + "100" + FE);
    Send("T" + FD + "ring.ton");
    Send("T" + FD + "missing");
    EXPECT_TRUE(played.empty());
    EXPECT_TRUE(sounds.empty());
    EXPECT_TRUE(m_beeper.beeps.empty());
}

class SystemCallTest : public DeviceCommandsTest {
protected:
    void Script(const std::string& name, const std::string& body) {
        std::filesystem::create_directories(m_base / "bin");
        const std::filesystem::path at = m_base / "bin" / name;
        std::ofstream(at) << "#!/bin/sh\n" << body << "\n";
        chmod(at.c_str(), 0755);
    }
    std::string Read(const std::string& name) {
        std::ifstream in(m_base / name);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
};

TEST_F(SystemCallTest, TheProgramRunsWithItsWordsAndTheAnswerComesWhenItEnds) {
    StartLog();
    Script("args", "for a in \"$@\"; do echo \"[$a]\"; done > out.txt");
    for (int mode : {0, 1}) {
        m_core = std::make_unique<CClientCore>(m_window);
        if (mode == 1) Send("B" + FD + "1"), Replies(0);
        std::filesystem::remove(m_base / "out.txt");
        EXPECT_EQ(Ask("U" + FD + "bin\\args \"two words\" x", mode), (std::vector<Bytes>{"U" + FD + "1"}));
        EXPECT_EQ(Read("out.txt"), "[two words]\n[x]\n");
    }
    EXPECT_NE(LogText().find("Process has terminated"), std::string::npos);
}

TEST_F(SystemCallTest, WhatCannotStartStillAnswersOne) {
    StartLog();
    for (const Bytes line : {"", "bin\\missing", "/bin/true", "\\..\\x", "\"\""}) {
        EXPECT_EQ(Ask("U" + FD + line), (std::vector<Bytes>{"U" + FD + "1"})) << line;
    }
    EXPECT_NE(LogText().find("SystemCall Failed because the process could not be found"), std::string::npos);
}

TEST_F(SystemCallTest, AQuittingThreadStopsWaitingAndLeavesTheProgramRunning) {
    // It writes nothing once started, so the folder can go while it sleeps on.
    Script("slow", "exec 2>/dev/null; sleep 2");
    PostQuitMessage(0);
    EXPECT_EQ(Ask("U" + FD + "\\bin\\slow"), (std::vector<Bytes>{"U" + FD + "1"}));
    MSG msg;
    EXPECT_TRUE(PeekMessage(&msg, 0, WM_QUIT, WM_QUIT, PM_REMOVE));
}

}  // namespace
}  // namespace coretest
