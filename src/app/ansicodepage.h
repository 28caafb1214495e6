#pragma once

namespace vorn {

// The ANSI code page: the one text is in that carries no mark of its own
// encoding (a table without a language-driver byte or .cpg file). Numbers
// are Windows code page numbers: 1252, 936, 65001 ...

// The system's ANSI code page: on Windows the system's own setting; where no
// such setting exists, 1252, what the plant's PCs in the West use.
// Implemented once per platform, chosen by the build.
int SystemAnsiCodePage();

// The ANSI code page of this process: the one given to SetAnsiCodePage
// (LoadSettings gives it the settings file's "AnsiCodePage"), else the
// system's. It holds for every thread, as the system's does.
int AnsiCodePage();

// 0 or a negative number gives back the system's.
void SetAnsiCodePage(int codePage);

} // namespace vorn
