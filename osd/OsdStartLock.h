// The lock that orders a copy's look for the running display against that
// display's start and end: a copy holds it from its look until its command is
// handed over or its own display is titled, and a display holds it while it
// decides to end, so no command lands in the queue of a closing display.
#pragma once

#include "framework/Handles.h"

#include <windows.h>

class COsdStartLock {
  public:
    // Waits up to timeoutMs for the lock.
    explicit COsdStartLock(DWORD timeoutMs);
    COsdStartLock(const COsdStartLock&) = delete;
    COsdStartLock& operator=(const COsdStartLock&) = delete;
    ~COsdStartLock() { Release(); }

    // Another copy held the lock for the whole wait. Without the lock object
    // itself nothing can be ordered, and nobody is kept waiting.
    bool Busy() const { return m_mutex && !m_bHeld; }
    void Release();

  private:
    qx::unique_handle m_mutex;
    bool m_bHeld = false;
};
