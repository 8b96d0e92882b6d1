#include "DevicePort.h"

#include <memory>
#include <new>

namespace {

// {A9A19853-B63B-4DC4-A657-0CF2DC44D9B2}
const GUID KEYBOARD_INTERFACE_GUID = {
    0xA9A19853, 0xB63B, 0x4DC4, {0xA6, 0x57, 0x0C, 0xF2, 0xDC, 0x44, 0xD9, 0xB2}};

} // namespace

int CDevicePort::DiscoverInterfaces() {
    ReleaseInterfaceSet();
    m_deviceSet.reset(SetupDiGetClassDevsA(&KEYBOARD_INTERFACE_GUID, nullptr, nullptr,
                                           DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    if (!m_deviceSet)
        return 0;
    int count = 0;
    SP_DEVICE_INTERFACE_DATA interfaceData;
    while (EnumInterface(count, interfaceData))
        ++count;
    if (count == 0)
        ReleaseInterfaceSet();
    return count;
}

void CDevicePort::ReleaseInterfaceSet() {
    m_deviceSet.reset();
}

HANDLE CDevicePort::OpenInterface(int index) {
    if (!m_deviceSet || index < 0)
        return nullptr;
    // The set is walked again up to the wanted interface, as discovery did.
    SP_DEVICE_INTERFACE_DATA interfaceData;
    for (int i = 0; i <= index; ++i) {
        if (!EnumInterface(i, interfaceData))
            return nullptr;
    }
    DWORD required = 0;
    if (!SetupDiGetDeviceInterfaceDetailA(m_deviceSet.get(), &interfaceData, nullptr, 0, &required,
                                          nullptr) &&
        GetLastError() != ERROR_INSUFFICIENT_BUFFER)
        return nullptr;
    if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A))
        return nullptr;
    std::unique_ptr<BYTE[]> storage(new (std::nothrow) BYTE[required]);
    if (!storage)
        return nullptr;
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.get());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!SetupDiGetDeviceInterfaceDetailA(m_deviceSet.get(), &interfaceData, detail, required,
                                          nullptr, nullptr))
        return nullptr;
    // Access 0: the device is only ever controlled, never read or written.
    const HANDLE device = CreateFileA(detail->DevicePath, 0, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return device == INVALID_HANDLE_VALUE ? nullptr : device;
}

DeviceReply CDevicePort::Control(HANDLE device, DWORD controlCode, const BYTE* input,
                                 DWORD inputLength, BYTE* reply, DWORD replySize) {
    DeviceReply result;
    result.succeeded = DeviceIoControl(device, controlCode, const_cast<BYTE*>(input), inputLength,
                                       reply, replySize, &result.bytesReturned, nullptr);
    if (!result.succeeded)
        result.lastError = GetLastError();
    return result;
}

BOOL CDevicePort::CloseDevice(HANDLE device) {
    return CloseHandle(device);
}

bool CDevicePort::EnumInterface(int index, SP_DEVICE_INTERFACE_DATA& interfaceData) const {
    interfaceData = {};
    interfaceData.cbSize = sizeof(SP_DEVICE_INTERFACE_DATA);
    return SetupDiEnumDeviceInterfaces(m_deviceSet.get(), nullptr, &KEYBOARD_INTERFACE_GUID,
                                       static_cast<DWORD>(index), &interfaceData) != FALSE;
}
