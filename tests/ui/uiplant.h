#pragma once

// A plant on disk (bin/ beside data/) and a recorder that answers the message boxes.

#include "dbftable.h"
#include "frmscheduler.h"
#include "ganttgrid.h"
#include "messagebox.h"
#include "paths.h"
#include "testfiles.h"

#include <QtTest>
#include <QtWidgets>

namespace vorn::test {

using testing::readFile;
using testing::writeFile;

struct Op {
    QString part, machine, order;
    int startP = 0, finishP = 0, startA = 0, finishA = 0;
};

inline void writeSchedule(const QString &path, const QList<Op> &ops)
{
    QList<store::FieldDescriptor> fields;
    for (const char *name : {"PART", "PROCESS", "MACHINE", "ORDER"})
        fields.append({name, 'C', 20});
    for (const char *name : {"STARTP", "FINISHP", "DURATIONP", "STARTA", "FINISHA", "DURATIONA"})
        fields.append({name, 'N', 10});
    fields.append({"STATUSFIN", 'C', 10});
    QFile::remove(path);
    QVERIFY(store::DbfTable::create(path, fields).ok());
    store::DbfTable table;
    QVERIFY(table.open(path).ok());
    auto n = [](int value) { return value == 0 ? QString() : QString::number(value); };
    for (const Op &op : ops)
        QVERIFY(table.appendRecord({op.part, QStringLiteral("Turn"), op.machine, op.order, n(op.startP), n(op.finishP),
                                    n(op.finishP - op.startP), n(op.startA), n(op.finishA), n(op.finishA - op.startA),
                                    QString()}).ok());
}

// Two parts over two machines; P1 finished on Mill1, the rest waiting.
inline const QList<Op> demoOps{
    {QStringLiteral("P1"), QStringLiteral("Mill1"), QStringLiteral("O7"), 300, 400, 310, 420},
    {QStringLiteral("P2"), QStringLiteral("Lathe2"), QString(), 100, 900, 0, 0},
    {QStringLiteral("P1"), QStringLiteral("Lathe2"), QStringLiteral("O7"), 500, 700, 0, 0},
};

struct Plant {
    Plant()
    {
        QDir(dir.path()).mkpath(QStringLiteral("bin"));
        QDir(dir.path()).mkpath(QStringLiteral("data"));
        BuildPaths(state, binFolder());
    }
    QString binFolder() const { return dir.path() + QStringLiteral("/bin"); }
    QString dataFile(const QString &name) const { return state.DataFolder + name; }
    QString copyFile(const QString &name) const { return dataFile(QStringLiteral("Scheduler/") + name); }
    void writeTables(const QList<Op> &ops)
    {
        writeSchedule(dataFile(QStringLiteral("Scheduler.dbf")), ops);
        for (const char *name : {"Aplan.dbf", "Process.dbf"})
            QVERIFY(store::DbfTable::create(dataFile(QLatin1String(name)), {{"NAME", 'C', 10}}).ok());
    }
    std::unique_ptr<frmScheduler> load(const QString &commandLine = QString(), bool useBus = false)
    {
        auto window = std::make_unique<frmScheduler>(state, WindowStart{commandLine, binFolder(), useBus});
        window->setExitProcess([this] { ++exits; });
        window->resize(1000, 600);
        window->Form_Load();
        return window;
    }
    std::unique_ptr<frmScheduler> load(const QList<Op> &ops, const QString &commandLine = QString(), bool useBus = false)
    {
        writeTables(ops);
        return load(commandLine, useBus);
    }

    QTemporaryDir dir;
    AppState state;
    int exits = 0;
};

// Records every message box and gives `answer` to the Yes/No ones.
struct MessageRecorder {
    explicit MessageRecorder(MessageAnswer yesNoAnswer = MessageAnswer::Ok)
        : answer(yesNoAnswer), previous(SetMessageHandler([this](const MessageRequest &request) {
              requests << request;
              texts << request.text;
              if (onMessage)
                  onMessage();
              return request.buttons == MessageButtons::YesNo ? answer : MessageAnswer::Ok;
          }))
    {
    }
    ~MessageRecorder() { SetMessageHandler(std::move(previous)); }

    MessageAnswer answer;
    QList<MessageRequest> requests;
    QStringList texts;
    std::function<void()> onMessage;
    MessageHandler previous;
};

} // namespace vorn::test
