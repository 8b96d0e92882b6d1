#include "Preferences.h"

#include "PreferenceValues.h"

#include "framework/Handles.h"
#include "shellact/Corvix.h"

#include <windows.h>

namespace {

// Keys opened by the shell library are given back to it, never closed here.
void FreeCorvixKey(HKEY key) {
    CVXP_FreeRegistryHandle(key);
}
using unique_corvix_key = qx::unique_any<qx::NullHandleTraits<HKEY, &FreeCorvixKey>>;

DWORD RegistryType(resident::PreferenceKind kind) {
    return kind == resident::PreferenceKind::Number ? REG_DWORD : REG_SZ;
}

} // namespace

void WritePreferenceDefaults() {
    qx::unique_hkey key;
    DWORD disposition = 0;
    char noClass[] = "";
    if (::RegCreateKeyExA(HKEY_CURRENT_USER, resident::PREFERENCE_PATH, 0, noClass,
                          REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, nullptr, key.put(),
                          &disposition) != ERROR_SUCCESS)
        return;
    if (disposition != REG_CREATED_NEW_KEY)
        return;
    for (const resident::PreferenceDefault& value : resident::PreferenceDefaults()) {
        ::RegSetValueExA(key.get(), value.name, 0, RegistryType(value.kind), value.bytes.data(),
                         static_cast<DWORD>(value.bytes.size()));
    }
}

std::string ReadDisplayColour() {
    const unique_corvix_key key(
        CVXP_GetRegistryHandle(HKEY_CURRENT_USER, resident::PREFERENCE_PATH));
    if (!key)
        return resident::DEFAULT_OSD_COLOUR;
    char buffer[resident::COLOUR_BUFFER_SIZE] = {};
    DWORD size = sizeof buffer;
    if (!CVXP_GetRegistryValue(key.get(), resident::OSD_COLOUR_VALUE, nullptr,
                               reinterpret_cast<BYTE*>(buffer), &size))
        return resident::DEFAULT_OSD_COLOUR;
    return resident::ColourTextFromValue(buffer, size < sizeof buffer ? size : sizeof buffer);
}
