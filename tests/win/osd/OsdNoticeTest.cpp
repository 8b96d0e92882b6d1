// What a notice looks like on screen: its window, region, place, colour and
// time, for plain texts and volume notices.
#include "OsdTestSupport.h"

#include <gtest/gtest.h>

using namespace osdtest;
using qxtest::Process;
using qxtest::Wide;

namespace {

// Generous: on a busy machine a copy can take seconds to start under Wine.
constexpr DWORD kAppearTimeout = 30000;

struct TextNoticeCase {
    const char* name;
    const wchar_t* line;
    const char* text;
    NoticeFont font;
    COLORREF colour;
    DWORD displayTime;
    const char* screenshot;
};

void CheckTextNotice(const TextNoticeCase& c, const qxtest::Environment& language = {}) {
    const RECT area = WorkArea();
    const GlyphRaster raster(c.text, c.font);
    const int top = area.bottom - raster.Cell().cy;
    const std::vector<POINT> holes = Sample(raster.HolePoints(), 20);
    ASSERT_FALSE(holes.empty()) << "pick a text with a letter that has a hole";
    std::vector<COLORREF> desktop;
    for (const POINT& p : holes)
        desktop.push_back(ScreenPixel(p.x, top + p.y));

    Process copy = StartVistrel(c.line, language);
    const HWND window = WaitForNotice(copy.Id(), Wide(c.text), kAppearTimeout);
    const DWORD shownAt = GetTickCount();
    ASSERT_NE(nullptr, window) << "no notice window with the text";
    const NoticeShot notice(window);

    const HWND display = FindDisplay();
    ASSERT_NE(nullptr, display);
    DWORD owner = 0;
    GetWindowThreadProcessId(display, &owner);
    EXPECT_EQ(copy.Id(), owner);
    EXPECT_EQ(NULLREGION, WindowRegion(display).Kind()) << "the main window can show something";
    EXPECT_EQ(1u, VisibleWindowsOf(copy.Id()).size());

    ExpectNoticeWindowStyle(notice);
    EXPECT_EQ(0, notice.rect.left);
    EXPECT_EQ(area.bottom, notice.rect.bottom);
    ExpectRegionIsTheGlyphs(notice, raster);
    const std::vector<POINT> strokes =
        ShownPoints(Sample(raster.StrokePoints(), 20), notice.region);
    ASSERT_FALSE(strokes.empty());
    // The window can be found a moment before its first paint reaches the screen.
    qxtest::WaitUntil(
        [&] { return ScreenPixel(strokes[0].x, notice.rect.top + strokes[0].y) == c.colour; },
        2000);
    for (const POINT& p : strokes) {
        EXPECT_EQ(c.colour, ScreenPixel(p.x, notice.rect.top + p.y)) << p.x << "," << p.y;
    }
    for (std::size_t i = 0; i < holes.size(); ++i) {
        EXPECT_EQ(desktop[i], ScreenPixel(holes[i].x, notice.rect.top + holes[i].y))
            << "the hole at " << holes[i].x << "," << holes[i].y << " does not show the desktop";
    }
    if (c.screenshot)
        qxtest::TakeScreenshot(c.screenshot);

    const auto exitCode = copy.WaitForExit(c.displayTime + 5000);
    const DWORD shownFor = GetTickCount() - shownAt;
    ASSERT_TRUE(exitCode.has_value()) << "the display did not end";
    EXPECT_EQ(0u, *exitCode);
    EXPECT_GE(shownFor + 250, c.displayTime);
    EXPECT_LE(shownFor, c.displayTime + 2000);
}

TEST(OsdTextNotice, ShowsExactlyTheGlyphsOnTheWorkAreaBottomForItsTime) {
    const TextNoticeCase cases[] = {
        {"defaults",
         L"My Computer``0`0`255",
         "My Computer",
         {"Arial", 50, 0, 700, 0},
         RGB(0, 0, 255),
         1500,
         nullptr},
        {"red, 60 pixels, normal weight",
         L"Hello`Arial`255`0`0`60`400`0`3000",
         "Hello",
         {"Arial", 60, 0, 400, 0},
         RGB(255, 0, 0),
         3000,
         "osd-text-notice"},
        {"italic, last letter leaning out",
         L"Wolf`Times New Roman`0`160`0`64`700`1`3000",
         "Wolf",
         {"Times New Roman", 64, 0, 700, 1},
         RGB(0, 160, 0),
         3000,
         "osd-italic-notice"},
    };
    for (const TextNoticeCase& c : cases) {
        SCOPED_TRACE(c.name);
        CheckTextNotice(c);
    }
}

TEST(OsdTextNotice, LongTextEndsAtTheScreensRightEdge) {
    // Far wider than the screen: 1,500 letters of about 47 pixels.
    Process copy = StartVistrel(std::wstring(1500, L'W') + L"``0`0`255`50`700`0`1500");
    ASSERT_TRUE(
        qxtest::WaitUntil([&] { return !VisibleWindowsOf(copy.Id()).empty(); }, kAppearTimeout));
    const NoticeShot notice(VisibleWindowsOf(copy.Id()).front());
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    EXPECT_EQ(0, notice.rect.left);
    EXPECT_LE(notice.rect.right, screenWidth + 10);
    EXPECT_GE(notice.rect.right, screenWidth - 60) << "cut short of the edge";
    const RECT box = notice.region.Box();
    EXPECT_GE(box.right, screenWidth - 70) << "the letters do not reach the edge";

    const auto exitCode = copy.WaitForExit(10000);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(0u, *exitCode);
}

TEST(OsdKoreanNotice, HangulTextShowsItsGlyphs) {
    CheckTextNotice({"Hangul with holes",
                     L"음소거 알림`Gulim`0`0`255`50`700`0`1500",
                     "음소거 알림",
                     {"Gulim", 50, 0, 700, 0},
                     RGB(0, 0, 255),
                     1500,
                     "osd-korean-notice"},
                    qxtest::KoreanUserInterface());
}

// Cut at whole double-byte characters: the window ends with the last
// syllable that fits, drawn in full, and no piece of the next one.
TEST(OsdKoreanNotice, LongHangulTextIsCutBetweenCharacters) {
    std::wstring text;
    for (int i = 0; i < 80; ++i)
        text += L"한글음";
    const NoticeFont font = {"Gulim", 50, 0, 700, 0};
    const int screenWidth = GetSystemMetrics(SM_CXSCREEN);
    std::size_t fitting = 0;
    while (fitting < text.size() && TextCell(text.substr(0, fitting + 1), font).cx <= screenWidth)
        ++fitting;
    ASSERT_GT(fitting, 1u);
    ASSERT_LT(fitting, text.size()) << "the text must be wider than the screen";

    Process copy =
        StartVistrel(text + L"`Gulim`0`0`255`50`700`0`1500", qxtest::KoreanUserInterface());
    ASSERT_TRUE(
        qxtest::WaitUntil([&] { return !VisibleWindowsOf(copy.Id()).empty(); }, kAppearTimeout));
    const NoticeShot notice(VisibleWindowsOf(copy.Id()).front());
    EXPECT_EQ(text, notice.text);
    EXPECT_EQ(TextCell(text.substr(0, fitting), font).cx, notice.rect.right - notice.rect.left)
        << "the window is not as wide as the whole characters that fit";

    const int lastLeft = TextCell(text.substr(0, fitting - 1), font).cx;
    char lastCharacter[8] = "";
    WideCharToMultiByte(CP_UTF8, 0, &text[fitting - 1], 1, lastCharacter, sizeof lastCharacter,
                        nullptr, nullptr);
    const GlyphRaster last(lastCharacter, font);
    std::vector<POINT> strokes = Sample(last.StrokePoints(), 20);
    ASSERT_FALSE(strokes.empty());
    for (POINT& p : strokes)
        p.x += lastLeft;
    const std::vector<POINT> shown = ShownPoints(strokes, notice.region);
    ASSERT_FALSE(shown.empty());
    qxtest::WaitUntil(
        [&] { return ScreenPixel(shown[0].x, notice.rect.top + shown[0].y) == RGB(0, 0, 255); },
        2000);
    for (const COLORREF pixel : ScreenPixels(notice.rect, shown))
        EXPECT_EQ(RGB(0, 0, 255), pixel) << "the last syllable is not drawn whole";
    for (const POINT& p : strokes)
        EXPECT_TRUE(notice.region.Contains(p.x, p.y)) << p.x << "," << p.y;

    const auto exitCode = copy.WaitForExit(10000);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_EQ(0u, *exitCode);
}

TEST(OsdVolumeNotice, LabelInTheUsersFontAboveOneStrokePerLevel) {
    const GlyphRaster labelRaster("Volume Up", {"Arial", 50, 0, 700, 0});
    const GlyphRaster barRaster("||||||||||||", {"Arial Black", 50, 33, 900, 0});
    // Before the notice, which is gone half a second after it came.
    WindowShapesKeepOneByteSpans();
    Process copy = StartVistrel(L"{VOLUP:12}`Arial`255`0`0");
    const HWND label = WaitForNotice(copy.Id(), L"Volume Up", kAppearTimeout);
    const HWND bar = WaitForNotice(copy.Id(), Strokes(12), kAppearTimeout);
    const DWORD shownAt = GetTickCount();
    ASSERT_NE(nullptr, label);
    ASSERT_NE(nullptr, bar);
    // Read at once: the notice is gone half a second after it came.
    const NoticeShot labelShot(label);
    const NoticeShot barShot(bar);
    const POINT firstStroke = barRaster.StrokePoints().front();
    qxtest::WaitUntil(
        [&] {
            return ScreenPixel(barShot.rect.left + firstStroke.x,
                               barShot.rect.top + firstStroke.y) == RGB(255, 0, 0);
        },
        300);
    const auto labelPixels = ScreenPixels(
        labelShot.rect, ShownPoints(Sample(labelRaster.StrokePoints(), 10), labelShot.region));
    const auto barPixels = ScreenPixels(
        barShot.rect, ShownPoints(Sample(barRaster.StrokePoints(), 10), barShot.region));

    const auto exitCode = copy.WaitForExit(5000);
    const DWORD shownFor = GetTickCount() - shownAt;
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_GE(shownFor + 150, 500u);
    EXPECT_LE(shownFor, 2500u);

    ExpectNoticeWindowStyle(labelShot);
    ExpectNoticeWindowStyle(barShot);
    ExpectVolumeLayout(&labelShot, barShot, "||||||||||||", 33);
    ExpectRegionIsTheGlyphs(labelShot, labelRaster);
    for (const COLORREF colour : labelPixels)
        EXPECT_EQ(RGB(255, 0, 0), colour);
    for (const COLORREF colour : barPixels)
        EXPECT_EQ(RGB(255, 0, 0), colour);
}

TEST(OsdVolumeNotice, StaysWhileUpdatesKeepComingAndEndsHalfASecondAfterTheLast) {
    const GlyphRaster barRaster(std::string(30, '|'), {"Arial Black", 50, 33, 900, 0});
    const POINT stroke = barRaster.StrokePoints().front();
    Process copy = StartVistrel(L"{VOLDN:30}");
    const HWND label = WaitForNotice(copy.Id(), L"Volume Down", kAppearTimeout);
    const HWND firstBar = WaitForNotice(copy.Id(), Strokes(30), kAppearTimeout);
    ASSERT_NE(nullptr, label);
    ASSERT_NE(nullptr, firstBar);

    VolumeKeeper keeper(FindDisplay(), 2, 30);
    const DWORD start = GetTickCount();
    // Every update puts up a new bar; the picture waits until one is painted.
    EXPECT_TRUE(qxtest::WaitUntil(
        [&] {
            const HWND bar = WaitForNotice(copy.Id(), Strokes(30), 0);
            if (!bar || bar == firstBar)
                return false;
            const RECT rect = WindowRect(bar);
            return ScreenPixel(rect.left + stroke.x, rect.top + stroke.y) == RGB(0, 0, 255);
        },
        5000));
    qxtest::TakeScreenshot("osd-volume-notice");
    qxtest::WaitUntil([&] { return GetTickCount() - start >= 1500; }, 3000);
    EXPECT_TRUE(copy.IsRunning()) << "the display ended while updates kept coming";
    EXPECT_TRUE(IsWindowVisible(label)) << "the label went";
    const DWORD lastUpdate = keeper.Stop();

    const auto exitCode = copy.WaitForExit(5000);
    const DWORD heldFor = GetTickCount() - lastUpdate;
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_GE(heldFor + 100, 500u);
    EXPECT_LE(heldFor, 2500u);
}

TEST(OsdVolumeNotice, BarOutsideItsLevelsIsInvisibleButKeepsTheLabelInPlace) {
    const struct {
        const wchar_t* line;
        const char* barText;
    } cases[] = {
        {L"{VOLDN:0}", " "},
        {L"{VOLDN:61}", ""},
        {L"{VOLDN:99999999999}", " "}, // unreadable: level 0
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Wide(c.barText).size());
        Process copy = StartVistrel(c.line);
        const HWND label = WaitForNotice(copy.Id(), L"Volume Down", kAppearTimeout);
        const HWND bar = WaitForNotice(copy.Id(), Wide(c.barText), kAppearTimeout);
        ASSERT_NE(nullptr, label);
        ASSERT_NE(nullptr, bar);
        const NoticeShot labelShot(label);
        const NoticeShot barShot(bar);
        ExpectVolumeLayout(&labelShot, barShot, c.barText, 33);
        EXPECT_TRUE(copy.WaitForExit(5000).has_value());
    }
}

TEST(OsdVolumeNotice, MuteAsFirstCommandShowsOnlyTheStrokes) {
    Process copy = StartVistrel(L"{MUTE:5}");
    const HWND bar = WaitForNotice(copy.Id(), Strokes(5), kAppearTimeout);
    ASSERT_NE(nullptr, bar);
    const std::vector<HWND> visible = VisibleWindowsOf(copy.Id());
    const NoticeShot barShot(bar);
    EXPECT_EQ(std::vector<HWND>{bar}, visible) << "something besides the bar is shown";
    ExpectVolumeLayout(nullptr, barShot, "|||||", 33);
    EXPECT_TRUE(copy.WaitForExit(5000).has_value());
}

} // namespace

namespace {

// The fixed part of an extended dialog template, as the resource holds it.
#pragma pack(push, 2)
struct DialogTemplateHeader {
    WORD version;
    WORD signature;
    DWORD helpId;
    DWORD exStyle;
    DWORD style;
    WORD items;
    short x;
    short y;
    short cx;
    short cy;
};
#pragma pack(pop)

TEST(OsdResources, TemplatesIconsAndVersionAreAsFixed) {
    const HMODULE vistrel =
        LoadLibraryExW(qxtest::BinPath(L"Vistrel.exe").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, vistrel);
    const struct {
        int id;
        DWORD style;
        short cx;
        short cy;
    } templates[] = {{129, 0x8C000042, 123, 49}, {133, 0x88000042, 53, 24}};
    for (const auto& t : templates) {
        SCOPED_TRACE(t.id);
        const HRSRC found = FindResourceW(vistrel, MAKEINTRESOURCEW(t.id), MAKEINTRESOURCEW(5));
        ASSERT_NE(nullptr, found);
        const auto* header =
            static_cast<const DialogTemplateHeader*>(LockResource(LoadResource(vistrel, found)));
        EXPECT_EQ(0xFFFF, header->signature);
        EXPECT_EQ(t.style, header->style);
        EXPECT_EQ(static_cast<DWORD>(WS_EX_TOOLWINDOW), header->exStyle);
        EXPECT_EQ(0, header->items);
        EXPECT_EQ(t.cx, header->cx);
        EXPECT_EQ(t.cy, header->cy);
        // No menu, no class, an empty caption, then the font: 10 points of "System".
        const auto* words = reinterpret_cast<const WORD*>(header + 1);
        EXPECT_EQ(0, words[0]);
        EXPECT_EQ(0, words[1]);
        EXPECT_EQ(0, words[2]);
        EXPECT_EQ(10, words[3]);
        EXPECT_STREQ(L"System", reinterpret_cast<const wchar_t*>(words + 6));
    }
    for (const int size : {16, 32}) {
        SCOPED_TRACE(size);
        HICON icon = static_cast<HICON>(
            LoadImageW(vistrel, MAKEINTRESOURCEW(128), IMAGE_ICON, size, size, 0));
        ASSERT_NE(nullptr, icon);
        ICONINFO info = {};
        ASSERT_TRUE(GetIconInfo(icon, &info));
        BITMAP bitmap = {};
        GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
        EXPECT_EQ(size, bitmap.bmWidth);
        DeleteObject(info.hbmColor);
        DeleteObject(info.hbmMask);
        DestroyIcon(icon);
    }
    FreeLibrary(vistrel);

    const std::wstring path = qxtest::BinPath(L"Vistrel.exe");
    std::vector<BYTE> version(GetFileVersionInfoSizeW(path.c_str(), nullptr));
    ASSERT_FALSE(version.empty());
    ASSERT_TRUE(
        GetFileVersionInfoW(path.c_str(), 0, static_cast<DWORD>(version.size()), version.data()));
    wchar_t* name = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(version.data(), L"\\StringFileInfo\\040904b0\\OriginalFilename",
                               reinterpret_cast<void**>(&name), &length));
    EXPECT_STREQ(L"Vistrel.exe", name);
}

} // namespace
