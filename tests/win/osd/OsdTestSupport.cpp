#include "OsdTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>

namespace osdtest {

qxtest::Process StartVistrel(const std::wstring& line, const qxtest::Environment& language) {
    return qxtest::StartProcess(qxtest::BinPath(L"Vistrel.exe"), line, language);
}

HWND FindDisplay() {
    return FindWindowW(nullptr, kDisplayTitle);
}

namespace {

// The title as the window manager keeps it, without waiting for the window's
// thread, which may be busy or gone.
std::wstring TopLevelText(HWND window) {
    wchar_t text[256] = L"";
    GetWindowTextW(window, text, 256);
    return text;
}

struct WindowSearch {
    DWORD processId;
    bool displays;
    std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    if (search->displays) {
        if (TopLevelText(window) == kDisplayTitle)
            search->found.push_back(window);
        return TRUE;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == search->processId && IsWindowVisible(window))
        search->found.push_back(window);
    return TRUE;
}

} // namespace

std::vector<HWND> DisplayWindows() {
    WindowSearch search = {0, true, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    WindowSearch search = {processId, false, {}};
    EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

HWND WaitForNotice(DWORD processId, const std::wstring& text, DWORD timeoutMs) {
    HWND notice = nullptr;
    qxtest::WaitUntil(
        [&] {
            for (HWND window : VisibleWindowsOf(processId)) {
                if (TopLevelText(window) == text) {
                    notice = window;
                    return true;
                }
            }
            return false;
        },
        timeoutMs);
    return notice;
}

RECT WindowRect(HWND window) {
    RECT rect = {};
    GetWindowRect(window, &rect);
    return rect;
}

RECT WorkArea() {
    RECT area = {};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

WindowRegion::WindowRegion(HWND window)
    : m_region(CreateRectRgn(0, 0, 0, 0)), m_kind(GetWindowRgn(window, m_region)) {}

WindowRegion::~WindowRegion() {
    DeleteObject(m_region);
}

RECT WindowRegion::Box() const {
    RECT box = {};
    GetRgnBox(m_region, &box);
    return box;
}

bool WindowRegion::Contains(int x, int y) const {
    return m_kind != ERROR && PtInRegion(m_region, x, y);
}

int WindowRegion::RunsInRow(int y, int width) const {
    int runs = 0;
    bool inside = false;
    for (int x = 0; x < width; ++x) {
        const bool now = Contains(x, y);
        if (now && !inside)
            ++runs;
        inside = now;
    }
    return runs;
}

namespace {

HFONT CreateNoticeFont(const NoticeFont& font) {
    return CreateFontA(-font.height, font.width, 0, 0, font.weight, font.italic & 0xFF, FALSE,
                       FALSE, DEFAULT_CHARSET, OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS,
                       ANTIALIASED_QUALITY, 0, font.face.c_str());
}

} // namespace

SIZE TextCell(const std::wstring& text, const NoticeFont& font) {
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT hfont = CreateNoticeFont(font);
    HGDIOBJ oldFont = SelectObject(dc, hfont);
    SIZE cell = {};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &cell);
    SelectObject(dc, oldFont);
    DeleteObject(hfont);
    DeleteDC(dc);
    return cell;
}

GlyphRaster::GlyphRaster(const std::string& text, const NoticeFont& font) {
    const std::wstring drawn = qxtest::Wide(text.c_str()) + L"  ";
    m_cell = TextCell(drawn, font);
    HDC dc = CreateCompatibleDC(nullptr);
    HFONT hfont = CreateNoticeFont(font);
    HGDIOBJ oldFont = SelectObject(dc, hfont);

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = m_cell.cx;
    info.bmiHeader.biHeight = -m_cell.cy; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ oldBitmap = SelectObject(dc, bitmap);
    RECT all = {0, 0, m_cell.cx, m_cell.cy};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutW(dc, 0, 0, drawn.c_str(), static_cast<int>(drawn.size()));
    GdiFlush();

    // Smoothed drawing, cut at half intensity, follows the outlines closely.
    const auto* pixels = static_cast<const DWORD*>(bits);
    m_pixels.assign(static_cast<std::size_t>(m_cell.cx) * m_cell.cy, kHole);
    for (std::size_t i = 0; i < m_pixels.size(); ++i) {
        if ((pixels[i] & 0xFF) < 0x80)
            m_pixels[i] = kInk;
    }
    SelectObject(dc, oldBitmap);
    DeleteObject(bitmap);
    SelectObject(dc, oldFont);
    DeleteObject(hfont);
    DeleteDC(dc);

    // Background reached from the edges is open; what stays unreached is a hole.
    std::deque<POINT> queue;
    auto reach = [&](int x, int y) {
        if (x < 0 || y < 0 || x >= m_cell.cx || y >= m_cell.cy)
            return;
        Pixel& pixel = m_pixels[y * m_cell.cx + x];
        if (pixel == kHole) {
            pixel = kOpen;
            queue.push_back({x, y});
        }
    };
    for (int x = 0; x < m_cell.cx; ++x) {
        reach(x, 0);
        reach(x, m_cell.cy - 1);
    }
    for (int y = 0; y < m_cell.cy; ++y) {
        reach(0, y);
        reach(m_cell.cx - 1, y);
    }
    while (!queue.empty()) {
        const POINT p = queue.front();
        queue.pop_front();
        reach(p.x + 1, p.y);
        reach(p.x - 1, p.y);
        reach(p.x, p.y + 1);
        reach(p.x, p.y - 1);
    }
}

std::vector<POINT> GlyphRaster::PointsWithin(Pixel kind, int margin) const {
    std::vector<POINT> points;
    for (int y = margin; y < m_cell.cy - margin; ++y) {
        for (int x = margin; x < m_cell.cx - margin; ++x) {
            bool all = true;
            for (int dy = -margin; dy <= margin && all; ++dy) {
                for (int dx = -margin; dx <= margin && all; ++dx)
                    all = At(x + dx, y + dy) == kind;
            }
            if (all)
                points.push_back({x, y});
        }
    }
    return points;
}

std::vector<POINT> GlyphRaster::StrokePoints() const {
    return PointsWithin(kInk, 2);
}

std::vector<POINT> GlyphRaster::HolePoints() const {
    return PointsWithin(kHole, 2);
}

std::vector<POINT> GlyphRaster::BackgroundPoints() const {
    return PointsWithin(kOpen, 2);
}

NoticeShot::NoticeShot(HWND notice)
    : window(notice), className(qxtest::ClassName(notice)), text(TopLevelText(notice)),
      rect(WindowRect(notice)), style(GetWindowLongW(notice, GWL_STYLE)),
      exStyle(GetWindowLongW(notice, GWL_EXSTYLE)), visible(IsWindowVisible(notice) != FALSE),
      region(notice) {}

void ExpectNoticeWindowStyle(const NoticeShot& notice) {
    EXPECT_EQ(L"#32770", notice.className);
    EXPECT_TRUE(notice.style & WS_POPUP);
    EXPECT_TRUE(notice.style & WS_DISABLED);
    EXPECT_FALSE(notice.style & (WS_CAPTION | WS_BORDER | WS_THICKFRAME | WS_DLGFRAME));
    EXPECT_TRUE(notice.exStyle & WS_EX_TOOLWINDOW);
    EXPECT_TRUE(notice.exStyle & WS_EX_TOPMOST);
    EXPECT_FALSE(notice.exStyle & WS_EX_APPWINDOW);
}

namespace {

std::size_t CountContained(const WindowRegion& region, const std::vector<POINT>& points) {
    std::size_t contained = 0;
    for (const POINT& p : points)
        contained += region.Contains(p.x, p.y) ? 1 : 0;
    return contained;
}

} // namespace

void ExpectRegionIsTheGlyphs(const NoticeShot& notice, const GlyphRaster& raster) {
    const SIZE cell = raster.Cell();
    EXPECT_EQ(cell.cx, notice.rect.right - notice.rect.left);
    EXPECT_EQ(cell.cy, notice.rect.bottom - notice.rect.top);
    ASSERT_EQ(COMPLEXREGION, notice.region.Kind());
    const RECT box = notice.region.Box();
    EXPECT_GE(box.left, 0);
    EXPECT_GE(box.top, 0);
    EXPECT_LE(box.bottom, cell.cy);
    // The two trailing spaces keep the glyphs clear of the right edge.
    EXPECT_LT(box.right, cell.cx);

    const std::vector<POINT> strokes = raster.StrokePoints();
    const std::vector<POINT> holes = raster.HolePoints();
    const std::vector<POINT> background = raster.BackgroundPoints();
    ASSERT_FALSE(strokes.empty());
    ASSERT_FALSE(background.empty());
    EXPECT_EQ(strokes.size(), CountContained(notice.region, strokes)) << "glyph points outside";
    EXPECT_EQ(0u, CountContained(notice.region, holes)) << "letter holes filled";
    EXPECT_EQ(0u, CountContained(notice.region, background)) << "background filled";
}

std::wstring Strokes(int level) {
    return std::wstring(static_cast<std::size_t>(level), L'|');
}

void ExpectVolumeLayout(const NoticeShot* label, const NoticeShot& bar, const std::string& barText,
                        int charWidth) {
    const RECT area = WorkArea();
    EXPECT_EQ(0, bar.rect.left);
    EXPECT_EQ(area.bottom, bar.rect.bottom);
    if (label) {
        EXPECT_TRUE(label->visible);
        EXPECT_EQ(0, label->rect.left);
        EXPECT_EQ(bar.rect.top, label->rect.bottom) << "the label is not directly above the bar";
    }

    const GlyphRaster raster(barText, {"Arial Black", 50, charWidth, 900, 0});
    EXPECT_EQ(raster.Cell().cx, bar.rect.right - bar.rect.left);
    EXPECT_EQ(raster.Cell().cy, bar.rect.bottom - bar.rect.top);
    // Only a bar drawn at this character width has this size.
    const GlyphRaster ownWidth(barText, {"Arial Black", 50, 0, 900, 0});
    ASSERT_NE(ownWidth.Cell().cx, raster.Cell().cx);

    const int strokes = static_cast<int>(std::count(barText.begin(), barText.end(), '|'));
    if (strokes == 0) {
        EXPECT_EQ(NULLREGION, bar.region.Kind()) << "an invisible bar shows something";
        return;
    }
    const RECT box = bar.region.Box();
    EXPECT_EQ(strokes, bar.region.RunsInRow((box.top + box.bottom) / 2, raster.Cell().cx));
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    const COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

std::vector<COLORREF> ScreenPixels(const RECT& window, const std::vector<POINT>& points) {
    std::vector<COLORREF> colours;
    HDC screen = GetDC(nullptr);
    for (const POINT& p : points)
        colours.push_back(GetPixel(screen, window.left + p.x, window.top + p.y));
    ReleaseDC(nullptr, screen);
    return colours;
}

VolumeKeeper::VolumeKeeper(HWND display, int type, int level)
    : m_display(display), m_type(type), m_level(level),
      m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      m_thread(CreateThread(nullptr, 0, Keep, this, 0, nullptr)) {}

VolumeKeeper::~VolumeKeeper() {
    Stop();
    CloseHandle(m_thread);
    CloseHandle(m_stop);
}

DWORD VolumeKeeper::Stop() {
    SetEvent(m_stop);
    WaitForSingleObject(m_thread, 5000);
    return static_cast<DWORD>(m_lastPost);
}

DWORD WINAPI VolumeKeeper::Keep(void* self) {
    auto* keeper = static_cast<VolumeKeeper*>(self);
    do {
        if (!PostMessageW(keeper->m_display, WM_CLOSE, keeper->m_type, keeper->m_level))
            break;
        InterlockedExchange(&keeper->m_lastPost, static_cast<LONG>(GetTickCount()));
    } while (WaitForSingleObject(keeper->m_stop, 250) == WAIT_TIMEOUT);
    return 0;
}

CopyWatch WatchUntilExit(qxtest::Process& copy, DWORD timeoutMs) {
    CopyWatch watch;
    qxtest::WaitUntil(
        [&] {
            watch.mostDisplays = std::max(watch.mostDisplays, DisplayWindows().size());
            watch.showedWindow = watch.showedWindow || !VisibleWindowsOf(copy.Id()).empty();
            return !copy.IsRunning();
        },
        timeoutMs);
    watch.exitCode = copy.WaitForExit(0);
    return watch;
}

GlobalHook::GlobalHook(int type, const char* procedure)
    : m_library(LoadLibraryW(qxtest::TestBinPath(L"OsdHooks.dll").c_str())) {
    const auto proc =
        reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(m_library, procedure)));
    if (proc)
        m_hook = SetWindowsHookExW(type, proc, m_library, 0);
}

GlobalHook::~GlobalHook() {
    if (m_hook)
        UnhookWindowsHookEx(m_hook);
    if (m_library)
        FreeLibrary(m_library);
}

namespace {

// Two bars 8 pixels wide in a red window at the screen's top left corner: the
// first fills one byte of a 1-bit mask, the second spans two.
bool ShowsTheFirstOfTwoBars() {
    static const wchar_t kClass[] = L"QxShapeCheck";
    WNDCLASSW red = {};
    red.lpfnWndProc = DefWindowProcW;
    red.hInstance = GetModuleHandleW(nullptr);
    red.hbrBackground = CreateSolidBrush(RGB(255, 0, 0));
    red.lpszClassName = kClass;
    RegisterClassW(&red);
    const HWND window = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kClass, L"", WS_POPUP, 0,
                                        0, 120, 40, nullptr, nullptr, red.hInstance, nullptr);
    const HRGN bars = CreateRectRgn(80, 0, 88, 40);
    const HRGN second = CreateRectRgn(97, 0, 105, 40);
    CombineRgn(bars, bars, second, RGN_OR);
    DeleteObject(second);
    SetWindowRgn(window, bars, FALSE);
    ShowWindow(window, SW_SHOWNOACTIVATE);
    const bool painted =
        qxtest::WaitUntil([] { return ScreenPixel(100, 20) == RGB(255, 0, 0); }, 3000);
    const bool kept = !painted || ScreenPixel(84, 20) == RGB(255, 0, 0);
    DestroyWindow(window);
    return kept;
}

// The run of region pixels in the point's row that holds the point.
std::pair<int, int> SpanAt(const WindowRegion& region, POINT p) {
    int left = p.x;
    int right = p.x + 1;
    while (region.Contains(left - 1, p.y))
        --left;
    while (region.Contains(right, p.y))
        ++right;
    return {left, right};
}

} // namespace

bool WindowShapesKeepOneByteSpans() {
    static const bool kept = ShowsTheFirstOfTwoBars();
    return kept;
}

std::vector<POINT> ShownPoints(const std::vector<POINT>& points, const WindowRegion& region) {
    if (WindowShapesKeepOneByteSpans())
        return points;
    std::vector<POINT> shown;
    for (const POINT& p : points) {
        const auto [left, right] = SpanAt(region, p);
        if (left / 8 != (right - 1) / 8)
            shown.push_back(p);
    }
    std::printf("[ NOTE     ] this system's window shapes lose spans within one byte of their "
                "mask: %zu of %zu points are not checked on screen\n",
                points.size() - shown.size(), points.size());
    return shown;
}

std::vector<POINT> Sample(const std::vector<POINT>& points, std::size_t count) {
    if (points.size() <= count)
        return points;
    std::vector<POINT> sample;
    const std::size_t step = points.size() / count;
    for (std::size_t i = 0; i < points.size() && sample.size() < count; i += step)
        sample.push_back(points[i]);
    return sample;
}

} // namespace osdtest
