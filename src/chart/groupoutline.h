#pragma once

#include <QSet>
#include <QString>
#include <QtGlobal>

namespace vorn::chart {

class GridData;

// Which groups are collapsed, by group key and grouping, so that a group
// stays collapsed across ticks, refills, sort changes back and forth and
// restarts. Collapsing hides a group's detail rows in the grid; the rows stay
// and are refreshed like any other, so expanding shows current times at once.
class GroupOutline {
public:
    bool isCollapsed(qint16 sortOrder, const QString &key) const;

    // Collapses or expands the group of groupRow and remembers it.
    void setCollapsed(GridData &grid, int groupRow, qint16 sortOrder, bool collapse);
    // Every group of the grid; "expand" also forgets the groups of the
    // other grouping, which a person expanding everything expects.
    void setAll(GridData &grid, qint16 sortOrder, bool collapse);
    // Hides the detail rows of the remembered groups and shows every other
    // row; with `enabled` false shows every row (remembering stays).
    void apply(GridData &grid, qint16 sortOrder, bool enabled) const;

    // The remembered groups as one line of ASCII text for the settings file,
    // and back; unreadable pieces are skipped.
    QString toText() const;
    static GroupOutline fromText(const QString &text);

private:
    static QString entry(qint16 sortOrder, const QString &key);
    QSet<QString> m_collapsed; // "M:" or "P:" followed by the key
};

} // namespace vorn::chart
