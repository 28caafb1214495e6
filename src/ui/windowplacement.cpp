#include "windowplacement.h"

#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace vorn {

namespace {

void place(QWidget &window, const QRect &frame)
{
    const QSize frameExtra = window.frameGeometry().size() - window.geometry().size();
    window.move(frame.topLeft());
    window.resize(qMax(0, frame.width() - frameExtra.width()), qMax(0, frame.height() - frameExtra.height()));
}

// Watches the window system's window for its first exposure.
class PlaceWhenExposed final : public QObject {
public:
    PlaceWhenExposed(QWidget &window, const QRect &frame) : QObject(&window), m_window(window), m_frame(frame)
    {
        window.windowHandle()->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Expose && static_cast<QWindow *>(watched)->isExposed() && !m_done) {
            m_done = true;
            watched->removeEventFilter(this);
            if (m_window.frameGeometry() != m_frame)
                place(m_window, m_frame);
            deleteLater();
        }
        return false;
    }

private:
    QWidget &m_window;
    const QRect m_frame;
    bool m_done = false;
};

} // namespace

void PlaceFrame(QWidget &window, const QRect &frame)
{
    place(window, frame);
    if (const QWindow *handle = window.windowHandle(); handle && !handle->isExposed())
        new PlaceWhenExposed(window, frame);
}

} // namespace vorn
