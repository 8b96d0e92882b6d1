// The command line the resident program hands the on-screen display.
#pragma once

#include <string>

namespace resident {

// Parameters of the on-screen display: the label, an empty font field and
// the three colour fields of the preference text.
std::string NoticeParameters(const std::string& label, const std::string& colour);

} // namespace resident
