// The notice line that starts Vistrel: up to nine fields separated by
// backquotes (text, face, red, green, blue, height, weight, italic, display
// time). Plain logic, shared by the program, the unit tests and the fuzzer.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace osd {

// Title of the running display's main window; later copies find it by this.
constexpr char OSD_INSTANCE_GUID[] = "08045BD6-D714-43d7-BBD8-6E92B3CEA428";

constexpr std::uint32_t DEFAULT_OSD_COLOUR = 0x00FF0000; // blue, as 0x00BBGGRR

struct OsdParams {
    std::string text;
    std::string faceName = "Arial";
    std::uint32_t colour = DEFAULT_OSD_COLOUR;
    std::int32_t height = 50;
    std::int32_t weight = 700;
    std::int32_t italic = 0; // italic when the low byte is non-zero
    std::int32_t displayTime = 1500;
};

// True when every character is a decimal digit (so also for an empty text).
bool IsAllDigits(std::string_view text);

// Value of a text of decimal digits, or nothing when it is not all digits or
// its value is above maximum. An empty text is 0.
std::optional<std::uint32_t> DecimalValue(std::string_view digits, std::uint32_t maximum);

// The text with leading and trailing white space removed.
std::string_view TrimWhiteSpace(std::string_view text);

// The colour of the notice from its three components: blue when all three are
// 0, else the low 8 bits of each.
std::uint32_t ColourFromComponents(std::uint32_t red, std::uint32_t green, std::uint32_t blue);

// Fills the parameters from the notice line, or nothing when the line is bad
// (empty text, a field that is not all digits, a number too large for its
// 32 bits). A bad line ends the program silently.
std::optional<OsdParams> ParseCommandLine(std::string_view line);

// The arguments of a whole process command line: what follows the program
// name (quoted or not) and the blanks after it.
std::string_view CommandLineArguments(std::string_view commandLine);

} // namespace osd
