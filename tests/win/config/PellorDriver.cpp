#include "PellorDriver.h"

#include <gtest/gtest.h>

using namespace qxtest;

namespace pellortest {

const std::wstring kUserKeysPath = L"Software\\Morvel\\QX-310\\User Keys";
const std::wstring kCaption = L"User Key Configuration";

namespace {

// The Open-file dialog's file-name box (a combo box with an edit inside).
constexpr int kFileNameCombo = 0x47C;

struct OwnedSearch {
    DWORD processId;
    HWND owner;
    HWND found;
};

BOOL CALLBACK MatchOwned(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<OwnedSearch*>(lParam);
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    if (processId != search->processId || GetWindow(window, GW_OWNER) != search->owner ||
        !IsWindowVisible(window) || ClassName(window) != L"#32770")
        return TRUE;
    search->found = window;
    return FALSE;
}

BOOL CALLBACK MatchEdit(HWND window, LPARAM lParam) {
    if (ClassName(window) != L"Edit")
        return TRUE;
    *reinterpret_cast<HWND*>(lParam) = window;
    return FALSE;
}

// Wine draws the dialogs' frames and titles itself, as Windows does, so that
// the screenshots show them on a display without a window manager.
class WineDrawsPellorFrames : public ::testing::Environment {
  public:
    void SetUp() override {
        const std::wstring value = L"N";
        SetUserValue(kWineSettings, L"Decorated", REG_SZ,
                     std::vector<BYTE>(reinterpret_cast<const BYTE*>(value.c_str()),
                                       reinterpret_cast<const BYTE*>(value.c_str() + 2)));
    }
    void TearDown() override { DeleteUserKey(L"Software\\Wine\\AppDefaults\\Pellor.exe"); }

  private:
    const std::wstring kWineSettings = L"Software\\Wine\\AppDefaults\\Pellor.exe\\X11 Driver";
};

::testing::Environment* const kWineDrawsPellorFrames =
    ::testing::AddGlobalTestEnvironment(new WineDrawsPellorFrames);

ULONGLONG FileTimeValue(const FILETIME& time) {
    return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

void WaitUntilInFront(HWND window) {
    const HWND top = GetAncestor(window, GA_ROOT);
    EXPECT_TRUE(WaitUntil([&] { return GetForegroundWindow() == top; }, kUiWait))
        << "the window did not come to the front";
}

void SendInputs(INPUT* inputs, UINT count) {
    EXPECT_EQ(count, SendInput(count, inputs, sizeof(INPUT)));
}

} // namespace

std::wstring KeyPath(int index) {
    return kUserKeysPath + (index == 0 ? L"\\Prog 1" : L"\\Prog 2");
}

void ForgetAllKeys() {
    DeleteUserKey(L"Software\\Morvel");
}

void StoreKey(int index, DWORD type, const std::string& command) {
    SetUserDword(KeyPath(index), L"Type", type);
    SetUserString(KeyPath(index), L"Command", command);
}

StoredKey ReadKey(int index) {
    return {ReadUserDword(KeyPath(index), L"Type"), ReadUserString(KeyPath(index), L"Command")};
}

PellorRun StartPellor(const Environment& language) {
    PellorRun run;
    run.process = StartProcess(BinPath(L"Pellor.exe"), L"", language);
    if (!run.process)
        return run;
    run.main = WaitForProcessWindow(run.process.Id(), kCaption.c_str(), kUiWait);
    EXPECT_NE(nullptr, run.main) << "no main dialog titled "
                                 << "User Key Configuration";
    // The dialog is shown once its initialisation, which reads the store, is done.
    EXPECT_TRUE(WaitUntil([&] { return run.main && IsWindowVisible(run.main); }, kUiWait));
    return run;
}

HWND OpenEditor(const PellorRun& run, int index) {
    ClickButton(run.main, kProg1Modify + index);
    const wchar_t* name = index == 0 ? L"Prog 1" : L"Prog 2";
    const HWND editor = WaitForProcessWindow(run.process.Id(), name, kUiWait);
    EXPECT_NE(nullptr, editor) << "no editor titled with the key's name";
    EXPECT_TRUE(WaitUntil([&] { return editor && IsWindowVisible(editor); }, kUiWait));
    return editor;
}

HWND WaitForOwnedDialog(const PellorRun& run, HWND owner, DWORD timeoutMs) {
    OwnedSearch search = {run.process.Id(), owner, nullptr};
    WaitUntil(
        [&] {
            EnumWindows(MatchOwned, reinterpret_cast<LPARAM>(&search));
            return search.found != nullptr;
        },
        timeoutMs);
    return search.found;
}

void ApplyChanges(const PellorRun& run) {
    ASSERT_TRUE(WaitUntil([&] { return IsEnabled(run.main, kApply); }, kUiWait))
        << "Modify did not enable Apply";
    ClickButton(run.main, kApply);
    EXPECT_TRUE(WaitUntil([&] { return !IsEnabled(run.main, kApply); }, kUiWait));
}

bool IsEnabled(HWND dialog, int id) {
    return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE;
}

bool IsShown(HWND dialog, int id) {
    return IsWindowVisible(GetDlgItem(dialog, id)) != FALSE;
}

bool IsChecked(HWND dialog, int id) {
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

HWND FocusOf(const PellorRun& run) {
    GUITHREADINFO info = {};
    info.cbSize = sizeof info;
    const DWORD thread = GetWindowThreadProcessId(run.main, nullptr);
    return GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
}

void TypeText(HWND control, const std::wstring& text) {
    for (const wchar_t c : text)
        PostMessageW(control, WM_CHAR, c, 1);
}

void ClearText(HWND edit) {
    PostMessageW(edit, EM_SETSEL, 0, -1);
    PostMessageW(edit, WM_CHAR, VK_BACK, 1);
}

bool WaitForText(HWND dialog, int id, const std::wstring& text) {
    return WaitUntil([&] { return DialogItemText(dialog, id) == text; }, kUiWait);
}

void MouseClick(HWND control) {
    WaitUntilInFront(control);
    RECT rect;
    GetWindowRect(control, &rect);
    const int width = GetSystemMetrics(SM_CXSCREEN);
    const int height = GetSystemMetrics(SM_CYSCREEN);
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_MOUSE;
        input.mi.dx = ((rect.left + rect.right) / 2) * 65535 / (width - 1);
        input.mi.dy = ((rect.top + rect.bottom) / 2) * 65535 / (height - 1);
    }
    inputs[0].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTDOWN;
    inputs[1].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_LEFTUP;
    SendInputs(inputs, 2);
}

void PressKey(HWND window, WORD virtualKey) {
    WaitUntilInFront(window);
    INPUT inputs[2] = {};
    for (INPUT& input : inputs) {
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = virtualKey;
    }
    inputs[1].ki.dwFlags = KEYEVENTF_KEYUP;
    SendInputs(inputs, 2);
}

void ChooseFileInOpenDialog(HWND openDialog, const std::wstring& path) {
    HWND edit = nullptr;
    EnumChildWindows(GetDlgItem(openDialog, kFileNameCombo), MatchEdit,
                     reinterpret_cast<LPARAM>(&edit));
    ASSERT_NE(nullptr, edit) << "no file-name box in the Open-file dialog";
    ClearText(edit);
    TypeText(edit, path);
    ASSERT_TRUE(WaitUntil([&] { return WindowText(edit) == path; }, kUiWait));
    ClickButton(openDialog, IDOK);
}

void SaveScreenshot(const PellorRun& run, const std::string& name) {
    EXPECT_TRUE(WaitUntil([&] { return !PaintPending(run.process.Id()); }, kUiWait))
        << "the windows were not painted";
    FILETIME started;
    GetSystemTimeAsFileTime(&started);
    // The screenshot tool runs on its own and may not have written the
    // picture when TakeScreenshot returns.
    TakeScreenshot(name);
    const std::wstring path = WindowsPath(std::string(QX_SCREENSHOT_DIR) + "/" + name + ".png");
    ULONGLONG lastSize = 0;
    const bool saved = WaitUntil(
        [&] {
            WIN32_FILE_ATTRIBUTE_DATA data;
            if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data) ||
                FileTimeValue(data.ftLastWriteTime) < FileTimeValue(started))
                return false;
            const ULONGLONG size =
                (static_cast<ULONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
            const bool settled = size != 0 && size == lastSize;
            lastSize = size;
            return settled;
        },
        kUiWait);
    EXPECT_TRUE(saved) << "the screenshot " << name << " was not written";
}

bool EndsWithin(PellorRun& run, DWORD timeoutMs) {
    return run.process.WaitForExit(timeoutMs).has_value();
}

} // namespace pellortest
