#include "ResidentHarness.h"

#include <gtest/gtest.h>

#include <shellapi.h>
#include <winternl.h>

#include <algorithm>
#include <cwctype>

namespace residenttest {

using namespace qxtest;

namespace {

std::wstring Lower(std::wstring text) {
    for (wchar_t& c : text)
        c = static_cast<wchar_t>(towlower(c));
    return text;
}

// Creates the folder and any of its parents that are missing.
void CreateFolders(const std::wstring& folder) {
    for (std::size_t at = folder.find(L'\\', 3); at != std::wstring::npos;
         at = folder.find(L'\\', at + 1))
        CreateDirectoryW(folder.substr(0, at).c_str(), nullptr);
    CreateDirectoryW(folder.c_str(), nullptr);
}

void EmptyFolder(const std::wstring& folder) {
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
            DeleteFileW((folder + L"\\" + found.cFileName).c_str());
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

std::wstring ImagePath(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return std::wstring();
    wchar_t path[MAX_PATH * 2];
    DWORD size = static_cast<DWORD>(std::size(path));
    const bool known = QueryFullProcessImageNameW(process, 0, path, &size);
    CloseHandle(process);
    return known ? std::wstring(path, size) : std::wstring();
}

bool InFolder(const std::wstring& imagePath, const RunFolder& folder) {
    const std::wstring prefix = Lower(folder.Path() + L"\\");
    return Lower(imagePath).compare(0, prefix.size(), prefix) == 0;
}

INPUT MouseInput(DWORD flags) {
    INPUT input = {};
    input.type = INPUT_MOUSE;
    input.mi.dwFlags = flags;
    return input;
}

} // namespace

RunFolder::RunFolder(const std::string& name)
    : m_path(WindowsPath(QX_RESIDENT_RUN_DIR) + L"\\" + Wide(name.c_str())) {
    CreateFolders(m_path);
    EndProcessesIn(*this);
    EmptyFolder(m_path);
    for (const wchar_t* file : {L"Tarvolt.exe", L"TarvoltXP.dll", L"Corvix.dll", L"Lqnmod.dll",
                                L"Vistrel.exe", L"Pellor.exe"})
        Copy(BinPath(file), file);
    Copy(TestBinPath(L"sndvol32.exe"), L"sndvol32.exe");
}

void RunFolder::Copy(const std::wstring& source, const std::wstring& name) const {
    if (!CopyFileW(source.c_str(), File(name).c_str(), FALSE))
        ADD_FAILURE() << "could not copy " << std::string(source.begin(), source.end())
                      << ", error " << GetLastError();
}

void RunFolder::Remove(const std::wstring& name) const {
    DeleteFileW(File(name).c_str());
}

CommandResult RunConsoleProgram(const std::wstring& program, const std::wstring& arguments,
                                DWORD timeoutMs) {
    CommandResult result;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0))
        return result;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = nullptr;
    std::wstring commandLine = L"\"" + program + L"\" " + arguments;
    PROCESS_INFORMATION info = {};
    std::string failure;
    const bool started = CreateProcessTwice(program, commandLine, TRUE, CREATE_NO_WINDOW, nullptr,
                                            nullptr, startup, info, failure);
    CloseHandle(writeEnd);
    if (!started) {
        CloseHandle(readEnd);
        ADD_FAILURE() << failure;
        return result;
    }
    CloseHandle(info.hThread);
    const DWORD start = GetTickCount();
    char buffer[4096];
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr))
            break; // every writer is gone
        if (available > 0) {
            DWORD read = 0;
            if (!ReadFile(readEnd, buffer, std::min<DWORD>(available, sizeof buffer), &read,
                          nullptr))
                break;
            result.output.append(buffer, read);
            continue;
        }
        if (GetTickCount() - start >= timeoutMs)
            break;
        if (WaitForSingleObject(info.hProcess, 5) == WAIT_OBJECT_0) {
            if (!PeekNamedPipe(readEnd, nullptr, 0, nullptr, &available, nullptr) || available == 0)
                break;
        }
    }
    if (WaitForSingleObject(info.hProcess, 0) != WAIT_OBJECT_0) {
        ADD_FAILURE() << "console program did not end in time";
        TerminateProcess(info.hProcess, 1);
    }
    GetExitCodeProcess(info.hProcess, &result.exitCode);
    CloseHandle(info.hProcess);
    CloseHandle(readEnd);
    return result;
}

CommandResult Keyboard::Run(const std::wstring& arguments) {
    return RunConsoleProgram(KeyboardSimPath(), arguments, 15000);
}

bool KeyboardServer::Start() {
    return Keyboard::Run(L"reset").exitCode == 0;
}

void KeyboardServer::Stop() {
    Keyboard::Run(L"reset");
}

void Keyboard::Press(unsigned code, unsigned state) {
    const CommandResult result =
        Run(L"press " + std::to_wstring(code) + L" " + std::to_wstring(state));
    EXPECT_EQ(0u, result.exitCode) << result.output;
}

void Keyboard::Unplug() {
    EXPECT_EQ(0u, Run(L"unplug").exitCode);
}

void Keyboard::Plug() {
    EXPECT_EQ(0u, Run(L"plug").exitCode);
}

std::string Keyboard::Log() {
    const CommandResult result = Run(L"log");
    EXPECT_EQ(0u, result.exitCode) << result.output;
    return result.output;
}

void Keyboard::ClearLog() {
    EXPECT_EQ(0u, Run(L"clear").exitCode);
}

std::size_t Keyboard::PollCount(const std::string& log) {
    std::size_t count = 0;
    for (std::size_t at = 0; (at = log.find("data=FE000021", at)) != std::string::npos; ++at)
        ++count;
    return count;
}

bool Keyboard::WaitForHandled(DWORD timeoutMs) {
    ClearLog();
    return WaitUntil([] { return PollCount(Log()) >= 2; }, timeoutMs);
}

HWND FindKeyServiceWindow(DWORD processId) {
    for (HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && ClassName(window) == L"#32770" && WindowText(window).empty())
            return window;
    }
    return nullptr;
}

Resident StartResident(const RunFolder& folder, const Environment& language) {
    Resident resident;
    resident.process = StartProcess(folder.File(L"Tarvolt.exe"), L"", language, L"C:\\");
    if (!resident.process)
        return resident;
    resident.marker = WaitForProcessWindow(resident.process.Id(), INSTANCE_TITLE, 20000);
    WaitUntil(
        [&] {
            resident.keyService = FindKeyServiceWindow(resident.process.Id());
            return resident.keyService && TrayIconExists(resident.keyService, TRAY_ICON_ID);
        },
        20000);
    if (!resident.keyService)
        return resident;
    // Ready once the dialog manager has shown the window and the hide tick
    // has hidden it again (which takes Wine up to a second without a window
    // manager); a message through its queue comes back only after that.
    WaitUntil([&] { return IsWindowVisible(resident.keyService) != FALSE; }, 1000);
    WaitUntil([&] { return !IsWindowVisible(resident.keyService); }, 5000);
    SendMessageTimeoutW(resident.keyService, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, nullptr);
    return resident;
}

bool StopResident(Resident& resident, DWORD timeoutMs) {
    if (!resident.process.IsRunning())
        return true;
    if (resident.marker && IsWindow(resident.marker))
        SendMessageTimeoutW(resident.marker, WM_CLOSE, 0, 999, SMTO_ABORTIFHUNG, 5000, nullptr);
    return resident.process.WaitForExit(timeoutMs).has_value();
}

// Wine 8 shows the icons of a bare X screen in a tray window of its X
// driver; Wine 10 in explorer's Shell_TrayWnd, which on a shell desktop is
// the taskbar, as on Windows.
HWND TrayWindow() {
    for (const wchar_t* className : {L"__winex11_standalone_tray", L"Shell_TrayWnd"}) {
        const HWND tray = FindWindowW(className, nullptr);
        if (tray && IsWindowVisible(tray))
            return tray;
    }
    return nullptr;
}

std::vector<HWND> TrayIconWindows() {
    std::vector<HWND> icons;
    const HWND tray = TrayWindow();
    if (!tray)
        return icons;
    for (HWND window : ChildWindows(tray)) {
        const std::wstring className = ClassName(window);
        if ((className == L"__winex11_tray_icon" || className == L"__wine_tray_icon") &&
            IsWindowVisible(window))
            icons.push_back(window);
    }
    std::sort(icons.begin(), icons.end(), [](HWND a, HWND b) {
        RECT ra, rb;
        GetWindowRect(a, &ra);
        GetWindowRect(b, &rb);
        return ra.left < rb.left;
    });
    return icons;
}

bool TrayIconExists(HWND owner, UINT id) {
    // A change of nothing succeeds exactly when the shell knows the icon.
    NOTIFYICONDATAW probe = {};
    probe.cbSize = sizeof probe;
    probe.hWnd = owner;
    probe.uID = id;
    probe.uFlags = 0;
    return Shell_NotifyIconW(NIM_MODIFY, &probe) != FALSE;
}

std::wstring ProcessCommandLine(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
    if (!process)
        return std::wstring();
    std::wstring commandLine;
    PROCESS_BASIC_INFORMATION basic = {};
    PEB peb = {};
    RTL_USER_PROCESS_PARAMETERS parameters = {};
    if (NtQueryInformationProcess(process, ProcessBasicInformation, &basic, sizeof basic,
                                  nullptr) == 0 &&
        ReadProcessMemory(process, basic.PebBaseAddress, &peb, sizeof peb, nullptr) &&
        ReadProcessMemory(process, peb.ProcessParameters, &parameters, sizeof parameters,
                          nullptr)) {
        std::wstring text(parameters.CommandLine.Length / sizeof(wchar_t), L'\0');
        if (ReadProcessMemory(process, parameters.CommandLine.Buffer, text.data(),
                              parameters.CommandLine.Length, nullptr))
            commandLine = text;
    }
    CloseHandle(process);
    return commandLine;
}

std::vector<DWORD> ProcessesIn(const RunFolder& folder, const std::wstring& exeName) {
    std::vector<DWORD> ids;
    for (const ProcessEntry& entry : RunningProcesses()) {
        if (_wcsicmp(entry.exeName.c_str(), exeName.c_str()) == 0 &&
            InFolder(ImagePath(entry.id), folder))
            ids.push_back(entry.id);
    }
    return ids;
}

void EndProcessesIn(const RunFolder& folder) {
    std::vector<DWORD> ids;
    for (const ProcessEntry& entry : RunningProcesses()) {
        if (InFolder(ImagePath(entry.id), folder))
            ids.push_back(entry.id);
    }
    EndProcesses(ids);
}

std::vector<HWND> VisibleWindowsOf(DWORD processId) {
    std::vector<HWND> windows;
    for (HWND window : TopLevelWindows()) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == processId && IsWindowVisible(window))
            windows.push_back(window);
    }
    return windows;
}

std::vector<std::string> ReadLines(const std::wstring& path) {
    std::vector<std::string> lines;
    const std::string text = ReadSharedFile(path);
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(text.substr(start, end - start - (end > start && text[end - 1] == '\r')));
    if (start < text.size())
        lines.push_back(text.substr(start));
    return lines;
}

POINT CentreOf(HWND window) {
    RECT area = {};
    GetWindowRect(window, &area);
    return {(area.left + area.right) / 2, (area.top + area.bottom) / 2};
}

void MoveMouseTo(POINT point) {
    SetCursorPos(point.x, point.y);
    INPUT move = MouseInput(MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE);
    move.mi.dx = MulDiv(point.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    move.mi.dy = MulDiv(point.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    SendInput(1, &move, sizeof move);
}

void ClickAt(POINT point, DWORD downFlag, int clicks) {
    MoveMouseTo(point);
    PumpMessages(50);
    const DWORD upFlag = downFlag << 1; // each button's up flag follows its down flag
    for (int i = 0; i < clicks; ++i) {
        INPUT press[2] = {MouseInput(downFlag), MouseInput(upFlag)};
        SendInput(2, press, sizeof(INPUT));
    }
}

} // namespace residenttest

namespace residenttest {

using namespace qxtest;

void ResidentTest::SetUp() {
    DeleteUserKey(PRODUCT_KEY);
    SetProgramWindowsVersion(L"Tarvolt.exe", L"");
    ASSERT_TRUE(m_keyboard.Start()) << "the simulated keyboard's driver is not installed";
}

void ResidentTest::TearDown() {
    if (m_folder)
        EndProcessesIn(*m_folder);
    m_keyboard.Stop();
    SetProgramWindowsVersion(L"Tarvolt.exe", L"");
}

const RunFolder& ResidentTest::Folder() {
    if (!m_folder) {
        const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
        m_folder =
            std::make_unique<RunFolder>(std::string(test->test_suite_name()) + "." + test->name());
    }
    return *m_folder;
}

std::wstring ParametersOf(const std::wstring& commandLine) {
    std::size_t at = 0;
    if (!commandLine.empty() && commandLine[0] == L'"') {
        at = commandLine.find(L'"', 1);
        at = at == std::wstring::npos ? commandLine.size() : at + 1;
    } else {
        at = std::min(commandLine.find(L' '), commandLine.size());
    }
    while (at < commandLine.size() && commandLine[at] == L' ')
        ++at;
    return commandLine.substr(at);
}

std::wstring ResidentTest::WaitForNoticeParameters(DWORD timeoutMs) {
    std::wstring commandLine;
    WaitUntil(
        [&] {
            for (DWORD id : ProcessesIn(Folder(), L"Vistrel.exe")) {
                // A copy just started may not show its parameters yet.
                commandLine = ProcessCommandLine(id);
                if (!ParametersOf(commandLine).empty())
                    return true;
            }
            return false;
        },
        timeoutMs);
    return ParametersOf(commandLine);
}

void ResidentTest::EndNotices() {
    EndProcesses(ProcessesIn(Folder(), L"Vistrel.exe"));
}

} // namespace residenttest
