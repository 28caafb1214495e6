#pragma once

#include "appstate.h"
#include "paths.h"
#include "result.h"

#include <QString>
#include <QStringList>

namespace vorn {

// The archive of saved copies of the schedule table: plain copies of the
// table file in the folder "Scheduler" beside the live table.

// DataFolder + "Scheduler/" + name + ".dbf", the name taken exactly as typed;
// a copy there whose name differs only in case is that copy, as the table
// lookup would take it ("x.DBF" copied from Windows for "x").
QString SavedCopyPath(const AppState &state, const QString &name);

// The file Save As copies: the saved copy shown offline, else the live table;
// a file that differs only in case stands in, as for every table path.
QString SaveAsSource(const AppState &state);

// Whether a typed name can name a saved copy: refused when it is empty after
// trimming, "." or "..", or holds "/", "\", NUL or another control character.
// Only the text is looked at.
Result CheckSavedCopyName(const QString &name);

// Whether the copy named `name` would be written directly inside the archive folder, with
// symbolic links followed as the copy follows them, and neither over one of
// the plant's tables nor beside one under a name differing only in case (the
// archive folder itself may lead to the data folder).
Result CheckSavedCopyTarget(const AppState &state, const QString &name);

// Creates the archive folder when it is missing: that one folder, never its
// parents, so a missing data folder stays missing.
Result EnsureSavedCopiesFolder(const AppState &state);

// Names of the saved copies in `folder`: every file whose name ends in ".dbf"
// in any case, without those four characters, ordered by name ignoring case.
QStringList SavedCopyNames(const QString &folder);

// Copies `source` over `target`, replacing a file that is there; a source
// that is no plain file (a pipe, a device) is refused without waiting. The
// .cpg file goes along (CopyCodePageFile).
Result CopyReplacing(const QString &source, const QString &target);

// Makes the .cpg file beside `targetTable` what it is beside `sourceTable`:
// a copy, or none. A table without a code page mark is read in the code page
// that file names, so a copy without it, or with the one of the copy it
// replaced, would show other characters than the table copied.
Result CopyCodePageFile(const QString &sourceTable, const QString &targetTable);

} // namespace vorn
