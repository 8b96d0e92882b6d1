#include "CenterDialog.h"

#include "Placement.h"

namespace {

ScreenBox ToBox(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

} // namespace

void CenterDialog(HWND dialog) {
    RECT work;
    ::SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT over = work;
    const HWND owner = ::GetWindow(dialog, GW_OWNER);
    if (owner && ::IsWindowVisible(owner))
        ::GetWindowRect(owner, &over);
    RECT window;
    ::GetWindowRect(dialog, &window);
    const ScreenPoint origin = CentredOrigin(ToBox(over), window.right - window.left,
                                             window.bottom - window.top, ToBox(work));
    ::SetWindowPos(dialog, nullptr, origin.x, origin.y, 0, 0,
                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}
