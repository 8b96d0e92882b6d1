// Notices never take the keyboard focus: whatever the user types while one
// is up reaches the window the user types in.
#include "OsdTestSupport.h"

#include <gtest/gtest.h>

using namespace osdtest;
using qxtest::ForegroundRecorder;
using qxtest::Process;
using qxtest::TypeText;
using qxtest::WaitUntil;

namespace {

constexpr DWORD kAppearTimeout = 30000;

// A left click at a point of the screen, as the mouse would make it.
void ClickAt(POINT point) {
    ASSERT_TRUE(SetCursorPos(point.x, point.y));
    INPUT buttons[2] = {};
    buttons[0].type = INPUT_MOUSE;
    buttons[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    buttons[1].type = INPUT_MOUSE;
    buttons[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    ASSERT_EQ(2u, SendInput(2, buttons, sizeof(INPUT)));
}

TEST(OsdFocus, KeysTypedWhileNoticesAreUpReachTheUsersWindow) {
    Process typist = qxtest::StartProcess(qxtest::TestBinPath(L"OsdTypist.exe"));
    const HWND window = qxtest::WaitForProcessWindow(typist.Id(), L"Osd Typist", kAppearTimeout);
    ASSERT_NE(nullptr, window);
    const HWND edit = FindWindowExW(window, nullptr, L"Edit", nullptr);
    ASSERT_NE(nullptr, edit);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == window; }, 10000));
    auto typed = [&](const wchar_t* text) {
        return WaitUntil([&] { return qxtest::WindowText(edit) == text; }, 5000);
    };
    ForegroundRecorder foreground;

    // A text notice, typed over and clicked on.
    Process display = StartVistrel(L"Typing``0`0`255`50`700`0`60000");
    const HWND notice = WaitForNotice(display.Id(), L"Typing", kAppearTimeout);
    ASSERT_NE(nullptr, notice);
    TypeText(L"abc");
    EXPECT_TRUE(IsWindowVisible(notice));
    EXPECT_TRUE(typed(L"abc")) << "keys typed over a text notice were lost";
    const GlyphRaster raster("Typing", {"Arial", 50, 0, 700, 0});
    const POINT stroke = raster.StrokePoints().front();
    const RECT noticeRect = WindowRect(notice);
    ClickAt({noticeRect.left + stroke.x, noticeRect.top + stroke.y});
    TypeText(L"d");
    EXPECT_TRUE(typed(L"abcd")) << "a click on a notice took the keys";

    // The same display turned into a volume notice.
    PostMessageW(FindDisplay(), WM_CLOSE, 1, 20);
    const HWND bar = WaitForNotice(display.Id(), Strokes(20), 5000);
    ASSERT_NE(nullptr, bar);
    TypeText(L"ef");
    EXPECT_TRUE(IsWindow(bar));
    EXPECT_TRUE(typed(L"abcdef")) << "keys typed over a volume notice were lost";
    EXPECT_TRUE(display.WaitForExit(10000).has_value());

    // A volume display of its own.
    Process volume = StartVistrel(L"{VOLDN:30}");
    const HWND label = WaitForNotice(volume.Id(), L"Volume Down", kAppearTimeout);
    ASSERT_NE(nullptr, label);
    TypeText(L"gh");
    EXPECT_TRUE(IsWindow(label));
    EXPECT_TRUE(typed(L"abcdefgh")) << "keys typed over a new volume display were lost";
    EXPECT_TRUE(volume.WaitForExit(10000).has_value());

    EXPECT_EQ(std::set<HWND>{window}, foreground.Stop()) << "a notice came to the foreground";
    PostMessageW(window, WM_CLOSE, 0, 0);
    EXPECT_TRUE(typist.WaitForExit(5000).has_value());
}

} // namespace
