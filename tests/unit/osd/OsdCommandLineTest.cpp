// The notice line as the resident program and people write it.
#include "OsdCommandLine.h"

#include <gtest/gtest.h>

#include <cstdint>

using osd::OsdParams;
using osd::ParseCommandLine;

namespace {

constexpr std::uint32_t kBlue = 0x00FF0000;
constexpr std::uint32_t kRed = 0x000000FF;

void ExpectParams(const OsdParams& expected, const OsdParams& actual) {
    EXPECT_EQ(expected.text, actual.text);
    EXPECT_EQ(expected.faceName, actual.faceName);
    EXPECT_EQ(expected.colour, actual.colour);
    EXPECT_EQ(expected.height, actual.height);
    EXPECT_EQ(expected.weight, actual.weight);
    EXPECT_EQ(expected.italic, actual.italic);
    EXPECT_EQ(expected.displayTime, actual.displayTime);
}

OsdParams Defaults(const char* text) {
    OsdParams params;
    params.text = text;
    return params;
}

TEST(OsdCommandLine, GoodLinesGiveTheirParameters) {
    OsdParams nineFields;
    nineFields.text = "Text";
    nineFields.faceName = "Courier New";
    nineFields.colour = kRed;
    nineFields.height = 30;
    nineFields.weight = 400;
    nineFields.italic = 1;
    nineFields.displayTime = 3000;
    OsdParams redOnly = Defaults("Hi");
    redOnly.colour = kRed;
    OsdParams spaced = Defaults("Hello");
    spaced.faceName = "Courier New";
    spaced.colour = 10;
    spaced.displayTime = 2000;
    OsdParams leadingZeros = Defaults("Hi");
    leadingZeros.height = 7;
    leadingZeros.displayTime = 0;
    OsdParams largest = Defaults("Hi");
    largest.height = 2147483647;
    largest.displayTime = 2147483647;

    const struct {
        const char* line;
        OsdParams expected;
    } cases[] = {
        {"Mute``0`0`255", Defaults("Mute")},
        {"Mute", Defaults("Mute")},
        {"Mute`", Defaults("Mute")},
        {"Text`Courier New`255`0`0`30`400`1`3000", nineFields},
        {"Hi``255", redOnly},
        {"Hi``255``", redOnly},
        {"  Hello \t`  Courier New `  10  ``` ` ` ` 2000 ", spaced},
        {"Hi`````0007```0", leadingZeros},
        {"Hi``0`0`0`2147483647```2147483647", largest},
        {"Hi` `0`0`255`  `  `  `  ", Defaults("Hi")},
        {"Prog 1``0`0`255", Defaults("Prog 1")},
        {"\xB9\xE8\xB0\xED``0`0`255", Defaults("\xB9\xE8\xB0\xED")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto params = ParseCommandLine(c.line);
        ASSERT_TRUE(params.has_value());
        ExpectParams(c.expected, *params);
    }
}

TEST(OsdCommandLine, ColourIsBlueForThreeZerosAndOtherwiseTheLowBytes) {
    const struct {
        const char* line;
        std::uint32_t colour;
    } cases[] = {
        {"Text``255`0`0", kRed},
        {"Text``0`255`0", 0x0000FF00},
        {"Text``1`2`3", 0x00030201},
        {"Text``0`0`0", kBlue},
        {"Text`", kBlue},
        {"Text``", kBlue},
        // Only the sum of the full values decides: 256 is not 0, its low byte is.
        {"Text``256`0`0", 0x00000000},
        {"Text``0`0`512", 0x00000000},
        // The largest 32-bit components: their sum does not wrap round to blue.
        {"Text``4294967295`1`0", 0x000001FF},
        {"Text``4294967295`4294967295`4294967295", 0x00FFFFFF},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        const auto params = ParseCommandLine(c.line);
        ASSERT_TRUE(params.has_value());
        EXPECT_EQ(c.colour, params->colour);
    }
}

TEST(OsdCommandLine, BadLinesAreRefused) {
    const char* const lines[] = {
        "",
        "     ",
        " \t\r\n",
        "`Arial`255`0`0",
        "   `Arial",
        "Hi``12a",
        "Hi``-1",
        "Hi``+5",
        "Hi``1 0",
        "Hi``0`0`255`0x10",
        "Hi``0`0`255`50`700`0`1500`9", // the last field takes the rest, separator included
        "Hi``0`0`255`50`700`0`15 00",
        "Hi``255`0`0`50`bold",
        "Hi``4294967296", // a colour component beyond 32 bits
        "Hi``0`99999999999999999999",
        "Hi``0`0`0`2147483648", // a signed field beyond 32 bits
        "Hi``0`0`0`50`700`0`2147483648",
        "Hi``0`0`0`50`700`4294967296",
    };
    for (const char* line : lines) {
        SCOPED_TRACE(line);
        EXPECT_FALSE(ParseCommandLine(line).has_value());
    }
}

TEST(OsdCommandLine, TextAndFaceKeepTheirInnerSpacesAndOnlyTheirOwnField) {
    const auto params = ParseCommandLine("  My Computer  `  Arial Black  ");
    ASSERT_TRUE(params.has_value());
    EXPECT_EQ("My Computer", params->text);
    EXPECT_EQ("Arial Black", params->faceName);
}

TEST(OsdCommandLine, DecimalValueStopsAtItsLimit) {
    const struct {
        const char* digits;
        std::uint32_t maximum;
        std::optional<std::uint32_t> value;
    } cases[] = {
        {"", 100, 0u},
        {"0", 100, 0u},
        {"100", 100, 100u},
        {"101", 100, std::nullopt},
        {"4294967295", 4294967295u, 4294967295u},
        {"4294967296", 4294967295u, std::nullopt},
        {"42949672950", 4294967295u, std::nullopt},
        {"2147483647", 2147483647u, 2147483647u},
        {"2147483648", 2147483647u, std::nullopt},
        {"00000000000000000000002147483647", 2147483647u, 2147483647u},
        {"12a", 4294967295u, std::nullopt},
        {" 1", 4294967295u, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.digits);
        EXPECT_EQ(c.value, osd::DecimalValue(c.digits, c.maximum));
    }
}

TEST(OsdCommandLine, IsAllDigitsAcceptsOnlyDecimalDigits) {
    EXPECT_TRUE(osd::IsAllDigits(""));
    EXPECT_TRUE(osd::IsAllDigits("0123456789"));
    const char* const notDigits[] = {"12a", " 1", "1 ", "-1", "+1", "1.5", "\xB9", "/", ":"};
    for (const char* text : notDigits) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(osd::IsAllDigits(text));
    }
}

TEST(OsdCommandLine, ArgumentsFollowTheProgramName) {
    const struct {
        const char* commandLine;
        const char* arguments;
    } cases[] = {
        {"\"C:\\Program Files\\QX-310\\Vistrel.exe\" Prog 1``0`0`255", "Prog 1``0`0`255"},
        {"Vistrel.exe   Hello there", "Hello there"},
        {"Vistrel.exe\tMute", "Mute"},
        {"\"Vistrel.exe\"Mute", "Mute"},
        {"Vistrel.exe", ""},
        {"\"Vistrel.exe\"", ""},
        {"\"C:\\unfinished quote Vistrel.exe Mute", ""},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.commandLine);
        EXPECT_EQ(c.arguments, osd::CommandLineArguments(c.commandLine));
    }
}

} // namespace
