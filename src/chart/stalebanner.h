#pragma once

#include <QLabel>

namespace vorn::chart {

// The strip above the grid that says why the chart may not show the
// present. Hidden while its text is empty.
class StaleBanner : public QLabel {
    Q_OBJECT
public:
    explicit StaleBanner(QWidget *parent = nullptr);
    void showText(const QString &text);
};

} // namespace vorn::chart
