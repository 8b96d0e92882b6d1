#include "NoticeLine.h"

namespace resident {

std::string NoticeParameters(const std::string& label, const std::string& colour) {
    return label + "``" + colour;
}

} // namespace resident
