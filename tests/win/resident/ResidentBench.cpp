// Performance figures of the resident program on the simulated keyboard:
// key to notice, idle cost and start-up. Prints one block of figures.
//   ResidentBench [presses] [idle-seconds] [starts]
#include "ResidentHarness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

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

double CpuMilliseconds(HANDLE process) {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(process, &created, &exited, &kernel, &user))
        return 0;
    const ULONGLONG total = ((ULONGLONG(kernel.dwHighDateTime) << 32) | kernel.dwLowDateTime) +
                            ((ULONGLONG(user.dwHighDateTime) << 32) | user.dwLowDateTime);
    return total / 10000.0;
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

void EndAll(const RunFolder& folder, const wchar_t* exeName) {
    for (DWORD id : ProcessesIn(folder, exeName)) {
        HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, id);
        if (!process)
            continue;
        TerminateProcess(process, 0);
        WaitForSingleObject(process, 5000);
        CloseHandle(process);
    }
}

// Each press of Mute starts a new display; its first visible window ends the
// measurement. The previous display is ended first, so every press is timed
// from the same state.
void MeasureKeyToNotice(const RunFolder& folder, int presses) {
    std::vector<double> fromCommand, fromQueued, pressCommand, toProcess, processToWindow;
    int missed = 0;
    for (int i = 0; i < presses; ++i) {
        EndAll(folder, L"Vistrel.exe");
        const LARGE_INTEGER before = Now();
        Keyboard::Press(16, 1);
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
    EndAll(folder, L"Vistrel.exe");
    std::printf("Key to notice (Mute, %d presses, %d missed)\n", presses, missed);
    PrintSeries("queued -> notice window visible", fromQueued);
    PrintSeries("press command start -> visible", fromCommand);
    PrintSeries("press command itself", pressCommand);
    PrintSeries("queued -> display process created", toProcess);
    PrintSeries("process created -> visible", processToWindow);
}

void MeasureIdleCost(const Resident& resident, int seconds) {
    const double before = CpuMilliseconds(resident.process.Handle());
    const LARGE_INTEGER start = Now();
    Sleep(seconds * 1000);
    const double used = CpuMilliseconds(resident.process.Handle()) - before;
    const double elapsed = Milliseconds(start, Now()) / 1000.0;
    std::printf("Idle cost over %.1f s: %.1f ms CPU, %.2f ms per second\n", elapsed, used,
                used / elapsed);
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

} // namespace

int main(int argc, char** argv) {
    const int presses = argc > 1 ? std::atoi(argv[1]) : 25;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 30;
    const int starts = argc > 3 ? std::atoi(argv[3]) : 10;

    DeleteUserKey(PRODUCT_KEY);
    Keyboard::Start();
    Keyboard::Reset();
    RunFolder folder("bench");
    {
        Resident resident = StartResident(folder);
        if (!resident.keyService) {
            std::printf("the resident program did not start\n");
            return 1;
        }
        MeasureKeyToNotice(folder, presses);
        MeasureIdleCost(resident, idleSeconds);
        StopResident(resident);
    }
    MeasureStartUp(folder, starts);
    EndProcessesIn(folder);
    return 0;
}
