// The library-wide application object: every box the library shows goes
// through it, so all of them carry the resident program's caption.
#pragma once

#include <windows.h>

#include <string>

class CShellActionApp {
  public:
    CShellActionApp() = default;
    CShellActionApp(const CShellActionApp&) = delete;
    CShellActionApp& operator=(const CShellActionApp&) = delete;

    // A box with no owner window, captioned "Tarvolt".
    int DoMessageBox(const std::string& text, UINT style) const;

    // The system's text for an error code, or "Unknown error N." when the
    // system has none, in an information box.
    void ShowErrorBox(DWORD code) const;
};

extern const CShellActionApp theApp;
