// The tray icon, its tip and menu, the configuration program and the About
// box, driven with the mouse through Wine's system tray; and the session
// switches that let go of the keyboard and take it up again.
#include "ResidentHarness.h"

#include "OsdTestSupport.h"

#include <gtest/gtest.h>

#include <shellapi.h>

#include <functional>

using namespace qxtest;
using namespace residenttest;

namespace {

const wchar_t CONFIG_TITLE[] = L"User Key Configuration";
const wchar_t ABOUT_TITLE[] = L"About Tarvolt 1.5 ...";
const UINT WM_SESSION_CHANGE = 0x02B1;
const UINT ID_TRAY_ABOUT = 32771;

// The tray window is moved away from the screen's corner, so a menu that
// opens with its right edge at the cursor has room to do so.
const POINT TRAY_PLACE = {500, 300};

class ResidentTray : public ResidentTest {
  protected:
    void StartSystem(const Environment& language) {
        m_resident = StartResident(Folder(), language);
        ASSERT_NE(nullptr, m_resident.keyService) << "the resident program did not start";
        const HWND tray = TrayWindow();
        ASSERT_NE(nullptr, tray) << "no system tray window";
        SetWindowPos(tray, HWND_TOPMOST, TRAY_PLACE.x, TRAY_PLACE.y, 0, 0,
                     SWP_NOSIZE | SWP_NOACTIVATE);
        ASSERT_TRUE(WaitUntil(
            [&] {
                const std::vector<HWND> icons = TrayIconWindows();
                RECT area = {};
                return icons.size() == 1 && GetWindowRect(icons.front(), &area) &&
                       area.left >= TRAY_PLACE.x;
            },
            5000))
            << "expected exactly one tray icon, in the moved tray";
        m_icon = TrayIconWindows().front();
    }
    void TearDown() override {
        StopResident(m_resident);
        ResidentTest::TearDown();
    }

    Resident m_resident;
    HWND m_icon = nullptr;
};

HWND VisibleWindowOfClass(const wchar_t* className) {
    const HWND window = FindWindowW(className, nullptr);
    return window && IsWindowVisible(window) ? window : nullptr;
}

HWND WaitForMenu() {
    HWND menu = nullptr;
    WaitUntil([&] { return (menu = VisibleWindowOfClass(L"#32768")) != nullptr; }, 5000);
    return menu;
}

// Point in the middle of the item'th of count items of an open menu.
POINT MenuItemPoint(HWND menu, int item, int count) {
    RECT client = {};
    GetClientRect(menu, &client);
    POINT point = {client.right / 2, client.bottom * (2 * item + 1) / (2 * count)};
    ClientToScreen(menu, &point);
    return point;
}

void PressKey(WORD virtualKey) {
    INPUT keys[2] = {};
    keys[0].type = keys[1].type = INPUT_KEYBOARD;
    keys[0].ki.wVk = keys[1].ki.wVk = virtualKey;
    keys[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInput(2, keys, sizeof(INPUT));
}

// The tip that the tray shows while the mouse rests on the icon.
std::wstring WaitForTrayTip(HWND icon) {
    MoveMouseTo(CentreOf(icon));
    std::wstring tip;
    WaitUntil(
        [&] {
            const HWND tooltip = VisibleWindowOfClass(L"tooltips_class32");
            return tooltip && !(tip = WindowText(tooltip)).empty();
        },
        10000);
    return tip;
}

TEST_F(ResidentTray, IconShowsItsTipInEnglish) {
    StartSystem(EnglishUserInterface());
    EXPECT_EQ(L"Tarvolt 1.5 ", WaitForTrayTip(m_icon));
    TakeScreenshot("resident-tray-tip-en");
}

TEST_F(ResidentTray, IconShowsItsTipInKorean) {
    StartSystem(KoreanUserInterface());
    EXPECT_EQ(L"Tarvolt 1.5 ", WaitForTrayTip(m_icon));
    TakeScreenshot("resident-tray-tip-ko");
}

TEST_F(ResidentTray, RightClickOpensTheMenuAtTheCursorAndExitShutsDown) {
    StartSystem(EnglishUserInterface());
    const POINT cursor = CentreOf(m_icon);
    ClickAt(cursor, MOUSEEVENTF_RIGHTDOWN);
    const HWND menu = WaitForMenu();
    ASSERT_NE(nullptr, menu) << "no menu opened";
    RECT area = {};
    GetWindowRect(menu, &area);
    EXPECT_NEAR(cursor.x, area.right, 2) << "the menu's right edge is not at the cursor";
    EXPECT_NEAR(cursor.y, area.top, 2);
    TakeScreenshot("resident-tray-menu-en");

    Keyboard::ClearLog();
    ClickAt(MenuItemPoint(menu, 2, 3), MOUSEEVENTF_LEFTDOWN);
    const auto exitCode = m_resident.process.WaitForExit(15000);
    ASSERT_TRUE(exitCode.has_value()) << "Exit did not end the program";
    EXPECT_EQ(0u, *exitCode);
    EXPECT_TRUE(TrayIconWindows().empty());
    EXPECT_EQ(nullptr, FindWindowW(nullptr, INSTANCE_TITLE));
    Keyboard::ClearLog();
    PumpMessages(300);
    EXPECT_EQ(0u, Keyboard::PollCount(Keyboard::Log())) << "polled after Exit";
}

TEST_F(ResidentTray, KoreanMenuAboutAndUserConfig) {
    StartSystem(KoreanUserInterface());
    ClickAt(CentreOf(m_icon), MOUSEEVENTF_RIGHTDOWN);
    HWND menu = WaitForMenu();
    ASSERT_NE(nullptr, menu);
    TakeScreenshot("resident-tray-menu-ko");

    // First item: the About box, in Korean.
    ClickAt(MenuItemPoint(menu, 0, 3), MOUSEEVENTF_LEFTDOWN);
    const HWND about = WaitForProcessWindow(m_resident.process.Id(), ABOUT_TITLE, 10000);
    ASSERT_NE(nullptr, about) << "no About box";
    EXPECT_TRUE(WaitUntil([&] { return IsWindowVisible(about) != FALSE; }, 5000));
    EXPECT_EQ(Wide("확인"), DialogItemText(about, IDOK));
    TakeScreenshot("resident-about-ko");
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about, 5000));

    // Second item: the configuration program.
    ClickAt(CentreOf(m_icon), MOUSEEVENTF_RIGHTDOWN);
    menu = WaitForMenu();
    ASSERT_NE(nullptr, menu);
    ClickAt(MenuItemPoint(menu, 1, 3), MOUSEEVENTF_LEFTDOWN);
    EXPECT_NE(nullptr, WaitForWindow(CONFIG_TITLE, nullptr, 15000));
    EXPECT_TRUE(m_resident.process.IsRunning());
}

// The hidden window keeps the keyboard once the menu or the About box has
// closed, and the dialog manager turns Escape and Enter into its end: no key
// may end the program.
TEST_F(ResidentTray, KeysAfterTheMenuOrTheAboutBoxLeaveTheProgramRunning) {
    for (bool about : {false, true}) {
        for (WORD key : {WORD(VK_ESCAPE), WORD(VK_RETURN)}) {
            SCOPED_TRACE(std::string(about ? "About box, " : "menu, ") + std::to_string(key));
            if (!m_resident.process.IsRunning()) // ended by a key of an earlier row
                StartSystem(EnglishUserInterface());
            ClickAt(CentreOf(m_icon), MOUSEEVENTF_RIGHTDOWN);
            const HWND menu = WaitForMenu();
            ASSERT_NE(nullptr, menu);
            HWND box = nullptr;
            if (about) {
                ClickAt(MenuItemPoint(menu, 0, 3), MOUSEEVENTF_LEFTDOWN);
                box = WaitForProcessWindow(m_resident.process.Id(), ABOUT_TITLE, 10000);
                ASSERT_NE(nullptr, box) << "no About box";
                ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == box; }, 5000));
            }
            PressKey(about ? key : WORD(VK_ESCAPE));
            EXPECT_TRUE(WaitUntil(
                [&] { return VisibleWindowOfClass(L"#32768") == nullptr && !IsWindow(box); },
                5000));
            PressKey(key);
            PressKey(key);
            EXPECT_FALSE(m_resident.process.WaitForExit(2000).has_value()) << "a key ended it";
            EXPECT_TRUE(TrayIconExists(m_resident.keyService, TRAY_ICON_ID));
        }
    }
}

// Windows 2000's shell takes only the icon records it knows, and a 32-bit
// build must hand it the version-5 one.
TEST_F(ResidentTray, EveryIconCallHandsTheShellTheVersion5Record) {
    const osdtest::GlobalHook watch(WH_CBT, "WatchShellCallsFromStart");
    ASSERT_TRUE(watch);
    StartSystem(EnglishUserInterface());
    ASSERT_TRUE(StopResident(m_resident));
    std::vector<std::string> calls;
    for (const std::string& line : ReadLines(Folder().File(L"shell-calls.log")))
        if (line.rfind("Shell_NotifyIconA", 0) == 0)
            calls.push_back(line);
    const std::string size = " size " + std::to_string(NOTIFYICONDATAA_V2_SIZE);
    EXPECT_EQ((std::vector<std::string>{"Shell_NotifyIconA 0" + size, "Shell_NotifyIconA 1" + size,
                                        "Shell_NotifyIconA 2" + size}),
              calls);
}

TEST_F(ResidentTray, DoubleClickStartsTheConfigProgramAndASecondOneFindsTheFirst) {
    StartSystem(EnglishUserInterface());
    ClickAt(CentreOf(m_icon), MOUSEEVENTF_LEFTDOWN, 2);
    const HWND config = WaitForWindow(CONFIG_TITLE, nullptr, 15000);
    ASSERT_NE(nullptr, config) << "a double click did not start the configuration program";

    PumpMessages(600); // apart from the first double click
    ClickAt(CentreOf(m_icon), MOUSEEVENTF_LEFTDOWN, 2);
    EXPECT_TRUE(WaitUntil([&] { return ProcessesIn(Folder(), L"Pellor.exe").size() == 1; }, 10000));
    EXPECT_EQ(config, FindWindowW(nullptr, CONFIG_TITLE));
}

TEST_F(ResidentTray, SingleClicksAndButtonDownsDoNothing) {
    StartSystem(EnglishUserInterface());
    for (UINT mouse :
         {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_RBUTTONDOWN, WM_MOUSEMOVE, WM_RBUTTONDBLCLK})
        PostMessageW(m_resident.keyService, WM_TRAYNOTIFY, TRAY_ICON_ID, mouse);
    // Handled in order: once the double click has opened the configuration
    // program, the messages before it were handled too.
    PostMessageW(m_resident.keyService, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_LBUTTONDBLCLK);
    ASSERT_NE(nullptr, WaitForWindow(CONFIG_TITLE, nullptr, 15000));
    EXPECT_EQ(nullptr, VisibleWindowOfClass(L"#32768"));
    EXPECT_EQ(1u, ProcessesIn(Folder(), L"Pellor.exe").size());
}

TEST_F(ResidentTray, SystemMenuCommandShowsTheAboutBox) {
    StartSystem(EnglishUserInterface());
    PostMessageW(m_resident.keyService, WM_SYSCOMMAND, 0x0010, 0);
    const HWND about = WaitForProcessWindow(m_resident.process.Id(), ABOUT_TITLE, 10000);
    ASSERT_NE(nullptr, about);
    EXPECT_EQ(L"OK", DialogItemText(about, IDOK));
    TakeScreenshot("resident-about-en");
    ClickButton(about, IDOK);
    EXPECT_TRUE(WaitForWindowGone(about, 5000));
    EXPECT_TRUE(m_resident.process.IsRunning());
}

// The installer's stop request waits 10 s: the program ends within that
// whichever of its own modal windows is open.
TEST_F(ResidentTray, StopRequestEndsTheProgramWhileOneOfItsModalWindowsIsOpen) {
    struct Case {
        const char* name;
        std::function<HWND(const Resident&)> open;
    } cases[] = {
        {"About box",
         [](const Resident& resident) {
             PostMessageW(resident.keyService, WM_COMMAND, ID_TRAY_ABOUT, 0);
             return WaitForProcessWindow(resident.process.Id(), ABOUT_TITLE, 10000);
         }},
        {"tray menu",
         [](const Resident& resident) {
             PostMessageW(resident.keyService, WM_TRAYNOTIFY, TRAY_ICON_ID, WM_RBUTTONUP);
             return WaitForMenu();
         }},
        {"shell library's message box",
         [](const Resident& resident) {
             DeleteUserKey(PREFERENCE_KEY);
             Keyboard::Press(16, 1);
             return WaitForProcessWindow(resident.process.Id(), L"Tarvolt", 10000);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_resident = StartResident(Folder());
        ASSERT_NE(nullptr, m_resident.keyService) << "the resident program did not start";
        const HWND modal = c.open(m_resident);
        ASSERT_NE(nullptr, modal) << "the window did not open";
        SendMessageTimeoutW(m_resident.marker, WM_CLOSE, 0, 999, SMTO_ABORTIFHUNG, 5000, nullptr);
        EXPECT_TRUE(m_resident.process.WaitForExit(10000).has_value())
            << "the stop request left the program running";
        EXPECT_FALSE(IsWindow(modal));
        EXPECT_TRUE(TrayIconWindows().empty());
        EndProcessesIn(Folder());
    }
}

// Session switches: sent straight to the key-service window as the session
// library would, and on Windows XP through the session library's own window.
class ResidentSession : public ResidentTray {
  protected:
    // Away from the console no request reaches the keyboard; back again, the
    // key still queued there is fetched and shown. Twice, with one tray icon
    // throughout.
    void ExpectAwayAndBack(const std::function<void(bool away)>& switchSession) {
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE("round " + std::to_string(round));
            switchSession(true);
            Keyboard::ClearLog();
            PumpMessages(300);
            EXPECT_EQ(0u, Keyboard::PollCount(Keyboard::Log())) << "polled while away";
            Keyboard::Press(16, 1);
            PumpMessages(300);
            EXPECT_TRUE(ProcessesIn(Folder(), L"Vistrel.exe").empty());
            EXPECT_EQ(1u, TrayIconWindows().size());

            switchSession(false);
            EXPECT_TRUE(
                WaitUntil([&] { return !ProcessesIn(Folder(), L"Vistrel.exe").empty(); }, 10000))
                << "the key queued while away was not shown after the return";
            EXPECT_EQ(1u, TrayIconWindows().size());
            EXPECT_TRUE(TrayIconExists(m_resident.keyService, TRAY_ICON_ID));
            EndNotices();
        }
    }
};

TEST_F(ResidentSession, SessionSwitchMessagesUnloadAndReloadTheDeviceLink) {
    StartSystem(EnglishUserInterface());
    ExpectAwayAndBack([&](bool away) {
        DWORD_PTR result = 0;
        ASSERT_TRUE(SendMessageTimeoutW(m_resident.keyService, WM_SESSIONSWITCH, away ? 1 : 0,
                                        away ? 1 : 0, SMTO_ABORTIFHUNG, 10000, &result));
        EXPECT_NE(0u, result) << (away ? "UnloadDriver" : "LoadDriver") << " failed";
    });
    // A reconnect while connected: the link is already loaded.
    DWORD_PTR result = 1;
    SendMessageTimeoutW(m_resident.keyService, WM_SESSIONSWITCH, 0, 0, SMTO_ABORTIFHUNG, 10000,
                        &result);
    EXPECT_EQ(0u, result);
}

TEST_F(ResidentSession, ReconnectWithoutTheKeyboardIsSilentAndTheNextOneResumesKeys) {
    StartSystem(EnglishUserInterface());
    // A box would hold the handler, and with it the sender, until answered.
    auto switchSession = [&](WPARAM away) {
        DWORD_PTR result = 0;
        EXPECT_TRUE(SendMessageTimeoutW(m_resident.keyService, WM_SESSIONSWITCH, away, away,
                                        SMTO_ABORTIFHUNG, 10000, &result))
            << "the session switch did not return";
        return result;
    };
    EXPECT_NE(0u, switchSession(1));
    Keyboard::Unplug();
    EXPECT_EQ(0u, switchSession(0)) << "the device link opened without a keyboard";
    EXPECT_TRUE(VisibleWindowsOf(m_resident.process.Id()).empty());

    Keyboard::Plug();
    EXPECT_NE(0u, switchSession(0)) << "the device link did not open again";
    Keyboard::Press(16, 1);
    EXPECT_EQ(L"Mute``0`0`255", WaitForNoticeParameters());
    EXPECT_EQ(1u, TrayIconWindows().size());
}

TEST_F(ResidentSession, OnWindowsXpTheSessionLibrarysWindowForwardsConsoleSwitches) {
    SetProgramWindowsVersion(L"Tarvolt.exe", L"winxp");
    StartSystem(EnglishUserInterface());
    const HWND monitor = WaitForProcessWindow(m_resident.process.Id(), L"MSG_MONITOR", 10000);
    ASSERT_NE(nullptr, monitor) << "the session library built no monitor window";

    // Locking and unlocking leave the link alone.
    for (WPARAM event : {WPARAM(7), WPARAM(8)})
        SendMessageTimeoutW(monitor, WM_SESSION_CHANGE, event, 1, SMTO_ABORTIFHUNG, 10000, nullptr);
    Keyboard::ClearLog();
    EXPECT_TRUE(WaitUntil([] { return Keyboard::PollCount(Keyboard::Log()) > 0; }, 5000));

    ExpectAwayAndBack([&](bool away) {
        // 2: disconnected from the console; 1: connected to it.
        SendMessageTimeoutW(monitor, WM_SESSION_CHANGE, away ? 2 : 1, 1, SMTO_ABORTIFHUNG, 10000,
                            nullptr);
    });
}

} // namespace
