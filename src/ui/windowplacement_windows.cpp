// On Windows the frame is the window's own from its creation on, and the
// values are pixels of the real screen whatever the display's scaling, as
// SetWindowPos takes them.

#include "windowplacement.h"

#include <QWidget>

#include <windows.h>

namespace vorn {

void PlaceFrame(QWidget &window, const QRect &frame)
{
    // The order among other windows stays as the window's flags made it
    // (above all others for /T).
    SetWindowPos(reinterpret_cast<HWND>(window.winId()), nullptr, frame.x(), frame.y(), frame.width(),
                 frame.height(), SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace vorn
