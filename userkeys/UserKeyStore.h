// The registry store of the programmable keys' bindings, below
// HKEY_CURRENT_USER. The configuration program and the resident program use
// this same code; it holds no state, so each call sees the registry afresh.
#pragma once

#include "UserKeyEntry.h"

#include "framework/Handles.h"

#include <windows.h>

#include <string>

class UserKeyStore {
  public:
    UserKeyStore() = default;
    virtual ~UserKeyStore() = default;

    // The key USERKEYS_ROOT_PATH + subpath (a backslash and a display name),
    // created when missing; an empty owner when it cannot be created or opened.
    qx::unique_hkey OpenKey(const std::string& subpath) const;

    // Fills type and command of the entry named by entry.name. 0 when the key
    // cannot be opened (the entry is left as it was). An entry whose "Type"
    // cannot be read is stored empty in its place, and the result is that
    // write's.
    BOOL ReadEntry(UserKeyEntry& entry) const;

    // Stores the entry's own type and its command; 1 when "Command" was
    // stored. Turning an empty command into USERKEY_NONE is the configuration
    // program's rule.
    BOOL WriteEntry(const UserKeyEntry& entry) const;
};
