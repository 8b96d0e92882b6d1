// The per-user preference key: its path, the defaults written when it is
// created, and how the label colour is taken from what was read. Plain logic.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace resident {

constexpr char PREFERENCE_PATH[] = "Software\\Morvel\\QX-310\\Preference";
constexpr char OSD_COLOUR_VALUE[] = "OSDRGBColor";
// Red, green and blue joined by backquotes: blue.
constexpr char DEFAULT_OSD_COLOUR[] = "0`0`255";
// Buffer the colour is read into; longer values count as unreadable.
constexpr std::size_t COLOUR_BUFFER_SIZE = 100;

enum class PreferenceKind { Text, Number };

struct PreferenceDefault {
    const char* name;
    PreferenceKind kind;
    std::vector<unsigned char> bytes; // exactly what is written, terminating zero included
};

// The three values, in the order they are written.
const std::vector<PreferenceDefault>& PreferenceDefaults();

// The colour text from a successful read of size bytes into data: a bare
// terminating zero (or nothing) gives the default; the text never runs past
// size, whether or not the stored value carried its terminating zero.
std::string ColourTextFromValue(const char* data, std::size_t size);

} // namespace resident
