// Single owners for Win32 handles, in the spirit of WIL's unique_any.
#pragma once

#include <windows.h>

#include <utility>

namespace qx {

// Traits for handle types whose "no handle" value is a null pointer.
template <typename T, auto Close> struct NullHandleTraits {
    using Type = T;
    static T Invalid() { return T{}; }
    static void Close_(T handle) { Close(handle); }
};

struct FileHandleTraits {
    using Type = HANDLE;
    static HANDLE Invalid() { return INVALID_HANDLE_VALUE; }
    static void Close_(HANDLE handle) { ::CloseHandle(handle); }
};

template <typename Traits> class unique_any {
  public:
    using Type = typename Traits::Type;

    unique_any() = default;
    explicit unique_any(Type handle) : m_handle(handle) {}
    unique_any(const unique_any&) = delete;
    unique_any& operator=(const unique_any&) = delete;
    unique_any(unique_any&& other) noexcept : m_handle(other.release()) {}
    unique_any& operator=(unique_any&& other) noexcept {
        reset(other.release());
        return *this;
    }
    ~unique_any() { reset(); }

    Type get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Traits::Invalid(); }

    void reset(Type handle = Traits::Invalid()) {
        if (m_handle != Traits::Invalid())
            Traits::Close_(m_handle);
        m_handle = handle;
    }

    // Gives the handle up, for owners that take it over (SetWindowRgn).
    Type release() { return std::exchange(m_handle, Traits::Invalid()); }

    // Out-parameter for creating calls: closes what is held first.
    Type* put() {
        reset();
        return &m_handle;
    }

  private:
    Type m_handle = Traits::Invalid();
};

inline void CloseRegistryKey(HKEY key) {
    ::RegCloseKey(key);
}
inline void DeleteGdiObject(HGDIOBJ object) {
    ::DeleteObject(object);
}

using unique_hkey = unique_any<NullHandleTraits<HKEY, &CloseRegistryKey>>;
using unique_handle = unique_any<NullHandleTraits<HANDLE, &::CloseHandle>>;
using unique_hfile = unique_any<FileHandleTraits>;
using unique_hfont = unique_any<NullHandleTraits<HFONT, &DeleteGdiObject>>;
using unique_hbrush = unique_any<NullHandleTraits<HBRUSH, &DeleteGdiObject>>;
using unique_hrgn = unique_any<NullHandleTraits<HRGN, &DeleteGdiObject>>;
using unique_hicon = unique_any<NullHandleTraits<HICON, &::DestroyIcon>>;
using unique_hmenu = unique_any<NullHandleTraits<HMENU, &::DestroyMenu>>;
using unique_hmodule = unique_any<NullHandleTraits<HMODULE, &::FreeLibrary>>;

// A window's device context, released to the window when it goes.
class unique_window_dc {
  public:
    explicit unique_window_dc(HWND window) : m_window(window), m_dc(::GetDC(window)) {}
    unique_window_dc(const unique_window_dc&) = delete;
    unique_window_dc& operator=(const unique_window_dc&) = delete;
    ~unique_window_dc() {
        if (m_dc)
            ::ReleaseDC(m_window, m_dc);
    }
    HDC get() const { return m_dc; }

  private:
    HWND m_window;
    HDC m_dc;
};

// Selects an object into a DC and puts the previous one back when it goes.
class select_object_scope {
  public:
    select_object_scope(HDC dc, HGDIOBJ object)
        : m_dc(dc), m_previous(::SelectObject(dc, object)) {}
    select_object_scope(const select_object_scope&) = delete;
    select_object_scope& operator=(const select_object_scope&) = delete;
    ~select_object_scope() {
        if (m_previous)
            ::SelectObject(m_dc, m_previous);
    }

  private:
    HDC m_dc;
    HGDIOBJ m_previous;
};

// Holds a critical section from its making to the end of the scope.
class critical_section_lock {
  public:
    explicit critical_section_lock(CRITICAL_SECTION& section) : m_section(section) {
        ::EnterCriticalSection(&m_section);
    }
    critical_section_lock(const critical_section_lock&) = delete;
    critical_section_lock& operator=(const critical_section_lock&) = delete;
    ~critical_section_lock() { ::LeaveCriticalSection(&m_section); }

  private:
    CRITICAL_SECTION& m_section;
};

} // namespace qx
