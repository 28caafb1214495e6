#pragma once

// A plant on disk for the window tests: bin/ (current directory and program
// folder) beside data/ with the three tables and the settings file; and a
// recorder that answers the message boxes.

#include "dbftable.h"
#include "frmscheduler.h"
#include "ganttgrid.h"
#include "messagebox.h"
#include "paths.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace vorn::test {

struct Op {
    QString part, machine, order;
    int startP = 0, finishP = 0, startA = 0, finishA = 0;
};

inline void writeSchedule(const QString &path, const QList<Op> &ops)
{
    auto c = [](const char *name, int length) { return store::FieldDescriptor{name, 'C', length}; };
    auto n = [](const char *name) { return store::FieldDescriptor{name, 'N', 10}; };
    auto number = [](int value) { return value == 0 ? QString() : QString::number(value); };
    QFile::remove(path);
    QVERIFY(store::DbfTable::create(path, {c("PART", 20), c("PROCESS", 20), c("MACHINE", 15),
                                           c("ORDER", 15), n("STARTP"), n("FINISHP"), n("DURATIONP"),
                                           n("STARTA"), n("FINISHA"), n("DURATIONA"), c("STATUSFIN", 10)})
                .ok);
    store::DbfTable table;
    QVERIFY(table.open(path).ok);
    for (const Op &op : ops)
        QVERIFY(table.appendRecord({op.part, QStringLiteral("Turn"), op.machine, op.order,
                                    number(op.startP), number(op.finishP), number(op.finishP - op.startP),
                                    number(op.startA), number(op.finishA), number(op.finishA - op.startA),
                                    QString()})
                    .ok);
}

class Plant {
public:
    Plant()
    {
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        BuildPaths(state, binFolder());
    }
    QString binFolder() const { return dir.path() + QStringLiteral("/bin"); }
    QString dataFile(const QString &name) const { return state.DataFolder + name; }

    void writeTables(const QList<Op> &ops)
    {
        writeSchedule(dataFile(QStringLiteral("Scheduler.dbf")), ops);
        for (const char *name : {"Aplan.dbf", "Process.dbf"})
            QVERIFY(store::DbfTable::create(dataFile(QLatin1String(name)),
                                            {store::FieldDescriptor{"NAME", 'C', 10}}).ok);
    }
    void writeFile(const QString &path, const QByteArray &text)
    {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
    }
    QByteArray settings() const
    {
        QFile file(state.SettingsFile);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    std::unique_ptr<frmScheduler> load(const QString &commandLine = QString(), bool useBus = false)
    {
        auto window = std::make_unique<frmScheduler>(state, WindowStart{commandLine, binFolder(), useBus});
        window->setExitProcess([this] { ++exits; });
        window->setOpenUrl([this](const QString &path) { opened << path; });
        window->resize(1000, 600);
        window->Form_Load();
        return window;
    }

    QTemporaryDir dir;
    AppState state;
    int exits = 0;
    QStringList opened;
};

// Records every message box and gives `answer` to the Yes/No ones.
class MessageRecorder {
public:
    explicit MessageRecorder(MessageAnswer answer = MessageAnswer::Ok)
    {
        m_previous = SetMessageHandler([this, answer](const MessageRequest &request) {
            requests << request;
            if (onMessage)
                onMessage();
            return request.buttons == MessageButtons::YesNo ? answer : MessageAnswer::Ok;
        });
    }
    ~MessageRecorder() { SetMessageHandler(std::move(m_previous)); }
    QStringList texts() const
    {
        QStringList out;
        for (const MessageRequest &request : requests)
            out << request.text;
        return out;
    }

    QList<MessageRequest> requests;
    std::function<void()> onMessage;

private:
    MessageHandler m_previous;
};

// The grid body, one line per row: level, row data and columns 1 to 7.
inline QStringList body(const frmScheduler &window)
{
    const chart::GridData &grid = window.fg()->data();
    QStringList lines;
    for (int r = 2; r < grid.rows(); ++r) {
        QStringList cells;
        for (int c = 1; c <= 7; ++c)
            cells << grid.text(r, c);
        lines << QStringLiteral("%1:%2 %3").arg(grid.rowOutlineLevel(r)).arg(grid.rowData(r)).arg(cells.join(u'|'));
    }
    return lines;
}

} // namespace vorn::test
