// The program's folder, read from its own path.
#pragma once

#include <string>

namespace resident {

// Drive and folder of an executable's path, with the trailing separator;
// empty when the path names no folder.
std::string ModuleFolderFromPath(const std::string& path);

} // namespace resident
