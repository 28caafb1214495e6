#include "controlchannel.h"
#include "dlgopen.h"
#include "dlgsaveas.h"
#include "frmabout.h"
#include "texts.h"
#include "uiplant.h"
#include "version.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>

using namespace vorn;
using namespace vorn::test;

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList listTexts(const QListWidget *list)
{
    QStringList texts;
    for (int i = 0; i < list->count(); ++i)
        texts << list->item(i)->text();
    return texts;
}

// Runs `command`, which shows a modal dialog, and hands that dialog to `act`
// once it is up; a dialog that `act` leaves open is cancelled.
void withModalDialog(const std::function<void()> &command, const std::function<void(QDialog *)> &act)
{
    bool seen = false;
    QTimer::singleShot(0, [&] {
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            seen = true;
            act(dialog);
            if (dialog->isVisible())
                dialog->reject();
        }
    });
    command();
    QVERIFY2(seen, "no modal dialog was shown");
}

// Title, then the texts of every button, line edit and label (not the
// picture) in child order.
QString captions(const QDialog &dialog)
{
    QStringList texts{dialog.windowTitle()};
    for (QObject *child : dialog.children()) {
        if (auto *button = qobject_cast<QPushButton *>(child))
            texts << button->text();
        else if (auto *edit = qobject_cast<QLineEdit *>(child))
            texts << edit->text();
        else if (auto *label = qobject_cast<QLabel *>(child); label && label->objectName() != QLatin1String("Image1"))
            texts << label->text();
    }
    return texts.join(u'|');
}

const QList<Op> copyOps{{QStringLiteral("P1"), QStringLiteral("Mill1"), QString(), 60, 120, 0, 0}};
const QList<Op> laterOps{{QStringLiteral("P9"), QStringLiteral("Lathe2"), QString(), 300, 360, 0, 0}};

} // namespace

class tst_Dialogs : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    void saveAsCopiesTheShownTable_data()
    {
        QTest::addColumn<QString>("typed");         // null: the proposed name stays
        QTest::addColumn<QString>("liveFile");      // empty: no live table
        QTest::addColumn<QString>("loadedName");    // a saved copy "copy" of that name exists
        QTest::addColumn<int>("offline");
        QTest::addColumn<QString>("inTheWay");      // a file, or a folder when it ends in "/"
        QTest::addColumn<QString>("savedFile");     // empty: the save fails
        QTest::addColumn<QString>("expected");      // the saved bytes, or how the message starts
        const QString live = QStringLiteral("Scheduler.dbf");
        QTest::newRow("default-name") << QString() << live << "" << 0 << "" << "Untitled 01.dbf" << "live";
        QTest::newRow("name-ending-in-dbf") << "week.dbf" << live << "" << 0 << "" << "week.dbf.dbf" << "live";
        QTest::newRow("upper-case-live-table") << "x" << "SCHEDULER.DBF" << "" << 0 << "" << "x.dbf" << "live";
        QTest::newRow("shown-copy") << "x" << live << "Monday" << 1 << "" << "x.dbf" << "copy";
        QTest::newRow("loaded-name-while-online") << "x" << live << "Monday" << 0 << "" << "x.dbf" << "live";
        QTest::newRow("archive-path-is-a-file") << "x" << live << "" << 0 << "Scheduler" << "" << "Cannot create the folder";
        QTest::newRow("live-table-missing") << "x" << "" << "" << 0 << "" << "" << "Cannot copy";
        QTest::newRow("name-of-a-folder") << "x" << live << "" << 0 << "Scheduler/x.dbf/" << "" << "Cannot copy";
    }

    void saveAsCopiesTheShownTable()
    {
        QFETCH(QString, typed);
        QFETCH(QString, liveFile);
        QFETCH(QString, loadedName);
        QFETCH(int, offline);
        QFETCH(QString, inTheWay);
        QFETCH(QString, savedFile);
        QFETCH(QString, expected);
        Plant plant;
        if (!liveFile.isEmpty())
            plant.writeFile(plant.dataFile(liveFile), "live");
        if (!loadedName.isEmpty()) {
            QVERIFY(QDir(plant.state.DataFolder).mkpath(QStringLiteral("Scheduler")));
            plant.writeFile(plant.dataFile(QStringLiteral("Scheduler/") + loadedName + QStringLiteral(".dbf")), "copy");
        }
        if (inTheWay.endsWith(u'/'))
            QVERIFY(QDir(plant.state.DataFolder).mkpath(inTheWay));
        else if (!inTheWay.isEmpty())
            plant.writeFile(plant.dataFile(inTheWay), "in the way");
        plant.state.LoadedName = loadedName;
        plant.state.Offline = qint16(offline);
        MessageRecorder recorder;

        dlgSaveAs dialog(plant.state);
        if (!typed.isNull())
            dialog.txtSaveAs()->setText(typed);
        dialog.OKButton()->click();

        if (savedFile.isEmpty()) {
            QCOMPARE(recorder.requests.size(), 1);
            QVERIFY2(recorder.requests.first().text.startsWith(expected), qPrintable(recorder.texts().join(u'\n')));
            QCOMPARE(recorder.requests.first().icon, MessageIcon::Critical);
            QCOMPARE(dialog.result(), int(QDialog::Rejected));
            QCOMPARE(dialog.txtSaveAs()->text(), typed);
        } else {
            QCOMPARE(recorder.texts(), QStringList());
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QCOMPARE(readFile(plant.dataFile(QStringLiteral("Scheduler/") + savedFile)), expected.toUtf8());
        }
    }

    void replaceQuestionOnSecondSave_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("showSavedCopy");   // the second save copies the copy onto itself
        QTest::addColumn<QByteArray>("savedBytes");
        QTest::addColumn<bool>("closes");
        QTest::newRow("no-keeps-old-copy-and-dialog") << int(MessageAnswer::No) << false << QByteArray("first") << false;
        QTest::newRow("yes-replaces") << int(MessageAnswer::Yes) << false << QByteArray("second") << true;
        QTest::newRow("yes-onto-the-shown-copy-itself") << int(MessageAnswer::Yes) << true << QByteArray("first") << true;
    }

    void replaceQuestionOnSecondSave()
    {
        QFETCH(int, answer);
        QFETCH(bool, showSavedCopy);
        QFETCH(QByteArray, savedBytes);
        QFETCH(bool, closes);
        Plant plant;
        plant.writeFile(plant.dataFile(QStringLiteral("Scheduler.dbf")), "first");
        MessageRecorder recorder(static_cast<MessageAnswer>(answer));
        dlgSaveAs(plant.state).OKButton()->click();
        QCOMPARE(recorder.requests.size(), 0);
        plant.writeFile(plant.dataFile(QStringLiteral("Scheduler.dbf")), "second");
        if (showSavedCopy) {
            plant.state.Offline = 1;
            plant.state.LoadedName = QStringLiteral("Untitled 01");
        }

        dlgSaveAs second(plant.state);
        second.OKButton()->click();

        QCOMPARE(recorder.texts(), QStringList{"Untitled 01 already exists. Do you want to replace it?"});
        QCOMPARE(recorder.requests.first().buttons, MessageButtons::YesNo);
        QCOMPARE(recorder.requests.first().icon, MessageIcon::Exclamation);
        QCOMPARE(second.result() == QDialog::Accepted, closes);
        QCOMPARE(second.txtSaveAs()->text(), QStringLiteral("Untitled 01"));
        QCOMPARE(readFile(plant.dataFile(QStringLiteral("Scheduler/Untitled 01.dbf"))), savedBytes);
        QCOMPARE(QDir(plant.dataFile(QStringLiteral("Scheduler"))).entryList(QDir::Files | QDir::Hidden),
                 QStringList{"Untitled 01.dbf"});
    }

    void openListsSavedCopies_data()
    {
        QTest::addColumn<QStringList>("files");   // a name ending in "/" is a subfolder
        QTest::addColumn<bool>("clearSelection");
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("missing-folder-is-created") << QStringList() << false << QStringList();
        QTest::newRow("upper-case-extension") << QStringList{"A.DBF", "b.dbf", "m.DbF"} << false << QStringList{"A", "b", "m"};
        QTest::newRow("double-extension-keeps-one") << QStringList{"week.dbf.dbf"} << false << QStringList{"week.dbf"};
        QTest::newRow("further-extension-skipped") << QStringList{"week.dbf.bak", "notes.txt", "dbf", "x.dbf"} << false
                                                   << QStringList{"x"};
        QTest::newRow("order-ignores-case") << QStringList{"b.dbf", "C.dbf", "a.dbf"} << false << QStringList{"a", "b", "C"};
        QTest::newRow("name-is-only-the-extension") << QStringList{".dbf", "old.dbf/"} << false << QStringList{""};
        QTest::newRow("nothing-selected-does-nothing") << QStringList{"a.dbf"} << true << QStringList{"a"};
    }

    void openListsSavedCopies()
    {
        QFETCH(QStringList, files);
        QFETCH(bool, clearSelection);
        QFETCH(QStringList, listed);
        Plant plant;
        const QString folder = plant.dataFile(QStringLiteral("Scheduler"));
        for (const QString &file : files) {
            QVERIFY(QDir(folder).mkpath(file.endsWith(u'/') ? file : QStringLiteral(".")));
            if (!file.endsWith(u'/'))
                plant.writeFile(folder + u'/' + file, "copy");
        }
        plant.state.SortOrder = 1;
        plant.state.LoadedName = QStringLiteral("before");
        QList<qint16> fills;

        dlgOpen dialog(plant.state, [&](qint16 sortOrder) { fills << sortOrder; });
        QVERIFY(QFileInfo(folder).isDir());
        QCOMPARE(listTexts(dialog.lstLoadData()), listed);
        QCOMPARE(dialog.lstLoadData()->selectedItems().size(), listed.isEmpty() ? 0 : 1);
        if (clearSelection)
            dialog.lstLoadData()->clearSelection();
        dialog.OKButton()->click();

        const bool loads = !listed.isEmpty() && !clearSelection;
        QCOMPARE(dialog.result() == QDialog::Accepted, loads);
        QCOMPARE(plant.state.LoadedName, loads ? listed.first() : QStringLiteral("before"));
        QCOMPARE(fills, loads ? QList<qint16>{1} : QList<qint16>());
    }

    void savedCopyOpensOffline_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("listed");
        QTest::addColumn<bool>("doubleClick");
        QTest::addColumn<bool>("topMost");
        QTest::newRow("default-name-ok-button") << QString() << "Untitled 01" << false << false;
        QTest::newRow("name-ending-in-dbf-double-click") << "week.dbf" << "week.dbf" << true << false;
        QTest::newRow("non-ascii-name-topmost-window") << "周一" << "周一" << false << true;
    }

    void savedCopyOpensOffline()
    {
        QFETCH(QString, typed);
        QFETCH(QString, listed);
        QFETCH(bool, doubleClick);
        QFETCH(bool, topMost);
        Plant plant;
        plant.writeTables(copyOps);
        auto window = plant.load(topMost ? QStringLiteral("/x10 /y10 /cx900 /cy600 /T ") : QString());
        window->SetUtilWndPos();
        QCOMPARE(window->TopMost(), topMost);
        window->setSaveAsDialog(RunSaveAsDialog);
        window->setOpenDialog(RunOpenDialog);
        const QStringList shownAtSave = body(*window);
        auto modalAndTopMost = [&](QDialog *dialog) {
            QVERIFY(!dialog->parent());
            QCOMPARE(bool(dialog->windowFlags() & Qt::WindowStaysOnTopHint), topMost);
        };

        withModalDialog([&] { window->toolbarButton("save")->trigger(); }, [&](QDialog *dialog) {
            modalAndTopMost(dialog);
            auto *saveAs = qobject_cast<dlgSaveAs *>(dialog);
            QVERIFY(saveAs);
            if (!typed.isNull())
                saveAs->txtSaveAs()->setText(typed);
            saveAs->OKButton()->click();
        });
        writeSchedule(plant.dataFile(QStringLiteral("Scheduler.dbf")), laterOps);
        window->RunCommand(Command::OnlineToggle);
        QVERIFY(body(*window) != shownAtSave);

        withModalDialog([&] { window->toolbarButton("open")->trigger(); }, [&](QDialog *dialog) {
            modalAndTopMost(dialog);
            auto *open = qobject_cast<dlgOpen *>(dialog);
            QVERIFY(open);
            const QList<QListWidgetItem *> items = open->lstLoadData()->findItems(listed, Qt::MatchExactly);
            QCOMPARE(items.size(), 1);
            if (doubleClick) {
                // A list takes a double click only after the press of a first click.
                const QPoint centre = open->lstLoadData()->visualItemRect(items.first()).center();
                QTest::mouseClick(open->lstLoadData()->viewport(), Qt::LeftButton, {}, centre);
                QTest::mouseDClick(open->lstLoadData()->viewport(), Qt::LeftButton, {}, centre);
            } else {
                open->lstLoadData()->setCurrentItem(items.first());
                open->OKButton()->click();
            }
            QVERIFY(!open->isVisible());
        });

        QCOMPARE(plant.state.LoadedName, listed);
        QVERIFY2(window->windowTitle().endsWith(QStringLiteral("Off-Line: ") + listed), qPrintable(window->windowTitle()));
        QCOMPARE(body(*window), shownAtSave);
    }

    void languageChangeReappliesTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("english");
        QTest::addColumn<QString>("chinese");
        const QString link = frmAbout::MakerWebAddress;
        const QString version = QStringLiteral("Version ") + VersionText();
        QTest::newRow("save-as-puts-proposed-name-back")
            << "save-as" << "Save As|mine|&Save|&Cancel" << "另存为|未命名01|保存|取消";
        QTest::newRow("open-keeps-its-list") << "open" << "Load Data|&Load|&Cancel" << "载入数据|载入|取消";
        QTest::newRow("about-notice-becomes-rights-line")
            << "about"
            << "About Vorn Scheduler|&OK|" + link + u'|' + version + "|Copyright © " + VersionYear()
                   + " Vorn Automation|Vorn Scheduler  "
            << "关于 Vorn 调度|确定|" + link + u'|' + version + "|版权所有 © Vorn Automation。保留所有权利。|Vorn 调度";
    }

    void languageChangeReappliesTexts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, english);
        QFETCH(QString, chinese);
        Plant plant;
        QVERIFY(QDir(plant.state.DataFolder).mkpath(QStringLiteral("Scheduler")));
        plant.writeFile(plant.dataFile(QStringLiteral("Scheduler/a.dbf")), "copy");
        ControlChannel channel(plant.state);
        std::unique_ptr<VornDialog> dialog;
        if (kind == QLatin1String("save-as")) {
            auto saveAs = std::make_unique<dlgSaveAs>(plant.state, &channel);
            saveAs->txtSaveAs()->setText(QStringLiteral("mine"));
            dialog = std::move(saveAs);
        } else if (kind == QLatin1String("open")) {
            dialog = std::make_unique<dlgOpen>(plant.state, [](qint16) {}, &channel);
        } else {
            dialog = std::make_unique<frmAbout>(&channel, [](const QUrl &) {});
        }
        QCOMPARE(captions(*dialog), english);
        plant.writeFile(plant.dataFile(QStringLiteral("Scheduler/b.dbf")), "copy");

        channel.handleChangeLanguage(LanguageChinese, QStringLiteral("Chinese (China)"));

        QCOMPARE(CurrentLanguageID(), LanguageChinese);
        QCOMPARE(captions(*dialog), chinese);
        if (auto *open = qobject_cast<dlgOpen *>(dialog.get()))
            QCOMPARE(listTexts(open->lstLoadData()), QStringList{"a"});
    }

    void aboutLinkOpensTheMakersPageAndShowsVisited()
    {
        QList<QUrl> opened;
        auto record = [&](const QUrl &url) { opened << url; };
        auto linkColour = [](const frmAbout &about) { return about.Label3()->palette().color(QPalette::WindowText); };
        {
            frmAbout about(nullptr, record);
            about.show();
            QCOMPARE(linkColour(about), QColor(0, 0, 255));
            QTest::mouseClick(about.Label3(), Qt::LeftButton);
            QCOMPARE(opened, QList<QUrl>{QUrl(frmAbout::MakerWebAddress)});
            QCOMPARE(linkColour(about), QColor(255, 0, 0));
        }
        // Loaded afresh, the link is unvisited again.
        QCOMPARE(linkColour(frmAbout(nullptr, record)), QColor(0, 0, 255));
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
