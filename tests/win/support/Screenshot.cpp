#include "WinTestSupport.h"

namespace qxtest {

std::string TakeScreenshot(const std::string& name) {
    const std::string folder = QX_SCREENSHOT_DIR;
    CreateDirectoryW(WindowsPath(folder).c_str(), nullptr);
    const std::string file = folder + "/" + name + ".png";
    // Wine starts Unix programs given by their Unix path.
    std::wstring commandLine = L"/usr/bin/import -window root " + Wide(file.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &info))
        return std::string();
    const bool done = WaitForSingleObject(info.hProcess, 20000) == WAIT_OBJECT_0;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return done && GetFileAttributesW(WindowsPath(file).c_str()) != INVALID_FILE_ATTRIBUTES
               ? file
               : std::string();
}

} // namespace qxtest
