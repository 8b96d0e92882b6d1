// Pellor in the Korean user interface: its texts, its questions, double-byte
// text against the store's 300-byte reads, and how its dialogs look.
#include "PellorDriver.h"

#include <gtest/gtest.h>

using namespace qxtest;
using namespace pellortest;

namespace {

class PellorKorean : public ::testing::Test {
  protected:
    void SetUp() override { ForgetAllKeys(); }
    void TearDown() override { ForgetAllKeys(); }
};

// ANSI bytes of a text in the Korean code page.
std::string Korean(const std::wstring& text) {
    const int size = WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string bytes(size, '\0');
    WideCharToMultiByte(949, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size,
                        nullptr, nullptr);
    return bytes;
}

std::wstring Repeat(const std::wstring& text, int times) {
    std::wstring result;
    for (int i = 0; i < times; ++i)
        result += text;
    return result;
}

TEST_F(PellorKorean, DialogsAndQuestionsAreKoreanAndTheKeysKeepTheirNames) {
    PellorRun run = StartPellor(KoreanUserInterface());
    ASSERT_NE(nullptr, run.main);
    EXPECT_EQ(L"Modify", DialogItemText(run.main, kProg1Modify)) << "the main dialog is English";
    EXPECT_TRUE(UserKeyExists(KeyPath(0))) << "the subkey names do not depend on the language";
    EXPECT_TRUE(UserKeyExists(KeyPath(1)));
    SaveScreenshot(run, "pellor-main-ko");

    const HWND editor = OpenEditor(run, 0);
    ASSERT_NE(nullptr, editor);
    EXPECT_EQ(Wide("파일찾기"), DialogItemText(editor, kBrowse));
    EXPECT_EQ(Wide("확인"), DialogItemText(editor, IDOK));
    EXPECT_EQ(Wide("취소"), DialogItemText(editor, IDCANCEL));
    MouseClick(GetDlgItem(editor, kProgram));
    ASSERT_TRUE(WaitUntil([&] { return IsShown(editor, kBrowse); }, kUiWait));
    SaveScreenshot(run, "pellor-editor-ko");
    ClickButton(editor, IDCANCEL);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));

    MessageBoxWatcher watcher(kCaption, IDNO);
    ClickButton(run.main, kResetAll);
    ASSERT_TRUE(watcher.WaitForBoxes(1, kUiWait));
    EXPECT_EQ(Wide("모든 설정 내용을 삭제 하시겠습니까?"), watcher.Boxes()[0].text);
}

// Hangul takes two bytes: the edit, which counts characters, must still stop
// where the store's reads stop.
TEST_F(PellorKorean, TypedHangulStopsAtTheLongestCommandTheStoreReadsBack) {
    PellorRun run = StartPellor(KoreanUserInterface());
    ASSERT_NE(nullptr, run.main);
    const HWND editor = OpenEditor(run, 0);
    const HWND location = GetDlgItem(editor, kLocation);
    ClearText(location);
    TypeText(location, L"C:\\" + Repeat(Wide("가"), 200));
    const std::wstring longest = L"C:\\" + Repeat(Wide("가"), 148); // 3 + 296 bytes
    ASSERT_TRUE(WaitForText(editor, kLocation, longest));
    ClickButton(editor, IDOK);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
    ApplyChanges(run);

    // Stored as it reads back in the Korean code page: 3 + 148 * 2 = 299 bytes.
    const auto stored = ReadUserValue(KeyPath(0), L"Command");
    ASSERT_TRUE(stored.has_value());
    EXPECT_EQ(static_cast<DWORD>(REG_SZ), stored->type);
    EXPECT_EQ(longest, std::wstring(reinterpret_cast<const wchar_t*>(stored->data.data())));
    EXPECT_EQ(299u, Korean(longest).size());
}

// A path of 160 Hangul characters is within the system's path limit but
// over the store's 299 bytes.
TEST_F(PellorKorean, BrowseRefusesAFileWhosePathTheStoreCannotReadBack) {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    const std::wstring folder = std::wstring(temp) + L"pellor-" +
                                std::to_wstring(GetCurrentProcessId()) + L"-" +
                                Repeat(Wide("가"), 80);
    const std::wstring file = folder + L"\\" + Repeat(Wide("나"), 80) + L".exe";
    ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr) ||
                GetLastError() == ERROR_ALREADY_EXISTS);
    HANDLE created =
        CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, created);
    CloseHandle(created);
    ASSERT_GT(Korean(file).size(), 299u);

    StoreKey(0, 2, "C:\\Tools\\tool.exe");
    PellorRun run = StartPellor(KoreanUserInterface());
    ASSERT_NE(nullptr, run.main);
    const HWND editor = OpenEditor(run, 0);
    MessageBoxWatcher watcher(kCaption, IDOK);
    ClickButton(editor, kBrowse);
    const HWND open = WaitForOwnedDialog(run, editor, kUiWait);
    ASSERT_NE(nullptr, open);
    ChooseFileInOpenDialog(open, file);
    ASSERT_TRUE(watcher.WaitForBoxes(1, kUiWait)) << "the long path was not refused";
    const SeenBox box = watcher.Boxes()[0];
    EXPECT_NE(std::wstring::npos, box.text.find(L"299")) << "the limit is named";
    EXPECT_EQ(static_cast<UINT>(MB_ICONEXCLAMATION), box.icon);
    EXPECT_TRUE(WaitForText(editor, kLocation, L"C:\\Tools\\tool.exe"));

    ClickButton(editor, IDOK);
    ASSERT_TRUE(WaitForWindowGone(editor, kUiWait));
    EXPECT_FALSE(IsEnabled(run.main, kApply)) << "the entry is left as it was";
    DeleteFileW(file.c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace
