// The simulated keyboard as the device: discovery and opening travel over the
// pipe to the KeyboardSim process, each request through the opened device's
// shared block. No such process means no keyboard.
#include "DevicePort.h"

#include "DeviceChannel.h"
#include "SimulatorPipe.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>

namespace {

using namespace devlink;
using namespace devlink::sim;

class CPortLock {
  public:
    explicit CPortLock(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    CPortLock(const CPortLock&) = delete;
    CPortLock& operator=(const CPortLock&) = delete;
    ~CPortLock() { LeaveCriticalSection(&m_lock); }

  private:
    CRITICAL_SECTION& m_lock;
};

std::optional<WireReply> AskKeyboard(HANDLE pipe, const WireRequest& request) {
    DWORD error = 0;
    return Transact(pipe, request, COMMAND_TIMEOUT_MS, error);
}

class CSimulatedPort final : public IDevicePort {
  public:
    CSimulatedPort() { InitializeCriticalSection(&m_lock); }
    CSimulatedPort(const CSimulatedPort&) = delete;
    CSimulatedPort& operator=(const CSimulatedPort&) = delete;
    ~CSimulatedPort() { DeleteCriticalSection(&m_lock); }

    int DiscoverInterfaces() override {
        ReleaseInterfaceSet();
        qx::unique_hfile pipe = ConnectToSimulator(CONNECT_TIMEOUT_MS);
        if (!pipe)
            return 0;
        WireRequest request;
        request.kind = MessageKind::Discover;
        const auto reply = AskKeyboard(pipe.get(), request);
        m_nInterfaceCount = reply ? static_cast<int>(reply->interfaces) : 0;
        return m_nInterfaceCount;
    }

    void ReleaseInterfaceSet() override { m_nInterfaceCount = 0; }

    // The device is the pipe connection, held open while the device is: the
    // keyboard closes it when the connection ends.
    HANDLE OpenInterface(int index) override {
        if (index < 0 || index >= m_nInterfaceCount)
            return nullptr;
        qx::unique_hfile pipe = ConnectToSimulator(CONNECT_TIMEOUT_MS);
        if (!pipe)
            return nullptr;
        WireRequest request;
        request.kind = MessageKind::Open;
        request.index = static_cast<std::uint32_t>(index);
        const auto reply = AskKeyboard(pipe.get(), request);
        if (!reply || !reply->succeeded)
            return nullptr;
        std::unique_ptr<CDeviceChannel> channel =
            CDeviceChannel::Open(reply->serverProcessId, reply->connection);
        if (!channel)
            return nullptr;
        CPortLock lock(m_lock);
        m_devices[pipe.get()] = std::move(channel);
        return pipe.release();
    }

    DeviceReply Control(HANDLE device, DWORD controlCode, const BYTE* input, DWORD inputLength,
                        BYTE* reply, DWORD replySize) override {
        DeviceReply result;
        CPortLock lock(m_lock);
        const auto found = m_devices.find(device);
        if (found == m_devices.end()) {
            result.lastError = ERROR_INVALID_HANDLE;
            return result;
        }
        if (inputLength > PACKET_SIZE) {
            result.lastError = ERROR_INVALID_PARAMETER;
            return result;
        }
        CDeviceChannel& channel = *found->second;
        DeviceBlock& block = channel.Block();
        block.controlCode = controlCode;
        block.replySize = replySize;
        block.inputLength = inputLength;
        std::memcpy(block.input, input, inputLength);
        if (!channel.Call(CONTROL_TIMEOUT_MS, result.lastError))
            return result;
        const DWORD count = std::min<DWORD>({block.bytesReturned, replySize, PACKET_SIZE});
        std::memcpy(reply, block.data, count);
        result.succeeded = block.succeeded ? TRUE : FALSE;
        result.lastError = block.error;
        result.bytesReturned = count;
        return result;
    }

    BOOL CloseDevice(HANDLE device) override {
        {
            CPortLock lock(m_lock);
            m_devices.erase(device);
        }
        return CloseHandle(device);
    }

  private:
    int m_nInterfaceCount = 0; // stands for the held device information set
    CRITICAL_SECTION m_lock;   // guards m_devices, and one request at a time
    std::map<HANDLE, std::unique_ptr<CDeviceChannel>> m_devices;
};

} // namespace

IDevicePort& TheDevicePort() {
    static CSimulatedPort port;
    return port;
}
