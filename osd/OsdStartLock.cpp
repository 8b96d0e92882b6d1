#include "OsdStartLock.h"

#include "OsdCommandLine.h"

#include <string>

COsdStartLock::COsdStartLock(DWORD timeoutMs)
    : m_mutex(::CreateMutexA(nullptr, FALSE,
                             (std::string(osd::OSD_INSTANCE_GUID) + " start").c_str())) {
    if (!m_mutex)
        return;
    const DWORD result = ::WaitForSingleObject(m_mutex.get(), timeoutMs);
    m_bHeld = result == WAIT_OBJECT_0 || result == WAIT_ABANDONED;
}

void COsdStartLock::Release() {
    if (m_bHeld)
        ::ReleaseMutex(m_mutex.get());
    m_bHeld = false;
}
