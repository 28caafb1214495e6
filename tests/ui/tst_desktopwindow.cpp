// The window as a desktop sees it: its place at the start, pictures at high
// pixel density and the desktop's palette (names for assistive technology
// and the keyboard path are in the window's own suite).

#include "liveoverlay.h"
#include "overlaypainter.h"
#include "testchart.h"
#include "uiplant.h"

#ifdef VORN_TEST_XCB
#include <QSocketNotifier>
#include <xcb/xcb.h>
#endif

using namespace vorn;
using namespace vorn::test;

namespace {

#ifdef VORN_TEST_XCB
// On an X server without a window manager (the test machine's), plays the
// part of one that frames a window only when it is mapped, after show():
// it takes over the server's mapping and configuring of top-level windows,
// and announces a frame of 4, 6, 24 and 8 pixels (left, right, top, bottom)
// before it maps the window.
class LateFrames {
public:
    LateFrames() : m_c(xcb_connect(nullptr, nullptr))
    {
        const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(m_c)).data->root;
        const uint32_t redirect = XCB_EVENT_MASK_SUBSTRUCTURE_REDIRECT;
        if (xcb_request_check(m_c, xcb_change_window_attributes_checked(m_c, root, XCB_CW_EVENT_MASK, &redirect)))
            return;
        m_extents = atom("_NET_FRAME_EXTENTS");
        xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, root, atom("_NET_SUPPORTED"), XCB_ATOM_ATOM, 32, 1, &m_extents);
        xcb_flush(m_c);
        m_notifier = std::make_unique<QSocketNotifier>(xcb_get_file_descriptor(m_c), QSocketNotifier::Read);
        QObject::connect(m_notifier.get(), &QSocketNotifier::activated, [this] { answer(); });
    }
    ~LateFrames() { m_notifier.reset(); xcb_disconnect(m_c); }
    bool running() const { return bool(m_notifier); }

private:
    xcb_atom_t atom(const char *name)
    {
        xcb_intern_atom_reply_t *reply = xcb_intern_atom_reply(m_c, xcb_intern_atom(m_c, 0, strlen(name), name), nullptr);
        const xcb_atom_t value = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
        free(reply);
        return value;
    }
    void answer()
    {
        while (xcb_generic_event_t *event = xcb_poll_for_event(m_c)) {
            if ((event->response_type & 0x7f) == XCB_MAP_REQUEST) {
                const xcb_window_t window = reinterpret_cast<xcb_map_request_event_t *>(event)->window;
                const uint32_t extents[4] = {4, 6, 24, 8};
                xcb_change_property(m_c, XCB_PROP_MODE_REPLACE, window, m_extents, XCB_ATOM_CARDINAL, 32, 4, extents);
                xcb_map_window(m_c, window);
            } else if ((event->response_type & 0x7f) == XCB_CONFIGURE_REQUEST) {
                // Position and size as asked, in the order of the mask's bits.
                const auto *request = reinterpret_cast<xcb_configure_request_event_t *>(event);
                const uint32_t all[] = {uint32_t(request->x), uint32_t(request->y), request->width, request->height};
                uint32_t values[4];
                int n = 0;
                for (int bit = 0; bit < 4; ++bit) {
                    if (request->value_mask & (1 << bit))
                        values[n++] = all[bit];
                }
                xcb_configure_window(m_c, request->window, request->value_mask & 0xf, values);
            }
            free(event);
        }
        xcb_flush(m_c);
    }

    xcb_connection_t *m_c;
    xcb_atom_t m_extents = XCB_ATOM_NONE;
    std::unique_ptr<QSocketNotifier> m_notifier;
};
#endif

// Every colour of an image region, counted.
QMap<QRgb, int> Colours(const QImage &image, const QRect &region)
{
    QMap<QRgb, int> colours;
    for (int y = region.top(); y <= region.bottom(); ++y)
        for (int x = region.left(); x <= region.right(); ++x)
            ++colours[image.pixel(x, y) & 0xffffff];
    return colours;
}

} // namespace

class DesktopWindowTest : public QObject {
    Q_OBJECT

private slots:
    // The start routine's order: shown, then placed at once, before the
    // window system has answered. The frame then stands where the starter
    // asked, at the size asked for; "/T" keeps the window on top and reaches
    // every dialog; a hosted window that got all four switches is hidden at
    // once. CTest runs this on an X server too.
    void placedInTheStartOrder_data()
    {
        QTest::addColumn<QString>("commandLine");
        QTest::addColumn<QRect>("frame");   // null: not placed, the size it was shown with
        QTest::addColumn<bool>("topMost");
        QTest::addColumn<bool>("visible");
        QTest::newRow("all-four-and-topmost") << "W /x10 /y20 /cx800 /cy600 /T " << QRect(10, 20, 800, 600) << true << true;
        QTest::newRow("all-four") << "W /x50 /y60 /cx640 /cy480 " << QRect(50, 60, 640, 480) << false << true;
        QTest::newRow("hosted-with-all-four-hides") << "W /x30 /y40 /cx700 /cy500 /H " << QRect(30, 40, 700, 500) << false
                                                    << false;
        QTest::newRow("incomplete-places-nothing") << "W /x10 /y20 /cx800 /T /H" << QRect() << false << true;
    }

    void placedInTheStartOrder()
    {
        QFETCH(QString, commandLine);
        QFETCH(QRect, frame);
        QFETCH(bool, topMost);
        QFETCH(bool, visible);
#ifdef VORN_TEST_XCB
        std::optional<LateFrames> frames;
        if (QGuiApplication::platformName() == u"xcb")
            QVERIFY(frames.emplace().running());
#endif
        Plant plant;
        auto window = plant.load(demoOps, commandLine);
        const QSize loaded = window->size();
        window->show();
        window->SetUtilWndPos();
        if (visible)
            QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        QCoreApplication::processEvents();
        if (frame.isNull())
            QCOMPARE(window->size(), loaded);
        else if (QGuiApplication::platformName() != u"xcb")
            QCOMPARE(window->frameGeometry(), frame);
        else if (visible)   // the stand-in manager moves no frame, frames no window hidden at once, and answers when it gets to it
            QTRY_COMPARE(window->frameGeometry().size(), frame.size());
        QCOMPARE(window->isVisible(), visible);
        QCOMPARE(bool(window->windowFlags() & Qt::WindowStaysOnTopHint), topMost);
        // Each menu item runs its own dialog, on top with the window.
        const std::pair<const char *, void (frmScheduler::*)(frmScheduler::DialogRunner)> dialogs[] = {
            {"Open", &frmScheduler::setOpenDialog},     {"Save", &frmScheduler::setSaveAsDialog},
            {"About", &frmScheduler::setAboutDialog},   {"Export", &frmScheduler::setExportDialog},
            {"Print", &frmScheduler::setPrintDialog},   {"PrintPreview", &frmScheduler::setPrintPreviewDialog}};
        for (const auto &[name, set] : dialogs) {
            QString handed;
            (window.get()->*set)([&handed, name](frmScheduler &, bool top) { handed = name + QString::number(top); });
            window->menuItem("mnu" + QString::fromLatin1(name))->trigger();
            QCOMPARE(handed, name + QString::number(topMost));
        }
    }

    void drawnForThePixelDensity_data()
    {
        QTest::addColumn<qreal>("scale");
        QTest::newRow("150-percent") << 1.5;
        QTest::newRow("200-percent") << 2.0;
    }

    // Drawn for the density, not scaled up: a toolbar picture has the
    // density's pixels; bars keep hard edges (only the bar colours and the
    // cell's own background inside a bar cell); the overlays land on whole
    // device pixels: the now line exactly twice the scale wide in its one
    // green, a late operation's band no colour between orange and white.
    // On a dark desktop: the window's own parts darken, the chart keeps the
    // white body and the bar colours its users read.
    void drawnForThePixelDensity()
    {
        QFETCH(qreal, scale);
        const auto restore = qScopeGuard([light = QApplication::palette()] { QApplication::setPalette(light); });
        QApplication::setPalette(QPalette(QColor(40, 40, 40), QColor(30, 30, 30)));
        Plant plant;
        // By part: P1 running and late since 02:01:40 in row 3, P2 finished in row 5.
        auto window = plant.load({{"P1", "M1", "O1", 3600, 7200, 3700, 0}, {"P2", "M1", "O1", 3600, 7200, 3700, 7000}});
        window->overlay()->setClock(chart::ChartClock::frozen(qint64(9000) * 1000)); // 02:30
        window->show();
        QCoreApplication::processEvents();
        auto *status = window->findChild<QStatusBar *>("StatusBar1");
        QVERIFY(qGray(status->grab().toImage().pixel(status->width() / 2, status->height() / 2)) < 80);

        auto *online = window->findChild<QToolBar *>("MainToolbar")->actions().first();
        const QSize logical(24, 23);
        const QPixmap sharp = online->icon().pixmap(logical, scale);
        QCOMPARE(sharp.deviceIndependentSize().toSize(), logical);
        QCOMPARE(sharp.size(), (QSizeF(logical) * scale).toSize());

        auto *grid = window->findChild<chart::GanttGrid *>("fg");
        const int inset = int(std::ceil(scale)) + 1; // inside the cell's own lines
        const auto inside = [&](const QRect &cell) {
            return QRect((QPointF(cell.topLeft()) * scale).toPoint() + QPoint(inset, inset),
                         (QSizeF(cell.size()) * scale).toSize() - QSize(2 * inset, 2 * inset));
        };
        // At 01:02 both bars of the finished operation cover the whole cell.
        grid->setLeftCol(8 + 60);
        // The gap row between the two bars is the cell's own white, whatever the row height.
        QImage image = vorn::test::renderViewport(*grid, scale);
        QCOMPARE(Colours(image, inside(grid->cellRect(5, 8 + 62))).keys(), QList<QRgb>({0x0000ff, 0xff0000, 0xffffff}));

        grid->setLeftCol(8 + 140);
        image = vorn::test::renderViewport(*grid, scale);
        // Below the rows the now line stands alone on white.
        const QMap<QRgb, int> below = Colours(image, QRect(0, image.height() - 3, image.width(), 1));
        QCOMPARE(below.keys(), QList<QRgb>({chart::NowLineRgb, 0xffffff}));
        QCOMPARE(below.value(chart::NowLineRgb), qRound(2 * scale));
        QRect across = inside(grid->cellRect(3, 8 + 148)); // 02:28, inside the overrun
        across.setLeft(across.center().x());
        across.setWidth(1);
        QCOMPARE(Colours(image, across).keys(), QList<QRgb>({chart::OverrunRgb, 0xffffff}));
    }
};

QTEST_MAIN(DesktopWindowTest)
#include "tst_desktopwindow.moc"
