// How stored bytes become a key's type and command.
#include "userkeys/UserKeyEntry.h"
#include "userkeys/UserKeyValues.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(UserKeyValues, TypeIsTheFirstFourBytesLittleEndian) {
    const struct {
        const char* label;
        Bytes bytes;
        std::int32_t type;
    } cases[] = {
        {"a plain dword", {2, 0, 0, 0}, USERKEY_PROGRAM},
        {"every byte counts", {1, 2, 3, 4}, 0x04030201},
        {"bytes past the fourth are ignored", {1, 0, 0, 0, 9, 9}, USERKEY_URL},
        {"top bit set", {0xFF, 0xFF, 0xFF, 0xFF}, -1},
        {"two bytes, zero-extended", {0x34, 0x12}, 0x1234},
        {"one byte", {2}, USERKEY_PROGRAM},
        {"no bytes", {}, USERKEY_NONE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.type, TypeFromValue(c.bytes.data(), c.bytes.size()));
    }
}

Bytes TextBytes(const std::string& text, bool withZero) {
    Bytes bytes(text.begin(), text.end());
    if (withZero)
        bytes.push_back(0);
    return bytes;
}

TEST(UserKeyValues, CommandEndsAtItsZeroOrIsEmptyWhenItFillsTheReadBuffer) {
    const std::string longest(USERKEY_MAX_COMMAND, 'a');
    const struct {
        const char* label;
        Bytes bytes;
        std::string command;
    } cases[] = {
        {"terminated text", TextBytes("http://example.com", true), "http://example.com"},
        {"empty text", TextBytes("", true), ""},
        {"no bytes at all", {}, ""},
        {"text stored without its zero", TextBytes("C:\\a.exe", false), "C:\\a.exe"},
        {"stops at the first zero", TextBytes(std::string("ab\0cd", 5), true), "ab"},
        {"longest readable text fills the buffer", TextBytes(longest, true), longest},
        {"full buffer without a zero reads as empty", TextBytes(longest + "b", false), ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(c.command, CommandFromValue(c.bytes.data(), c.bytes.size()));
    }
}

TEST(UserKeyValues, ACommandFitsWhenItCanBeReadBackWhole) {
    EXPECT_TRUE(CommandFitsStore(""));
    EXPECT_TRUE(CommandFitsStore(std::string(USERKEY_MAX_COMMAND, 'x')));
    EXPECT_FALSE(CommandFitsStore(std::string(USERKEY_MAX_COMMAND + 1, 'x')));
    EXPECT_EQ(300u, USERKEY_MAX_COMMAND + 1) << "the readers' buffer is 300 bytes";
}

} // namespace
