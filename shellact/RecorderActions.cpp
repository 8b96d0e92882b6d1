#include "RecorderActions.h"

#include <iterator>

namespace corvix {

std::optional<RecorderButton> RecorderButtonFor(unsigned action) {
    static const RecorderButton kButtons[] = {
        {4, 209}, {3, 208}, {2, 207}, {0, 205}, {1, 206},
    };
    if (action >= std::size(kButtons))
        return std::nullopt;
    return kButtons[action];
}

} // namespace corvix
