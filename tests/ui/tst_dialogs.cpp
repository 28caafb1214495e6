#include "controlchannel.h"
#include "dlgopen.h"
#include "dlgsaveas.h"
#include "filename.h"
#include "frmabout.h"
#include "savedcopies.h"
#include "texts.h"
#include "uiplant.h"
#include "version.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

using namespace vorn;
using namespace vorn::test;

namespace {

// Lays out `entry` in the data folder: "path" a file holding `bytes`, "path/"
// a folder, "path=target" a symbolic link, "path|" a pipe.
bool place(const Plant &plant, const QString &entry, const QByteArray &bytes)
{
    const QString path = plant.dataFile(entry.section(u'=', 0, 0).remove(u'|'));
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    if (entry.contains(u'='))
        return QFile::link(entry.section(u'=', 1), path);
#ifdef Q_OS_UNIX
    if (entry.endsWith(u'|'))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
#endif
    return entry.endsWith(u'/') ? QDir().mkpath(path) : writeFile(path, bytes);
}

// Every entry under `root` with the bytes of each plain file: what a refused
// Save As must leave exactly as it was.
QStringList tree(const QString &root)
{
    QStringList entries;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo entry(it.next());
        entries << entry.filePath() + (entry.isSymLink() ? " -> " + entry.symLinkTarget()
                                                         : entry.isFile() ? " " + readFile(entry.filePath()) : "/");
    }
    entries.sort();
    return entries;
}

} // namespace

class tst_Dialogs : public QObject {
    Q_OBJECT
private slots:
    void init() { SetLanguage(LanguageEnglish); }

    // Save As copies the table shown into the archive folder, asks before it
    // replaces a copy, and takes the code page file along: an unmarked table
    // reads in the code page of the .cpg file beside it, so the copy must
    // read as the table shown did. Whatever is typed or pasted, nothing
    // outside the archive folder is created or replaced; a refused name
    // leaves the disk as it was, the archive folder included, and the dialog
    // open.
    void saveAsCopiesTheShownTable_data()
    {
        QTest::addColumn<QString>("typed");       // null: the proposed name stays
        QTest::addColumn<QStringList>("disk");    // laid out by place(), each file holding its own path
        QTest::addColumn<QString>("shown");       // off-line showing this saved copy
        QTest::addColumn<int>("answer");          // to a replace question
        QTest::addColumn<QString>("message");     // part of the one message; without one, or on Yes, the dialog closes
        QTest::addColumn<QByteArray>("saved");    // the copy under the name in the end, " + " each .cpg beside it
        const auto row = [](const QString &name, const QString &typed, const QStringList &disk, const QString &shown,
                            MessageAnswer answer, const QString &message, const QByteArray &saved) {
            QTest::newRow(qPrintable(name)) << typed << disk << shown << int(answer) << message << saved;
        };
        // A refused name leaves the disk untouched, which is all there is to check.
        const auto refused = [&](const QString &name, const QString &typed, const QStringList &disk, const char *why) {
            row(name, typed, disk, "", MessageAnswer::Ok, "\"" + typed + "\" cannot name a saved copy: " + QLatin1String(why), {});
        };
        const QString live = QStringLiteral("Scheduler.dbf");
        const QString old = QStringLiteral("Scheduler/Untitled 01.dbf");
        const QString replace = QStringLiteral("Untitled 01 already exists. Do you want to replace it?");
        const MessageAnswer ok = MessageAnswer::Ok, yes = MessageAnswer::Yes;
        const QByteArray missing("<missing>");
        const char *badName = "a name must not be empty";
        const char *outside = "the copy would not be saved inside";
        row("default-name", QString(), {live}, "", ok, "", "Scheduler.dbf");
        row("name-ending-in-dbf", "week.dbf", {live}, "", ok, "", "Scheduler.dbf");
        row("upper-case-live-table", "x", {"SCHEDULER.DBF"}, "", ok, "", "SCHEDULER.DBF");
        row("shown-copy", "x", {live, "Scheduler/Monday.dbf"}, "Monday", ok, "", "Scheduler/Monday.dbf");
        row("replace-no-keeps-old-copy", QString(), {live, old}, "", MessageAnswer::No, replace, old.toUtf8());
        row("replace-the-shown-copy-itself", QString(), {live, old}, "Untitled 01", yes, replace, old.toUtf8());
        row("code-page-copied-along", QString(), {live, old, "SCHEDULER.CPG"}, "", yes, replace,
            "Scheduler.dbf + Untitled 01.cpg:SCHEDULER.CPG");
        row("replaced-copy-loses-its-code-page", QString(), {live, old, "Scheduler/Untitled 01.CPG"}, "", yes, replace,
            "Scheduler.dbf");
        row("replaced-copy-takes-the-tables-code-page", QString(), {live, old, "Scheduler.cpg", "Scheduler/Untitled 01.cpg"}, "",
            yes, replace, "Scheduler.dbf + Untitled 01.cpg:Scheduler.cpg");
        row("archive-path-is-a-file", "x", {live, "Scheduler"}, "", ok, "Cannot create the folder", missing);
        row("live-table-missing", "x", {}, "", ok, "Cannot copy", missing);
        row("name-of-a-folder", "x", {live, "Scheduler/x.dbf/"}, "", ok, "Cannot copy", missing);
        // Copied from Windows: the same copy for the lookup and the Open list.
        row("copy-differing-in-case-is-replaced", "x", {live, "Scheduler/x.DBF"}, "", yes,
            "x already exists. Do you want to replace it?", "Scheduler.dbf");
        for (const QString typed : {"../Aplan", "../Scheduler", "../../escape", "..\\Aplan", "week\x7F" "end", ".", "..",
                                    "   ", ""})
            refused("refused-" + typed, typed, {live, "Aplan.dbf"}, badName);
        refused("refused-embedded-nul", QStringLiteral("week").append(QChar(0)).append(u"end"), {live}, badName);
#ifdef Q_OS_UNIX
        // Symbolic links ("name=target"; a Windows shortcut is no link the
        // files go through), pipes and devices.
        refused("archive-linked-to-data-never-doubles-the-live-table", "Scheduler", {"SCHEDULER.DBF", "Scheduler=."}, outside);
        refused("archive-is-the-data-folder", "Aplan", {live, "Aplan.dbf", "Scheduler=."}, outside);
        refused("link-in-archive-to-manager-table", "out", {live, "Aplan.dbf", "Scheduler/out.dbf=../Aplan.dbf"}, outside);
        refused("dangling-link-out-of-archive", "gone", {live, "Scheduler/gone.dbf=../../escape.dbf"}, outside);
        row("link-to-another-copy-inside", "alias", {live, "Scheduler/alias.dbf=monday.dbf"}, "", ok, "",
            "-> monday.dbf: Scheduler.dbf");
        // Read until the end as a table would be, these never end (or fill the disk).
        const QString notPlain = QStringLiteral("it is a pipe, a device or a folder, not a table file.");
        row("live-table-is-a-pipe", "x", {"Scheduler.dbf|"}, "", ok, notPlain, missing);
        row("shown-copy-links-to-a-device", "x", {live, "Scheduler/Monday.dbf=/dev/null"}, "Monday", ok, notPlain, missing);
#endif
    }

    void saveAsCopiesTheShownTable()
    {
        QFETCH(QString, typed);
        QFETCH(QStringList, disk);
        QFETCH(QString, shown);
        QFETCH(int, answer);
        QFETCH(QString, message);
        const bool asks = answer != int(MessageAnswer::Ok);
        Plant plant;
        for (const QString &entry : disk)
            QVERIFY(place(plant, entry, entry.section(u'=', 0, 0).toUtf8()));
        plant.state.LoadedName = shown;
        plant.state.Offline = shown.isEmpty() ? 0 : 1;
        const QStringList before = tree(plant.dir.path());
        MessageRecorder recorder(static_cast<MessageAnswer>(answer));

        dlgSaveAs dialog(plant.state);
        if (!typed.isNull())
            dialog.txtSaveAs()->setText(typed);
        const QString name = dialog.txtSaveAs()->text();
        dialog.OKButton()->click();

        QCOMPARE(dialog.result() == QDialog::Accepted, message.isEmpty() || answer == int(MessageAnswer::Yes));
        QCOMPARE(recorder.texts.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty()) {
            QVERIFY2(recorder.texts.first().contains(message), qPrintable(recorder.texts.first()));
            QCOMPARE(recorder.requests.first().icon, asks ? MessageIcon::Exclamation : MessageIcon::Critical);
            QCOMPARE(recorder.requests.first().buttons == MessageButtons::YesNo, asks);
        }
        QCOMPARE(dialog.txtSaveAs()->text(), name);
        // A refused name may lead out of the archive ("../Aplan" is the manager's
        // table on Windows).
        if (message.contains(QStringLiteral("cannot name a saved copy"))) {
            QCOMPARE(tree(plant.dir.path()), before);
            return;
        }
        const QString archive = plant.copyFile(QString());
        const QFileInfo copy(FindFileIgnoringCase(archive + name + QStringLiteral(".dbf")));
        QByteArray saved = copy.isSymLink() ? "-> " + QFileInfo(copy.symLinkTarget()).fileName().toUtf8() + ": " : "";
        saved += readFile(copy.filePath());
        for (const QString &cpg : QDir(archive).entryList({"*.cpg", "*.CPG"}, QDir::Files))
            saved += " + " + cpg.toUtf8() + ':' + readFile(archive + cpg);
        QTEST(saved, "saved");
        QStringList listed = SavedCopyNames(archive);
        for (QString &entry : listed)
            entry = entry.toCaseFolded();
        QCOMPARE(listed.removeDuplicates(), 0);   // Open lists each copy once
    }

    // Started from the wrong folder (no data folder beside it), neither
    // dialog makes one; each says that it cannot make the archive folder.
    void noDataFolderIsCreated()
    {
        Plant plant;
        QVERIFY(QDir(plant.state.DataFolder).removeRecursively());
        MessageRecorder recorder;
        { dlgOpen open(plant.state, [](qint16) {}); }
        dlgSaveAs saveAs(plant.state);
        saveAs.OKButton()->click();
        QVERIFY(!QFileInfo::exists(plant.state.DataFolder));
        const QString archive = QDir::toNativeSeparators(plant.copyFile(QString()).chopped(1));
        QCOMPARE(recorder.texts, QStringList(2, "Cannot create the folder " + archive + "."));
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
        for (const QString &file : files)
            QVERIFY(place(plant, "Scheduler/" + file, "copy"));
        plant.state.SortOrder = 1;
        plant.state.LoadedName = QStringLiteral("before");
        QList<qint16> fills;
        MessageRecorder recorder;

        dlgOpen dialog(plant.state, [&](qint16 sortOrder) { fills << sortOrder; });
        QVERIFY(QFileInfo(plant.copyFile(QString())).isDir());
        QStringList texts;
        for (int i = 0; i < dialog.lstLoadData()->count(); ++i)
            texts << dialog.lstLoadData()->item(i)->text();
        QCOMPARE(texts, listed);
        QCOMPARE(dialog.lstLoadData()->selectedItems().size(), listed.isEmpty() ? 0 : 1);
        if (clearSelection)
            dialog.lstLoadData()->clearSelection();
        dialog.OKButton()->click();

        const bool loads = !listed.isEmpty() && !clearSelection;
        QCOMPARE(dialog.result() == QDialog::Accepted, loads);
        QCOMPARE(plant.state.LoadedName, loads ? listed.first() : QStringLiteral("before"));
        QCOMPARE(fills, loads ? QList<qint16>{1} : QList<qint16>());
        QVERIFY(recorder.texts.isEmpty());
    }

    // Each showing of About starts with the notice of this build and a blue
    // link, which opens the maker's page and then shows red; a language
    // change puts the plain notice line (text 31) in place of the built one.
    void aboutWindow_data()
    {
        QTest::addColumn<qint32>("change");   // 0: none
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("notice");
        const QString built = "Copyright © " + VersionYear() + " Vorn Automation";
        QTest::newRow("as-loaded") << 0 << "About Vorn Scheduler" << built;
        QTest::newRow("after-change-to-chinese") << qint32(LanguageChinese) << "关于 Vorn 调度"
                                                 << "版权所有 © Vorn Automation。保留所有权利。";
        QTest::newRow("after-change-to-english") << qint32(LanguageEnglish) << "About Vorn Scheduler"
                                                 << "Copyright © Vorn Automation. All rights reserved.";
    }

    void aboutWindow()
    {
        QFETCH(qint32, change);
        QFETCH(QString, title);
        QFETCH(QString, notice);
        AppState state;
        ControlChannel channel(state);
        QList<QUrl> opened;
        for (int showing = 1; showing <= 2; ++showing) {
            frmAbout about(&channel, [&](const QUrl &url) { opened << url; });
            const auto linkColor = [&] { return about.Label3()->palette().color(QPalette::WindowText); };
            QCOMPARE(linkColor(), QColor(0, 0, 255));
            QCOMPARE(about.Label1()->text(), QStringLiteral("Vorn Scheduler  "));
            QCOMPARE(about.VerLabel()->text(), "Version " + VersionText());
            about.show();
            QTest::mouseClick(about.Label3(), Qt::LeftButton);
            QCOMPARE(opened, QList<QUrl>(showing, QUrl(frmAbout::MakerWebAddress)));
            QCOMPARE(linkColor(), QColor(255, 0, 0));
            if (change != 0)
                channel.handleChangeLanguage(change, QString());
            QCOMPARE(about.windowTitle() + u'|' + about.Label2()->text(), title + u'|' + notice);
            SetLanguage(LanguageEnglish);
        }
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"
