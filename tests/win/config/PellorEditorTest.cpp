// Pellor's key editor driven as a person would: modes, typing, focus,
// Enter, Browse with the system's Open-file dialog.
#include "PellorDriver.h"

#include <gtest/gtest.h>

using namespace qxtest;
using namespace pellortest;

namespace {

class PellorEditor : public ::testing::Test {
  protected:
    void SetUp() override { ForgetAllKeys(); }
    void TearDown() override { ForgetAllKeys(); }

    // Applies what the main dialog holds and reads back key index.
    StoredKey ApplyAndRead(const PellorRun& run, int index) {
        ApplyChanges(run);
        return ReadKey(index);
    }
};

const std::wstring kPellorPath = BinPath(L"Pellor.exe");

std::string Narrow(const std::wstring& text) {
    return std::string(text.begin(), text.end());
}

TEST_F(PellorEditor, OpensInTheModeOfTheStoredType) {
    const struct {
        const char* label;
        DWORD type;
        std::string command;
        int checked;
        std::wstring shown;
    } cases[] = {
        {"web address", 1, "http://example.com", kUrl, L"http://example.com"},
        {"program", 2, "C:\\Tools\\tool.exe", kProgram, L"C:\\Tools\\tool.exe"},
        {"not set", 0, "", kUrl, L"http://"},
        {"web address left empty", 1, "", kUrl, L""},
        {"unknown type", 9, "C:\\Tools\\tool.exe", kUrl, L"http://"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        StoreKey(1, c.type, c.command);
        PellorRun run = StartPellor();
        ASSERT_NE(nullptr, run.main);
        const HWND editor = OpenEditor(run, 1);
        ASSERT_NE(nullptr, editor);
        EXPECT_EQ(L"Prog 2", WindowText(editor));
        EXPECT_TRUE(IsChecked(editor, c.checked));
        EXPECT_FALSE(IsChecked(editor, c.checked == kUrl ? kProgram : kUrl));
        EXPECT_EQ(c.shown, DialogItemText(editor, kLocation));
        EXPECT_EQ(c.checked == kProgram, IsShown(editor, kBrowse)) << "Browse is for programs";
        EXPECT_EQ(GetDlgItem(editor, kLocation), FocusOf(run)) << "the edit takes the focus";

        ClickButton(editor, IDCANCEL);
        ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
        EXPECT_FALSE(IsEnabled(run.main, kApply)) << "Cancel leaves the entry untouched";
    }
}

TEST_F(PellorEditor, ClearingTheTextLeavesTheKeyNotSet) {
    const struct {
        const char* label;
        DWORD type;
        std::string command;
    } cases[] = {
        {"URL mode", 1, "http://example.com"},
        {"Program mode", 2, "C:\\Tools\\tool.exe"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        StoreKey(0, c.type, c.command);
        PellorRun run = StartPellor();
        ASSERT_NE(nullptr, run.main);
        const HWND editor = OpenEditor(run, 0);
        ClearText(GetDlgItem(editor, kLocation));
        ASSERT_TRUE(WaitForText(editor, kLocation, L""));
        ClickButton(editor, IDOK);
        ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
        EXPECT_TRUE(WaitForText(run.main, kProg1Command, L""));
        EXPECT_TRUE(IsEnabled(run.main, kApply));
        const StoredKey key = ApplyAndRead(run, 0);
        EXPECT_EQ(0u, key.type);
        EXPECT_EQ("", key.command);
    }
}

// Each mode keeps its own text across switches made with the mouse, which
// takes the focus from the edit; OK stores the text of the selected mode.
TEST_F(PellorEditor, EachModeKeepsItsOwnTextAndOkStoresTheSelectedOne) {
    const std::wstring address = L"http://typed.example/page";
    for (const int finalMode : {kUrl, kProgram}) {
        SCOPED_TRACE(finalMode == kUrl ? "ending in URL mode" : "ending in Program mode");
        ForgetAllKeys();
        PellorRun run = StartPellor();
        ASSERT_NE(nullptr, run.main);
        const HWND editor = OpenEditor(run, 0);
        const HWND location = GetDlgItem(editor, kLocation);
        ClearText(location);
        TypeText(location, address);
        ASSERT_TRUE(WaitForText(editor, kLocation, address));

        MouseClick(GetDlgItem(editor, kProgram));
        ASSERT_TRUE(WaitUntil([&] { return IsChecked(editor, kProgram); }, kUiWait));
        EXPECT_TRUE(WaitForText(editor, kLocation, L"")) << "Program mode has its own text";
        EXPECT_TRUE(IsShown(editor, kBrowse));
        ClickButton(editor, kBrowse);
        const HWND open = WaitForOwnedDialog(run, editor, kUiWait);
        ASSERT_NE(nullptr, open) << "Browse showed no Open-file dialog";
        ChooseFileInOpenDialog(open, kPellorPath);
        ASSERT_TRUE(WaitForWindowGone(open, kUiWait));
        EXPECT_TRUE(WaitForText(editor, kLocation, kPellorPath));

        MouseClick(GetDlgItem(editor, kUrl));
        ASSERT_TRUE(WaitUntil([&] { return IsChecked(editor, kUrl); }, kUiWait));
        EXPECT_TRUE(WaitForText(editor, kLocation, address)) << "the typed address is back";
        EXPECT_FALSE(IsShown(editor, kBrowse));
        if (finalMode == kProgram) {
            MouseClick(GetDlgItem(editor, kProgram));
            EXPECT_TRUE(WaitForText(editor, kLocation, kPellorPath));
        }

        MouseClick(GetDlgItem(editor, IDOK));
        ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
        const std::wstring stored = finalMode == kUrl ? address : kPellorPath;
        EXPECT_TRUE(WaitForText(run.main, kProg1Command, stored));
        const StoredKey key = ApplyAndRead(run, 0);
        EXPECT_EQ(finalMode == kUrl ? 1u : 2u, key.type);
        EXPECT_EQ(Narrow(stored), key.command);
    }
}

// Enter is turned into a click on OK wherever the focus is, so the typed
// text is committed and stored even when Cancel or Browse has the focus.
TEST_F(PellorEditor, EnterStoresTheEntryWhicheverButtonHasTheFocus) {
    const struct {
        const char* label;
        DWORD type;
        int tabs; // from the edit: Tab moves on to this button
        int focused;
    } cases[] = {
        {"Cancel focused", 1, 2, IDCANCEL},
        {"Browse focused", 2, 1, kBrowse},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        StoreKey(0, c.type, "x");
        PellorRun run = StartPellor();
        ASSERT_NE(nullptr, run.main);
        const HWND editor = OpenEditor(run, 0);
        const HWND location = GetDlgItem(editor, kLocation);
        ClearText(location);
        TypeText(location, L"typed");
        ASSERT_TRUE(WaitForText(editor, kLocation, L"typed"));
        for (int i = 0; i < c.tabs; ++i)
            PressKey(editor, VK_TAB);
        ASSERT_TRUE(
            WaitUntil([&] { return FocusOf(run) == GetDlgItem(editor, c.focused); }, kUiWait))
            << "Tab did not reach the button";

        PressKey(editor, VK_RETURN);
        ASSERT_TRUE(WaitForWindowGone(editor, kUiWait)) << "Enter did not close the editor";
        EXPECT_EQ(nullptr, WaitForOwnedDialog(run, editor, 0)) << "no Open-file dialog";
        EXPECT_TRUE(WaitForText(run.main, kProg1Command, L"typed"));
        const StoredKey key = ApplyAndRead(run, 0);
        EXPECT_EQ(c.type, key.type);
        EXPECT_EQ("typed", key.command);
    }
}

TEST_F(PellorEditor, BrowseOffersProgramsAndCancelChangesNothing) {
    StoreKey(0, 2, "C:\\Tools\\tool.exe");
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    const HWND editor = OpenEditor(run, 0);
    ClickButton(editor, kBrowse);
    const HWND open = WaitForOwnedDialog(run, editor, kUiWait);
    ASSERT_NE(nullptr, open);
    EXPECT_EQ(L"Open", WindowText(open));
    const HWND filter = GetDlgItem(open, 0x470); // the file-type combo box
    ASSERT_NE(nullptr, filter);
    ASSERT_EQ(2, SendMessageW(filter, CB_GETCOUNT, 0, 0));
    const std::wstring filters[] = {L"Execution Files(*.exe)", L"All Files(*.*)"};
    for (int i = 0; i < 2; ++i) {
        wchar_t text[128] = L"";
        SendMessageW(filter, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
        EXPECT_EQ(filters[i], text);
    }
    EXPECT_EQ(0, SendMessageW(filter, CB_GETCURSEL, 0, 0)) << "programs are offered first";
    SaveScreenshot(run, "pellor-open-file-en");

    ClickButton(open, IDCANCEL);
    ASSERT_TRUE(WaitForWindowGone(open, kUiWait));
    EXPECT_EQ(L"C:\\Tools\\tool.exe", DialogItemText(editor, kLocation));
    SaveScreenshot(run, "pellor-editor-en");
    ClickButton(editor, IDOK);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
    EXPECT_FALSE(IsEnabled(run.main, kApply));
}

TEST_F(PellorEditor, TypingStopsAtTheLongestCommandTheStoreReadsBack) {
    PellorRun run = StartPellor();
    ASSERT_NE(nullptr, run.main);
    const HWND editor = OpenEditor(run, 0);
    const HWND location = GetDlgItem(editor, kLocation);
    ClearText(location);
    TypeText(location, std::wstring(310, L'a'));
    const std::wstring longest(299, L'a');
    ASSERT_TRUE(WaitForText(editor, kLocation, longest));
    ClickButton(editor, IDOK);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
    const StoredKey key = ApplyAndRead(run, 0);
    EXPECT_EQ(Narrow(longest), key.command);
    EXPECT_EQ(1u, key.type);
}

} // namespace
