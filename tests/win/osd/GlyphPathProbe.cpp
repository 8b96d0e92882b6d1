// Reproduction kept beside the notice tests: how this GDI turns TrueType text
// drawn into a path into a region. Prints the path's figures (points, turning
// direction, box) and, per character, how many of its cell's pixels each way
// of building the region keeps:
//   cut-out  the cell box as a figure of its own plus the outlines, alternate
//            filling, then box minus that region
//   winding  the outlines alone, winding filling
//   shown    the cut-out region given to a red window at the screen's top
//            left corner: its pixels that the screen shows red
//   columns  windows whose regions are two bars, as the two l of "Hello": how
//            many pixels of each bar the screen shows red (a window shape
//            kept as a 1-bit mask can lose spans that lie within one byte)
// Usage: GlyphPathProbe [text [face [height [weight]]]]
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Cell {
    int left, right;
};

std::vector<Cell> CharacterCells(HDC dc, const std::string& text) {
    std::vector<Cell> cells;
    SIZE size = {};
    int left = 0;
    for (std::size_t i = 1; i <= text.size(); ++i) {
        ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(i), &size);
        cells.push_back({left, size.cx});
        left = size.cx;
    }
    return cells;
}

void PrintFigures(HDC dc) {
    const int count = ::GetPath(dc, nullptr, nullptr, 0);
    std::vector<POINT> points(count > 0 ? count : 0);
    std::vector<BYTE> types(points.size());
    if (count <= 0 || ::GetPath(dc, points.data(), types.data(), count) != count)
        return;
    int figures = 0;
    for (int start = 0; start < count;) {
        int end = start + 1;
        while (end < count && (types[end] & ~PT_CLOSEFIGURE) != PT_MOVETO)
            ++end;
        long long area = 0;
        RECT box = {points[start].x, points[start].y, points[start].x, points[start].y};
        for (int i = start; i < end; ++i) {
            const POINT& a = points[i];
            const POINT& b = points[i + 1 < end ? i + 1 : start];
            area += static_cast<long long>(a.x) * b.y - static_cast<long long>(b.x) * a.y;
            box = {std::min(box.left, a.x), std::min(box.top, a.y), std::max(box.right, a.x),
                   std::max(box.bottom, a.y)};
        }
        std::printf("figure %d: %d points, %s, box (%ld,%ld)-(%ld,%ld), %s\n", figures++,
                    end - start,
                    area > 0   ? "clockwise"
                    : area < 0 ? "anticlockwise"
                               : "flat",
                    box.left, box.top, box.right, box.bottom,
                    (types[end - 1] & PT_CLOSEFIGURE) ? "closed" : "open");
        start = end;
    }
}

HRGN PathOf(HDC dc, const std::string& text, SIZE cell, bool withBox, int fillMode) {
    ::SetBkMode(dc, TRANSPARENT);
    ::SetPolyFillMode(dc, fillMode);
    ::BeginPath(dc);
    if (withBox) {
        ::MoveToEx(dc, 0, 0, nullptr);
        ::LineTo(dc, cell.cx, 0);
        ::LineTo(dc, cell.cx, cell.cy);
        ::LineTo(dc, 0, cell.cy);
        ::CloseFigure(dc);
    }
    ::TextOutA(dc, 0, 0, text.c_str(), static_cast<int>(text.size()));
    ::EndPath(dc);
    if (!withBox)
        PrintFigures(dc);
    return ::PathToRegion(dc);
}

void PrintKept(const char* way, HRGN region, const std::string& text,
               const std::vector<Cell>& cells, SIZE cell) {
    std::printf("%-8s", way);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        int kept = 0;
        for (int x = cells[i].left; x < cells[i].right; ++x)
            for (int y = 0; y < cell.cy; ++y)
                kept += ::PtInRegion(region, x, y) ? 1 : 0;
        std::printf(" %c:%d", text[i], kept);
    }
    std::printf("\n");
}

int RedPixelsOnScreen(HRGN region, int left, int right, int height) {
    HDC screen = ::GetDC(nullptr);
    int red = 0;
    for (int x = left; x < right; ++x)
        for (int y = 0; y < height; ++y)
            red += ::PtInRegion(region, x, y) && ::GetPixel(screen, x, y) == RGB(255, 0, 0);
    ::ReleaseDC(nullptr, screen);
    return red;
}

// A red popup at (0, 0) shaped by a copy of region, shown until destroyed.
HWND ShowShaped(HRGN region, SIZE size) {
    WNDCLASSA red = {};
    red.lpfnWndProc = ::DefWindowProcA;
    red.hInstance = ::GetModuleHandleA(nullptr);
    red.hbrBackground = ::CreateSolidBrush(RGB(255, 0, 0));
    red.lpszClassName = "GlyphPathProbeRed";
    ::RegisterClassA(&red);
    HWND window =
        ::CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, red.lpszClassName, "", WS_POPUP, 0, 0,
                          size.cx, size.cy, nullptr, nullptr, red.hInstance, nullptr);
    HRGN copy = ::CreateRectRgn(0, 0, 0, 0);
    ::CombineRgn(copy, region, nullptr, RGN_COPY);
    ::SetWindowRgn(window, copy, FALSE);
    ::ShowWindow(window, SW_SHOWNOACTIVATE);
    ::UpdateWindow(window);
    for (DWORD end = ::GetTickCount() + 1000; ::GetTickCount() < end;) {
        MSG msg;
        while (::PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE))
            ::DispatchMessageA(&msg);
        ::Sleep(20);
    }
    return window;
}

void PrintShown(HRGN glyphs, const std::string& text, const std::vector<Cell>& cells, SIZE cell) {
    HWND window = ShowShaped(glyphs, cell);
    std::printf("%-8s", "shown");
    for (std::size_t i = 0; i < cells.size(); ++i)
        std::printf(" %c:%d", text[i],
                    RedPixelsOnScreen(glyphs, cells[i].left, cells[i].right, cell.cy));
    std::printf("\n");
    ::DestroyWindow(window);
}

void PrintTwoBars(int left, int right) {
    HRGN bars = ::CreateRectRgn(left, 0, right, 40);
    HRGN second = ::CreateRectRgn(97, 0, 105, 40);
    ::CombineRgn(bars, bars, second, RGN_OR);
    HWND window = ShowShaped(bars, {120, 40});
    std::printf("columns %d to %d: %d of %d pixels shown; 97 to 104: %d of 320\n", left, right - 1,
                RedPixelsOnScreen(bars, left, right, 40), (right - left) * 40,
                RedPixelsOnScreen(bars, 97, 105, 40));
    ::DestroyWindow(window);
    ::DeleteObject(second);
    ::DeleteObject(bars);
}

} // namespace

int main(int argc, char** argv) {
    const std::string text = argc > 1 ? argv[1] : "HelloWine10";
    const char* face = argc > 2 ? argv[2] : "Arial";
    const int height = argc > 3 ? std::atoi(argv[3]) : 60;
    const int weight = argc > 4 ? std::atoi(argv[4]) : 700;

    HDC dc = ::GetDC(nullptr);
    HFONT font = ::CreateFontA(-height, 0, 0, 0, weight, 0, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_CHARACTER_PRECIS, CLIP_CHARACTER_PRECIS, PROOF_QUALITY, 0, face);
    HGDIOBJ old = ::SelectObject(dc, font);
    SIZE cell = {};
    ::GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &cell);
    const std::vector<Cell> cells = CharacterCells(dc, text);
    std::printf("text \"%s\", %s %d/%d, cell %ldx%ld\n", text.c_str(), face, height, weight,
                cell.cx, cell.cy);

    HRGN box = ::CreateRectRgn(0, 0, cell.cx, cell.cy);
    HRGN cutOut = PathOf(dc, text, cell, true, ALTERNATE);
    HRGN glyphs = ::CreateRectRgn(0, 0, 0, 0);
    ::CombineRgn(glyphs, box, cutOut, RGN_DIFF);
    HRGN winding = PathOf(dc, text, cell, false, WINDING);
    PrintKept("cut-out", glyphs, text, cells, cell);
    PrintKept("winding", winding, text, cells, cell);
    PrintShown(glyphs, text, cells, cell);
    PrintTwoBars(80, 88);
    PrintTwoBars(81, 85);

    for (HRGN region : {box, cutOut, glyphs, winding})
        ::DeleteObject(region);
    ::SelectObject(dc, old);
    ::DeleteObject(font);
    ::ReleaseDC(nullptr, dc);
    return 0;
}
