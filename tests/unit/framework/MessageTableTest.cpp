#include "framework/MessageTable.h"

#include <gtest/gtest.h>

#include <iterator>

namespace {

struct Entry {
    qx::MessageKey key;
    int handler;
};

constexpr unsigned kPaint = 0x000F;
constexpr unsigned kCommand = qx::kCommandMessage;

std::uintptr_t CommandParam(unsigned id, unsigned notification) {
    return (notification << 16) | id;
}

const Entry kTable[] = {
    {{kPaint, 0, 0, qx::kAnyNotification}, 1},
    {{kCommand, 1001, 1001, 0x0200}, 2}, // one control, one notification
    {{kCommand, 1001, 1003, qx::kAnyNotification}, 3},
    {{kCommand, 32771, 32771, qx::kAnyNotification}, 4},
};

int Lookup(unsigned message, std::uintptr_t wParam) {
    const std::size_t i = qx::FindMessageEntry(kTable, std::size(kTable), message, wParam);
    return i == std::size(kTable) ? 0 : kTable[i].handler;
}

TEST(MessageTable, PlainMessagesMatchWhateverTheirParameters) {
    EXPECT_EQ(1, Lookup(kPaint, 0));
    EXPECT_EQ(1, Lookup(kPaint, CommandParam(1001, 0x0200)));
    EXPECT_EQ(0, Lookup(0x0010, 0));
}

TEST(MessageTable, CommandsMatchByIdRangeAndNotification) {
    struct Case {
        unsigned id, notification;
        int expected;
    } cases[] = {
        {1001, 0x0200, 2}, // the specific entry comes first
        {1001, 0x0100, 3}, // other notifications fall to the range
        {1002, 0, 3},      {1003, 0x0300, 3}, {1000, 0, 0},
        {1004, 0, 0},      {32771, 0, 4},     {32771, 1, 4}, // menu and accelerator
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "id " << c.id << " notification " << c.notification);
        EXPECT_EQ(c.expected, Lookup(kCommand, CommandParam(c.id, c.notification)));
    }
}

TEST(MessageTable, HighBitsOfWideParametersAreNotTheId) {
    const std::uintptr_t wide = (std::uintptr_t{1} << 31) | CommandParam(1002, 0);
    EXPECT_EQ(3, Lookup(kCommand, wide));
}

} // namespace
