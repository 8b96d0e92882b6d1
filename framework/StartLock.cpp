#include "StartLock.h"

CStartLock::CStartLock(const std::string& name, DWORD timeoutMs)
    : m_mutex(::CreateMutexA(nullptr, FALSE, (name + " start").c_str())) {
    if (!m_mutex)
        return;
    const DWORD result = ::WaitForSingleObject(m_mutex.get(), timeoutMs);
    m_bHeld = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void CStartLock::Release() {
    if (m_bHeld)
        ::ReleaseMutex(m_mutex.get());
    m_bHeld = false;
}
