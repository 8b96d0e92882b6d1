// Opening addresses and programs through the shell, playing an audio CD with
// the registered player, and remote control of the sound recorder, each
// checked through the fixture that stands in for the accessory.
#include "CorvixTestSupport.h"
#include "fixtures/setup/FixtureSetup.h"
#include "shellact/Corvix.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

constexpr DWORD kLogWait = 10000;

class CorvixOpenUrl : public ::testing::Test {
  protected:
    void SetUp() override { ClearFixtureLog(Fixture::WebHandler); }
};

TEST_F(CorvixOpenUrl, WebAddressesReachTheRegisteredBrowser) {
    const ClassesRegistration browser = RegisterWebHandler();
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    for (const char* address :
         {"http://example.test/keys?prog=1&x=%20y", "https://example.test/"}) {
        SCOPED_TRACE(address);
        EXPECT_EQ(TRUE, CVXP_OpenURL(address));
        EXPECT_TRUE(
            WaitForFixtureLogLine(Fixture::WebHandler, std::string("open ") + address, kLogWait));
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CorvixOpenUrl, ProgramsStartAndMissingTargetsFailWithoutABox) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    EXPECT_EQ(TRUE, CVXP_OpenURL(Narrow(FixtureProgram(Fixture::WebHandler)).c_str()));
    EXPECT_TRUE(WaitForFixtureLogLine(Fixture::WebHandler, "open ", kLogWait));

    EXPECT_EQ(FALSE, CVXP_OpenURL("Z:\\no\\such\\folder\\program.exe"));
    EXPECT_EQ(FALSE, CVXP_OpenURL(nullptr));
    EXPECT_TRUE(boxes.Boxes().empty());
}

class CorvixAudioCd : public ::testing::Test {
  protected:
    void SetUp() override { ClearFixtureLog(Fixture::AudioCdPlayer); }
    const std::string m_player = Narrow(FixtureProgram(Fixture::AudioCdPlayer));
};

TEST_F(CorvixAudioCd, ThePlaceholderOfTheRegisteredCommandGetsTheDriveAndAFailedStartGivesZero) {
    struct Case {
        const char* what;
        std::string registered;
        std::string drive;
        std::string started; // the player's command line; empty: nothing starts
    } cases[] = {
        {"quoted placeholder", Narrow(AudioCdPlayerCommand()),
         "D:", "\"" + m_player + "\" /play \"D:\""},
        // Without it only the quoted drive text runs: here the player itself.
        {"unquoted placeholder", m_player + " /play %1", m_player, "\"" + m_player + "\""},
        {"missing player", "\"Z:\\no\\such\\player.exe\" /play \"%1\"", "D:", ""},
    };
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ClearFixtureLog(Fixture::AudioCdPlayer);
        const ClassesRegistration player =
            RegisterAudioCdPlayer(std::wstring(c.registered.begin(), c.registered.end()));
        EXPECT_EQ(c.started.empty() ? FALSE : TRUE, CVXP_PlayAudioCD(c.drive.c_str()));
        if (!c.started.empty()) {
            EXPECT_TRUE(
                WaitForFixtureLogLine(Fixture::AudioCdPlayer, "play " + c.started, kLogWait))
                << "the player did not log: play " << c.started;
        }
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CorvixAudioCd, CommandsThatCannotBeReadGiveZero) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    {
        SCOPED_TRACE("no player registered: the file-not-found box");
        HKEY audioCd = nullptr;
        ASSERT_NE(ERROR_SUCCESS,
                  RegOpenKeyExW(HKEY_CLASSES_ROOT, L"AudioCD", 0, KEY_READ, &audioCd));
        EXPECT_EQ(FALSE, CVXP_PlayAudioCD("D:"));
        ASSERT_EQ(1u, boxes.Boxes().size());
        ExpectErrorBox(boxes.Boxes()[0], ERROR_FILE_NOT_FOUND);
    }
    {
        SCOPED_TRACE("a command longer than the 1024-byte buffer: the more-data box");
        const ClassesRegistration player = RegisterAudioCdPlayer(std::wstring(1100, L'p'));
        EXPECT_EQ(FALSE, CVXP_PlayAudioCD("D:"));
        ASSERT_EQ(2u, boxes.Boxes().size());
        ExpectErrorBox(boxes.Boxes()[1], ERROR_MORE_DATA);
    }
    {
        SCOPED_TRACE("an empty command: no box");
        const ClassesRegistration player = RegisterAudioCdPlayer(L"");
        EXPECT_EQ(FALSE, CVXP_PlayAudioCD("D:"));
        EXPECT_EQ(FALSE, CVXP_PlayAudioCD(nullptr));
        EXPECT_EQ(2u, boxes.Boxes().size());
    }
    EXPECT_TRUE(FixtureLog(Fixture::AudioCdPlayer).empty());
}

class CorvixSoundRecorder : public ::testing::Test {
  protected:
    void SetUp() override {
        EndFixtureProcesses(Fixture::SoundRecorder);
        ClearFixtureLog(Fixture::SoundRecorder);
    }
    void TearDown() override {
        SetEnvironmentVariableW(L"QX_SNDREC32_MODE", nullptr);
        EndFixtureProcesses(Fixture::SoundRecorder);
    }

    static HWND RecorderWindow() { return FindWindowW(L"SoundRec", nullptr); }

    HWND StartRecorder() {
        m_recorder = StartProcess(FixtureProgram(Fixture::SoundRecorder));
        return WaitForFixtureLogLine(Fixture::SoundRecorder, "started", kLogWait) ? RecorderWindow()
                                                                                  : nullptr;
    }

    // A command posted now reaches the recorder after anything posted to it
    // before; the log up to it shows what came first.
    static std::vector<std::string> LogUpToMarker(HWND recorder) {
        PostMessageW(recorder, WM_COMMAND, 999, 0);
        EXPECT_TRUE(
            WaitForFixtureLogLine(Fixture::SoundRecorder, "command 999 button none", kLogWait));
        return FixtureLog(Fixture::SoundRecorder);
    }

    Process m_recorder;
};

TEST_F(CorvixSoundRecorder, EachActionPressesItsButtonOfTheOpenRecorder) {
    const HWND recorder = StartRecorder();
    ASSERT_NE(nullptr, recorder);
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    std::vector<std::string> expected = {"started"};
    const struct {
        UINT action;
        const char* pressed;
    } cases[] = {
        {0, "command 209 button 4"}, {1, "command 208 button 3"}, {2, "command 207 button 2"},
        {3, "command 205 button 0"}, {4, "command 206 button 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        EXPECT_NE(0, CVXP_SndRec32(c.action));
        EXPECT_TRUE(WaitForFixtureLogLine(Fixture::SoundRecorder, c.pressed, kLogWait));
        expected.push_back(c.pressed);
    }
    for (UINT action : {5u, 0xFFFFFFFFu}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(HandleToLong(recorder), CVXP_SndRec32(action)) << "the recorder's window";
    }
    expected.push_back("command 999 button none");
    EXPECT_EQ(expected, LogUpToMarker(recorder)) << "actions above 4 press nothing";
    EXPECT_EQ(1u, RunningFixtureProcesses(Fixture::SoundRecorder)) << "no second recorder started";
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CorvixSoundRecorder, OnlyActionZeroStartsAClosedRecorder) {
    ASSERT_EQ(nullptr, RecorderWindow());
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    for (UINT action : {1u, 2u, 3u, 4u, 5u}) {
        SCOPED_TRACE(action);
        EXPECT_EQ(0, CVXP_SndRec32(action));
    }
    EXPECT_EQ(0u, RunningFixtureProcesses(Fixture::SoundRecorder));

    EXPECT_NE(0, CVXP_SndRec32(0));
    const HWND recorder = RecorderWindow();
    ASSERT_NE(nullptr, recorder) << "the action returned before the window existed";
    EXPECT_EQ(
        (std::vector<std::string>{"started", "command 209 button 4", "command 999 button none"}),
        LogUpToMarker(recorder));
    EXPECT_TRUE(boxes.Boxes().empty());
}

// Action 0 on a closed recorder waits, within one 10 s bound, until the started
// recorder shows the fifth button, and no longer than the recorder lives.
TEST_F(CorvixSoundRecorder, StartWaitsForTheFifthButtonWithinTenSeconds) {
    const struct {
        const wchar_t* mode; // of the started recorder, which inherits it
        bool pressed;
        DWORD minimumMs;
        DWORD maximumMs;
        std::vector<std::string> log;
    } cases[] = {
        {L"late-buttons", true, 0, 9000, {"started", "command 209 button 4"}},
        {L"exits", false, 0, 5000, {"exited"}},
        {L"four-buttons", false, 9500, 15000, {"started"}},
        {L"no-window", false, 9500, 15000, {"started without window"}},
    };
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    for (const auto& c : cases) {
        SCOPED_TRACE(Narrow(c.mode));
        EndFixtureProcesses(Fixture::SoundRecorder);
        ClearFixtureLog(Fixture::SoundRecorder);
        SetEnvironmentVariableW(L"QX_SNDREC32_MODE", c.mode);

        const DWORD start = GetTickCount();
        const int result = CVXP_SndRec32(0);
        const DWORD waited = GetTickCount() - start;

        EXPECT_EQ(c.pressed, result != 0);
        EXPECT_GE(waited, c.minimumMs);
        EXPECT_LT(waited, c.maximumMs);
        if (c.pressed) {
            EXPECT_TRUE(WaitForFixtureLogLine(Fixture::SoundRecorder, c.log.back(), kLogWait));
        }
        EXPECT_EQ(c.log, FixtureLog(Fixture::SoundRecorder));
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

} // namespace
