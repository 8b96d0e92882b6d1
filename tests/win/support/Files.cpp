#include "WinTestSupport.h"

#include "framework/Handles.h"

namespace qxtest {

std::string ReadSharedFile(const std::wstring& path, std::size_t maxBytes) {
    qx::unique_hfile file(CreateFileW(path.c_str(), GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    std::string text;
    if (!file)
        return text;
    char buffer[4096];
    DWORD read = 0;
    while (text.size() < maxBytes && ReadFile(file.get(), buffer, sizeof buffer, &read, nullptr) &&
           read > 0)
        text.append(buffer, read);
    return text;
}

std::vector<std::string> EndedLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start));
    return lines;
}

} // namespace qxtest
