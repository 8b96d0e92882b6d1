#include "ModuleFolderPath.h"

namespace resident {

std::string ModuleFolderFromPath(const std::string& path) {
    const std::size_t separator = path.find_last_of("\\/");
    if (separator != std::string::npos)
        return path.substr(0, separator + 1);
    // A bare drive ("C:Tarvolt.exe") still names where the program lies.
    if (path.size() >= 2 && path[1] == ':')
        return path.substr(0, 2);
    return std::string();
}

} // namespace resident
