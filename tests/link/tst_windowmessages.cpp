// The window's own messages, as the manager sends them on Windows, reaching
// the control channel through the window's native event handling.

#include "controlchannel.h"

#include <QCoreApplication>
#include <QTest>

#include <windows.h>

using vorn::AppState;
using vorn::ControlChannel;

class tst_WindowMessages : public QObject {
    Q_OBJECT
private slots:
    void messagesReachTheChannel_data()
    {
        QTest::addColumn<uint>("message");      // 0: the registered language message
        QTest::addColumn<QByteArray>("payload"); // WM_COPYDATA's bytes
        QTest::addColumn<qint64>("count");      // its cbData; -1: the payload's size
        QTest::addColumn<QString>("expected");  // taken or passed on; S stopped, R reload, C close; heard
        QTest::newRow("close-taken-and-closes-from-the-event-loop") << uint(WM_CLOSE) << QByteArray() << -1LL << "taken --C close";
        QTest::newRow("stop") << uint(WM_COPYDATA) << QByteArray("STOP") << -1LL << "passed S--";
        QTest::newRow("start-lower-case") << uint(WM_COPYDATA) << QByteArray("start") << -1LL << "passed -R-";
        QTest::newRow("stop-with-its-nul-counted") << uint(WM_COPYDATA) << QByteArray("STOP\0", 5) << -1LL << "passed ---";
        QTest::newRow("count-shorter-than-the-text") << uint(WM_COPYDATA) << QByteArray("STOPX") << 4LL << "passed S--";
        QTest::newRow("zero-count") << uint(WM_COPYDATA) << QByteArray("STOP") << 0LL << "passed ---";
        // Read as a signed number the count is below zero: nothing is read.
        QTest::newRow("count-with-the-sign-bit") << uint(WM_COPYDATA) << QByteArray("STOP") << 0x80000004LL << "passed ---";
        QTest::newRow("help") << uint(WM_HELP) << QByteArray() << -1LL << "passed --- help";
        QTest::newRow("language") << 0u << QByteArray() << -1LL << "taken --- language(2052)";
        QTest::newRow("other-message") << uint(WM_SETTEXT) << QByteArray() << -1LL << "passed ---";
    }

    void messagesReachTheChannel()
    {
        QFETCH(uint, message);
        QFETCH(QByteArray, payload);
        QFETCH(qint64, count);

        AppState state;
        ControlChannel channel(state);
        QVERIFY(channel.start().ok());
        QString heard;
        connect(&channel, &ControlChannel::closeRequested, this, [&] { heard += QStringLiteral(" close"); });
        connect(&channel, &ControlChannel::helpRequested, this, [&] { heard += QStringLiteral(" help"); });
        connect(&channel, &ControlChannel::languageChangeRequested, this,
                [&](qint32 id) { heard += QStringLiteral(" language(%1)").arg(id); });

        const HWND window = CreateWindowExW(0, L"STATIC", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        QVERIFY(window);
        COPYDATASTRUCT data{};
        data.cbData = DWORD(count < 0 ? payload.size() : count);
        data.lpData = payload.data();
        MSG msg{};
        msg.hwnd = window;
        msg.message = message ? message : RegisterWindowMessageW(L"VornScheduler.ChangeLanguage");
        msg.wParam = message ? 0 : 2052;
        msg.lParam = message == WM_COPYDATA ? reinterpret_cast<LPARAM>(&data) : 0;
        qintptr result = -1;
        const bool taken = channel.nativeMessage("windows_generic_MSG", &msg, &result);
        QCoreApplication::processEvents();
        // The window is marked for the command-line tool while the channel lives.
        const bool marked = GetPropW(window, L"VornScheduler.Window") != nullptr;
        DestroyWindow(window);

        QVERIFY(marked);
        const QString stateText = QStringLiteral("%1%2%3").arg(state.UpdatesStopped ? "S" : "-",
            state.ReloadRequested ? "R" : "-", state.CloseRequested ? "C" : "-");
        QTEST(QString(taken ? "taken " : "passed ") + stateText + heard, "expected");
    }
};

QTEST_GUILESS_MAIN(tst_WindowMessages)
#include "tst_windowmessages.moc"
