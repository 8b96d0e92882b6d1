#include "NoticeLayout.h"

#include "VolumeCommand.h"

namespace osd {

std::string VolumeLabel(int type) {
    switch (type) {
    case OSD_VOLUME_UP:
        return "Volume Up";
    case OSD_VOLUME_DOWN:
        return "Volume Down";
    default:
        return std::string();
    }
}

std::string VolumeBar(std::int64_t level) {
    if (level < 0 || level > VOLUME_BAR_MAX_LEVEL)
        return std::string();
    if (level == 0)
        return " ";
    return std::string(static_cast<std::size_t>(level), '|');
}

int VolumeBarWidth(int workAreaWidth) {
    return static_cast<int>(static_cast<std::int64_t>(workAreaWidth) * 33 / 1024);
}

std::string ShapedString(const std::string& text) {
    return text + "  ";
}

std::size_t FittingLength(const std::vector<std::size_t>& characterEnds, int maxWidth,
                          const std::function<int(std::size_t)>& widthOf) {
    // Widths grow with the length, so the last fitting end is found by halving.
    std::size_t fitting = 0;
    std::size_t low = 0;
    std::size_t high = characterEnds.size();
    while (low < high) {
        const std::size_t middle = low + (high - low) / 2;
        if (widthOf(characterEnds[middle]) <= maxWidth) {
            fitting = characterEnds[middle];
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    return fitting;
}

int NoticeTop(int workAreaBottom, int height, int raisedBy) {
    return static_cast<int>(static_cast<std::int64_t>(workAreaBottom) - raisedBy - height);
}

} // namespace osd
