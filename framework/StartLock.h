// A program's start lock, named after the program: a copy holds it from its
// look for the running copy until it has handed over or is findable itself,
// so two copies started together cannot both miss each other.
#pragma once

#include "Handles.h"

#include <windows.h>

#include <string>

class CStartLock {
  public:
    // Waits up to timeoutMs for the lock.
    CStartLock(const std::string& name, DWORD timeoutMs);
    CStartLock(const CStartLock&) = delete;
    CStartLock& operator=(const CStartLock&) = delete;
    ~CStartLock() { Release(); }

    // Another copy held the lock for the whole wait. Without the lock object
    // itself nothing can be ordered, and nobody is kept waiting.
    bool Busy() const { return m_mutex && !m_bHeld; }
    void Release();

  private:
    qx::unique_handle m_mutex;
    bool m_bHeld = false;
};
