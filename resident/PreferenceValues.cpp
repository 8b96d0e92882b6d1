#include "PreferenceValues.h"

#include <cstring>

namespace resident {

namespace {

std::vector<unsigned char> TextBytes(const char* text) {
    return std::vector<unsigned char>(text, text + std::strlen(text) + 1);
}

} // namespace

const std::vector<PreferenceDefault>& PreferenceDefaults() {
    static const std::vector<PreferenceDefault> defaults = {
        {OSD_COLOUR_VALUE, PreferenceKind::Text, TextBytes(DEFAULT_OSD_COLOUR)},
        {"TargetDoor", PreferenceKind::Number, {0, 0, 0, 0}},
        {"AudioCDDrive", PreferenceKind::Text, TextBytes("")},
    };
    return defaults;
}

std::string ColourTextFromValue(const char* data, std::size_t size) {
    if (!data || size <= 1)
        return DEFAULT_OSD_COLOUR;
    const void* end = std::memchr(data, '\0', size);
    const std::size_t length = end ? static_cast<const char*>(end) - data : size;
    return std::string(data, length);
}

} // namespace resident
