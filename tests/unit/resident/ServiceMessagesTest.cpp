#include "resident/ServiceMessages.h"

#include <gtest/gtest.h>

using namespace resident;

// Message parameters are pointer-sized: a value whose low 32 bits alone
// match must not count.
TEST(ServiceMessages, ParametersAreComparedWhole) {
    struct Case {
        unsigned long long value;
        bool closeRequest;
        bool leavingConsole;
    } cases[] = {
        {999, true, false},
        {0, false, false},
        {1, false, true},
        {998, false, false},
        {0x1000003E7ull, false, false}, // 999 in the low 32 bits
        {0xFFFFFFFF000003E7ull, false, false},
        {0x100000001ull, false, false}, // 1 in the low 32 bits
        {static_cast<unsigned long long>(-999LL), false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(c.closeRequest, IsCloseRequest(c.value));
        EXPECT_EQ(c.leavingConsole, IsSessionLeavingConsole(c.value));
    }
}
