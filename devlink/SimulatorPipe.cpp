#include "SimulatorPipe.h"

#include <atomic>

namespace devlink::sim {

const char SIMULATOR_PIPE_NAME[] = "\\\\.\\pipe\\QX310.SimulatedKeyboard";

namespace {

constexpr std::size_t READ_CHUNK = 64 * 1024;

DWORD Remaining(DWORD start, DWORD timeoutMs) {
    if (timeoutMs == INFINITE)
        return INFINITE;
    const DWORD elapsed = GetTickCount() - start;
    return elapsed >= timeoutMs ? 0 : timeoutMs - elapsed;
}

} // namespace

CPipeIo::CPipeIo(HANDLE pipe, HANDLE stopEvent)
    : m_pipe(pipe), m_stopEvent(stopEvent), m_event(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}

bool CPipeIo::Finish(BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs, DWORD& transferred) {
    const DWORD startError = started ? ERROR_SUCCESS : GetLastError();
    // A message longer than the buffer may already be there: its first part
    // comes at once, with ERROR_MORE_DATA.
    if (!started && startError != ERROR_IO_PENDING && startError != ERROR_MORE_DATA) {
        m_error = startError;
        return false;
    }
    if (startError == ERROR_IO_PENDING) {
        const HANDLE waits[2] = {m_event.get(), m_stopEvent};
        const DWORD result = WaitForMultipleObjects(m_stopEvent ? 2 : 1, waits, FALSE, timeoutMs);
        if (result != WAIT_OBJECT_0) {
            // The buffers must outlive the operation: cancel it and wait for that.
            CancelIo(m_pipe);
            GetOverlappedResult(m_pipe, &overlapped, &transferred, TRUE);
            m_error = result == WAIT_TIMEOUT ? ERROR_TIMEOUT : ERROR_OPERATION_ABORTED;
            return false;
        }
    }
    if (!GetOverlappedResult(m_pipe, &overlapped, &transferred, FALSE)) {
        m_error = GetLastError();
        return false;
    }
    return true;
}

bool CPipeIo::Write(const std::vector<std::uint8_t>& message, DWORD timeoutMs) {
    if (!m_event) {
        m_error = GetLastError();
        return false;
    }
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_event.get();
    DWORD written = 0;
    const BOOL started =
        WriteFile(m_pipe, message.data(), static_cast<DWORD>(message.size()), nullptr, &overlapped);
    if (!Finish(started, overlapped, timeoutMs, written))
        return false;
    if (written != message.size()) {
        m_error = ERROR_WRITE_FAULT;
        return false;
    }
    return true;
}

bool CPipeIo::Read(std::vector<std::uint8_t>& message, std::size_t limit, DWORD timeoutMs) {
    message.clear();
    if (!m_event) {
        m_error = GetLastError();
        return false;
    }
    const DWORD start = GetTickCount();
    std::vector<std::uint8_t> chunk(READ_CHUNK);
    for (;;) {
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_event.get();
        DWORD got = 0;
        const BOOL started =
            ReadFile(m_pipe, chunk.data(), static_cast<DWORD>(chunk.size()), nullptr, &overlapped);
        const bool whole = Finish(started, overlapped, Remaining(start, timeoutMs), got);
        if (!whole && m_error != ERROR_MORE_DATA)
            return false;
        if (message.size() + got > limit) {
            m_error = ERROR_INVALID_DATA;
            return false;
        }
        message.insert(message.end(), chunk.begin(), chunk.begin() + got);
        if (whole)
            return true;
    }
}

qx::unique_hfile ConnectToSimulator(DWORD timeoutMs) {
    const DWORD start = GetTickCount();
    for (;;) {
        qx::unique_hfile pipe(CreateFileA(SIMULATOR_PIPE_NAME, GENERIC_READ | GENERIC_WRITE, 0,
                                          nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
        if (pipe) {
            DWORD mode = PIPE_READMODE_MESSAGE;
            if (!SetNamedPipeHandleState(pipe.get(), &mode, nullptr, nullptr))
                return qx::unique_hfile();
            return pipe;
        }
        // Busy: the keyboard is between two connections. Anything else: none runs.
        if (GetLastError() != ERROR_PIPE_BUSY)
            return qx::unique_hfile();
        const DWORD remaining = Remaining(start, timeoutMs);
        if (remaining == 0)
            return qx::unique_hfile();
        WaitNamedPipeA(SIMULATOR_PIPE_NAME, remaining);
    }
}

std::optional<WireReply> Transact(HANDLE pipe, WireRequest request, DWORD timeoutMs, DWORD& error) {
    static std::atomic<std::uint32_t> s_sequence{0};
    request.sequence = ++s_sequence;
    CPipeIo io(pipe);
    const DWORD start = GetTickCount();
    if (!io.Write(EncodeRequest(request), timeoutMs)) {
        error = io.Error();
        return std::nullopt;
    }
    // A reply that came too late for an earlier request is passed over.
    for (;;) {
        std::vector<std::uint8_t> bytes;
        if (!io.Read(bytes, MAX_REPLY_TEXT + 64, Remaining(start, timeoutMs))) {
            error = io.Error();
            return std::nullopt;
        }
        std::optional<WireReply> reply = DecodeReply(bytes);
        if (!reply) {
            error = ERROR_INVALID_DATA;
            return std::nullopt;
        }
        if (reply->sequence == request.sequence && reply->kind == request.kind)
            return reply;
    }
}

std::optional<CommandResult> CSimulatorConnection::Run(const std::string& commandLine) {
    if (!m_pipe)
        m_pipe = ConnectToSimulator(CONNECT_TIMEOUT_MS);
    if (!m_pipe)
        return std::nullopt;
    WireRequest request;
    request.kind = MessageKind::Command;
    request.text = commandLine;
    DWORD error = 0;
    const std::optional<WireReply> reply =
        Transact(m_pipe.get(), request, COMMAND_TIMEOUT_MS, error);
    if (!reply) {
        m_pipe.reset();
        return std::nullopt;
    }
    return CommandResult{reply->exitCode, reply->text};
}

std::optional<CommandResult> RunSimulatorCommand(const std::string& commandLine) {
    return CSimulatorConnection().Run(commandLine);
}

} // namespace devlink::sim
