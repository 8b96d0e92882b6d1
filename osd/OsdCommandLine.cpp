#include "OsdCommandLine.h"

#include <array>
#include <limits>

namespace osd {

namespace {

constexpr char kSeparator = '`';
constexpr std::size_t kFieldCount = 9;
constexpr std::size_t kFirstColourField = 2;
constexpr std::size_t kFirstSignedField = 5;

bool IsWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The line cut at its separators; the last field takes the whole rest of the
// line, separators included.
struct NoticeFields {
    std::array<std::string_view, kFieldCount> field;
    std::size_t count = 0;
};

NoticeFields SplitNoticeLine(std::string_view line) {
    NoticeFields fields;
    std::string_view rest = line;
    while (fields.count + 1 < kFieldCount) {
        const std::size_t separator = rest.find(kSeparator);
        fields.field[fields.count++] = rest.substr(0, separator);
        if (separator == std::string_view::npos)
            return fields;
        rest.remove_prefix(separator + 1);
    }
    fields.field[fields.count++] = rest;
    return fields;
}

} // namespace

bool IsAllDigits(std::string_view text) {
    for (const char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

std::optional<std::uint32_t> DecimalValue(std::string_view digits, std::uint32_t maximum) {
    if (!IsAllDigits(digits))
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : digits) {
        const std::uint32_t digit = static_cast<std::uint32_t>(c - '0');
        if (value > (maximum - digit) / 10)
            return std::nullopt;
        value = value * 10 + digit;
    }
    return value;
}

std::string_view TrimWhiteSpace(std::string_view text) {
    while (!text.empty() && IsWhiteSpace(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsWhiteSpace(text.back()))
        text.remove_suffix(1);
    return text;
}

std::uint32_t ColourFromComponents(std::uint32_t red, std::uint32_t green, std::uint32_t blue) {
    // Black is not offered: three zeros (the sum of the full values) mean blue.
    if (red == 0 && green == 0 && blue == 0)
        return DEFAULT_OSD_COLOUR;
    return (red & 0xFF) | (green & 0xFF) << 8 | (blue & 0xFF) << 16;
}

std::optional<OsdParams> ParseCommandLine(std::string_view line) {
    const NoticeFields fields = SplitNoticeLine(line);
    OsdParams params;
    params.text = std::string(TrimWhiteSpace(fields.field[0]));
    if (params.text.empty())
        return std::nullopt;
    if (fields.count > 1) {
        const std::string_view face = TrimWhiteSpace(fields.field[1]);
        if (!face.empty())
            params.faceName = std::string(face);
    }

    std::array<std::uint32_t, 3> colour = {0, 0, 0};
    std::int32_t* const signedFields[] = {&params.height, &params.weight, &params.italic,
                                          &params.displayTime};
    for (std::size_t i = kFirstColourField; i < fields.count; ++i) {
        const std::string_view field = TrimWhiteSpace(fields.field[i]);
        const bool isColour = i < kFirstSignedField;
        const std::optional<std::uint32_t> value =
            DecimalValue(field, isColour ? std::numeric_limits<std::uint32_t>::max()
                                         : std::numeric_limits<std::int32_t>::max());
        if (!value)
            return std::nullopt;
        if (field.empty())
            continue;
        if (isColour)
            colour[i - kFirstColourField] = *value;
        else
            *signedFields[i - kFirstSignedField] = static_cast<std::int32_t>(*value);
    }
    params.colour = ColourFromComponents(colour[0], colour[1], colour[2]);
    return params;
}

std::string_view CommandLineArguments(std::string_view commandLine) {
    std::size_t start = 0;
    if (!commandLine.empty() && commandLine.front() == '"') {
        const std::size_t closing = commandLine.find('"', 1);
        start = closing == std::string_view::npos ? commandLine.size() : closing + 1;
    } else {
        while (start < commandLine.size() && !IsBlank(commandLine[start]))
            ++start;
    }
    while (start < commandLine.size() && IsBlank(commandLine[start]))
        ++start;
    return commandLine.substr(start);
}

} // namespace osd
