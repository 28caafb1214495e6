#include "savedcopies.h"

#include "codepage.h"
#include "dbftable.h"
#include "filename.h"
#include "paths.h"
#include "texts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <algorithm>

namespace vorn {

namespace {

// Whether writing `written` would replace one of the tables the program
// reads from the data folder, or make one: there a file whose name differs
// from a table's only in case is taken for the table.
bool isPlantTable(const AppState &state, const QFileInfo &written)
{
    const QString folder = QFileInfo(written.absolutePath()).canonicalFilePath();
    const QString file = written.canonicalFilePath();
    for (const QString &table : {LiveTablePath(state), PlanTablePath(state), ProcessTablePath(state)}) {
        const QFileInfo wanted(table + QStringLiteral(".dbf"));
        if (!folder.isEmpty() && folder == QFileInfo(wanted.absolutePath()).canonicalFilePath()
            && written.fileName().compare(wanted.fileName(), Qt::CaseInsensitive) == 0)
            return true;
        const QString resolved = store::DbfTable::resolveFile(wanted.filePath());
        if (!file.isEmpty() && !resolved.isEmpty() && QFileInfo(resolved).canonicalFilePath() == file)
            return true;
    }
    return false;
}

} // namespace

QString SavedCopyPath(const AppState &state, const QString &name)
{
    const QString typed = SavedCopiesFolder(state) + u'/' + name + QStringLiteral(".dbf");
    const QString existing = FindFileIgnoringCase(typed);
    return existing.isEmpty() ? typed : existing;
}

QString SaveAsSource(const AppState &state)
{
    const QString path = ShownTablePath(state) + QStringLiteral(".dbf");
    const QString resolved = store::DbfTable::resolveFile(path);
    // An unresolved path is kept so that the failing copy can name it.
    return resolved.isEmpty() ? path : resolved;
}

Result CheckSavedCopyName(const QString &name)
{
    const bool refused = name.trimmed().isEmpty() || name == u"." || name == u".."
        || std::any_of(name.cbegin(), name.cend(), [](QChar c) {
               return c == u'/' || c == u'\\' || c.category() == QChar::Other_Control;
           });
    if (!refused)
        return Result::success();
    return Result::failure(GetText(102).arg(name));
}

Result CheckSavedCopyTarget(const AppState &state, const QString &name)
{
    // The copy replaces the file a link leads to, as QSaveFile follows links.
    QFileInfo written(SavedCopyPath(state, name));
    for (int depth = 0; written.isSymLink() && depth < 128; ++depth)
        written.setFile(written.symLinkTarget());
    const QString folder = QFileInfo(SavedCopiesFolder(state)).canonicalFilePath();
    const bool inside = !written.isSymLink() && !folder.isEmpty()
        && QFileInfo(written.absolutePath()).canonicalFilePath() == folder;
    if (inside && !isPlantTable(state, written))
        return Result::success();
    return Result::failure(GetText(103).arg(name, QDir::toNativeSeparators(SavedCopiesFolder(state))));
}

Result EnsureSavedCopiesFolder(const AppState &state)
{
    const QString folder = SavedCopiesFolder(state);
    if (QFileInfo(folder).isDir())
        return Result::success();
    if (QDir().mkdir(folder))
        return Result::success();
    return Result::failure(GetText(100).arg(QDir::toNativeSeparators(folder)));
}

QStringList SavedCopyNames(const QString &folder)
{
    // Hidden files count: a copy saved under an empty name is ".dbf".
    const QStringList files = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System,
                                                     QDir::Name | QDir::IgnoreCase);
    QStringList names;
    for (const QString &file : files) {
        if (file.right(4).toUpper() == QLatin1String(".DBF"))
            names << file.chopped(4);
    }
    return names;
}

Result CopyReplacing(const QString &source, const QString &target)
{
    auto failure = [&](const QString &why) {
        return Result::failure(GetText(101).arg(QDir::toNativeSeparators(source),
                                                QDir::toNativeSeparators(target), why));
    };
    // A pipe or a device would never end the copy, or would fill the disk.
    QFile in;
    if (const Result opened = OpenPlainFile(in, source); opened.failed())
        return failure(opened.message().isEmpty() ? GetText(104) : opened.message());
    // The copy is written beside the target and renamed over it at the end:
    // a failed copy leaves an existing copy as it was, and a copy saved over
    // itself (the shown copy under its own name) is read whole before the
    // old file goes.
    QSaveFile out(target);
    if (!out.open(QIODevice::WriteOnly))
        return failure(out.errorString());
    QByteArray chunk;
    while (!in.atEnd()) {
        chunk = in.read(1 << 16);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return failure(in.errorString());
        if (out.write(chunk) != chunk.size())
            return failure(out.errorString());
    }
    // Windows renames nothing over a file that is still open.
    in.close();
    if (!out.commit())
        return failure(out.errorString());
    return CopyCodePageFile(source, target);
}

Result CopyCodePageFile(const QString &sourceTable, const QString &targetTable)
{
    const QString source = store::CodePageFileOf(sourceTable);
    const QString old = store::CodePageFileOf(targetTable);
    if (!source.isEmpty() && QFileInfo(source).canonicalFilePath() == QFileInfo(old).canonicalFilePath())
        return Result::success();
    const QFileInfo target(targetTable);
    const QString written = target.dir().filePath(target.completeBaseName() + QStringLiteral(".cpg"));
    auto failure = [&](const QString &from, const QString &why) {
        return Result::failure(GetText(101).arg(QDir::toNativeSeparators(from),
                                                QDir::toNativeSeparators(written), why));
    };
    QByteArray name;
    if (!source.isEmpty()) {
        QFile in;
        if (const Result opened = OpenPlainFile(in, source); opened.failed())
            return failure(source, opened.message().isEmpty() ? GetText(104) : opened.message());
        // A code page name and a line end; nothing longer is read as one.
        name = in.read(4096);
    }
    QFile stale(old);
    if (!old.isEmpty() && !stale.remove())
        return failure(old, stale.errorString());
    if (source.isEmpty())
        return Result::success();
    QSaveFile out(written);
    if (!out.open(QIODevice::WriteOnly) || out.write(name) != name.size() || !out.commit())
        return failure(source, out.errorString());
    return Result::success();
}

} // namespace vorn
