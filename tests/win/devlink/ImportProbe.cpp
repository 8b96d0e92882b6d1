// Linked against the TarvoltXP import library as the resident program is:
// calls all six exports and reports each result, as text and as bits of the
// exit code (bit 0 LoadDriver ... bit 5 UnloadDriver).
#include "devlink/TarvoltXP.h"

#include <cstdio>

int main() {
    const BYTE data[3] = {1, 2, 3};
    const int results[6] = {
        LoadDriver(nullptr) != 0,         ResetDevice() != 0,          ReloadKeyMap() != 0,
        ResetKeyMap(0x1234, 0x5678) != 0, ResetKeyMapEx(data, 3) != 0, UnloadDriver() != 0,
    };
    std::printf("LoadDriver=%d ResetDevice=%d ReloadKeyMap=%d ResetKeyMap=%d ResetKeyMapEx=%d "
                "UnloadDriver=%d\n",
                results[0], results[1], results[2], results[3], results[4], results[5]);
    int bits = 0;
    for (int i = 0; i < 6; ++i)
        bits |= results[i] << i;
    return bits;
}
