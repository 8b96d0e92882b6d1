#include "PreferenceValues.h"

#include <cstring>

namespace resident {

namespace {

std::vector<unsigned char> TextBytes(const char* text) {
    return std::vector<unsigned char>(text, text + std::strlen(text) + 1);
}

// Built before main rather than at first use: a function's static needs a
// guard, whose runtime in GCC 13 and later (the i686 win32 thread model)
// imports Vista's condition variables, which Windows 2000 and XP lack.
const std::vector<PreferenceDefault> kDefaults = {
    {OSD_COLOUR_VALUE, PreferenceKind::Text, TextBytes(DEFAULT_OSD_COLOUR)},
    {"TargetDoor", PreferenceKind::Number, {0, 0, 0, 0}},
    {"AudioCDDrive", PreferenceKind::Text, TextBytes("")},
};

} // namespace

const std::vector<PreferenceDefault>& PreferenceDefaults() {
    return kDefaults;
}

std::string ColourTextFromValue(const char* data, std::size_t size) {
    if (!data || size <= 1)
        return DEFAULT_OSD_COLOUR;
    const void* end = std::memchr(data, '\0', size);
    const std::size_t length = end ? static_cast<const char*>(end) - data : size;
    return std::string(data, length);
}

} // namespace resident
