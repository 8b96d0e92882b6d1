#include "CorvixTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace qxtest {

std::wstring SystemErrorText(DWORD code) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
        reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    LocalFree(buffer);
    return text;
}

std::string Narrow(const std::wstring& text) {
    const int length = WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()),
                                           nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? length : 0, '\0');
    if (length > 0)
        WideCharToMultiByte(CP_ACP, 0, text.c_str(), static_cast<int>(text.size()), narrow.data(),
                            length, nullptr, nullptr);
    return narrow;
}

std::string CdDriveInstancePath(unsigned index) {
    return "QXTEST\\CDROM&VEN_QX&PROD_TEST\\" + std::to_string(index);
}

void ExpectInformationBox(const SeenBox& box, const std::wstring& text) {
    EXPECT_EQ(L"Tarvolt", box.caption);
    EXPECT_EQ(text, box.text);
    EXPECT_EQ(std::vector<int>{IDOK}, box.buttons);
    EXPECT_EQ(static_cast<UINT>(MB_ICONINFORMATION), box.icon);
}

void ExpectErrorBox(const SeenBox& box, DWORD code) {
    SCOPED_TRACE("error box for code " + std::to_string(code));
    const std::wstring text = SystemErrorText(code);
    ASSERT_FALSE(text.empty()) << "the system has no text for this code";
    ExpectInformationBox(box, text);
}

namespace {
BoxStyleRecorder* g_boxStyleRecorder = nullptr;
}

BoxStyleRecorder::BoxStyleRecorder()
    : m_hook(SetWindowsHookExW(WH_CBT, Hook, nullptr, GetCurrentThreadId())) {
    g_boxStyleRecorder = this;
    EXPECT_NE(nullptr, m_hook);
}

BoxStyleRecorder::~BoxStyleRecorder() {
    if (m_hook)
        UnhookWindowsHookEx(m_hook);
    g_boxStyleRecorder = nullptr;
}

LRESULT CALLBACK BoxStyleRecorder::Hook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_boxStyleRecorder) {
        const HWND window = reinterpret_cast<HWND>(wParam);
        if (ClassName(window) == L"#32770")
            g_boxStyleRecorder->m_styles.push_back(GetWindowLongW(window, GWL_EXSTYLE));
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

void PrintTo(const Keystroke& stroke, std::ostream* out) {
    *out << "{scan 0x" << std::hex << stroke.scanCode << std::dec
         << (stroke.extended ? " extended" : "") << (stroke.up ? " up" : " down") << "}";
}

namespace {
const wchar_t kKeyRecorderClass[] = L"CorvixTestKeyRecorder";
}

KeyRecorder::KeyRecorder() {
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Proc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kKeyRecorderClass;
    RegisterClassW(&windowClass); // fails harmlessly when already registered
    m_window = CreateWindowExW(0, kKeyRecorderClass, L"Key recorder", WS_OVERLAPPEDWINDOW, 100, 100,
                               300, 120, nullptr, nullptr, GetModuleHandleW(nullptr), this);
    ShowWindow(m_window, SW_SHOW);
    SetForegroundWindow(m_window);
    SetFocus(m_window);
}

KeyRecorder::~KeyRecorder() {
    if (IsWindow(m_window))
        DestroyWindow(m_window);
}

bool KeyRecorder::InFront(DWORD timeoutMs) {
    return WaitUntil([&] { return GetForegroundWindow() == m_window && GetFocus() == m_window; },
                     timeoutMs);
}

bool KeyRecorder::WaitForKeystrokes(std::size_t count, DWORD timeoutMs) {
    return WaitUntil([&] { return m_strokes.size() >= count; }, timeoutMs);
}

LRESULT CALLBACK KeyRecorder::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA,
                          reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* self = reinterpret_cast<KeyRecorder*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    switch (message) {
    case WM_SYSKEYDOWN:
        if (self)
            self->m_altKeyDowns++;
        [[fallthrough]];
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP:
        if (self)
            self->m_strokes.push_back({static_cast<unsigned>((lParam >> 16) & 0xFF),
                                       ((lParam >> 24) & 1) != 0, ((lParam >> 31) & 1) != 0});
        break;
    case WM_CLOSE:
        if (self)
            self->m_closeRequested = true;
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        break;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

namespace {

bool MachineKeyExists(const std::string& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS)
        return false;
    RegCloseKey(opened);
    return true;
}

} // namespace

MachineKeys::~MachineKeys() {
    for (auto created = m_created.rbegin(); created != m_created.rend(); ++created)
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, created->c_str());
}

void MachineKeys::SetString(const std::string& key, const std::string& name,
                            const std::string& value) {
    Set(key, name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void MachineKeys::SetDword(const std::string& key, const std::string& name, DWORD value) {
    Set(key, name, REG_DWORD, &value, sizeof value);
}

void MachineKeys::AddCdDrives(const std::vector<std::string>& friendlyNames) {
    for (unsigned i = 0; i < friendlyNames.size(); ++i) {
        SetString(kCdRomEnumKey, std::to_string(i), CdDriveInstancePath(i));
        SetString("System\\CurrentControlSet\\Enum\\" + CdDriveInstancePath(i), "FriendlyName",
                  friendlyNames[i]);
    }
    SetDword(kCdRomEnumKey, "Count", static_cast<DWORD>(friendlyNames.size()));
}

void MachineKeys::Set(const std::string& key, const std::string& name, DWORD type, const void* data,
                      DWORD size) {
    // Remember the topmost key along the path that this creates.
    for (std::size_t end = key.find('\\');; end = key.find('\\', end + 1)) {
        const std::string prefix = key.substr(0, end);
        if (!MachineKeyExists(prefix)) {
            m_created.push_back(prefix);
            break;
        }
        if (end == std::string::npos)
            break;
    }
    HKEY opened = nullptr;
    ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                                             KEY_ALL_ACCESS, nullptr, &opened, nullptr));
    EXPECT_EQ(ERROR_SUCCESS,
              RegSetValueExA(opened, name.c_str(), 0, type, static_cast<const BYTE*>(data), size));
    RegCloseKey(opened);
}

} // namespace qxtest
