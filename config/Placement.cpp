#include "Placement.h"

#include <algorithm>

namespace {

// Start of a span of the given length centred over [first, last), kept
// within [low, high) where it fits.
int CentredStart(int first, int last, int length, int low, int high) {
    const int centred = first + (last - first - length) / 2;
    return std::max(low, std::min(centred, high - length));
}

} // namespace

ScreenPoint CentredOrigin(const ScreenBox& over, int width, int height, const ScreenBox& work) {
    return {CentredStart(over.left, over.right, width, work.left, work.right),
            CentredStart(over.top, over.bottom, height, work.top, work.bottom)};
}
