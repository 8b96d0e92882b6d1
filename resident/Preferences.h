// The per-user preference key in the registry.
#pragma once

#include <string>

// Creates the preference key with its defaults when it does not exist yet;
// an existing key is left exactly as the user keeps it.
void WritePreferenceDefaults();

// The colour text of the on-screen label, or the default blue when it
// cannot be read.
std::string ReadDisplayColour();
