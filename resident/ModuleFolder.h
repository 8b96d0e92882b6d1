#pragma once

#include <string>

// Drive and folder of the running program, ending in a backslash.
std::string GetModuleFolder();
