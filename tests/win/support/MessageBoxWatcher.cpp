#include "WinTestSupport.h"

#include "framework/Handles.h"

#include <algorithm>
#include <array>

namespace qxtest {

namespace {

constexpr int kIconSize = 32;

using IconPixels = std::array<COLORREF, kIconSize * kIconSize>;

IconPixels ReadPixels(HDC dc) {
    IconPixels pixels;
    for (int y = 0; y < kIconSize; ++y) {
        for (int x = 0; x < kIconSize; ++x)
            pixels[y * kIconSize + x] = GetPixel(dc, x, y);
    }
    return pixels;
}

// What the screen shows of the box's icon control.
// The pixels of an icon-sized bitmap that draw paints, given the screen's
// DC and the bitmap's.
IconPixels PaintedIcon(const std::function<void(HDC screen, HDC memory)>& draw) {
    qx::unique_window_dc screen(nullptr);
    HDC memory = CreateCompatibleDC(screen.get());
    HBITMAP bitmap = CreateCompatibleBitmap(screen.get(), kIconSize, kIconSize);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    draw(screen.get(), memory);
    IconPixels pixels = ReadPixels(memory);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    return pixels;
}

IconPixels IconOnScreen(HWND iconControl) {
    RECT rect;
    GetWindowRect(iconControl, &rect);
    return PaintedIcon([&](HDC screen, HDC memory) {
        BitBlt(memory, 0, 0, kIconSize, kIconSize, screen, rect.left, rect.top, SRCCOPY);
    });
}

// A standard icon drawn over the given background, as a box would show it.
IconPixels StandardIcon(const char* name, COLORREF background) {
    return PaintedIcon([&](HDC, HDC memory) {
        HBRUSH brush = CreateSolidBrush(background);
        RECT all = {0, 0, kIconSize, kIconSize};
        FillRect(memory, &all, brush);
        DeleteObject(brush);
        DrawIconEx(memory, 0, 0, LoadIconA(nullptr, name), kIconSize, kIconSize, 0, nullptr,
                   DI_NORMAL);
    });
}

int MatchingPixels(const IconPixels& a, const IconPixels& b) {
    int same = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        same += a[i] == b[i];
    return same;
}

HWND FindIconControl(HWND box) {
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_ICON) &&
            IsWindowVisible(child))
            return child;
    }
    return nullptr;
}

UINT ReadIcon(HWND box) {
    HWND control = FindIconControl(box);
    if (!control)
        return 0;
    const IconPixels shown = IconOnScreen(control);
    const COLORREF background = shown[0]; // the icons' corners are transparent
    const struct {
        const char* name;
        UINT style;
    } icons[] = {{IDI_HAND, MB_ICONHAND},
                 {IDI_QUESTION, MB_ICONQUESTION},
                 {IDI_EXCLAMATION, MB_ICONEXCLAMATION},
                 {IDI_ASTERISK, MB_ICONASTERISK}};
    UINT best = 0;
    int bestScore = kIconSize * kIconSize * 3 / 4; // below this, no standard icon
    for (const auto& icon : icons) {
        const int score = MatchingPixels(shown, StandardIcon(icon.name, background));
        if (score > bestScore) {
            bestScore = score;
            best = icon.style;
        }
    }
    return best;
}

// A box's text is a static with id 0xFFFF; a dialog whose unnamed icon static
// has that id is not a box.
bool IsMessageBox(HWND window) {
    HWND text = GetDlgItem(window, 0xFFFF);
    return text && (GetWindowLongW(text, GWL_STYLE) & SS_TYPEMASK) != SS_ICON;
}

} // namespace

SeenBox ReadMessageBox(HWND box) {
    SeenBox seen;
    seen.caption = WindowText(box);
    seen.text = DialogItemText(box, 0xFFFF);
    for (HWND child = GetWindow(box, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        if (ClassName(child) != L"Button" || !IsWindowVisible(child))
            continue;
        const int id = GetDlgCtrlID(child);
        seen.buttons.push_back(id);
        if ((GetWindowLongW(child, GWL_STYLE) & 0x0F) == BS_DEFPUSHBUTTON)
            seen.defaultButton = id;
    }
    seen.icon = ReadIcon(box);
    return seen;
}

MessageBoxWatcher::MessageBoxWatcher(std::wstring caption, int answer)
    : m_caption(std::move(caption)), m_answer(answer) {
    InitializeCriticalSection(&m_lock);
    m_thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr);
}

MessageBoxWatcher::~MessageBoxWatcher() {
    InterlockedExchange(&m_stop, 1);
    if (m_thread) {
        WaitForSingleObject(m_thread, 10000);
        CloseHandle(m_thread);
    }
    DeleteCriticalSection(&m_lock);
}

void MessageBoxWatcher::SetAnswer(int answer) {
    InterlockedExchange(&m_answer, answer);
}

bool MessageBoxWatcher::WaitForBoxes(std::size_t count, DWORD timeoutMs) {
    return WaitUntil(
        [&] {
            qx::critical_section_lock lock(m_lock);
            return m_boxes.size() >= count;
        },
        timeoutMs);
}

std::vector<SeenBox> MessageBoxWatcher::Boxes() const {
    qx::critical_section_lock lock(m_lock);
    return m_boxes;
}

DWORD WINAPI MessageBoxWatcher::Watch(void* self) {
    static_cast<MessageBoxWatcher*>(self)->WatchLoop();
    return 0;
}

void MessageBoxWatcher::WatchLoop() {
    std::vector<HWND> answered;
    while (!m_stop) {
        HWND box = FindWindowW(L"#32770", m_caption.c_str());
        const bool fresh = box && IsWindowVisible(box) &&
                           std::find(answered.begin(), answered.end(), box) == answered.end();
        if (!fresh || !IsMessageBox(box)) {
            Sleep(20);
            continue;
        }
        Sleep(100); // let the box paint its icon before it is read
        SeenBox seen = ReadMessageBox(box);
        seen.answeredTick = GetTickCount();
        {
            qx::critical_section_lock lock(m_lock);
            m_boxes.push_back(std::move(seen));
        }
        answered.push_back(box);
        PostMessageW(GetDlgItem(box, m_answer), BM_CLICK, 0, 0);
    }
}

} // namespace qxtest
