#pragma once

#include "tickstate.h"

#include <QtGlobal>

#include <vector>

namespace vorn {

class ManagerServerClient;

namespace store {
class DbfTable;
}

struct TickResult {
    qint32 records = 0;        // the table's record count, taken once
    qint32 detailRows = 0;     // rows worked out from a record
    qint32 changedRecords = 0; // records whose bytes differ from what the state last saw
    bool fed = false;          // a feed was handed to the view
};

// What the last tick saw, kept by the window from tick to tick: the kept
// state of the rows (model::TickState) and what the view was fed (a
// fingerprint per record of the row the client has, the rows to send again).
class RefreshState {
public:
    // The fill's rows taken over, as model::TickState takes them; a table of
    // another layout forgets what was fed as well.
    void beginFill(const store::DbfTable &table, size_t rows);
    void addFillRow(const model::ScheduleRow &row) { m_tick.addFillRow(row); }
    void endFill(const model::TickRows &rows, std::vector<quint64> fingerprints)
    {
        m_tick.endFill(rows, std::move(fingerprints));
    }

private:
    friend TickResult FeedTick(const store::DbfTable &, const model::TickRows &, model::TickCellWriter &, bool,
                               ManagerServerClient *, RefreshState *);
    void forgetFeed();

    model::TickState m_tick;
    std::vector<quint64> m_fed;      // per record (index record - 1): the bytes of the row the client has
    std::vector<qint32> m_resend;    // records whose row the client read itself, from other bytes
    quint64 m_fedClient = 0;         // the client that has every row as of m_fed
};

// The table side of one timer tick: works out which records changed and
// hands `cells` the triples of `rows` they give, and, when `hosted` and
// `view` exists, feeds the view the schedule XML (refresh variant) with the
// rows it does not have yet. An empty table works out nothing and sends
// nothing. Without `state`, every row and record is worked out and fed.
TickResult FeedTick(const store::DbfTable &table, const model::TickRows &rows, model::TickCellWriter &cells,
                    bool hosted, ManagerServerClient *view, RefreshState *state = nullptr);

} // namespace vorn
