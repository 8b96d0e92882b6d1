// Performance figures of the resident program with the shipped libraries on
// the simulated keyboard's driver: key to notice (against the floor of
// starting a trivial window program), idle cost, start-up and the stop
// request. Prints one block of figures.
//   ResidentBench [presses] [idle-seconds] [starts] [stops]
#include "ResidentHarness.h"

#include "KeyboardClient.h"

#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cwctype>

using namespace qxtest;
using namespace residenttest;

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

// System time in 100 ns units, the clock of process creation times.
ULONGLONG SystemTime() {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (ULONGLONG(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

ULONGLONG CreationTime(DWORD processId) {
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId);
    if (!process)
        return 0;
    FILETIME created, exited, kernel, user;
    const BOOL known = GetProcessTimes(process, &created, &exited, &kernel, &user);
    CloseHandle(process);
    return known ? (ULONGLONG(created.dwHighDateTime) << 32) | created.dwLowDateTime : 0;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t index =
        std::min(values.size() - 1, static_cast<std::size_t>(fraction * values.size()));
    return values[index];
}

void PrintSeries(const char* name, const std::vector<double>& values) {
    std::printf("  %-34s p50 %7.1f ms  p95 %7.1f ms  (n=%zu)\n", name, Percentile(values, 0.5),
                Percentile(values, 0.95), values.size());
}

// Each press of Mute starts a new display; its first visible window ends the
// measurement. The previous display is ended first, so every press is timed
// from the same state.
// The floor for a notice: a trivial window program started with
// CreateProcess until its window is visible. Returns the p50.
double MeasureWindowFloor(const RunFolder& folder, int starts) {
    std::vector<double> toVisible;
    for (int i = 0; i < starts; ++i) {
        EndProcesses(ProcessesIn(folder, L"sndvol32.exe"), 0);
        const LARGE_INTEGER before = Now();
        Process process = StartProcess(folder.File(L"sndvol32.exe"), L"");
        const DWORD start = GetTickCount();
        while (process && GetTickCount() - start < 10000) {
            if (!VisibleWindowsOf(process.Id()).empty()) {
                toVisible.push_back(Milliseconds(before, Now()));
                break;
            }
            Sleep(1);
        }
    }
    EndProcesses(ProcessesIn(folder, L"sndvol32.exe"), 0);
    std::printf("Floor: a window program started with CreateProcess (%d starts)\n", starts);
    PrintSeries("CreateProcess -> window visible", toVisible);
    return Percentile(toVisible, 0.5);
}

double MeasureKeyToNotice(const RunFolder& folder, int presses) {
    std::vector<double> fromCommand, fromQueued, pressCommand, toProcess, processToWindow;
    int missed = 0;
    for (int i = 0; i < presses; ++i) {
        EndProcesses(ProcessesIn(folder, L"Vistrel.exe"), 0);
        // Queued from this process, so that the moment it is queued is known
        // to within one control request rather than a tool process's exit.
        const LARGE_INTEGER before = Now();
        if (simkeyboard::Run("press 16 1").exitCode != simkeyboard::EXIT_DONE) {
            ++missed;
            continue;
        }
        const LARGE_INTEGER queued = Now();
        const ULONGLONG queuedTime = SystemTime();
        DWORD notice = 0;
        LARGE_INTEGER shown = {};
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 10000) {
            if (!notice) {
                const std::vector<DWORD> ids = ProcessesIn(folder, L"Vistrel.exe");
                if (!ids.empty())
                    notice = ids.front();
            }
            if (notice && !VisibleWindowsOf(notice).empty()) {
                shown = Now();
                break;
            }
            Sleep(1);
        }
        if (!shown.QuadPart) {
            ++missed;
            continue;
        }
        const ULONGLONG created = CreationTime(notice);
        fromCommand.push_back(Milliseconds(before, shown));
        fromQueued.push_back(Milliseconds(queued, shown));
        pressCommand.push_back(Milliseconds(before, queued));
        if (created) {
            toProcess.push_back((static_cast<double>(created) - queuedTime) / 10000.0);
            processToWindow.push_back(Milliseconds(queued, shown) - toProcess.back());
        }
    }
    EndProcesses(ProcessesIn(folder, L"Vistrel.exe"), 0);
    std::printf("Key to notice (Mute, %d presses, %d missed)\n", presses, missed);
    PrintSeries("queued -> notice window visible", fromQueued);
    PrintSeries("press command start -> visible", fromCommand);
    PrintSeries("press command itself", pressCommand);
    PrintSeries("queued -> display process created", toProcess);
    PrintSeries("process created -> visible", processToWindow);
    return Percentile(fromQueued, 0.5);
}

// Wine's own process times of another process leave most of its work out;
// the kernel's figures are read from /proc, which Wine shows on drive Z:.
// Clock ticks are the kernel's USER_HZ, 100 a second on this platform.
constexpr double MS_PER_TICK = 10.0;

// The Unix process whose command line names the program in the folder.
std::wstring UnixProcessEntry(const RunFolder& folder, const std::wstring& exeName) {
    const std::wstring path = folder.File(exeName);
    std::string wanted(path.begin(), path.end());
    for (char& c : wanted)
        c = static_cast<char>(tolower(c));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW(L"Z:\\proc\\*", &found);
    if (search == INVALID_HANDLE_VALUE)
        return std::wstring();
    std::wstring result;
    do {
        if (!iswdigit(found.cFileName[0]))
            continue;
        const std::wstring process = std::wstring(L"Z:\\proc\\") + found.cFileName;
        std::string commandLine = ReadSharedFile(process + L"\\cmdline");
        for (char& c : commandLine)
            c = static_cast<char>(tolower(c));
        if (commandLine.find(wanted) != std::string::npos) {
            result = process;
            break;
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return result;
}

// User and system time of a /proc stat line, in milliseconds.
double StatMilliseconds(const std::string& stat) {
    const std::size_t end = stat.rfind(')');
    if (end == std::string::npos)
        return 0;
    // Fields after the name start with the state (field 3); utime is 14.
    std::vector<std::string> fields;
    std::size_t at = end + 2;
    while (at < stat.size()) {
        const std::size_t next = stat.find(' ', at);
        fields.push_back(
            stat.substr(at, next == std::string::npos ? std::string::npos : next - at));
        if (next == std::string::npos)
            break;
        at = next + 1;
    }
    if (fields.size() < 13)
        return 0;
    return (std::atof(fields[11].c_str()) + std::atof(fields[12].c_str())) * MS_PER_TICK;
}

struct ThreadTimes {
    double total = 0;
    std::vector<std::pair<std::wstring, double>> threads;
};

ThreadTimes ReadThreadTimes(const std::wstring& process) {
    ThreadTimes times;
    times.total = StatMilliseconds(ReadSharedFile(process + L"\\stat"));
    WIN32_FIND_DATAW found;
    HANDLE search = FindFirstFileW((process + L"\\task\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE)
        return times;
    do {
        if (iswdigit(found.cFileName[0]))
            times.threads.push_back(
                {found.cFileName, StatMilliseconds(ReadSharedFile(process + L"\\task\\" +
                                                                  found.cFileName + L"\\stat"))});
    } while (FindNextFileW(search, &found));
    FindClose(search);
    return times;
}

// What the dispatch spends in starting the display: the same shell call the
// resident program makes, timed from this process, and the display's own
// start to its visible notice.
void MeasureShellStart(const RunFolder& folder, int starts) {
    std::vector<double> shellCall, toVisible;
    const std::wstring notice = folder.File(L"Vistrel.exe");
    const std::string program(notice.begin(), notice.end());
    for (int i = 0; i < starts; ++i) {
        EndProcesses(ProcessesIn(folder, L"Vistrel.exe"), 0);
        const LARGE_INTEGER before = Now();
        ShellExecuteA(nullptr, "open", program.c_str(), "Mute``0`0`255", nullptr, SW_SHOWNORMAL);
        const LARGE_INTEGER returned = Now();
        const DWORD start = GetTickCount();
        while (GetTickCount() - start < 10000) {
            const std::vector<DWORD> ids = ProcessesIn(folder, L"Vistrel.exe");
            if (!ids.empty() && !VisibleWindowsOf(ids.front()).empty()) {
                shellCall.push_back(Milliseconds(before, returned));
                toVisible.push_back(Milliseconds(returned, Now()));
                break;
            }
            Sleep(1);
        }
    }
    EndProcesses(ProcessesIn(folder, L"Vistrel.exe"), 0);
    std::printf("Starting the display from the shell (%d starts)\n", starts);
    PrintSeries("ShellExecuteA call", shellCall);
    PrintSeries("call returned -> visible", toVisible);
}

void MeasureIdleCost(const RunFolder& folder, int seconds) {
    const std::wstring process = UnixProcessEntry(folder, L"Tarvolt.exe");
    if (process.empty()) {
        std::printf("Idle cost: the resident process was not found in /proc\n");
        return;
    }
    const ThreadTimes before = ReadThreadTimes(process);
    const LARGE_INTEGER start = Now();
    Sleep(seconds * 1000);
    const ThreadTimes after = ReadThreadTimes(process);
    const double elapsed = Milliseconds(start, Now()) / 1000.0;
    const double used = after.total - before.total;
    std::printf("Idle cost over %.1f s: %.0f ms CPU, %.1f ms per second\n", elapsed, used,
                used / elapsed);
    for (const auto& [thread, total] : after.threads) {
        double earlier = 0;
        for (const auto& [id, time] : before.threads) {
            if (id == thread)
                earlier = time;
        }
        // The thread whose id is the process's own is its first, the
        // user-interface thread.
        const bool first = process.substr(process.rfind(L'\\') + 1) == thread;
        if (total - earlier > 0)
            std::printf("  thread %ls%s: %.1f ms per second\n", thread.c_str(),
                        first ? " (user interface)" : "", (total - earlier) / elapsed);
    }
}

void MeasureStartUp(const RunFolder& folder, int starts) {
    std::vector<double> toIcon;
    for (int i = 0; i < starts; ++i) {
        const LARGE_INTEGER before = Now();
        Process process = StartProcess(folder.File(L"Tarvolt.exe"), L"", {}, folder.Path());
        HWND keyService = nullptr;
        LARGE_INTEGER ready = {};
        const DWORD start = GetTickCount();
        while (process && GetTickCount() - start < 20000) {
            if (!keyService)
                keyService = FindKeyServiceWindow(process.Id());
            if (keyService && TrayIconExists(keyService, TRAY_ICON_ID)) {
                ready = Now();
                break;
            }
            Sleep(1);
        }
        if (ready.QuadPart)
            toIcon.push_back(Milliseconds(before, ready));
        Resident resident;
        resident.process = std::move(process);
        resident.marker = FindWindowW(nullptr, INSTANCE_TITLE);
        StopResident(resident);
    }
    std::printf("Start-up (%d starts)\n", starts);
    PrintSeries("start -> tray icon exists", toIcon);
}

// From the stop request sent to a settled resident program to its process's
// end.
void MeasureStopRequest(const RunFolder& folder, int stops) {
    std::vector<double> toEnd;
    int failed = 0;
    for (int i = 0; i < stops; ++i) {
        Resident resident = StartResident(folder);
        if (!resident.keyService) {
            ++failed;
            continue;
        }
        const LARGE_INTEGER before = Now();
        if (StopResident(resident))
            toEnd.push_back(Milliseconds(before, Now()));
        else
            ++failed;
    }
    std::printf("Stop request (%d stops, %d failed)\n", stops, failed);
    PrintSeries("stop request -> process ended", toEnd);
}

} // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::atoi(argv[1]) : 25;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const int starts = argc > 3 ? std::atoi(argv[3]) : 10;
    const int stops = argc > 4 ? std::atoi(argv[4]) : 10;

    DeleteUserKey(PRODUCT_KEY);
    KeyboardServer keyboard;
    if (!keyboard.Start()) {
        std::printf("the simulated keyboard's driver is not installed\n");
        return 1;
    }
    RunFolder folder("bench");
    {
        Resident resident = StartResident(folder);
        if (!resident.keyService) {
            std::printf("the resident program did not start\n");
            return 1;
        }
        const double notice = MeasureKeyToNotice(folder, presses);
        const double floor = MeasureWindowFloor(folder, presses);
        std::printf("  notice p50 above the floor's p50   %7.1f ms  (goal <= 20)\n",
                    notice - floor);
        MeasureShellStart(folder, 10);
        MeasureIdleCost(folder, idleSeconds);
        StopResident(resident);
    }
    MeasureStartUp(folder, starts);
    MeasureStopRequest(folder, stops);
    EndProcessesIn(folder);
    return 0;
}
