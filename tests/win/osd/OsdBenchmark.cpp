// Benchmark of Vistrel.exe under Wine: how long a text notice takes to come
// up, and a burst of 50 volume commands from 50 copies started 20 ms apart.
// Prints its figures; fails when the burst breaks one of its promises.
#include "OsdTestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

using namespace osdtest;
using qxtest::Process;

namespace {

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return (to.QuadPart - from.QuadPart) * 1000.0 / frequency.QuadPart;
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now;
}

double Percentile(std::vector<double> values, double fraction) {
    std::sort(values.begin(), values.end());
    const std::size_t index = static_cast<std::size_t>(fraction * (values.size() - 1) + 0.5);
    return values[index];
}

TEST(OsdBenchmark, StartToVisibleTextNotice) {
    constexpr int kStarts = 25;
    std::vector<double> times;
    for (int i = 0; i < kStarts; ++i) {
        const LARGE_INTEGER start = Now();
        Process copy = StartVistrel(L"Bench``0`0`255`50`700`0`60000");
        HWND notice = nullptr;
        while (!notice && Milliseconds(start, Now()) < 30000) {
            const HWND found = FindWindowW(nullptr, L"Bench");
            if (found && IsWindowVisible(found))
                notice = found;
            else
                Sleep(1);
        }
        ASSERT_NE(nullptr, notice) << "start " << i << " showed nothing";
        times.push_back(Milliseconds(start, Now()));
        PostMessageW(FindDisplay(), WM_CLOSE, 0, 0);
        ASSERT_TRUE(copy.WaitForExit(10000).has_value());
    }
    std::printf("start to visible text notice over %d starts: p50 %.0f ms, p95 %.0f ms, "
                "min %.0f ms, max %.0f ms\n",
                kStarts, Percentile(times, 0.5), Percentile(times, 0.95),
                *std::min_element(times.begin(), times.end()),
                *std::max_element(times.begin(), times.end()));
}

// Hand-over messages in the order the displays took them from their queues,
// reported by the hook in OsdHooks.dll: which display, command and level.
struct HandOver {
    DWORD display;
    int type;
    int level;
};
std::vector<HandOver> g_handedOver;

LRESULT CALLBACK RecorderProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_APP) {
        g_handedOver.push_back({static_cast<DWORD>(wParam >> 8), static_cast<int>(wParam & 0xFF),
                                static_cast<int>(lParam)});
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// What the screen showed during the burst, sampled every 2 ms on its own thread.
class DisplaySampler {
  public:
    DisplaySampler()
        : m_stop(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
          m_thread(CreateThread(nullptr, 0, Sample, this, 0, nullptr)) {}
    DisplaySampler(const DisplaySampler&) = delete;
    DisplaySampler& operator=(const DisplaySampler&) = delete;
    ~DisplaySampler() {
        Stop();
        CloseHandle(m_thread);
        CloseHandle(m_stop);
    }
    void Stop() {
        SetEvent(m_stop);
        WaitForSingleObject(m_thread, 5000);
    }

    std::size_t mostDisplays = 0;
    std::vector<DWORD> displays; // process of every display seen, in order
    std::wstring lastLabel;
    std::wstring lastBar;

  private:
    static DWORD WINAPI Sample(void* self) {
        auto* sampler = static_cast<DisplaySampler*>(self);
        do {
            sampler->Look();
        } while (WaitForSingleObject(sampler->m_stop, 2) == WAIT_TIMEOUT);
        return 0;
    }
    void Look() {
        const std::vector<HWND> now = DisplayWindows();
        mostDisplays = std::max(mostDisplays, now.size());
        for (HWND display : now) {
            DWORD processId = 0;
            GetWindowThreadProcessId(display, &processId);
            if (processId == 0) // gone since it was listed
                continue;
            if (std::find(displays.begin(), displays.end(), processId) == displays.end())
                displays.push_back(processId);
            for (HWND window : VisibleWindowsOf(processId)) {
                wchar_t text[128] = L"";
                GetWindowTextW(window, text, 128);
                const std::wstring shown = text;
                if (shown.rfind(L"Volume", 0) == 0)
                    lastLabel = shown;
                else if (!shown.empty() && shown.find_first_not_of(L'|') == std::wstring::npos)
                    lastBar = shown;
            }
        }
    }
    HANDLE m_stop;
    HANDLE m_thread;
};

// One program of a burst, started from its own thread at its time, so that
// slow process creation does not stretch the spacing of the starts.
struct ScheduledStart {
    std::wstring program;
    std::wstring line;
    LARGE_INTEGER burst;
    double dueMs = 0;
    HANDLE thread = nullptr;
    double startedMs = 0;
    Process copy;

    static DWORD WINAPI Run(void* self) {
        auto* start = static_cast<ScheduledStart*>(self);
        while (Milliseconds(start->burst, Now()) < start->dueMs)
            Sleep(1);
        start->startedMs = Milliseconds(start->burst, Now());
        start->copy = qxtest::StartProcess(start->program, start->line);
        return 0;
    }
};

constexpr int kBurstCopies = 50;
constexpr double kBurstSpacingMs = 20;

// The volume command of copy i: up and down in turn, every level different.
std::wstring BurstLine(int i) {
    return std::wstring(i % 2 ? L"{VOLDN:" : L"{VOLUP:") + std::to_wstring(i + 1) + L"}";
}

struct BurstTimes {
    double lastStartMs = 0;
    double lastEndMs = 0;
};

// Starts the burst and waits (bounded) until every program has ended.
BurstTimes RunBurst(const std::wstring& program, std::vector<ScheduledStart>& starts) {
    BurstTimes times;
    const LARGE_INTEGER burst = Now();
    for (int i = 0; i < kBurstCopies; ++i) {
        ScheduledStart& start = starts[i];
        start.program = program;
        start.line = BurstLine(i);
        start.burst = burst;
        start.dueMs = i * kBurstSpacingMs;
        start.thread = CreateThread(nullptr, 0, ScheduledStart::Run, &start, 0, nullptr);
    }
    for (ScheduledStart& start : starts) {
        while (WaitForSingleObject(start.thread, 0) == WAIT_TIMEOUT)
            qxtest::PumpMessages(1);
        CloseHandle(start.thread);
        times.lastStartMs = std::max(times.lastStartMs, start.startedMs);
    }
    for (ScheduledStart& start : starts) {
        while (start.copy.IsRunning() && Milliseconds(burst, Now()) < times.lastStartMs + 60000)
            qxtest::PumpMessages(1);
        times.lastEndMs = std::max(times.lastEndMs, Milliseconds(burst, Now()));
    }
    return times;
}

void PrintBurst(const char* what, const BurstTimes& times) {
    const double endedAfter = times.lastEndMs - times.lastStartMs;
    std::printf("burst of %d %s: started over %.0f ms (%.1f ms apart on average); the last "
                "ended %.0f ms after the last start (2 s bound %s)\n",
                kBurstCopies, what, times.lastStartMs, times.lastStartMs / (kBurstCopies - 1),
                endedAfter, endedAfter <= 2000 ? "met" : "NOT met");
}

TEST(OsdBenchmark, BurstOfFiftyVolumeCommands) {
    WNDCLASSW recorderClass = {};
    recorderClass.lpfnWndProc = RecorderProc;
    recorderClass.lpszClassName = L"OsdHandOverRecorder";
    RegisterClassW(&recorderClass);
    const HWND recorder = CreateWindowExW(0, L"OsdHandOverRecorder", L"", WS_POPUP, 0, 0, 0, 0,
                                          nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(nullptr, recorder);
    GlobalHook report(WH_GETMESSAGE, "ReportHandOver");
    ASSERT_TRUE(report);

    std::vector<ScheduledStart> starts(kBurstCopies);
    DisplaySampler sampler;
    const BurstTimes times = RunBurst(qxtest::BinPath(L"Vistrel.exe"), starts);
    qxtest::PumpMessages(50);
    sampler.Stop();
    DestroyWindow(recorder);
    for (ScheduledStart& start : starts) {
        ASSERT_TRUE(start.copy) << "a copy did not start";
        ASSERT_FALSE(start.copy.IsRunning()) << "a copy did not end";
    }
    ASSERT_FALSE(sampler.displays.empty()) << "no display came up";

    // What the last display was last told: its newest hand-over, or else
    // the command it started with.
    const DWORD lastDisplay = sampler.displays.back();
    std::wstring expectedLabel;
    std::wstring expectedBar;
    for (int i = 0; i < kBurstCopies; ++i) {
        if (starts[i].copy.Id() == lastDisplay) {
            expectedLabel = i % 2 ? L"Volume Down" : L"Volume Up";
            expectedBar = Strokes(i + 1);
        }
    }
    for (const HandOver& handOver : g_handedOver) {
        if (handOver.display == lastDisplay) {
            expectedLabel = handOver.type == 1 ? L"Volume Up" : L"Volume Down";
            expectedBar = Strokes(handOver.level);
        }
    }
    PrintBurst("volume commands", times);
    std::printf("%zu commands handed over, %zu display(s) in all, at most %zu at once; last told "
                "%ls with %zu strokes, ended showing %ls with %zu strokes\n",
                g_handedOver.size(), sampler.displays.size(), sampler.mostDisplays,
                expectedLabel.c_str(), expectedBar.size(), sampler.lastLabel.c_str(),
                sampler.lastBar.size());

    EXPECT_EQ(1u, sampler.mostDisplays) << "more than one display at a time";
    ASSERT_FALSE(expectedLabel.empty())
        << "the last display, process " << lastDisplay << ", is none of the copies";
    EXPECT_EQ(expectedLabel, sampler.lastLabel);
    EXPECT_EQ(expectedBar, sampler.lastBar);
}

// The same burst of a program that only starts and ends: what process
// creation alone costs here, for comparison.
TEST(OsdBenchmark, BurstOfFiftyIdlePrograms) {
    std::vector<ScheduledStart> starts(kBurstCopies);
    const BurstTimes times = RunBurst(qxtest::TestBinPath(L"OsdIdle.exe"), starts);
    for (ScheduledStart& start : starts)
        ASSERT_FALSE(start.copy.IsRunning());
    PrintBurst("idle programs", times);
}

} // namespace
