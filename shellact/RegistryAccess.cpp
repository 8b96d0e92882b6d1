#include "ShellActionApp.h"
#include "ShellActions.h"

namespace corvix {

HKEY OpenRegistryKey(HKEY root, const char* subKey) {
    HKEY key = nullptr;
    const LONG status = ::RegOpenKeyExA(root, subKey, 0, KEY_READ, &key);
    if (status != ERROR_SUCCESS) {
        theApp.ShowErrorBox(status);
        return nullptr;
    }
    return key;
}

bool QueryRegistryValue(HKEY key, const char* name, DWORD* type, BYTE* data, DWORD* size) {
    const LONG status = ::RegQueryValueExA(key, name, nullptr, type, data, size);
    if (status != ERROR_SUCCESS) {
        theApp.ShowErrorBox(status);
        return false;
    }
    return true;
}

} // namespace corvix
