// The chain from resource template to a running dialog, its message table,
// its message box and its end, driven from outside as a person would.
#include "ProbeResource.h"
#include "support/WinTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qxtest;

namespace {

const wchar_t kProbe[] = L"FrameworkProbe.exe";

struct ProbeRun {
    Process process;
    HWND dialog = nullptr;
};

ProbeRun StartProbe(const Environment& language, const std::wstring& title) {
    ProbeRun run;
    run.process = StartProcess(TestBinPath(kProbe), L"", language);
    if (run.process)
        run.dialog = WaitForProcessWindow(run.process.Id(), title.c_str(), 10000);
    return run;
}

TEST(FrameworkChain, EnglishDialogRunsItsMessageTableAndEndsOnClose) {
    ProbeRun run = StartProbe(EnglishUserInterface(), L"Framework Probe");
    ASSERT_NE(nullptr, run.dialog);
    EXPECT_EQ(L"#32770", ClassName(run.dialog));
    EXPECT_EQ(L"Hello from the probe", DialogItemText(run.dialog, IDC_GREETING));

    ClickButton(run.dialog, IDC_FILL);
    EXPECT_TRUE(
        WaitUntil([&] { return DialogItemText(run.dialog, IDC_RESULT) == L"filled"; }, 5000));

    PostMessageW(run.dialog, WM_CLOSE, 0, 0);
    const auto exitCode = run.process.WaitForExit(10000);
    ASSERT_TRUE(exitCode.has_value()) << "the probe did not end after WM_CLOSE";
    EXPECT_EQ(0u, *exitCode);
    EXPECT_FALSE(IsWindow(run.dialog));
}

TEST(FrameworkChain, KoreanUserInterfaceGetsTheKoreanTemplate) {
    const std::wstring title = Wide("프레임워크 시험");
    ProbeRun run = StartProbe(KoreanUserInterface(), title);
    ASSERT_NE(nullptr, run.dialog) << "no window titled with the Korean caption";
    EXPECT_EQ(Wide("안녕하세요"), DialogItemText(run.dialog, IDC_GREETING));
    EXPECT_EQ(Wide("확인"), DialogItemText(run.dialog, IDOK));
    EXPECT_FALSE(TakeScreenshot("framework-probe-ko").empty());
    ClickButton(run.dialog, IDCANCEL);
    EXPECT_TRUE(run.process.WaitForExit(10000).has_value());
}

TEST(FrameworkChain, MessageBoxIsCaptionedWithTheProgramName) {
    MessageBoxWatcher watcher(L"FrameworkProbe", IDNO);
    ProbeRun run = StartProbe(EnglishUserInterface(), L"Framework Probe");
    ASSERT_NE(nullptr, run.dialog);

    ClickButton(run.dialog, IDC_ASK);
    ASSERT_TRUE(watcher.WaitForBoxes(1, 10000)) << "no box captioned FrameworkProbe";
    const SeenBox box = watcher.Boxes().front();
    EXPECT_EQ(L"Do you see this question?", box.text);
    std::vector<int> buttons = box.buttons;
    std::sort(buttons.begin(), buttons.end());
    EXPECT_EQ((std::vector<int>{IDYES, IDNO}), buttons);
    EXPECT_EQ(IDYES, box.defaultButton);
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), box.icon);
    EXPECT_TRUE(WaitUntil([&] { return DialogItemText(run.dialog, IDC_RESULT) == L"no"; }, 5000))
        << "the answer did not reach the program";

    PostMessageW(run.dialog, WM_CLOSE, 0, 0);
    EXPECT_TRUE(run.process.WaitForExit(10000).has_value());
}

} // namespace
