#include "ShellActionApp.h"

#include "ErrorText.h"

namespace {

const char kCaption[] = "Tarvolt";

// The system's text for code; empty when it has none.
std::string SystemErrorText(DWORD code) {
    char* buffer = nullptr;
    const DWORD length = ::FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM,
        nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<char*>(&buffer),
        0, nullptr);
    std::string text;
    if (length != 0 && buffer)
        text.assign(buffer, length);
    if (buffer)
        ::LocalFree(buffer);
    return text;
}

} // namespace

const CShellActionApp theApp;

int CShellActionApp::DoMessageBox(const std::string& text, UINT style) const {
    return ::MessageBoxA(nullptr, text.c_str(), kCaption, style);
}

void CShellActionApp::ShowErrorBox(DWORD code) const {
    std::string text = SystemErrorText(code);
    if (text.empty())
        text = corvix::UnknownErrorText(code);
    DoMessageBox(text, MB_OK | MB_ICONINFORMATION);
}
