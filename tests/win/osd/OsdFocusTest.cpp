// Notices never take the keyboard focus: whatever the user types while one
// is up reaches the window the user types in.
#include "OsdTestSupport.h"

#include <gtest/gtest.h>

#include <set>

using namespace osdtest;
using qxtest::Process;
using qxtest::WaitUntil;

namespace {

constexpr DWORD kAppearTimeout = 30000;

// Keys as the keyboard would send them to whichever window has the focus.
void TypeText(const std::wstring& text) {
    std::vector<INPUT> inputs;
    for (const wchar_t c : text) {
        INPUT key = {};
        key.type = INPUT_KEYBOARD;
        key.ki.wScan = c;
        key.ki.dwFlags = KEYEVENTF_UNICODE;
        inputs.push_back(key);
        key.ki.dwFlags |= KEYEVENTF_KEYUP;
        inputs.push_back(key);
    }
    ASSERT_EQ(inputs.size(),
              SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)));
}

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

// Every window that was in the foreground while it ran, sampled every 5 ms.
class ForegroundRecorder {
  public:
    ForegroundRecorder()
        : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_thread(CreateThread(nullptr, 0, Record, this, 0, nullptr)) {}
    ForegroundRecorder(const ForegroundRecorder&) = delete;
    ForegroundRecorder& operator=(const ForegroundRecorder&) = delete;
    ~ForegroundRecorder() {
        Stop();
        CloseHandle(m_thread);
        CloseHandle(m_stop);
    }
    std::set<HWND> Stop() {
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, 5000);
        return m_seen;
    }

  private:
    static DWORD WINAPI Record(void* self) {
        auto* recorder = static_cast<ForegroundRecorder*>(self);
        do {
            recorder->m_seen.insert(GetForegroundWindow());
        } while (WaitForSingleObject(recorder->m_stop, 5) == WAIT_TIMEOUT);
        return 0;
    }
    std::set<HWND> m_seen;
    HANDLE m_stop;
    HANDLE m_thread;
};

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
