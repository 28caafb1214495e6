#pragma once

#include "result.h"

#include <QList>
#include <QString>

#include <utility>

namespace vorn {

// Reader and writer of Windows-style initialisation files with the semantics
// of the Windows profile functions, so that files written by the plant's
// Windows software and by hand behave the same here:
// - section and key names match without regard to case; the first matching
//   section and the first matching key in it win;
// - keys and values are trimmed of blanks and tabs; a value enclosed in a
//   pair of equal quotes loses them;
// - the text is Windows-1252, or UTF-16 (either byte order) in a file that
//   starts with its byte-order mark, and is written back as found; each line
//   keeps its own line end (CRLF or LF);
// - only plain files are read or written: a pipe, device or folder of that
//   name reads as a missing file and is never written;
// - when `fileName` itself does not exist, a file in the same folder whose
//   name matches without regard to case is used (files copied from Windows).

// The integer value of a key: its leading decimal digits with an optional
// sign; `defaultValue` when the file, section or key is missing or the value
// has no leading digit. Values beyond the 32-bit range saturate.
int ReadIniInt(const QString &fileName, const QString &section, const QString &key,
               int defaultValue);

// The text of a key, cut to `bufferLength` - 1 characters as a buffer of that
// length holding a terminating NUL would; `defaultValue` (without trailing
// blanks) when the file, section or key is missing.
QString ReadIniString(const QString &fileName, const QString &section, const QString &key,
                      const QString &defaultValue, int bufferLength);

// Sets a key, keeping every other line, comment and key as it is: an existing
// key line is rewritten in place as "key=value"; a missing key is added at the
// end of its section; a missing section is added at the end of the file; a
// missing file is created. The new file is written beside the old one and
// renamed over it; where the folder takes no new file but the file may be
// written, the file is rewritten in place.
Result WriteIniString(const QString &fileName, const QString &section,
                      const QString &key, const QString &value);

// The same for several keys of one section, in order, with one read and one
// write of the file: a crash never leaves half of them written.
Result WriteIniStrings(const QString &fileName, const QString &section,
                       const QList<std::pair<QString, QString>> &keysAndValues);

// The file that the functions above read for `fileName`: itself when it
// exists, else a case-insensitive match in its folder, else `fileName`.
QString ResolveIniFileName(const QString &fileName);

// Windows-1252 conversion as the files use it; characters without a
// Windows-1252 byte become '?'.
QString DecodeWindows1252(const QByteArray &bytes);
QByteArray EncodeWindows1252(const QString &text);

} // namespace vorn
