// The simulated manager on Windows: the document is the COM stand-in
// (vorn-com-manager beside this program), registered for the current user
// for as long as the simulator runs; what it receives is read back from its
// file. Notices go to the window as WM_COPYDATA.

#include "managerseat.h"

#include "controlchannel.h"
#include "managerclient.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <windows.h>

namespace {

BOOL CALLBACK findMarked(HWND window, LPARAM found)
{
    const auto *property = reinterpret_cast<const wchar_t *>(vorn::ControlChannel::WindowProperty.utf16());
    if (!GetPropW(window, property))
        return TRUE;
    *reinterpret_cast<HWND *>(found) = window;
    return FALSE;
}

class ComSeat final : public ManagerSeat {
public:
    explicit ComSeat(Say say) : m_say(std::move(say))
    {
        m_log = QDir::temp().filePath(
            QStringLiteral("vorn-manager-sim-%1.log").arg(QCoreApplication::applicationPid()));
        QObject::connect(&m_poll, &QTimer::timeout, [this] { readCalls(); });
    }
    ~ComSeat() override
    {
        if (m_registered)
            QProcess::execute(standIn(), {QStringLiteral("--unregister")});
    }

    bool take() override
    {
        QFile::remove(m_log);
        const int code = QProcess::execute(
            standIn(), {QStringLiteral("--register"), QStringLiteral("--log"), QDir::toNativeSeparators(m_log)});
        if (code != 0) {
            m_say(QStringLiteral("%1 could not register %2: running without the document")
                      .arg(standIn(), vorn::ManagerServerClient::ServiceName));
            return false;
        }
        m_registered = true;
        m_poll.start(200);
        m_say(QStringLiteral("owning %1 through %2 (calls in %3)")
                  .arg(vorn::ManagerServerClient::ServiceName, QDir::toNativeSeparators(standIn()),
                       QDir::toNativeSeparators(m_log)));
        return true;
    }

    void notify(const QByteArray &text) override
    {
        HWND window = nullptr;
        EnumWindows(findMarked, reinterpret_cast<LPARAM>(&window));
        if (!window)
            return;
        COPYDATASTRUCT data{};
        data.cbData = DWORD(text.size());
        data.lpData = const_cast<char *>(text.constData());
        DWORD_PTR result = 0;
        SendMessageTimeoutW(window, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 1000,
                            &result);
    }

private:
    static QString standIn()
    {
        return QCoreApplication::applicationDirPath() + QStringLiteral("/vorn-com-manager.exe");
    }

    // Says every whole call the stand-in has written since the last look.
    void readCalls()
    {
        QFile file(m_log);
        if (!file.open(QIODevice::ReadOnly) || !file.seek(m_offset))
            return;
        m_pending += file.readAll();
        m_offset = file.pos();
        for (;;) {
            const qsizetype end = m_pending.indexOf('\n');
            if (end < 0)
                return;
            const QList<QByteArray> fields = m_pending.left(end).split('\t');
            if (fields.value(0) == "CreateView" && fields.size() == 4) {
                m_say(CreateViewLine(QString::fromUtf8(fields[1]), QString::fromUtf8(fields[2]),
                                     short(fields[3].toInt())));
                m_pending.remove(0, end + 1);
            } else if (fields.value(0) == "SetViewXMLData" && fields.size() == 3) {
                const qsizetype length = fields[2].toLongLong();
                if (m_pending.size() < end + 1 + length + 1)
                    return;   // the text is still being written
                m_say(SetViewXmlDataLine(QString::fromUtf8(fields[1]),
                                         QString::fromUtf8(m_pending.mid(end + 1, length))));
                m_pending.remove(0, end + 1 + length + 1);
            } else {
                m_pending.remove(0, end + 1);
            }
        }
    }

    Say m_say;
    QString m_log;
    QTimer m_poll;
    qint64 m_offset = 0;
    QByteArray m_pending;
    bool m_registered = false;
};

} // namespace

std::unique_ptr<ManagerSeat> MakeManagerSeat(ManagerSeat::Say say)
{
    return std::make_unique<ComSeat>(std::move(say));
}
