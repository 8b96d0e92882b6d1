// KeyboardSim: the simulated QX-310 keyboard driver. "serve" answers the
// simulated TarvoltXP.dll over a named pipe; every other command line is
// carried to the running keyboard, so shells and tests drive it alike:
//   KeyboardSim start && KeyboardSim press 1 1 && KeyboardSim log
#include "DeviceChannel.h"
#include "SimulatedKeyboard.h"
#include "SimulatorCommand.h"
#include "SimulatorPipe.h"
#include "SimulatorWire.h"

#include "framework/Handles.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace devlink;
using namespace devlink::sim;

namespace {

constexpr char RUNNING_MUTEX_NAME[] = "QX310.SimulatedKeyboard.Running";
constexpr DWORD START_TIMEOUT_MS = 10000;
constexpr DWORD STOP_TIMEOUT_MS = 5000;
constexpr DWORD SESSION_END_TIMEOUT_MS = 5000;
constexpr DWORD PIPE_BUFFER_SIZE = 64 * 1024;
constexpr std::size_t MAX_REQUEST_SIZE = MAX_COMMAND_TEXT + 64;

constexpr int EXIT_DONE = 0;
constexpr int EXIT_NO_KEYBOARD = 1;
constexpr int EXIT_BAD_COMMAND_LINE = 2;

class CKeyboardLock {
  public:
    explicit CKeyboardLock(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    CKeyboardLock(const CKeyboardLock&) = delete;
    CKeyboardLock& operator=(const CKeyboardLock&) = delete;
    ~CKeyboardLock() { LeaveCriticalSection(&m_lock); }

  private:
    CRITICAL_SECTION& m_lock;
};

class CKeyboardServer;

// One client's connection. Discovery, opening and command lines come as pipe
// messages; once a device is open, its requests come through the device's
// shared block and are answered on a thread of their own.
class CSession {
  public:
    CSession(CKeyboardServer& server, HANDLE pipe, std::uint32_t connection);
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;
    // Until the client goes or the keyboard stops; the device goes with it.
    void Run();

  private:
    bool StartDevice();
    static DWORD WINAPI DeviceProc(void* session);
    void AnswerDeviceRequests();

    CKeyboardServer& m_server;
    qx::unique_hfile m_pipe;
    std::uint32_t m_connection;
    qx::unique_handle m_closed; // set when the connection has ended
    std::unique_ptr<CDeviceChannel> m_channel;
    qx::unique_handle m_deviceThread;
};

// The keyboard process: one listening pipe instance at a time, one session
// thread per connected client.
class CKeyboardServer {
  public:
    CKeyboardServer() : m_stop(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
        InitializeCriticalSection(&m_lock);
    }
    CKeyboardServer(const CKeyboardServer&) = delete;
    CKeyboardServer& operator=(const CKeyboardServer&) = delete;
    ~CKeyboardServer() { DeleteCriticalSection(&m_lock); }

    // False when another keyboard already runs (or the pipe cannot be made).
    bool Listen() {
        // Wine does not refuse a second first pipe instance: a named mutex
        // marks the one running keyboard.
        m_running.reset(CreateMutexA(nullptr, FALSE, RUNNING_MUTEX_NAME));
        if (!m_running || GetLastError() == ERROR_ALREADY_EXISTS)
            return false;
        m_listening = CreateInstance(FILE_FLAG_FIRST_PIPE_INSTANCE);
        return m_stop && m_listening;
    }

    void Run() {
        while (!IsStopping() && m_listening) {
            if (AwaitClient())
                StartSession();
            ForgetEndedSessions();
        }
        m_listening.reset();
        for (qx::unique_handle& session : m_sessions)
            WaitForSingleObject(session.get(), SESSION_END_TIMEOUT_MS);
        m_sessions.clear();
    }

    HANDLE StopEvent() const { return m_stop.get(); }
    bool IsStopping() const { return WaitForSingleObject(m_stop.get(), 0) != WAIT_TIMEOUT; }

    // The reply to one pipe message; stopAfterReply when it asked to stop.
    WireReply Answer(const WireRequest& request, std::uint32_t connection, bool& stopAfterReply) {
        WireReply reply;
        reply.sequence = request.sequence;
        reply.kind = request.kind;
        CKeyboardLock lock(m_lock);
        switch (request.kind) {
        case MessageKind::Discover:
            reply.interfaces = m_keyboard.Discover();
            break;
        case MessageKind::Open:
            reply.succeeded = m_keyboard.Open(connection, request.index);
            reply.serverProcessId = GetCurrentProcessId();
            reply.connection = connection;
            break;
        case MessageKind::Command:
            stopAfterReply = RunCommand(request.text, reply);
            break;
        }
        return reply;
    }

    DeviceAnswer Answer(const DeviceRequest& request) {
        CKeyboardLock lock(m_lock);
        return m_keyboard.Answer(request);
    }

    void AnswerDelivered() {
        CKeyboardLock lock(m_lock);
        m_keyboard.AnswerDelivered();
    }

    void Close(std::uint32_t connection) {
        CKeyboardLock lock(m_lock);
        m_keyboard.Close(connection);
    }

  private:
    struct SessionStart {
        CKeyboardServer* server;
        HANDLE pipe;
        std::uint32_t connection;
    };

    qx::unique_hfile CreateInstance(DWORD extraFlags) const {
        return qx::unique_hfile(CreateNamedPipeA(
            SIMULATOR_PIPE_NAME, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | extraFlags,
            PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT, PIPE_UNLIMITED_INSTANCES,
            PIPE_BUFFER_SIZE, PIPE_BUFFER_SIZE, 0, nullptr));
    }

    // Waits (a second at most, or until stopped) for a client on the
    // listening instance.
    bool AwaitClient() {
        qx::unique_handle connected(CreateEventA(nullptr, TRUE, FALSE, nullptr));
        if (!connected)
            return false;
        OVERLAPPED overlapped = {};
        overlapped.hEvent = connected.get();
        if (ConnectNamedPipe(m_listening.get(), &overlapped))
            return true;
        const DWORD error = GetLastError();
        if (error == ERROR_PIPE_CONNECTED)
            return true;
        if (error != ERROR_IO_PENDING) {
            // A client that came and went at once: start afresh.
            m_listening = CreateInstance(0);
            return false;
        }
        const HANDLE waits[2] = {connected.get(), m_stop.get()};
        const DWORD result = WaitForMultipleObjects(2, waits, FALSE, 1000);
        DWORD ignored = 0;
        if (result == WAIT_OBJECT_0)
            return GetOverlappedResult(m_listening.get(), &overlapped, &ignored, FALSE) != FALSE;
        CancelIo(m_listening.get());
        GetOverlappedResult(m_listening.get(), &overlapped, &ignored, TRUE);
        return false;
    }

    void StartSession() {
        auto* start = new SessionStart{this, m_listening.release(), ++m_lastConnection};
        m_listening = CreateInstance(0);
        qx::unique_handle thread(CreateThread(nullptr, 0, SessionProc, start, 0, nullptr));
        if (!thread) {
            CloseHandle(start->pipe);
            delete start;
            return;
        }
        m_sessions.push_back(std::move(thread));
    }

    void ForgetEndedSessions() {
        for (auto session = m_sessions.begin(); session != m_sessions.end();) {
            if (WaitForSingleObject(session->get(), 0) == WAIT_OBJECT_0)
                session = m_sessions.erase(session);
            else
                ++session;
        }
    }

    static DWORD WINAPI SessionProc(void* parameter) {
        const SessionStart start = *static_cast<SessionStart*>(parameter);
        delete static_cast<SessionStart*>(parameter);
        CSession(*start.server, start.pipe, start.connection).Run();
        return 0;
    }

    // True when the keyboard is to stop once the reply is out.
    bool RunCommand(const std::string& text, WireReply& reply) {
        std::vector<std::string> words;
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = std::min(text.find(' ', at), text.size());
            if (end > at)
                words.push_back(text.substr(at, end - at));
            at = end + 1;
        }
        const ParsedCommand parsed = ParseSimulatorCommand(words);
        if (!parsed.command) {
            reply.exitCode = EXIT_BAD_COMMAND_LINE;
            reply.text = "KeyboardSim: " + parsed.error + "\n";
            return false;
        }
        switch (parsed.command->verb) {
        case Verb::Stop:
            reply.text = "stopping\n";
            return true;
        case Verb::Serve:
        case Verb::Start:
            reply.text = "already running\n";
            return false;
        default:
            reply.text = ExecuteOn(m_keyboard, *parsed.command);
            return false;
        }
    }

    qx::unique_handle m_running;
    qx::unique_handle m_stop;
    qx::unique_hfile m_listening;
    std::vector<qx::unique_handle> m_sessions;
    std::uint32_t m_lastConnection = 0;
    CRITICAL_SECTION m_lock; // guards m_keyboard
    SimulatedKeyboard m_keyboard;
};

CSession::CSession(CKeyboardServer& server, HANDLE pipe, std::uint32_t connection)
    : m_server(server), m_pipe(pipe), m_connection(connection),
      m_closed(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

// A client may stay connected for hours between messages, so the wait for
// the next one ends only with the client or the stop event.
void CSession::Run() {
    CPipeIo io(m_pipe.get(), m_server.StopEvent());
    for (;;) {
        std::vector<std::uint8_t> bytes;
        if (!io.Read(bytes, MAX_REQUEST_SIZE, INFINITE))
            break;
        const std::optional<WireRequest> request = DecodeRequest(bytes);
        if (!request)
            break; // not one of ours: drop the connection
        bool stopAfterReply = false;
        WireReply reply = m_server.Answer(*request, m_connection, stopAfterReply);
        if (request->kind == MessageKind::Open && reply.succeeded && !m_channel)
            reply.succeeded = StartDevice();
        if (!io.Write(EncodeReply(reply), COMMAND_TIMEOUT_MS))
            break;
        if (stopAfterReply)
            SetEvent(m_server.StopEvent());
    }
    SetEvent(m_closed.get());
    if (m_deviceThread)
        WaitForSingleObject(m_deviceThread.get(), SESSION_END_TIMEOUT_MS);
    m_server.Close(m_connection);
    DisconnectNamedPipe(m_pipe.get());
}

bool CSession::StartDevice() {
    m_channel = CDeviceChannel::Create(GetCurrentProcessId(), m_connection);
    if (!m_channel || !m_closed)
        return false;
    m_deviceThread.reset(CreateThread(nullptr, 0, DeviceProc, this, 0, nullptr));
    return static_cast<bool>(m_deviceThread);
}

DWORD WINAPI CSession::DeviceProc(void* session) {
    static_cast<CSession*>(session)->AnswerDeviceRequests();
    return 0;
}

// Each request waits in the shared block; its answer goes back there. The
// wait ends with a request, the end of the connection or the stop event.
void CSession::AnswerDeviceRequests() {
    const HANDLE waits[3] = {m_channel->RequestEvent(), m_closed.get(), m_server.StopEvent()};
    DeviceBlock& block = m_channel->Block();
    for (;;) {
        if (WaitForMultipleObjects(3, waits, FALSE, INFINITE) != WAIT_OBJECT_0)
            return;
        DeviceRequest request;
        request.connection = m_connection;
        request.controlCode = block.controlCode;
        request.replySize = block.replySize;
        const std::uint32_t length = std::min<std::uint32_t>(block.inputLength, PACKET_SIZE);
        request.input.assign(block.input, block.input + length);
        const std::uint32_t sequence = block.requestSequence;

        const DeviceAnswer answer = m_server.Answer(request);
        const bool interrupted =
            answer.delayMs > 0 &&
            WaitForMultipleObjects(2, waits + 1, FALSE, answer.delayMs) != WAIT_TIMEOUT;
        if (!interrupted) {
            const std::size_t count = std::min<std::size_t>(answer.data.size(), PACKET_SIZE);
            std::copy(answer.data.begin(), answer.data.begin() + count, block.data);
            block.bytesReturned = static_cast<std::uint32_t>(count);
            block.succeeded = answer.succeeded ? 1 : 0;
            block.error = answer.error;
            block.replySequence = sequence;
            SetEvent(m_channel->ReplyEvent());
        }
        m_server.AnswerDelivered();
        if (interrupted)
            return; // the connection ended or the keyboard stopped meanwhile
    }
}

std::string JoinWords(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words) {
        if (!text.empty())
            text += ' ';
        text += word;
    }
    return text;
}

bool KeyboardAnswers() {
    return RunSimulatorCommand("status").has_value();
}

int Serve() {
    CKeyboardServer server;
    if (!server.Listen()) {
        std::fprintf(stderr, "KeyboardSim: a simulated keyboard is already running\n");
        return EXIT_NO_KEYBOARD;
    }
    std::printf("KeyboardSim: serving on %s\n", SIMULATOR_PIPE_NAME);
    std::fflush(stdout);
    server.Run();
    return EXIT_DONE;
}

int StartInBackground() {
    if (KeyboardAnswers()) {
        std::printf("already running\n");
        return EXIT_DONE;
    }
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return EXIT_NO_KEYBOARD;
    std::string commandLine = std::string("\"") + path + "\" serve";
    // Detached: the keyboard gets no standard handles of ours. (Under Wine it
    // still inherits the Unix standard error, which Wine hands to every
    // process it starts.)
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(path, &commandLine[0], nullptr, nullptr, FALSE, DETACHED_PROCESS, nullptr,
                        nullptr, &startup, &process)) {
        std::fprintf(stderr, "KeyboardSim: could not start, error %lu\n", GetLastError());
        return EXIT_NO_KEYBOARD;
    }
    qx::unique_handle processHandle(process.hProcess);
    qx::unique_handle threadHandle(process.hThread);
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < START_TIMEOUT_MS) {
        if (KeyboardAnswers()) {
            std::printf("started\n");
            return EXIT_DONE;
        }
        if (WaitForSingleObject(processHandle.get(), 50) == WAIT_OBJECT_0)
            break;
    }
    std::fprintf(stderr, "KeyboardSim: the keyboard did not come up\n");
    return EXIT_NO_KEYBOARD;
}

int StopRunning() {
    if (!RunSimulatorCommand("stop")) {
        std::fprintf(stderr, "KeyboardSim: no simulated keyboard is running\n");
        return EXIT_NO_KEYBOARD;
    }
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < STOP_TIMEOUT_MS) {
        if (WaitNamedPipeA(SIMULATOR_PIPE_NAME, 0) == FALSE &&
            GetLastError() == ERROR_FILE_NOT_FOUND) {
            std::printf("stopped\n");
            return EXIT_DONE;
        }
        Sleep(20);
    }
    std::fprintf(stderr, "KeyboardSim: the keyboard did not stop in time\n");
    return EXIT_NO_KEYBOARD;
}

int Forward(const std::vector<std::string>& words) {
    const std::optional<CommandResult> result = RunSimulatorCommand(JoinWords(words));
    if (!result) {
        std::fprintf(stderr, "KeyboardSim: no simulated keyboard is running\n");
        return EXIT_NO_KEYBOARD;
    }
    std::fwrite(result->text.data(), 1, result->text.size(), stdout);
    return static_cast<int>(result->exitCode);
}

} // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> words(argv + 1, argv + argc);
    const ParsedCommand parsed = ParseSimulatorCommand(words);
    if (!parsed.command) {
        std::fprintf(stderr, "KeyboardSim: %s\n\n%s", parsed.error.c_str(), UsageText().c_str());
        return EXIT_BAD_COMMAND_LINE;
    }
    switch (parsed.command->verb) {
    case Verb::Help:
        std::fputs(UsageText().c_str(), stdout);
        return EXIT_DONE;
    case Verb::Serve:
        return Serve();
    case Verb::Start:
        return StartInBackground();
    case Verb::Stop:
        return StopRunning();
    default:
        return Forward(words);
    }
}
