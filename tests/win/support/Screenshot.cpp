#include "WinTestSupport.h"

namespace qxtest {

namespace {

// Size of the file, or -1 while it does not exist.
LONGLONG FileSize(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return -1;
    return (static_cast<LONGLONG>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

} // namespace

std::string TakeScreenshot(const std::string& name) {
    const std::string folder = QX_SCREENSHOT_DIR;
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    const std::string file = folder + "/" + name + ".png";
    return SaveScreenshot(file) ? file : std::string();
}

bool SaveScreenshot(const std::string& file) {
    const std::wstring windowsFile = WindowsPath(file);
    DeleteFileW(windowsFile.c_str());
    // Wine starts Unix programs given by their Unix path; it gives no usable
    // handle for them, so the picture is awaited as a file whose size settles.
    std::wstring commandLine = L"/usr/bin/import -window root " + Wide(file.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    LONGLONG lastSize = -1;
    const bool written = WaitUntil(
        [&] {
            const LONGLONG size = FileSize(windowsFile);
            const bool settled = size > 0 && size == lastSize;
            lastSize = size;
            return settled;
        },
        20000);
    return written;
}

} // namespace qxtest
