#pragma once

#include <QRect>

class QWidget;

namespace vorn {

// Puts a shown top-level window's frame at `frame`, position and outer size.
// A window manager frames a window only when it maps it, after show(), so
// the frame's size may not be known yet: the window is placed once more when
// it is first exposed, with its frame known by then.
void PlaceFrame(QWidget &window, const QRect &frame);

} // namespace vorn
