#include "stalebanner.h"

namespace vorn::chart {

StaleBanner::StaleBanner(QWidget *parent)
    : QLabel(parent)
{
    setObjectName(QStringLiteral("staleBanner"));
    // Amber like a warning light, dark text for contrast; no theme decides it.
    setStyleSheet(QStringLiteral("QLabel#staleBanner { background: #FFE9A8; color: #3A2A00;"
                                 " border-bottom: 1px solid #C8A040; padding: 2px 6px; font-weight: bold; }"));
    setTextFormat(Qt::PlainText);
    hide();
}

void StaleBanner::showText(const QString &text)
{
    setText(text);
    setVisible(!text.isEmpty());
}

} // namespace vorn::chart
