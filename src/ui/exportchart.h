#pragma once

#include "result.h"

#include <QString>
#include <QStringList>

namespace vorn {

struct AppState;
class frmScheduler;

namespace chart {
class GanttGrid;
}

// The formats Export offers, as file-dialog filters (in the interface
// language), and the file suffix each one writes.
QStringList ExportFilters();
QString ExportSuffix(int filterIndex);

// Writes what the window shows to `path`, by the path's ending: the chart
// as ".png", ".svg" or ".pdf" (pages of A4 landscape), as the renderer tool
// draws it; anything else the grid as CSV. The file is written beside the
// target and renamed over it at the end, so a failed write leaves no
// half-written file and keeps an existing one. A failure says why (the
// system's reason, or what about the chart stood in the way), for the
// message the user reads.
Result ExportSchedule(frmScheduler &window, const QString &path);

// The folder the export dialog opens in: the one last exported to (an extra
// key of the settings file), else the current directory.
QString ExportFolder(const AppState &state);
void RememberExportFolder(const AppState &state, const QString &folder);

// File > Export...: asks for a file and a format, writes it, and says why
// when the write fails.
void RunExportDialog(frmScheduler &window, bool topMost);

} // namespace vorn
