#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <optional>

namespace vorn {

// The command line as one text, as the manager program writes it: the
// program's arguments (without the program itself) joined by single blanks.
QString CommandLineText(const QStringList &arguments);

// The arguments after the program's name, split into the program's own
// diagnostic options and the command line a starter such as the manager
// sends. Diagnostics are there only when the very first argument is
// "--vorn-diag", a word no manager sends; they run up to the first "--"
// (or to the end), and everything after it is the command line. Otherwise
// every argument belongs to the command line, whatever it looks like.
struct StartArguments {
    QStringList diagnostics;
    QStringList commandLine;
};
StartArguments SplitStartArguments(const QStringList &arguments);

// The part of the command line in front of the placement switches, for the
// window title: everything before the blank that precedes "/x" (case ignored)
// without blanks, or the whole line when there is no "/x"; then, if "/H" in
// any case remains, each upper-case "/H" and every blank removed.
QString CommandText(const QString &commandLine);

// True when the command line contains "/H" in any case: the manager started
// the program as one of its views.
bool IsHosted(const QString &commandLine);

// Where the starter wants the window: "/x", "/y", "/cx", "/cy" (screen
// pixels, the size including the frame) and whether "/T" asks for topmost.
struct Placement {
    qint16 x = 0;
    qint16 y = 0;
    qint16 cx = 0;
    qint16 cy = 0;
    bool topMost = false;

    friend bool operator==(const Placement &, const Placement &) = default;
};

// The placement switches, searched without regard to case. Each value follows
// its switch directly and must be ended by a blank, also the last one.
// Nothing when a switch or its closing blank is missing, or a value is not a
// decimal 16-bit integer: the window then stays where it was shown.
std::optional<Placement> ParsePlacement(const QString &commandLine);

} // namespace vorn
