// Key presses on the simulated keyboard, end to end: labels through the
// on-screen display, the programmable keys' bindings, the volume pop-up.
#include "ResidentHarness.h"

#include "OsdTestSupport.h"
#include "fixtures/setup/FixtureSetup.h"
#include "framework/Handles.h"

#include <gtest/gtest.h>

#include <functional>

using namespace qxtest;
using namespace residenttest;

namespace {

const std::wstring PROG1_KEY = std::wstring(USER_KEYS_KEY) + L"\\Prog 1";
const std::wstring PROG2_KEY = std::wstring(USER_KEYS_KEY) + L"\\Prog 2";
const wchar_t CONFIG_TITLE[] = L"User Key Configuration";

class ResidentKeys : public ResidentTest {
  protected:
    void SetUp() override {
        ResidentTest::SetUp();
        m_resident = StartResident(Folder());
        ASSERT_NE(nullptr, m_resident.keyService) << "the resident program did not start";
    }
    void TearDown() override {
        StopResident(m_resident);
        ResidentTest::TearDown();
    }
    std::vector<std::string> VolumeControlLog() {
        return ReadLines(Folder().File(L"sndvol32.log"));
    }

    Resident m_resident;
};

// Lines of a fixture log that hold the given event word.
std::vector<std::string> Events(const std::vector<std::string>& log, const std::string& event) {
    std::vector<std::string> found;
    for (const std::string& line : log) {
        const std::size_t first = line.find(' ');
        const std::size_t second = line.find(' ', first + 1);
        if (second != std::string::npos && line.compare(second + 1, event.size(), event) == 0)
            found.push_back(line);
    }
    return found;
}

// The shell open calls for web addresses that the hook WatchShellCalls noted
// in the resident program.
std::vector<std::string> WebAddressCalls(const RunFolder& folder) {
    std::vector<std::string> calls;
    for (const std::string& line : ReadLines(folder.File(L"shell-calls.log")))
        if (line.find("http://") != std::string::npos)
            calls.push_back(line);
    return calls;
}

// Has the hook WatchShellCalls note the resident program's shell open calls in
// shell-calls.log from now on: the hook's library stays in the program.
bool WatchShellCalls(HWND keyService) {
    const qx::unique_handle watched(
        CreateEventW(nullptr, TRUE, FALSE, L"QX test shell calls watched"));
    osdtest::GlobalHook watch(WH_GETMESSAGE, "WatchShellCalls");
    if (!watched || !watch)
        return false;
    PostMessageW(keyService, WM_NULL, 0, 0);
    return WaitUntil([&] { return WaitForSingleObject(watched.get(), 0) == WAIT_OBJECT_0; }, 10000);
}

DWORD TickOf(const std::string& logLine) {
    return static_cast<DWORD>(std::stoul(logLine.substr(0, logLine.find(' '))));
}

// A "Volume Control" window of the test's own, as if the user had opened the
// volume control; it notes when it is asked to close, then runs onClose.
class OwnVolumeControl {
  public:
    explicit OwnVolumeControl(std::function<void(HWND)> onClose = {})
        : m_onClose(std::move(onClose)) {
        WNDCLASSW windowClass = {};
        windowClass.lpfnWndProc = WindowProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"ResidentTestVolumeControl";
        RegisterClassW(&windowClass);
        m_window = CreateWindowExW(WS_EX_TOOLWINDOW, windowClass.lpszClassName, L"Volume Control",
                                   WS_POPUP, 0, 0, 50, 50, nullptr, nullptr, windowClass.hInstance,
                                   nullptr);
        SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    }
    ~OwnVolumeControl() {
        if (IsWindow(m_window))
            DestroyWindow(m_window);
    }
    bool Closed() const { return m_closedAt != 0; }
    DWORD ClosedAt() const { return m_closedAt; }

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_CLOSE) {
            auto* self =
                reinterpret_cast<OwnVolumeControl*>(GetWindowLongPtrW(window, GWLP_USERDATA));
            if (self)
                self->m_closedAt = GetTickCount();
            if (self && self->m_onClose)
                self->m_onClose(window);
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    std::function<void(HWND)> m_onClose;
    HWND m_window = nullptr;
    DWORD m_closedAt = 0;
};

TEST_F(ResidentKeys, UnboundProg1ShowsItsLabelCreatesItsEntryAndOpensTheConfigProgram) {
    Keyboard::Press(1, 1);
    EXPECT_EQ(L"Prog 1``0`0`255", WaitForNoticeParameters());
    const HWND config = WaitForWindow(CONFIG_TITLE, nullptr, 15000);
    ASSERT_NE(nullptr, config) << "the configuration program did not open";
    EXPECT_EQ(1u, ProcessesIn(Folder(), L"Pellor.exe").size());

    const auto type = ReadUserValue(PROG1_KEY, L"Type");
    ASSERT_TRUE(type.has_value()) << "no store entry for Prog 1";
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type->type);
    EXPECT_EQ((std::vector<BYTE>{0, 0, 0, 0}), type->data);
    EXPECT_EQ(std::optional<std::string>(""), ReadUserString(PROG1_KEY, L"Command"));
}

TEST_F(ResidentKeys, MyComputerAndMuteShowOnlyTheirLabels) {
    struct Case {
        unsigned code;
        const wchar_t* parameters;
    } cases[] = {{3, L"My Computer``0`0`255"}, {16, L"Mute``0`0`255"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        EndNotices();
        Keyboard::Press(c.code, 1);
        EXPECT_EQ(c.parameters, WaitForNoticeParameters());
        ASSERT_TRUE(Keyboard::WaitForHandled());
    }
    EXPECT_TRUE(ProcessesIn(Folder(), L"Pellor.exe").empty());
    EXPECT_FALSE(UserKeyExists(USER_KEYS_KEY)) << "a label-only key read the user-key store";
    EXPECT_TRUE(VolumeControlLog().empty());
}

TEST_F(ResidentKeys, NoticeWindowOfALabelComesUp) {
    Keyboard::Press(16, 1);
    ASSERT_EQ(L"Mute``0`0`255", WaitForNoticeParameters());
    const std::vector<DWORD> notices = ProcessesIn(Folder(), L"Vistrel.exe");
    ASSERT_EQ(1u, notices.size());
    EXPECT_TRUE(WaitUntil([&] { return !VisibleWindowsOf(notices.front()).empty(); }, 10000))
        << "the display showed nothing";
    TakeScreenshot("resident-mute-label");
}

TEST_F(ResidentKeys, KeysOutsideTheTableAndWrongStatesDoNothing) {
    const unsigned presses[][2] = {{3, 0}, {16, 0}, {12, 1}, {15, 1},  {0, 1},
                                   {4, 1}, {11, 1}, {17, 1}, {255, 1}, {1, 0}};
    std::wstring words = L"queue";
    for (const auto& press : presses)
        words += L" " + std::to_wstring(press[0]) + L":" + std::to_wstring(press[1]);
    // Parameters are pointer-sized on win64: a code or a state that matches
    // the table only in its low 32 bits is no key of it.
    if (sizeof(WPARAM) > 4) {
        const unsigned long long wide[][2] = {{0x100000010ull, 1}, {12, 1ull << 32}};
        for (const auto& event : wide)
            SendMessageTimeoutW(m_resident.keyService, WM_DEVICEKEY, static_cast<WPARAM>(event[0]),
                                static_cast<LPARAM>(event[1]), SMTO_ABORTIFHUNG, 5000, nullptr);
    }
    ASSERT_EQ(0u, Keyboard::Run(words).exitCode);
    ASSERT_TRUE(Keyboard::WaitForHandled());

    EXPECT_TRUE(ProcessesIn(Folder(), L"Vistrel.exe").empty());
    EXPECT_TRUE(ProcessesIn(Folder(), L"Pellor.exe").empty());
    EXPECT_TRUE(ProcessesIn(Folder(), L"sndvol32.exe").empty());
    EXPECT_TRUE(VolumeControlLog().empty());
    EXPECT_FALSE(UserKeyExists(USER_KEYS_KEY));
}

TEST_F(ResidentKeys, ChangedColourPreferenceReachesTheDisplayUnchanged) {
    struct Case {
        const char* stored;
        const wchar_t* parameters;
    } cases[] = {
        {"255`0`0", L"Mute``255`0`0"},
        {"", L"Mute``0`0`255"},          // a bare terminating zero: the default
        {"10`x`7`9", L"Mute``10`x`7`9"}, // passed on without any check
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        EndNotices();
        SetUserString(PREFERENCE_KEY, L"OSDRGBColor", c.stored);
        Keyboard::Press(16, 1);
        EXPECT_EQ(c.parameters, WaitForNoticeParameters());
        ASSERT_TRUE(Keyboard::WaitForHandled());
    }
}

TEST_F(ResidentKeys, UnreadableColourGivesTheShellLibrarysBoxThenTheDefault) {
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);
    struct Case {
        const char* name;
        std::function<void()> spoil;
        bool keyPresent;
    } cases[] = {
        {"key deleted", [] { DeleteUserKey(PREFERENCE_KEY); }, false},
        {"value deleted",
         [] {
             SetUserString(PREFERENCE_KEY, L"AudioCDDrive", "");
             RegDeleteKeyValueW(HKEY_CURRENT_USER, PREFERENCE_KEY, L"OSDRGBColor");
         },
         true},
        // 100 characters and the zero do not fit the 100-byte buffer.
        {"100 characters",
         [] { SetUserString(PREFERENCE_KEY, L"OSDRGBColor", std::string(100, '7')); }, true},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        EndNotices();
        cases[i].spoil();
        Keyboard::Press(16, 1);
        ASSERT_TRUE(boxes.WaitForBoxes(i + 1, 10000)) << "no box for the unreadable colour";
        EXPECT_EQ(L"Mute``0`0`255", WaitForNoticeParameters());
        ASSERT_TRUE(Keyboard::WaitForHandled());
        EXPECT_EQ(cases[i].keyPresent, UserKeyExists(PREFERENCE_KEY))
            << "a key press created or removed the preference key";
    }
    EXPECT_EQ(std::size(cases), boxes.Boxes().size());
}

TEST_F(ResidentKeys, MissingProgramsLeaveTheRestAlone) {
    const ClassesRegistration webHandler = RegisterWebHandler();
    Folder().Remove(L"Vistrel.exe");
    Folder().Remove(L"Pellor.exe");

    // No label, but the bound action runs.
    SetUserDword(PROG2_KEY, L"Type", 1);
    SetUserString(PROG2_KEY, L"Command", "http://example.test/unlabelled");
    Keyboard::Press(2, 1);
    EXPECT_TRUE(
        WaitForFixtureLogLine(Fixture::WebHandler, "open http://example.test/unlabelled", 15000))
        << "the bound action did not run without the display program";
    EndFixtureProcesses(Fixture::WebHandler);

    // Unbound, without the configuration program: nothing at all.
    Keyboard::Press(1, 1);
    ASSERT_TRUE(Keyboard::WaitForHandled()) << "the key handler is held up";
    EXPECT_TRUE(VisibleWindowsOf(m_resident.process.Id()).empty()) << "a box came up";
    EXPECT_EQ(nullptr, FindWindowW(nullptr, CONFIG_TITLE));
    EXPECT_TRUE(m_resident.process.IsRunning());
}

TEST_F(ResidentKeys, LabelLeavesTheForegroundAndTheTypedKeysWithTheUsersWindow) {
    Process typist = StartProcess(TestBinPath(L"OsdTypist.exe"));
    const HWND window = WaitForProcessWindow(typist.Id(), L"Osd Typist", 15000);
    ASSERT_NE(nullptr, window);
    const HWND edit = FindWindowExW(window, nullptr, L"Edit", nullptr);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 10000));
    ForegroundRecorder foreground;

    Keyboard::Press(16, 1);
    ASSERT_EQ(L"Mute``0`0`255", WaitForNoticeParameters());
    const std::vector<DWORD> notices = ProcessesIn(Folder(), L"Vistrel.exe");
    ASSERT_EQ(1u, notices.size());
    ASSERT_TRUE(WaitUntil([&] { return !VisibleWindowsOf(notices.front()).empty(); }, 10000))
        << "the display showed nothing";
    TypeText(L"qx");
    EXPECT_TRUE(WaitUntil([&] { return WindowText(edit) == L"qx"; }, 5000))
        << "keys typed over the label were lost";
    EXPECT_EQ(std::set<HWND>{window}, foreground.Stop()) << "the label came to the foreground";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(typist.WaitForExit(5000).has_value());
}

TEST_F(ResidentKeys, BoundWebAddressesTakeTheirOwnRoutesToTheWebHandler) {
    const ClassesRegistration webHandler = RegisterWebHandler();
    // Wine's plain shell open expands environment strings as the shell
    // library's action does, so the opened address alone cannot tell the two
    // routes apart: the hook notes which module makes which shell call.
    ASSERT_TRUE(WatchShellCalls(m_resident.keyService))
        << "the hook did not reach the resident program";

    const char byHand[] = "http://example.test/%USERNAME%/by-hand";
    char expanded[300] = {};
    ASSERT_GT(ExpandEnvironmentStringsA(byHand, expanded, sizeof expanded), 0u);
    ASSERT_STRNE(byHand, expanded);
    struct Case {
        unsigned code;
        const std::wstring& key;
        DWORD type;
        const char* stored;
        const char* call;
        const char* opened;
        const wchar_t* label;
    } cases[] = {
        {2, PROG2_KEY, 1, "http://example.test/prog2",
         "ShellExecuteA from Tarvolt.exe: http://example.test/prog2", "http://example.test/prog2",
         L"Prog 2``0`0`255"},
        // Type 0 with a command, as a store edited by hand holds it: the
        // shell library's web-address action, which has the shell expand
        // environment strings and show no error box.
        {1, PROG1_KEY, 0, byHand,
         "ShellExecuteExA from Corvix.dll, mask 0x780: http://example.test/%USERNAME%/by-hand",
         expanded, L"Prog 1``0`0`255"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EndNotices();
        ClearFixtureLog(Fixture::WebHandler);
        DeleteFileW(Folder().File(L"shell-calls.log").c_str());
        SetUserDword(c.key, L"Type", c.type);
        SetUserString(c.key, L"Command", c.stored);
        Keyboard::Press(c.code, 1);
        EXPECT_EQ(c.label, WaitForNoticeParameters());
        EXPECT_TRUE(
            WaitForFixtureLogLine(Fixture::WebHandler, std::string("open ") + c.opened, 15000))
            << "the web handler was not asked to open the address: "
            << ::testing::PrintToString(FixtureLog(Fixture::WebHandler));
        EXPECT_EQ(std::vector<std::string>{c.call}, WebAddressCalls(Folder()));
        EXPECT_TRUE(ProcessesIn(Folder(), L"Pellor.exe").empty());
        EndFixtureProcesses(Fixture::WebHandler);
    }
}

TEST_F(ResidentKeys, ProgrammableKeyBoundToAProgramStartsItWholeAndFollowsANewBinding) {
    // A program path with a blank: the whole command is the file to open.
    const std::wstring tools = Folder().File(L"My Tools");
    CreateDirectoryW(tools.c_str(), nullptr);
    DeleteFileW((tools + L"\\sndvol32.log").c_str()); // from an earlier run
    ASSERT_TRUE(
        CopyFileW(Folder().File(L"sndvol32.exe").c_str(), (tools + L"\\tool.exe").c_str(), FALSE));
    const std::string toolPath(tools.begin(), tools.end());
    SetUserDword(PROG2_KEY, L"Type", 2);
    SetUserString(PROG2_KEY, L"Command", toolPath + "\\tool.exe");

    Keyboard::Press(2, 1);
    EXPECT_EQ(L"Prog 2``0`0`255", WaitForNoticeParameters());
    std::vector<std::string> log;
    EXPECT_TRUE(WaitUntil(
        [&] { return !Events(log = ReadLines(tools + L"\\sndvol32.log"), "arguments").empty(); },
        10000))
        << "the bound program did not start";
    EXPECT_EQ(1u, Events(log, "start").size());
    EXPECT_EQ(1u, Events(log, "arguments").size());
    EXPECT_TRUE(Events(log, "arguments -t").empty());
    EXPECT_TRUE(ProcessesIn(Folder(), L"Pellor.exe").empty());

    // Rebound while the resident program runs: the next press follows it.
    SetUserDword(PROG2_KEY, L"Type", 0);
    SetUserString(PROG2_KEY, L"Command", "");
    Keyboard::Press(2, 1);
    EXPECT_NE(nullptr, WaitForWindow(CONFIG_TITLE, nullptr, 15000));
    log = ReadLines(tools + L"\\sndvol32.log");
    EXPECT_EQ(1u, Events(log, "start").size()) << ::testing::PrintToString(log);
}

TEST_F(ResidentKeys, VolumeBurstStartsTheVolumeControlOnceAndClosesItASecondAfterTheLast) {
    DWORD lastPress = 0;
    for (unsigned code : {12u, 15u, 12u, 15u}) {
        Keyboard::Press(code, 0);
        lastPress = GetTickCount();
        PumpMessages(300);
    }
    std::vector<std::string> log;
    ASSERT_TRUE(
        WaitUntil([&] { return !Events(log = VolumeControlLog(), "close").empty(); }, 10000))
        << "the volume control was never closed";
    EXPECT_EQ(1u, Events(log, "start").size()) << "started more than once";
    EXPECT_EQ(std::vector<std::string>{"-t"}.size(), Events(log, "arguments -t").size());
    const DWORD closedAfter = TickOf(Events(log, "close").front()) - lastPress;
    EXPECT_GE(closedAfter, 900u);
    EXPECT_LE(closedAfter, 1800u);
    EXPECT_TRUE(WaitUntil([] { return !FindWindowW(nullptr, L"Volume Control"); }, 3000));

    // The close timer stopped itself: a volume control opened later stays.
    OwnVolumeControl own;
    PumpMessages(2500);
    EXPECT_FALSE(own.Closed()) << "the close timer kept closing volume controls";
}

TEST_F(ResidentKeys, VolumeControlThatCannotStartIsNotWaitedFor) {
    Folder().Remove(L"sndvol32.exe");
    Keyboard::Press(12, 0);
    const DWORD pressed = GetTickCount();
    ASSERT_TRUE(Keyboard::WaitForHandled());
    WaitUntil([&] { return GetTickCount() - pressed >= 2000; }, 3000);
    // Opened by the user once the close tick a second after the key is past.
    OwnVolumeControl own;
    PumpMessages(2500);
    EXPECT_FALSE(own.Closed()) << "the close timer waited on for a volume control that never came";
}

// Gone at once (the user's Esc), before the close tick: the next volume key
// starts it again. Its process is ended, as Wine without a window manager
// holds a closed captioned window up for 2 s.
TEST_F(ResidentKeys, VolumeControlClosedByTheUserIsStartedAgainByTheNextVolumeKey) {
    Keyboard::Press(12, 0);
    const HWND popup = WaitForWindow(L"Volume Control", nullptr, 10000);
    ASSERT_NE(nullptr, popup) << "the volume control did not open";
    EndProcesses(ProcessesIn(Folder(), L"sndvol32.exe"));
    ASSERT_TRUE(WaitForWindowGone(popup, 500));
    PumpMessages(1500);
    Keyboard::Press(15, 0);
    EXPECT_TRUE(WaitUntil([&] { return Events(VolumeControlLog(), "start").size() == 2; }, 5000))
        << "the next volume key started no volume control";
}

TEST_F(ResidentKeys, VolumeControlThatOpensLateIsStillClosed) {
    ASSERT_TRUE(CopyFileW(TestBinPath(L"sndvol32_late.exe").c_str(),
                          Folder().File(L"sndvol32.exe").c_str(), FALSE));
    Keyboard::Press(12, 0);
    std::vector<std::string> log;
    ASSERT_TRUE(
        WaitUntil([&] { return !Events(log = VolumeControlLog(), "window").empty(); }, 10000))
        << "the late volume control never opened";
    EXPECT_TRUE(
        WaitUntil([&] { return !Events(log = VolumeControlLog(), "close").empty(); }, 10000))
        << "the volume control that opened late stayed open";
    EXPECT_EQ(1u, Events(log, "start").size());
    // Its second is counted from when it came.
    EXPECT_GE(TickOf(Events(log, "close").front()) - TickOf(Events(log, "window").front()), 900u);
}

// The close request lets key events in while it waits. A volume key served
// then, once the window it closes has gone, starts its own pop-up (a late
// one here), and that one is closed in turn.
TEST_F(ResidentKeys, VolumeKeyServedDuringTheCloseGetsItsPopupClosedInTurn) {
    ASSERT_TRUE(CopyFileW(TestBinPath(L"sndvol32_late.exe").c_str(),
                          Folder().File(L"sndvol32.exe").c_str(), FALSE));
    OwnVolumeControl own([](HWND window) {
        DestroyWindow(window);
        Keyboard::Press(15, 0);
        Keyboard::WaitForHandled();
    });
    Keyboard::Press(12, 0);
    std::vector<std::string> log;
    ASSERT_TRUE(
        WaitUntil([&] { return !Events(log = VolumeControlLog(), "window").empty(); }, 10000))
        << "the key served during the close started no volume control";
    EXPECT_TRUE(
        WaitUntil([&] { return !Events(log = VolumeControlLog(), "close").empty(); }, 10000))
        << "nothing closed the volume control started during the close";
}

TEST_F(ResidentKeys, OpenVolumeControlIsNotStartedAgainButClosedASecondAfterTheLastEvent) {
    OwnVolumeControl own;
    Keyboard::Press(12, 0);
    PumpMessages(300);
    Keyboard::Press(15, 0);
    const DWORD lastPress = GetTickCount();
    ASSERT_TRUE(WaitUntil([&] { return own.Closed(); }, 5000));
    EXPECT_GE(own.ClosedAt() - lastPress, 900u);
    EXPECT_LE(own.ClosedAt() - lastPress, 1800u);
    EXPECT_TRUE(VolumeControlLog().empty()) << "a second volume control was started";
}

// A stop request served while a key's box is up ends the program: neither
// the key held in the box (an unbound Prog 1: label, then the configuration
// program) nor the events queued behind it start anything after the stop.
TEST_F(ResidentKeys, StopRequestEndsTheProgramWhileKeyEventsKeepComing) {
    ASSERT_TRUE(WatchShellCalls(m_resident.keyService));
    DeleteUserKey(PREFERENCE_KEY); // each labelled press gives its box
    ASSERT_EQ(0u, Keyboard::Run(L"queue 1:1 16:1").exitCode);
    ASSERT_NE(nullptr, WaitForWindow(L"Tarvolt", L"#32770", 10000)) << "no box for the colour";
    EXPECT_TRUE(StopResident(m_resident, 10000)) << "the program did not end";
    std::vector<std::string> starts;
    for (const std::string& line : ReadLines(Folder().File(L"shell-calls.log")))
        if (line.rfind("ShellExecute", 0) == 0)
            starts.push_back(line);
    EXPECT_EQ(std::vector<std::string>{}, starts) << "started after the stop request";
}

} // namespace
