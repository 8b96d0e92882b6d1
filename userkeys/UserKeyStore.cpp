#include "UserKeyStore.h"

#include "UserKeyValues.h"

#include <array>

namespace {

using ValueBuffer = std::array<unsigned char, USERKEY_VALUE_BUFFER>;

std::string EntrySubpath(const UserKeyEntry& entry) {
    return "\\" + entry.name;
}

// The value's bytes and registry type; nothing when it is missing, larger
// than the buffer or unreadable.
bool QueryValue(HKEY key, const char* name, ValueBuffer& buffer, DWORD& size, DWORD& type) {
    size = static_cast<DWORD>(buffer.size());
    return ::RegQueryValueExA(key, name, nullptr, &type, buffer.data(), &size) == ERROR_SUCCESS;
}

} // namespace

qx::unique_hkey UserKeyStore::OpenKey(const std::string& subpath) const {
    const std::string path = USERKEYS_ROOT_PATH + subpath;
    HKEY key = nullptr;
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                          KEY_ALL_ACCESS, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return qx::unique_hkey();
    return qx::unique_hkey(key);
}

BOOL UserKeyStore::WriteEntry(const UserKeyEntry& entry) const {
    const qx::unique_hkey key = OpenKey(EntrySubpath(entry));
    if (!key)
        return FALSE;
    const DWORD type = static_cast<DWORD>(entry.type);
    ::RegSetValueExA(key.get(), "Type", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&type),
                     sizeof type);
    const LONG stored = ::RegSetValueExA(key.get(), "Command", 0, REG_SZ,
                                         reinterpret_cast<const BYTE*>(entry.command.c_str()),
                                         static_cast<DWORD>(entry.command.size() + 1));
    return stored == ERROR_SUCCESS;
}

BOOL UserKeyStore::ReadEntry(UserKeyEntry& entry) const {
    qx::unique_hkey key = OpenKey(EntrySubpath(entry));
    if (!key)
        return FALSE;
    ValueBuffer buffer{};
    DWORD size = 0;
    DWORD valueType = REG_NONE;
    if (!QueryValue(key.get(), "Type", buffer, size, valueType)) {
        key.reset();
        entry.type = USERKEY_NONE;
        entry.command.clear();
        return WriteEntry(entry);
    }
    entry.type = TypeFromValue(buffer.data(), size);
    // An expandable string is taken as the text it is, unexpanded.
    const bool commandRead = QueryValue(key.get(), "Command", buffer, size, valueType) &&
                             (valueType == REG_SZ || valueType == REG_EXPAND_SZ);
    entry.command = commandRead ? CommandFromValue(buffer.data(), size) : std::string();
    return TRUE;
}
