// Driving Vistrel.exe from the tests: starting copies, finding the display
// and its notice windows, and the independent picture of a notice's glyphs
// that regions and screen pixels are checked against.
#pragma once

#include "support/WinTestSupport.h"

#include <optional>
#include <string>
#include <vector>

namespace osdtest {

constexpr wchar_t kDisplayTitle[] = L"08045BD6-D714-43d7-BBD8-6E92B3CEA428";

// Starts a copy of Vistrel.exe with the notice line as its arguments, in the
// language of the given environment (the test's own when empty).
qxtest::Process StartVistrel(const std::wstring& line, const qxtest::Environment& language = {});

// The running display's main window, or null.
HWND FindDisplay();
// All top-level windows titled as the display.
std::vector<HWND> DisplayWindows();
// Visible top-level windows of a process.
std::vector<HWND> VisibleWindowsOf(DWORD processId);
// A visible top-level window of the process with exactly this text, waited for.
HWND WaitForNotice(DWORD processId, const std::wstring& text, DWORD timeoutMs);

RECT WindowRect(HWND window);
RECT WorkArea();

// The window's region in window coordinates (empty when it has none), and
// whether a point of the window lies in it.
class WindowRegion {
  public:
    explicit WindowRegion(HWND window);
    WindowRegion(const WindowRegion&) = delete;
    WindowRegion& operator=(const WindowRegion&) = delete;
    ~WindowRegion();
    int Kind() const { return m_kind; } // NULLREGION, SIMPLEREGION, COMPLEXREGION or ERROR
    RECT Box() const;
    bool Contains(int x, int y) const;
    // Runs of region pixels along one row, from x = 0 to width.
    int RunsInRow(int y, int width) const;

  private:
    HRGN m_region;
    int m_kind;
};

struct NoticeFont {
    std::string face;
    int height;
    int width;
    int weight;
    int italic;
};

// Width and height of a text drawn in a notice's font.
SIZE TextCell(const std::wstring& text, const NoticeFont& font);

// A notice's text (UTF-8) and two spaces drawn with its font into a bitmap the size of
// the text's cell, as the window shows it. Stroke and hole points keep a
// margin of two pixels from every edge, as drawn glyphs and the outlines a
// region is made of differ by a pixel here and there.
class GlyphRaster {
  public:
    GlyphRaster(const std::string& text, const NoticeFont& font);
    SIZE Cell() const { return m_cell; }
    // Points inside a glyph's stroke.
    std::vector<POINT> StrokePoints() const;
    // Points inside a letter's hole (enclosed by ink, as in o or e).
    std::vector<POINT> HolePoints() const;
    // Points of the open background around the glyphs.
    std::vector<POINT> BackgroundPoints() const;

  private:
    enum Pixel : unsigned char { kInk, kHole, kOpen };
    Pixel At(int x, int y) const { return m_pixels[y * m_cell.cx + x]; }
    std::vector<POINT> PointsWithin(Pixel kind, int margin) const;
    SIZE m_cell = {};
    std::vector<Pixel> m_pixels;
};

// A notice window as it was at one moment. A volume display replaces its bar
// at every update and ends 500 ms after the last, so its windows are read at
// once and checked afterwards.
struct NoticeShot {
    explicit NoticeShot(HWND notice);
    HWND window;
    std::wstring className;
    std::wstring text;
    RECT rect;
    LONG style;
    LONG exStyle;
    bool visible;
    WindowRegion region;
};

// Borderless, topmost, disabled, without task-bar button.
void ExpectNoticeWindowStyle(const NoticeShot& notice);
// The region is the glyphs of the raster: strokes in, holes and the open
// background out, the window as large as the text's cell, the overhang of
// the last letter inside it.
void ExpectRegionIsTheGlyphs(const NoticeShot& notice, const GlyphRaster& raster);
// The label (when there is one) sits directly above the bar, the bar on the work
// area's bottom, both at the screen's left edge; the bar is its text in
// Arial Black 50 pixels high with characters charWidth wide, one run of
// pixels per stroke.
void ExpectVolumeLayout(const NoticeShot* label, const NoticeShot& bar, const std::string& barText,
                        int charWidth);

// Colour of the screen at a point, as the user sees it; and at points of a
// window given in window coordinates.
COLORREF ScreenPixel(int x, int y);
std::vector<COLORREF> ScreenPixels(const RECT& window, const std::vector<POINT>& points);

// The points of a window's region whose screen pixels show that window on
// this system. Windows shows every pixel of a region. Wine 10.0 keeps a
// window's shape as a 1-bit mask and loses each span of a row that lies
// within one byte of it, as the first l of "Hello" (GlyphPathProbe.cpp shows
// it); there those spans' points are left out, and the test says so. The
// check shows a small window at the screen's top left corner the first time.
bool WindowShapesKeepOneByteSpans();
std::vector<POINT> ShownPoints(const std::vector<POINT>& points, const WindowRegion& region);

// Posts one volume command to the display every 250 ms from its own thread,
// as a stream of later copies would, until it goes.
class VolumeKeeper {
  public:
    VolumeKeeper(HWND display, int type, int level);
    VolumeKeeper(const VolumeKeeper&) = delete;
    VolumeKeeper& operator=(const VolumeKeeper&) = delete;
    ~VolumeKeeper();

    // Stops posting; gives the tick count of the last post.
    DWORD Stop();

  private:
    static DWORD WINAPI Keep(void* self);
    HWND m_display;
    int m_type;
    int m_level;
    volatile LONG m_lastPost = 0;
    HANDLE m_stop;
    HANDLE m_thread;
};

std::wstring Strokes(int level);

// Every nth point, at most count of them.
std::vector<POINT> Sample(const std::vector<POINT>& points, std::size_t count);

// Follows a copy until it ends: its exit code, how many displays existed at
// most meanwhile, and whether the copy showed a window of its own.
struct CopyWatch {
    std::optional<DWORD> exitCode;
    std::size_t mostDisplays = 0;
    bool showedWindow = false;
};
CopyWatch WatchUntilExit(qxtest::Process& copy, DWORD timeoutMs);

// A hook procedure of OsdHooks.dll set for every thread of the desktop (Wine
// loads the library into the processes it hooks), removed when it goes.
class GlobalHook {
  public:
    GlobalHook(int type, const char* procedure);
    GlobalHook(const GlobalHook&) = delete;
    GlobalHook& operator=(const GlobalHook&) = delete;
    ~GlobalHook();
    explicit operator bool() const { return m_hook != nullptr; }

  private:
    HMODULE m_library;
    HHOOK m_hook = nullptr;
};

} // namespace osdtest
