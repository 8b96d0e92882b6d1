// Pellor's main dialog driven as a person would: rows, Modify, Reset All,
// Apply, OK, Cancel and their questions, read back from the registry.
#include "PellorDriver.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace qxtest;
using namespace pellortest;

namespace {

class PellorMainDialog : public ::testing::Test {
  protected:
    void SetUp() override { ForgetAllKeys(); }
    void TearDown() override { ForgetAllKeys(); }
};

std::vector<int> Sorted(std::vector<int> ids) {
    std::sort(ids.begin(), ids.end());
    return ids;
}

void ExpectQuestion(const SeenBox& box, const wchar_t* text, std::vector<int> buttons,
                    int defaultButton) {
    EXPECT_EQ(kCaption, box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(Sorted(buttons), Sorted(box.buttons));
    EXPECT_EQ(defaultButton, box.defaultButton);
    EXPECT_EQ(static_cast<UINT>(MB_ICONQUESTION), box.icon);
}

void ExpectKey(int index, DWORD type, const std::string& command) {
    SCOPED_TRACE(index == 0 ? "Prog 1" : "Prog 2");
    const StoredKey key = ReadKey(index);
    EXPECT_EQ(type, key.type);
    EXPECT_EQ(command, key.command);
}

// Binds "Prog 1" to "http://" by Modify and the editor's OK, as on a fresh key.
void ChangeFirstKey(const PellorRun& run) {
    const HWND editor = OpenEditor(run, 0);
    ClickButton(editor, IDOK);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
    ASSERT_TRUE(WaitForText(run.main, kProg1Command, L"http://"));
}

TEST_F(PellorMainDialog, ShowsEachKeysCommandAndCreatesMissingKeys) {
    StoreKey(1, 7, "C:\\Tools\\odd type.exe");
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    EXPECT_EQ(L"", DialogItemText(run.main, kProg1Command));
    EXPECT_EQ(L"C:\\Tools\\odd type.exe", DialogItemText(run.main, kProg1Command + 1))
        << "the row shows the command whatever its type";
    EXPECT_FALSE(IsEnabled(run.main, kApply));
    ExpectKey(0, 0, "");
    ExpectKey(1, 7, "C:\\Tools\\odd type.exe");
    SaveScreenshot(run, "pellor-main-en");

    MessageBoxWatcher watcher(kCaption, IDYES);
    ClickButton(run.main, IDOK);
    EXPECT_TRUE(EndsWithin(run, kUiWait)) << "OK without changes closes at once";
    EXPECT_TRUE(watcher.Boxes().empty());
    ExpectKey(1, 7, "C:\\Tools\\odd type.exe"); // nothing was written
}

// Apply writes both keys, the unchanged one with the dialog's value even when
// the registry changed meanwhile; an expandable command is kept as its text.
TEST_F(PellorMainDialog, ModifyBindsANewKeyToHttpAndApplyStoresBothKeys) {
    const std::string expandable = "%ProgramFiles%\\Tool\\tool.exe";
    SetUserDword(KeyPath(1), L"Type", 2);
    SetUserAnsiValue(KeyPath(1), L"Command", REG_EXPAND_SZ, expandable + '\0');
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    EXPECT_EQ(std::wstring(expandable.begin(), expandable.end()),
              DialogItemText(run.main, kProg1Command + 1));
    StoreKey(1, 1, "http://changed.meanwhile");
    ChangeFirstKey(run);
    EXPECT_TRUE(IsEnabled(run.main, kApply));
    ExpectKey(0, 0, ""); // nothing is written before Apply

    ClickButton(run.main, kApply);
    ASSERT_TRUE(WaitUntil([&] { return !IsEnabled(run.main, kApply); }, kUiWait));
    ExpectKey(0, 1, "http://");
    ExpectKey(1, 2, expandable);

    MessageBoxWatcher watcher(kCaption, IDCANCEL);
    ClickButton(run.main, IDOK);
    EXPECT_TRUE(EndsWithin(run, kUiWait));
    EXPECT_TRUE(watcher.Boxes().empty()) << "nothing was left to save";
}

// A command too long to be read back reads as empty; saving it keeps no
// web address or program without a command.
TEST_F(PellorMainDialog, ApplyStoresAKeyWhoseCommandCouldNotBeReadAsNotSet) {
    StoreKey(1, 1, std::string(350, 'x'));
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    EXPECT_EQ(L"", DialogItemText(run.main, kProg1Command + 1));
    ChangeFirstKey(run);
    ClickButton(run.main, kApply);
    ASSERT_TRUE(WaitUntil([&] { return !IsEnabled(run.main, kApply); }, kUiWait));
    ExpectKey(0, 1, "http://");
    ExpectKey(1, 0, "");
}

TEST_F(PellorMainDialog, ModifyWithoutAChangeLeavesApplyAndTheDialogClean) {
    StoreKey(0, 1, "http://example.com");
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    const HWND editor = OpenEditor(run, 0);
    ClickButton(editor, IDOK);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
    EXPECT_FALSE(IsEnabled(run.main, kApply));

    MessageBoxWatcher watcher(kCaption, IDNO);
    ClickButton(run.main, IDCANCEL);
    EXPECT_TRUE(EndsWithin(run, kUiWait)) << "a clean dialog closes without a question";
    EXPECT_TRUE(watcher.Boxes().empty());
}

TEST_F(PellorMainDialog, ResetAllAnsweredYesThenOkYesStoresBothKeysEmpty) {
    StoreKey(0, 1, "http://example.com");
    StoreKey(1, 2, "C:\\Tools\\tool.exe");
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    MessageBoxWatcher watcher(kCaption, IDYES);

    ClickButton(run.main, kResetAll);
    ASSERT_TRUE(watcher.WaitForBoxes(1, kUiWait));
    ExpectQuestion(watcher.Boxes()[0], L"Do you really want to reset all of settings?",
                   {IDYES, IDNO}, IDYES);
    EXPECT_TRUE(WaitForText(run.main, kProg1Command, L""));
    EXPECT_TRUE(WaitForText(run.main, kProg1Command + 1, L""));
    EXPECT_FALSE(IsEnabled(run.main, kApply)) << "Reset All does not enable Apply";
    ExpectKey(0, 1, "http://example.com"); // not written yet

    ClickButton(run.main, IDOK);
    ASSERT_TRUE(watcher.WaitForBoxes(2, kUiWait)) << "OK must ask to save the reset";
    ExpectQuestion(watcher.Boxes()[1], L"Setting has been changed. Would you like to save it?",
                   {IDYES, IDNO, IDCANCEL}, IDYES);
    EXPECT_TRUE(EndsWithin(run, kUiWait));
    ExpectKey(0, 0, "");
    ExpectKey(1, 0, "");
}

TEST_F(PellorMainDialog, ResetAllAnsweredNoChangesNothing) {
    StoreKey(0, 1, "http://example.com");
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    MessageBoxWatcher watcher(kCaption, IDNO);
    ClickButton(run.main, kResetAll);
    ASSERT_TRUE(watcher.WaitForBoxes(1, kUiWait));
    ClickButton(run.main, IDOK);
    EXPECT_TRUE(EndsWithin(run, kUiWait)) << "after No nothing is left to save";
    EXPECT_EQ(1u, watcher.Boxes().size());
    ExpectKey(0, 1, "http://example.com");
}

TEST_F(PellorMainDialog, OkWithChangesAsksAndOnlyYesSaves) {
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    ChangeFirstKey(run);
    MessageBoxWatcher watcher(kCaption, IDCANCEL);

    ClickButton(run.main, IDOK);
    ASSERT_TRUE(watcher.WaitForBoxes(1, kUiWait));
    ExpectQuestion(watcher.Boxes()[0], L"Setting has been changed. Would you like to save it?",
                   {IDYES, IDNO, IDCANCEL}, IDYES);
    PumpMessages(300);
    EXPECT_TRUE(run.process.IsRunning()) << "Cancel on the question keeps the dialog open";
    EXPECT_TRUE(IsEnabled(run.main, kApply));
    ExpectKey(0, 0, "");

    watcher.SetAnswer(IDNO);
    ClickButton(run.main, IDOK);
    ASSERT_TRUE(watcher.WaitForBoxes(2, kUiWait));
    EXPECT_TRUE(EndsWithin(run, kUiWait)) << "No closes without saving";
    ExpectKey(0, 0, "");
}

TEST_F(PellorMainDialog, CancelWithChangesAsksWithNoPreselected) {
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    ChangeFirstKey(run);
    MessageBoxWatcher watcher(kCaption, IDNO);

    ClickButton(run.main, IDCANCEL);
    ASSERT_TRUE(watcher.WaitForBoxes(1, kUiWait));
    ExpectQuestion(watcher.Boxes()[0], L"Would you like to cancel the changes?", {IDYES, IDNO},
                   IDNO);
    PumpMessages(300);
    EXPECT_TRUE(run.process.IsRunning()) << "No keeps the dialog open";

    watcher.SetAnswer(IDYES);
    ClickButton(run.main, IDCANCEL);
    ASSERT_TRUE(watcher.WaitForBoxes(2, kUiWait));
    EXPECT_TRUE(EndsWithin(run, kUiWait));
    ExpectKey(0, 0, ""); // Yes closes without saving
}

TEST_F(PellorMainDialog, EscapeOnTheSaveQuestionKeepsTheDialogOpen) {
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    ChangeFirstKey(run);
    ClickButton(run.main, IDOK);
    const HWND question = WaitForOwnedDialog(run, run.main, kUiWait);
    ASSERT_NE(nullptr, question);
    EXPECT_EQ(kCaption, WindowText(question));
    PressKey(question, VK_ESCAPE);
    ASSERT_TRUE(WaitForWindowGone(question, kUiWait)) << "Escape did not answer the question";
    PumpMessages(300);
    EXPECT_TRUE(run.process.IsRunning());
    ExpectKey(0, 0, "");
}

TEST_F(PellorMainDialog, ASecondStartBringsTheFirstForwardAndEnds) {
    PellorRun first = StartPellor();
    ASSERT_NE(nullptr, first.main);
    const HWND editor = OpenEditor(first, 0);
    ASSERT_NE(nullptr, editor);

    Process second = StartProcess(BinPath(L"Pellor.exe"));
    const auto exitCode = second.WaitForExit(kUiWait);
    ASSERT_TRUE(exitCode.has_value()) << "the second start did not end";
    EXPECT_EQ(nullptr, WaitForProcessWindow(second.Id(), kCaption.c_str(), 0));
    // The first instance is in front: Wine 8 activates the main dialog itself,
    // Wine 10 the editor that the disabled dialog waits for.
    const HWND front = GetForegroundWindow();
    EXPECT_TRUE(front == first.main || front == GetLastActivePopup(first.main));
    EXPECT_TRUE(IsWindow(editor)) << "the first instance keeps its editor";
}

// Two starts close together, as a quick double press of an unbound key makes
// them: one finds the other, whichever titles its dialog first, and ends.
TEST_F(PellorMainDialog, TwoStartsBackToBackOpenOneDialog) {
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        Process starts[] = {StartProcess(BinPath(L"Pellor.exe")),
                            StartProcess(BinPath(L"Pellor.exe"))};
        const bool oneEnded =
            WaitUntil([&] { return !starts[0].IsRunning() || !starts[1].IsRunning(); }, kUiWait);
        Process& kept = starts[0].IsRunning() ? starts[0] : starts[1];
        const HWND main = WaitForProcessWindow(kept.Id(), kCaption.c_str(), kUiWait);
        for (Process& start : starts)
            start.Kill();
        ASSERT_TRUE(oneEnded) << "both starts opened a dialog";
        EXPECT_NE(nullptr, main);
    }
}

} // namespace
