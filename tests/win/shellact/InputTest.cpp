// Synthetic keystrokes, Alt+F4 and the calculator hand-over, seen from a
// window of the test in front. Wine 8 leaves the virtual key of scan-code
// input at 0, so the window sees the scan codes but neither types a letter
// nor closes on them; the tests check the keystrokes as they arrive.
#include "CorvixTestSupport.h"
#include "fixtures/setup/FixtureSetup.h"
#include "shellact/Corvix.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace {

constexpr unsigned SCAN_LEFT_CTRL = 0x1D;
constexpr unsigned SCAN_V = 0x2F;
constexpr unsigned SCAN_LEFT_ALT = 0x38;
constexpr unsigned SCAN_F4 = 0x3E;
constexpr unsigned SCAN_SPACE = 0x39;

TEST(CorvixKeystrokes, EachCallSendsOneKeystrokeByScanCode) {
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.InFront(5000));
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    struct Case {
        WORD scanCode;
        BOOL extended;
        BOOL keyUp;
    } cases[] = {
        {0x2F, FALSE, FALSE}, {0x2F, FALSE, TRUE}, // V
        {0x1D, TRUE, FALSE},  {0x1D, TRUE, TRUE},  // right Ctrl
        {0x48, 7, FALSE},     {0x48, TRUE, 2},     // up arrow; any non-zero flag counts
    };
    std::vector<Keystroke> expected;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scanCode);
        EXPECT_EQ(TRUE, CVXP_GenerateKeyStroke(c.scanCode, c.extended, c.keyUp));
        expected.push_back({c.scanCode, c.extended != FALSE, c.keyUp != FALSE});
    }
    ASSERT_TRUE(recorder.WaitForKeystrokes(expected.size(), 5000));
    EXPECT_EQ(expected, recorder.Keystrokes());
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST(CorvixCloseWindow, SendsAltF4ToTheWindowInFront) {
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.InFront(5000));
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    EXPECT_EQ(TRUE, CVXP_CloseWindow());

    ASSERT_TRUE(recorder.WaitForKeystrokes(4, 5000));
    const std::vector<Keystroke> altF4 = {{SCAN_LEFT_ALT, false, false},
                                          {SCAN_F4, false, false},
                                          {SCAN_F4, false, true},
                                          {SCAN_LEFT_ALT, false, true}};
    EXPECT_EQ(altF4, recorder.Keystrokes());
    // Windows identifies keys sent by scan code, so Alt+F4 asks the window in
    // front to close; Wine 8 leaves them unidentified (virtual key 0, no Alt).
    if (recorder.AltKeyDowns() > 0) {
        EXPECT_TRUE(recorder.CloseRequested());
    }
    EXPECT_TRUE(boxes.Boxes().empty());
}

void PutTextOnClipboard(const char* text) {
    ASSERT_TRUE(OpenClipboard(nullptr));
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, strlen(text) + 1);
    memcpy(GlobalLock(memory), text, strlen(text) + 1);
    GlobalUnlock(memory);
    SetClipboardData(CF_TEXT, memory);
    CloseClipboard();
}

std::string ClipboardText() {
    if (!OpenClipboard(nullptr))
        return "(clipboard busy)";
    std::string text;
    if (HANDLE data = GetClipboardData(CF_TEXT)) {
        const char* locked = static_cast<const char*>(GlobalLock(data));
        text = std::string(locked, strnlen(locked, GlobalSize(data)));
        GlobalUnlock(data);
    }
    CloseClipboard();
    return text;
}

class CorvixCalculatorHandOver : public ::testing::Test {
  protected:
    void SetUp() override {
        EndFixtureProcesses(Fixture::Calculator);
        ClearFixtureLog(Fixture::Calculator);
    }
    void TearDown() override { EndFixtureProcesses(Fixture::Calculator); }

    // The calculator showing the given result, once its window is up.
    HWND StartCalculator(const std::wstring& result) {
        m_calculator = StartProcess(FixtureProgram(Fixture::Calculator), result);
        HWND window = WaitForWindow(nullptr, L"SciCalc", 10000);
        WaitUntil([&] { return window && IsWindowVisible(window); }, 5000);
        return window;
    }

    // A command posted now reaches the calculator after anything posted to
    // it before; the log up to it shows what came first.
    std::vector<std::string> CalculatorLogUpToMarker(HWND calculator) {
        PostMessageW(calculator, WM_COMMAND, 999, 0);
        EXPECT_TRUE(WaitForFixtureLogLine(Fixture::Calculator, "command 999", 10000));
        return FixtureLog(Fixture::Calculator);
    }

    Process m_calculator;
};

TEST_F(CorvixCalculatorHandOver, CopiesTheResultAndPastesItIntoTheWindowInFront) {
    const HWND calculator = StartCalculator(L"4096.25");
    ASSERT_NE(nullptr, calculator);
    PutTextOnClipboard("stale");
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.InFront(5000));
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    EXPECT_EQ(TRUE, CVXP_XferCalcResult());

    // The paste keystrokes wait in the window's queue while the calculator
    // fills the clipboard.
    EXPECT_TRUE(WaitForFixtureLogLine(Fixture::Calculator, "copy 4096.25", 10000));
    EXPECT_EQ("4096.25", ClipboardText());
    ASSERT_TRUE(recorder.WaitForKeystrokes(4, 5000));
    const std::vector<Keystroke> ctrlV = {{SCAN_LEFT_CTRL, false, false},
                                          {SCAN_V, false, false},
                                          {SCAN_V, false, true},
                                          {SCAN_LEFT_CTRL, false, true}};
    EXPECT_EQ(ctrlV, recorder.Keystrokes());
    EXPECT_EQ((std::vector<std::string>{"command 300", "copy 4096.25", "command 999"}),
              CalculatorLogUpToMarker(calculator));
    EXPECT_TRUE(boxes.Boxes().empty());
}

TEST_F(CorvixCalculatorHandOver, RefusesToPasteIntoTheCalculatorItself) {
    const HWND calculator = StartCalculator(L"7");
    ASSERT_NE(nullptr, calculator);
    SetForegroundWindow(calculator);
    ASSERT_TRUE(WaitUntil([&] { return GetForegroundWindow() == calculator; }, 5000));
    BoxStyleRecorder styles;
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    EXPECT_EQ(FALSE, CVXP_XferCalcResult());

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(1u, seen.size());
    ExpectInformationBox(seen[0], L"Could not X'fer to Calcuator itself.");
    ASSERT_EQ(1u, styles.ExtendedStyles().size());
    EXPECT_TRUE(styles.ExtendedStyles()[0] & WS_EX_TOPMOST) << "a system-modal box stays on top";
    EXPECT_EQ(std::vector<std::string>{"command 999"}, CalculatorLogUpToMarker(calculator))
        << "nothing was posted to the calculator";
}

TEST_F(CorvixCalculatorHandOver, ReportsThatNoCalculatorIsOpen) {
    ASSERT_EQ(nullptr, FindWindowW(L"SciCalc", nullptr));
    KeyRecorder recorder;
    ASSERT_TRUE(recorder.InFront(5000));
    BoxStyleRecorder styles;
    MessageBoxWatcher boxes(L"Tarvolt", IDOK);

    EXPECT_EQ(FALSE, CVXP_XferCalcResult());

    const std::vector<SeenBox> seen = boxes.Boxes();
    ASSERT_EQ(1u, seen.size());
    ExpectInformationBox(seen[0], L"Could not find Windows Calculator.");
    ASSERT_EQ(1u, styles.ExtendedStyles().size());
    EXPECT_TRUE(styles.ExtendedStyles()[0] & WS_EX_TOPMOST) << "a system-modal box stays on top";
    // Keystrokes sent now come after any paste keystrokes sent before.
    ASSERT_TRUE(recorder.InFront(5000));
    EXPECT_EQ(TRUE, CVXP_GenerateKeyStroke(SCAN_SPACE, FALSE, FALSE));
    EXPECT_EQ(TRUE, CVXP_GenerateKeyStroke(SCAN_SPACE, FALSE, TRUE));
    ASSERT_TRUE(recorder.WaitForKeystrokes(2, 5000));
    EXPECT_EQ((std::vector<Keystroke>{{SCAN_SPACE, false, false}, {SCAN_SPACE, false, true}}),
              recorder.Keystrokes());
}

} // namespace
