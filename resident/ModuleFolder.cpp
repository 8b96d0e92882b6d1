#include "ModuleFolder.h"

#include "ModuleFolderPath.h"

#include <windows.h>

std::string GetModuleFolder() {
    char path[MAX_PATH];
    const DWORD length = ::GetModuleFileNameA(nullptr, path, sizeof path);
    if (length == 0 || length >= sizeof path)
        return std::string();
    return resident::ModuleFolderFromPath(std::string(path, length));
}
