#include "WinTestSupport.h"

#include "framework/Handles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include <tlhelp32.h>

namespace qxtest {

std::wstring WindowsPath(const std::string& unixPath) {
    // Wine maps the Unix root to drive Z:.
    std::wstring path = L"Z:" + Wide(unixPath.c_str());
    for (wchar_t& c : path) {
        if (c == L'/')
            c = L'\\';
    }
    return path;
}

std::wstring BinPath(const std::wstring& file) {
    return WindowsPath(QX_BIN_DIR) + L"\\" + file;
}

std::wstring TestBinPath(const std::wstring& file) {
    return WindowsPath(QX_TEST_BIN_DIR) + L"\\" + file;
}

std::wstring KeyboardSimPath() {
    return WindowsPath(QX_KEYBOARD_SIM);
}

Process::Process(HANDLE process, HANDLE thread, DWORD id) : m_process(process), m_id(id) {
    if (thread)
        CloseHandle(thread);
}

Process::Process(Process&& other) noexcept : m_process(other.m_process), m_id(other.m_id) {
    other.m_process = nullptr;
    other.m_id = 0;
}

Process& Process::operator=(Process&& other) noexcept {
    if (this != &other) {
        Close();
        m_process = other.m_process;
        m_id = other.m_id;
        other.m_process = nullptr;
        other.m_id = 0;
    }
    return *this;
}

Process::~Process() {
    Close();
}

void Process::Close() {
    if (!m_process)
        return;
    Kill();
    CloseHandle(m_process);
    m_process = nullptr;
}

std::optional<DWORD> Process::WaitForExit(DWORD timeoutMs) {
    if (!m_process)
        return std::nullopt;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= timeoutMs)
            break;
        const DWORD result =
            MsgWaitForMultipleObjects(1, &m_process, FALSE, timeoutMs - elapsed, QS_SENDMESSAGE);
        if (result == WAIT_OBJECT_0)
            break;
        if (result != WAIT_OBJECT_0 + 1)
            break;
        PumpMessages(0);
    }
    DWORD code = 0;
    if (!GetExitCodeProcess(m_process, &code) || code == STILL_ACTIVE)
        return std::nullopt;
    return code;
}

bool Process::IsRunning() const {
    return m_process && WaitForSingleObject(m_process, 0) == WAIT_TIMEOUT;
}

void Process::Kill() {
    if (IsRunning()) {
        TerminateProcess(m_process, 0xDEAD);
        WaitForSingleObject(m_process, 5000);
    }
}

namespace {

std::wstring UpperName(std::wstring name) {
    for (wchar_t& c : name)
        c = towupper(c);
    return name;
}

// Environment block of this process with the given entries added or replaced.
std::wstring EnvironmentBlock(const Environment& changes) {
    std::map<std::wstring, std::wstring> entries; // by upper-case name
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* p = block; *p; p += wcslen(p) + 1) {
        const std::wstring entry = p;
        const std::size_t equals = entry.find(L'=', 1);
        if (equals != std::wstring::npos)
            entries[UpperName(entry.substr(0, equals))] = entry;
    }
    FreeEnvironmentStringsW(block);
    for (const auto& [name, value] : changes)
        entries[UpperName(name)] = name + L"=" + value;
    std::wstring result;
    for (const auto& [key, entry] : entries) {
        result += entry;
        result.push_back(L'\0');
    }
    result.push_back(L'\0');
    return result;
}

// Wine takes a process's locale, display and its own settings (WINE...) from
// the Unix environment it is started in, not from the Windows environment block.
bool NeedsUnixEnvironment(const Environment& environment) {
    for (const auto& [name, value] : environment) {
        const std::wstring upper = UpperName(name);
        if (upper == L"LANG" || upper == L"LC_ALL" || upper == L"LC_MESSAGES" ||
            upper == L"DISPLAY" || upper.rfind(L"WINE", 0) == 0)
            return true;
    }
    return false;
}

// Wine's loader for the programs a test starts, which are of its own build:
// 32-bit ones in the win32 stage.
constexpr const wchar_t* PROGRAM_LOADER =
    sizeof(void*) == 4 ? L"/usr/lib/wine/wine" : L"/usr/lib/wine/wine64";

// Starts the program through env(1) and then finds it by its executable's name.
Process StartInUnixEnvironment(const std::wstring& program, const std::wstring& arguments,
                               const Environment& environment, const std::wstring& folder) {
    const std::wstring exeName = program.substr(program.find_last_of(L"\\/") + 1);
    const std::vector<DWORD> before = ProcessIdsOf(exeName);
    std::wstring commandLine = L"/usr/bin/env";
    for (const auto& [name, value] : environment)
        commandLine += L" " + name + L"=" + value;
    commandLine += std::wstring(L" ") + PROGRAM_LOADER + L" \"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
        ADD_FAILURE() << "could not start env(1), error " << GetLastError();
        return Process();
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    DWORD id = 0;
    WaitUntil(
        [&] {
            for (DWORD candidate : ProcessIdsOf(exeName)) {
                if (std::find(before.begin(), before.end(), candidate) == before.end())
                    id = candidate;
            }
            return id != 0;
        },
        10000);
    HANDLE process =
        id ? OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE, id)
           : nullptr;
    if (!process) {
        ADD_FAILURE() << "the started program did not appear";
        return Process();
    }
    return Process(process, nullptr, id);
}

} // namespace

std::vector<ProcessEntry> RunningProcesses() {
    std::vector<ProcessEntry> processes;
    qx::unique_hfile snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot)
        return processes;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
         more = Process32NextW(snapshot.get(), &entry))
        processes.push_back({entry.th32ProcessID, entry.szExeFile});
    return processes;
}

std::vector<DWORD> ProcessIdsOf(const std::wstring& exeName) {
    std::vector<DWORD> ids;
    for (const ProcessEntry& entry : RunningProcesses()) {
        if (_wcsicmp(entry.exeName.c_str(), exeName.c_str()) == 0)
            ids.push_back(entry.id);
    }
    return ids;
}

void EndProcesses(const std::vector<DWORD>& ids, UINT exitCode) {
    for (DWORD id : ids) {
        qx::unique_handle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id));
        if (!process)
            continue;
        TerminateProcess(process.get(), exitCode);
        WaitForSingleObject(process.get(), 5000);
    }
}

bool CreateProcessTwice(const std::wstring& program, std::wstring& commandLine, BOOL inheritHandles,
                        DWORD flags, void* environment, const wchar_t* folder,
                        STARTUPINFOW& startup, PROCESS_INFORMATION& info, std::string& failure) {
    const auto start = [&] {
        return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, inheritHandles,
                              flags, environment, folder, &startup, &info) != 0;
    };
    if (start())
        return true;
    const DWORD firstError = GetLastError();
    if (start())
        return true;
    failure = "could not start " + std::string(program.begin(), program.end()) + ", error " +
              std::to_string(firstError) + " then " + std::to_string(GetLastError());
    return false;
}

Process StartProcess(const std::wstring& program, const std::wstring& arguments,
                     const Environment& environment, const std::wstring& folder) {
    if (NeedsUnixEnvironment(environment))
        return StartInUnixEnvironment(program, arguments, environment, folder);
    std::wstring commandLine = L"\"" + program + L"\"";
    if (!arguments.empty())
        commandLine += L" " + arguments;
    std::wstring block = EnvironmentBlock(environment);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::string failure;
    if (!CreateProcessTwice(program, commandLine, FALSE, CREATE_UNICODE_ENVIRONMENT, block.data(),
                            folder.empty() ? nullptr : folder.c_str(), startup, info, failure)) {
        ADD_FAILURE() << failure;
        return Process();
    }
    return Process(info.hProcess, info.hThread, info.dwProcessId);
}

Environment KoreanUserInterface() {
    return {{L"LANG", L"ko_KR.UTF-8"}, {L"LC_ALL", L"ko_KR.UTF-8"}, {L"LANGUAGE", L"ko_KR"}};
}

Environment EnglishUserInterface() {
    return {{L"LANG", L"en_US.UTF-8"}, {L"LC_ALL", L"en_US.UTF-8"}, {L"LANGUAGE", L"en_US"}};
}

} // namespace qxtest
