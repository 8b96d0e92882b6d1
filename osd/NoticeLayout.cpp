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

int NoticeTop(int workAreaBottom, int height, int raisedBy) {
    return static_cast<int>(static_cast<std::int64_t>(workAreaBottom) - raisedBy - height);
}

} // namespace osd
