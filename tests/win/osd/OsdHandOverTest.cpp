// How copies meet the running display: volume commands handed over, plain
// texts replacing it, bad lines and notices that cannot be created ending
// at once.
#include "OsdTestSupport.h"

#include "framework/Handles.h"

#include <gtest/gtest.h>

#include <cstdio>

using namespace osdtest;
using qxtest::Process;
using qxtest::WaitUntil;

namespace {

constexpr DWORD kAppearTimeout = 30000;
// A copy that has only to hand over its command or give up: it starts,
// decides and ends, whatever the load on the machine.
constexpr DWORD kCopyTimeout = 20000;

// A text display that stays for a minute unless something ends it.
Process StartSteadyDisplay(const wchar_t* text, HWND* notice) {
    Process display = StartVistrel(std::wstring(text) + L"``0`0`255`50`700`0`60000");
    *notice = WaitForNotice(display.Id(), text, kAppearTimeout);
    return display;
}

// Sees the notice window unchanged (same window, visible, same text) for
// the whole bounded observation time.
bool StaysUnchanged(HWND notice, const std::wstring& text, DWORD observeMs) {
    const bool changed = WaitUntil(
        [&] { return !IsWindowVisible(notice) || qxtest::WindowText(notice) != text; }, observeMs);
    return !changed;
}

TEST(OsdHandOver, CopyWithVolumeCommandHandsItOverAndEnds) {
    HWND text = nullptr;
    Process display = StartSteadyDisplay(L"Prog 1", &text);
    ASSERT_NE(nullptr, text);

    Process copy = StartVistrel(L"{VOLDN:9}");
    const CopyWatch watch = WatchUntilExit(copy, kCopyTimeout);
    ASSERT_TRUE(watch.exitCode.has_value()) << "the copy did not end";
    EXPECT_EQ(0u, *watch.exitCode);
    EXPECT_FALSE(watch.showedWindow);
    EXPECT_EQ(1u, watch.mostDisplays);

    const HWND label = WaitForNotice(display.Id(), L"Volume Down", 5000);
    const HWND bar = WaitForNotice(display.Id(), Strokes(9), 5000);
    const DWORD switchedAt = GetTickCount();
    ASSERT_NE(nullptr, label);
    ASSERT_NE(nullptr, bar);
    const NoticeShot labelShot(label);
    const NoticeShot barShot(bar);
    EXPECT_FALSE(IsWindow(text)) << "the text notice was not replaced";

    // Half a second after the switch, not the text's minute.
    const auto exitCode = display.WaitForExit(10000);
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_LE(GetTickCount() - switchedAt, 2500u);
    ExpectVolumeLayout(&labelShot, barShot, "|||||||||", 33);
}

TEST(OsdHandOver, LabelStaysForTheSameCommandAndIsReshapedForAnother) {
    Process display = StartVistrel(L"{VOLUP:10}");
    const HWND label = WaitForNotice(display.Id(), L"Volume Up", kAppearTimeout);
    const HWND bar10 = WaitForNotice(display.Id(), Strokes(10), kAppearTimeout);
    ASSERT_NE(nullptr, label);
    ASSERT_NE(nullptr, bar10);
    const HWND main = FindDisplay();
    const NoticeShot labelAtFirst(label);

    PostMessageW(main, WM_CLOSE, 1, 11);
    const HWND bar11 = WaitForNotice(display.Id(), Strokes(11), 5000);
    ASSERT_NE(nullptr, bar11);
    const NoticeShot labelAfterSameCommand(label);
    EXPECT_NE(bar10, bar11) << "the bar is not a new window";
    EXPECT_FALSE(IsWindow(bar10));
    EXPECT_TRUE(EqualRect(&labelAtFirst.rect, &labelAfterSameCommand.rect));
    const RECT boxAtFirst = labelAtFirst.region.Box();
    const RECT boxAfter = labelAfterSameCommand.region.Box();
    EXPECT_TRUE(EqualRect(&boxAtFirst, &boxAfter));

    PostMessageW(main, WM_CLOSE, 2, 9);
    const DWORD lastUpdate = GetTickCount();
    const HWND bar9 = WaitForNotice(display.Id(), Strokes(9), 5000);
    ASSERT_NE(nullptr, bar9);
    ASSERT_TRUE(WaitUntil([&] { return qxtest::WindowText(label) == L"Volume Down"; }, 5000));
    const NoticeShot labelDown(label);
    const NoticeShot barShot(bar9);

    const auto exitCode = display.WaitForExit(10000);
    const DWORD heldFor = GetTickCount() - lastUpdate;
    ASSERT_TRUE(exitCode.has_value());
    EXPECT_GE(heldFor + 100, 500u);
    ExpectVolumeLayout(&labelDown, barShot, "|||||||||", 33);
    ExpectRegionIsTheGlyphs(labelDown, GlyphRaster("Volume Down", {"Arial", 50, 0, 700, 0}));
}

TEST(OsdHandOver, BurstOfQueuedCommandsEndsOnTheNewest) {
    Process display = StartVistrel(L"{VOLUP:1}");
    ASSERT_NE(nullptr, WaitForNotice(display.Id(), Strokes(1), kAppearTimeout));
    const HWND main = FindDisplay();
    // Thirty commands queue up at once, the newest last; a reader that drops
    // queued messages unseen would end on an older one.
    for (int level = 2; level <= 30; ++level)
        PostMessageW(main, WM_CLOSE, 1, level);
    PostMessageW(main, WM_CLOSE, 2, 7);

    std::wstring lastLabel;
    std::wstring lastBar;
    WaitUntil(
        [&] {
            for (HWND window : VisibleWindowsOf(display.Id())) {
                const std::wstring text = qxtest::WindowText(window);
                if (text.rfind(L"Volume", 0) == 0)
                    lastLabel = text;
                else if (!text.empty() && text.find_first_not_of(L'|') == std::wstring::npos)
                    lastBar = text;
            }
            return !display.IsRunning();
        },
        10000);
    ASSERT_TRUE(display.WaitForExit(5000).has_value());
    EXPECT_EQ(L"Volume Down", lastLabel);
    EXPECT_EQ(Strokes(7), lastBar);
}

// The visible bar of this level, of whichever process shows it, waited for.
HWND WaitForBar(int level, DWORD timeoutMs) {
    HWND bar = nullptr;
    WaitUntil(
        [&] {
            bar = FindWindowW(nullptr, Strokes(level).c_str());
            return bar && IsWindowVisible(bar);
        },
        timeoutMs);
    return bar && IsWindowVisible(bar) ? bar : nullptr;
}

// Each copy starts as the running display's time runs out: the hook signals
// the end timer and holds the display a moment before it acts, so copies
// meet a display that is about to close, or none. Whichever happens, the
// copy's level is what the screen shows.
TEST(OsdHandOver, LastLevelOfABurstTimedAcrossTheEndIsAlwaysShown) {
    constexpr int kRuns = 200;
    constexpr std::size_t kLostEnough = 5;
    const qx::unique_handle ending(CreateEventW(nullptr, TRUE, FALSE, L"QX test display ending"));
    ASSERT_TRUE(ending);
    GlobalHook slowEnd(WH_GETMESSAGE, "SlowDisplayEnd");
    ASSERT_TRUE(slowEnd);

    Process display = StartVistrel(L"{VOLUP:1}");
    ASSERT_NE(nullptr, WaitForBar(1, kAppearTimeout));
    std::vector<int> lostRuns;
    int handedOver = 0;
    int shownByCopy = 0;
    const DWORD startedAt = GetTickCount();
    for (int run = 0; run < kRuns && lostRuns.size() < kLostEnough; ++run) {
        const int level = 2 + run % 59;
        ResetEvent(ending.get());
        ASSERT_TRUE(
            WaitUntil([&] { return WaitForSingleObject(ending.get(), 0) == WAIT_OBJECT_0; }, 10000))
            << "the display did not end in run " << run;
        Process copy = StartVistrel(L"{VOLUP:" + std::to_wstring(level) + L"}");
        const HWND bar = WaitForBar(level, 5000);
        if (!bar) {
            lostRuns.push_back(run);
            display = StartVistrel(L"{VOLUP:1}");
            ASSERT_NE(nullptr, WaitForBar(1, kAppearTimeout));
            continue;
        }
        DWORD owner = 0;
        GetWindowThreadProcessId(bar, &owner);
        if (owner == copy.Id()) {
            display = std::move(copy);
            ++shownByCopy;
        } else {
            ++handedOver;
        }
    }
    std::printf("%lu ms: %d handed over, %d shown by their copy, %zu lost\n",
                GetTickCount() - startedAt, handedOver, shownByCopy, lostRuns.size());
    EXPECT_TRUE(lostRuns.empty()) << "final levels never reached the screen, first in run "
                                  << lostRuns.front();
    EXPECT_TRUE(display.WaitForExit(10000).has_value());
}

TEST(OsdHandOver, MuteCommandLeavesTheRunningDisplayAlone) {
    HWND text = nullptr;
    Process display = StartSteadyDisplay(L"Prog 2", &text);
    ASSERT_NE(nullptr, text);

    Process copy = StartVistrel(L"{MUTE:7}");
    const CopyWatch watch = WatchUntilExit(copy, kCopyTimeout);
    ASSERT_TRUE(watch.exitCode.has_value());
    EXPECT_FALSE(watch.showedWindow);
    EXPECT_TRUE(StaysUnchanged(text, L"Prog 2", 1000));
    EXPECT_EQ(std::vector<HWND>{text}, VisibleWindowsOf(display.Id()));

    // A close request, from the system or a later text, ends the display.
    PostMessageW(FindDisplay(), WM_CLOSE, 0, 0);
    EXPECT_TRUE(display.WaitForExit(5000).has_value());
}

TEST(OsdHandOver, PlainTextReplacesTheRunningDisplay) {
    const struct {
        const char* name;
        const wchar_t* running;
        const wchar_t* runningNotice;
        bool keepVolumeUp;
    } cases[] = {
        {"volume display", L"{VOLUP:10}", L"Volume Up", true},
        {"text display", L"First``0`0`255`50`700`0`60000", L"First", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Process running = StartVistrel(c.running);
        ASSERT_NE(nullptr, WaitForNotice(running.Id(), c.runningNotice, kAppearTimeout));
        // Later volume commands keep a volume display up while the copy starts.
        std::optional<VolumeKeeper> keeper;
        if (c.keepVolumeUp)
            keeper.emplace(FindDisplay(), 1, 10);

        Process copy = StartVistrel(L"Prog 1``0`0`255");
        const CopyWatch replaced = WatchUntilExit(running, kCopyTimeout);
        ASSERT_TRUE(replaced.exitCode.has_value()) << "the running display did not end";
        EXPECT_EQ(0u, *replaced.exitCode);
        EXPECT_EQ(1u, replaced.mostDisplays) << "two displays at once";

        const HWND notice = WaitForNotice(copy.Id(), L"Prog 1", kAppearTimeout);
        const DWORD shownAt = GetTickCount();
        ASSERT_NE(nullptr, notice);
        const auto exitCode = copy.WaitForExit(10000);
        ASSERT_TRUE(exitCode.has_value());
        EXPECT_GE(GetTickCount() - shownAt + 250, 1500u);
    }
}

TEST(OsdBadLine, StartsNoWindowForwardsNothingAndEnds) {
    HWND steady = nullptr;
    Process display = StartSteadyDisplay(L"Steady", &steady);
    ASSERT_NE(nullptr, steady);
    const HWND main = FindDisplay();

    const wchar_t* const lines[] = {
        L"",
        L"     ",
        L"`Arial`255`0`0",
        L"Hi``12a",
        L"Hi``-1",
        L"{VOLUP:5}``0`0`255`50`700`0`1500`9",
        L"Hi``4294967296`0`0",
        L"{VOLDN:5}``0`0`0`2147483648",
    };
    for (const wchar_t* line : lines) {
        SCOPED_TRACE(std::string(line, line + wcslen(line)));
        Process copy = StartVistrel(line);
        const CopyWatch watch = WatchUntilExit(copy, kCopyTimeout);
        ASSERT_TRUE(watch.exitCode.has_value()) << "the copy did not end";
        EXPECT_EQ(0u, *watch.exitCode);
        EXPECT_FALSE(watch.showedWindow);
        EXPECT_EQ(1u, watch.mostDisplays);
        EXPECT_EQ(std::vector<HWND>{main}, DisplayWindows());
    }
    EXPECT_TRUE(StaysUnchanged(steady, L"Steady", 600)) << "a bad line reached the display";
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_TRUE(display.WaitForExit(5000).has_value());
}

TEST(OsdNoticeRefused, DisplayEndsAtOnceWhenANoticeWindowCannotBeCreated) {
    const struct {
        const char* name;
        const wchar_t* line;
    } cases[] = {
        {"text notice", L"Refused``0`0`255`50`700`0`60000"},
        {"volume notice", L"{VOLUP:5}"},
    };
    GlobalHook refusal(WH_CBT, "RefuseNoticeWindows");
    ASSERT_TRUE(refusal);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Process copy = StartVistrel(c.line);
        const CopyWatch watch = WatchUntilExit(copy, kCopyTimeout);
        ASSERT_TRUE(watch.exitCode.has_value()) << "an invisible display stayed behind";
        EXPECT_EQ(0u, *watch.exitCode);
        EXPECT_FALSE(watch.showedWindow);
        EXPECT_EQ(nullptr, FindDisplay());
    }
}

TEST(OsdNoticeRefused, RunningDisplayEndsWhenItsNextNoticeCannotBeCreated) {
    HWND text = nullptr;
    Process display = StartSteadyDisplay(L"Prog 1", &text);
    ASSERT_NE(nullptr, text);

    GlobalHook refusal(WH_CBT, "RefuseNoticeWindows");
    ASSERT_TRUE(refusal);
    PostMessageW(FindDisplay(), WM_CLOSE, 1, 5);
    EXPECT_TRUE(display.WaitForExit(kCopyTimeout).has_value())
        << "the display stayed without a notice";
}

} // namespace
