#include "LinkHarness.h"

#include "simkeyboard/KeyboardClient.h"

#include <sstream>
#include <type_traits>

#include <setupapi.h>
#include <tlhelp32.h>

namespace devlinktest {

std::wstring LibraryPath() {
    return qxtest::BinPath(L"TarvoltXP.dll");
}

qx::unique_hfile OpenKeyboardInterface(DWORD flags, const std::string& path) {
    if (path.empty())
        return qx::unique_hfile();
    return qx::unique_hfile(CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                        nullptr, OPEN_EXISTING, flags, nullptr));
}

CSimulatedKeyboard::~CSimulatedKeyboard() {
    Reset();
}

bool CSimulatedKeyboard::Reset() const {
    return Run("reset").has_value();
}

std::optional<std::string> CSimulatedKeyboard::Run(const std::string& commandLine) const {
    const simkeyboard::CommandOutcome outcome = simkeyboard::Run(commandLine);
    if (outcome.exitCode != simkeyboard::EXIT_DONE)
        return std::nullopt;
    return outcome.text;
}

std::string CSimulatedKeyboard::Must(const std::string& commandLine) const {
    return Run(commandLine).value_or(std::string());
}

bool CLinkLibrary::Load(const std::wstring& path) {
    m_module.reset(LoadLibraryW(path.c_str()));
    if (!m_module)
        return false;
    const HMODULE module = m_module.get();
    const auto find = [module](auto& function, const char* name) {
        function = reinterpret_cast<std::remove_reference_t<decltype(function)>>(
            reinterpret_cast<void*>(GetProcAddress(module, name)));
        return function != nullptr;
    };
    return find(m_loadDriver, "LoadDriver") && find(m_unloadDriver, "UnloadDriver") &&
           find(m_resetDevice, "ResetDevice") && find(m_reloadKeyMap, "ReloadKeyMap") &&
           find(m_resetKeyMap, "ResetKeyMap") && find(m_resetKeyMapEx, "ResetKeyMapEx");
}

CKeyRecorder::CKeyRecorder() {
    InitializeCriticalSection(&m_lock);
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"DevlinkKeyRecorder";
    RegisterClassW(&windowClass); // fails harmlessly once registered
    m_window = CreateWindowW(L"DevlinkKeyRecorder", L"Key recorder", WS_OVERLAPPED, 0, 0, 10, 10,
                             nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
    SetWindowLongPtrW(m_window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

CKeyRecorder::~CKeyRecorder() {
    DestroyWindow(m_window);
    DeleteCriticalSection(&m_lock);
}

std::vector<ReceivedKey> CKeyRecorder::Keys() const {
    qx::critical_section_lock lock(m_lock);
    return m_keys;
}

LRESULT CALLBACK CKeyRecorder::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CKeyRecorder*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message != WM_DEVICEKEY || !self)
        return DefWindowProcW(window, message, wParam, lParam);
    ++self->m_depth;
    const ReceivedKey key = {static_cast<unsigned>(wParam), static_cast<unsigned>(lParam),
                             GetCurrentThreadId(), self->m_depth};
    {
        qx::critical_section_lock lock(self->m_lock);
        self->m_keys.push_back(key);
    }
    if (self->m_onKey)
        self->m_onKey(key);
    --self->m_depth;
    return 0;
}

std::vector<std::string> LogLines(const std::string& log) {
    std::vector<std::string> lines;
    std::istringstream stream(log);
    for (std::string line; std::getline(stream, line);)
        lines.push_back(line);
    return lines;
}

namespace {

std::vector<std::uint8_t> BytesFromHex(const std::string& hex) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 2)
        bytes.push_back(static_cast<std::uint8_t>(std::stoul(hex.substr(at, 2), nullptr, 16)));
    return bytes;
}

// "#7 request connection=3 ioctl=000B0008 in=4 out=400 data=FE000021 -> ok returned=0"
std::optional<LoggedRequest> ParseRequest(const std::string& line) {
    std::istringstream words(line);
    std::string number, kind;
    words >> number >> kind;
    if (kind != "request")
        return std::nullopt;
    LoggedRequest request;
    for (std::string word; words >> word;) {
        const std::size_t equals = word.find('=');
        const std::string name = word.substr(0, equals);
        const std::string value = equals == std::string::npos ? "" : word.substr(equals + 1);
        if (word == "ok")
            request.succeeded = true;
        else if (name == "connection")
            request.connection = std::stoul(value);
        else if (name == "ioctl")
            request.ioctl = value;
        else if (name == "in")
            request.inputLength = std::stoul(value);
        else if (name == "out")
            request.replySize = std::stoul(value);
        else if (name == "data")
            request.data = BytesFromHex(value);
        else if (name == "error")
            request.error = std::stoul(value);
        else if (name == "returned")
            request.returned = std::stoul(value);
    }
    return request;
}

} // namespace

std::vector<LoggedRequest> LoggedRequests(const std::string& log) {
    std::vector<LoggedRequest> requests;
    for (const std::string& line : LogLines(log)) {
        if (auto request = ParseRequest(line))
            requests.push_back(*request);
    }
    return requests;
}

std::vector<LoggedRequest> LoggedCommands(const std::string& log) {
    std::vector<LoggedRequest> commands;
    for (const LoggedRequest& request : LoggedRequests(log)) {
        if (request.Command() != 33)
            commands.push_back(request);
    }
    return commands;
}

std::vector<DWORD> ThreadsOfThisProcess() {
    std::vector<DWORD> threads;
    qx::unique_hfile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    if (!snapshot)
        return threads;
    THREADENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        if (entry.th32OwnerProcessID == GetCurrentProcessId())
            threads.push_back(entry.th32ThreadID);
    }
    return threads;
}

std::uintptr_t FreshHandleValue() {
    const HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    const auto value = reinterpret_cast<std::uintptr_t>(event);
    CloseHandle(event);
    return value;
}

} // namespace devlinktest
