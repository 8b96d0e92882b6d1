#include "SimulatedKeyboard.h"

#include "CommandPacket.h"

#include <algorithm>
#include <cstdio>

namespace devlink::sim {

std::string HexBytes(const std::vector<std::uint8_t>& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(bytes.size() * 2);
    for (std::uint8_t byte : bytes) {
        text.push_back(digits[byte >> 4]);
        text.push_back(digits[byte & 0x0F]);
    }
    return text;
}

unsigned SimulatedKeyboard::Discover() {
    const unsigned count = m_plugged ? m_interfaces : 0;
    Log("discover interfaces=" + std::to_string(count));
    return count;
}

bool SimulatedKeyboard::Open(std::uint32_t connection, std::uint32_t index) {
    const bool present = m_plugged && index < m_interfaces;
    if (present)
        m_openDevices[connection] = m_plugIn;
    Log("open connection=" + std::to_string(connection) + " interface=" + std::to_string(index) +
        (present ? " -> ok" : " -> no device"));
    return present;
}

bool SimulatedKeyboard::IsLive(std::uint32_t connection) const {
    const auto device = m_openDevices.find(connection);
    return m_plugged && device != m_openDevices.end() && device->second == m_plugIn;
}

std::optional<std::uint32_t> SimulatedKeyboard::TakeFault(std::optional<std::uint8_t> command) {
    for (auto fault = m_faults.begin(); fault != m_faults.end(); ++fault) {
        if (fault->command && fault->command != command)
            continue;
        const std::uint32_t error = fault->error;
        if (--fault->remaining == 0)
            m_faults.erase(fault);
        return error;
    }
    return std::nullopt;
}

namespace {

std::optional<std::uint8_t> CommandOf(const DeviceRequest& request) {
    if (request.input.size() < HEADER_SIZE)
        return std::nullopt;
    return request.input[3];
}

} // namespace

DeviceAnswer SimulatedKeyboard::AnswerPacket(const DeviceRequest& request,
                                             std::optional<std::uint8_t> command) {
    DeviceAnswer answer;
    const auto fail = [&answer](std::uint32_t error) {
        answer.succeeded = false;
        answer.error = error;
        return answer;
    };
    if (m_openDevices.count(request.connection) == 0)
        return fail(ERROR_INVALID_HANDLE_CODE);
    if (!IsLive(request.connection))
        return fail(ERROR_DEVICE_NOT_CONNECTED_CODE);
    if (const auto fault = TakeFault(command))
        return fail(*fault);
    if (request.controlCode != IOCTL_DEVICELINK)
        return fail(ERROR_INVALID_FUNCTION_CODE);
    if (!command || request.input[0] != COMMAND_MARKER || request.input[1] != 0 ||
        request.input[2] != 0)
        return fail(ERROR_INVALID_PARAMETER_CODE);
    switch (*command) {
    case CMD_POLL_EVENT:
        if (!m_replies.empty()) {
            PollReply reply = std::move(m_replies.front());
            m_replies.pop_front();
            reply.bytes.resize(std::min<std::size_t>(reply.bytes.size(), request.replySize));
            answer.data = std::move(reply.bytes);
            answer.succeeded = reply.error == 0;
            answer.error = reply.error;
        }
        return answer;
    case CMD_RESET:
    case CMD_RESET_KEYMAP:
    case CMD_RESET_KEYMAP_EX:
    case CMD_RELOAD_KEYMAP:
        return answer;
    default:
        return fail(ERROR_INVALID_FUNCTION_CODE);
    }
}

DeviceAnswer SimulatedKeyboard::Answer(const DeviceRequest& request) {
    ++m_requests;
    ++m_inFlight;
    const std::optional<std::uint8_t> command = CommandOf(request);
    DeviceAnswer answer = AnswerPacket(request, command);
    if (!m_delayCommand || m_delayCommand == command)
        answer.delayMs = m_delayMs;

    char code[16];
    std::snprintf(code, sizeof code, "%08X", static_cast<unsigned>(request.controlCode));
    std::string entry = "request connection=" + std::to_string(request.connection) +
                        " ioctl=" + code + " in=" + std::to_string(request.input.size()) +
                        " out=" + std::to_string(request.replySize) +
                        " data=" + HexBytes(request.input) + " -> ";
    entry += answer.succeeded ? std::string("ok") : "error=" + std::to_string(answer.error);
    entry += " returned=" + std::to_string(answer.data.size());
    if (!answer.data.empty())
        entry += " reply=" + HexBytes(answer.data);
    Log(entry);
    return answer;
}

void SimulatedKeyboard::AnswerDelivered() {
    if (m_inFlight > 0)
        --m_inFlight;
}

void SimulatedKeyboard::Close(std::uint32_t connection) {
    if (m_openDevices.erase(connection) > 0)
        Log("close connection=" + std::to_string(connection));
}

void SimulatedKeyboard::Queue(const PollReply& reply) {
    m_replies.push_back(reply);
    Log("queue reply=" + HexBytes(reply.bytes) +
        (reply.error ? " error=" + std::to_string(reply.error) : std::string()));
}

void SimulatedKeyboard::Unplug() {
    m_plugged = false;
    m_replies.clear(); // the keyboard's own buffer goes with it
    Log("unplug");
}

void SimulatedKeyboard::Plug() {
    if (!m_plugged) {
        m_plugged = true;
        ++m_plugIn;
    }
    Log("plug");
}

void SimulatedKeyboard::SetInterfaces(unsigned count) {
    m_interfaces = std::min(count, MAX_INTERFACES);
    Log("interfaces " + std::to_string(m_interfaces));
}

void SimulatedKeyboard::AddFault(std::uint32_t error, std::uint32_t count,
                                 std::optional<std::uint8_t> command) {
    if (count > 0)
        m_faults.push_back({error, count, command});
    Log("fault error=" + std::to_string(error) + " count=" + std::to_string(count) +
        (command ? " command=" + std::to_string(*command) : std::string()));
}

void SimulatedKeyboard::SetDelay(std::uint32_t milliseconds, std::optional<std::uint8_t> command) {
    m_delayMs = std::min(milliseconds, MAX_DELAY_MS);
    m_delayCommand = command;
    Log("delay ms=" + std::to_string(m_delayMs) +
        (command ? " command=" + std::to_string(*command) : std::string()));
}

void SimulatedKeyboard::Reset() {
    if (!m_plugged)
        ++m_plugIn;
    m_plugged = true;
    m_interfaces = 1;
    m_replies.clear();
    m_faults.clear();
    m_delayMs = 0;
    m_delayCommand.reset();
    ClearLog();
}

std::string SimulatedKeyboard::Status() const {
    return "plugged=" + std::to_string(m_plugged ? 1 : 0) +
           " interfaces=" + std::to_string(m_interfaces) +
           " queued=" + std::to_string(m_replies.size()) +
           " open=" + std::to_string(m_openDevices.size()) +
           " in-flight=" + std::to_string(m_inFlight) +
           " faults=" + std::to_string(m_faults.size()) + " delay=" + std::to_string(m_delayMs) +
           " requests=" + std::to_string(m_requests) + "\n";
}

std::string SimulatedKeyboard::LogText() const {
    std::string text;
    if (m_logDropped > 0)
        text += "(" + std::to_string(m_logDropped) + " earlier lines dropped)\n";
    for (const std::string& line : m_log) {
        text += line;
        text += '\n';
    }
    return text;
}

void SimulatedKeyboard::ClearLog() {
    m_log.clear();
    m_logDropped = 0;
}

void SimulatedKeyboard::Log(const std::string& entry) {
    if (m_log.size() == LOG_LIMIT) {
        m_log.pop_front();
        ++m_logDropped;
    }
    m_log.push_back("#" + std::to_string(++m_logNumber) + " " + entry);
}

} // namespace devlink::sim
