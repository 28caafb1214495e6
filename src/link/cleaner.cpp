#include "cleaner.h"

#include "dbftable.h"
#include "paths.h"
#include "tablelibrary.h"

namespace vorn {

bool CleanLiveTable(const AppState &state)
{
    store::TableContext context;
    store::DbfTable table;
    if (context.OpenTable(table, LiveTablePath(state)).failed())
        return false;
    // Every record goes, however many there are: counting them in 16 bits
    // would leave all but the first 32767 standing, or none at all.
    const qint32 count = table.recordCount();
    // A record that cannot be deleted, or a failing pack, is not reported:
    // the clean goes on, the grid is rebuilt from what the table then holds,
    // and the next refresh shows whatever is left.
    for (qint32 record = 1; record <= count; ++record)
        std::ignore = table.markDeleted(record);
    std::ignore = table.pack();
    context.closeAll();
    return true;
}

std::optional<qint32> LiveRecordCount(const AppState &state)
{
    store::TableContext context;
    store::DbfTable table;
    if (context.OpenTable(table, LiveTablePath(state)).failed())
        return std::nullopt;
    const qint32 count = table.recordCount();
    context.closeAll();
    return count;
}

} // namespace vorn
