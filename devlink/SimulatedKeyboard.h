// The simulated keyboard: what the kernel driver would answer to discovery,
// opening and each command packet, plus the knobs a test turns (queued
// replies, unplugging, faults, delays) and the packet log. Plain logic; the
// KeyboardSim program serves it over a pipe and serialises the calls.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace devlink::sim {

constexpr std::uint32_t ERROR_INVALID_FUNCTION_CODE = 1;
constexpr std::uint32_t ERROR_INVALID_HANDLE_CODE = 6;
constexpr std::uint32_t ERROR_INVALID_PARAMETER_CODE = 87;
constexpr std::uint32_t ERROR_DEVICE_NOT_CONNECTED_CODE = 1167;

constexpr unsigned MAX_INTERFACES = 8;
constexpr std::uint32_t MAX_DELAY_MS = 60000;
// Idle polling logs a hundred lines a second; the oldest go first.
constexpr std::size_t LOG_LIMIT = 50000;

// One reply to a poll, exactly as the driver will hand it over.
struct PollReply {
    std::vector<std::uint8_t> bytes; // at most 400
    std::uint32_t error = 0;         // 0: the request succeeds
};

struct DeviceRequest {
    std::uint32_t connection = 0;
    std::uint32_t controlCode = 0;
    std::vector<std::uint8_t> input;
    std::uint32_t replySize = 0;
};

struct DeviceAnswer {
    bool succeeded = true;
    std::uint32_t error = 0;
    std::vector<std::uint8_t> data; // the bytes returned
    std::uint32_t delayMs = 0;      // how late the answer is to come
};

class SimulatedKeyboard {
  public:
    // Number of interfaces present (0 while unplugged).
    unsigned Discover();
    // Opens interface index for a connection; false when there is no such
    // interface. A device stays bound to the plug-in it was opened in.
    bool Open(std::uint32_t connection, std::uint32_t index);
    DeviceAnswer Answer(const DeviceRequest& request);
    // The answer to a request has been handed back.
    void AnswerDelivered();
    void Close(std::uint32_t connection);

    void Queue(const PollReply& reply);
    void Unplug();
    void Plug();
    void SetInterfaces(unsigned count);
    void AddFault(std::uint32_t error, std::uint32_t count, std::optional<std::uint8_t> command);
    void SetDelay(std::uint32_t milliseconds, std::optional<std::uint8_t> command);
    void Reset();

    std::string Status() const;
    std::string LogText() const;
    void ClearLog();

  private:
    struct Fault {
        std::uint32_t error;
        std::uint32_t remaining;
        std::optional<std::uint8_t> command;
    };

    bool IsLive(std::uint32_t connection) const;
    std::optional<std::uint32_t> TakeFault(std::optional<std::uint8_t> command);
    DeviceAnswer AnswerPacket(const DeviceRequest& request, std::optional<std::uint8_t> command);
    void Log(const std::string& entry);

    bool m_plugged = true;
    unsigned m_interfaces = 1;
    std::uint32_t m_plugIn = 1; // counts plug-ins, so old devices stay dead
    std::map<std::uint32_t, std::uint32_t> m_openDevices; // connection -> plug-in
    std::deque<PollReply> m_replies;
    std::vector<Fault> m_faults;
    std::uint32_t m_delayMs = 0;
    std::optional<std::uint8_t> m_delayCommand;
    unsigned m_inFlight = 0;
    std::uint64_t m_requests = 0;
    std::deque<std::string> m_log;
    std::uint64_t m_logNumber = 0;
    std::uint64_t m_logDropped = 0;
};

std::string HexBytes(const std::vector<std::uint8_t>& bytes);

} // namespace devlink::sim
