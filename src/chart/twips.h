#pragma once

#include <QtGlobal>

namespace vorn::chart {

// Window, control and column sizes are kept in twips; on the screen they are
// pixels at the logical DPI (15 twips a pixel at 96 DPI). Both ways truncate,
// as the bar geometry's column widths assume.
constexpr int TwipsToPixels(int twips, int dpi)
{
    return int(qint64(twips) * dpi / 1440);
}

constexpr int PixelsToTwips(int pixels, int dpi)
{
    return int(qint64(pixels) * 1440 / dpi);
}

} // namespace vorn::chart
