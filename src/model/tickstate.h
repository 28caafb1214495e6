#pragma once

#include <QString>
#include <QtGlobal>

#include <array>
#include <memory>
#include <optional>
#include <vector>

namespace vorn {

namespace store {
class DbfTable;
}

namespace model {

class FieldReader;
class RecordCopy;
struct ScheduleRow;

// The rows a tick works on, as the tick sees them: no cells, only each
// row's outline level and record. Rows of the same holder and generation
// are the same rows; a fill that rebuilds them moves the generation on.
class TickRows {
public:
    virtual ~TickRows() = default;
    virtual const void *holder() const = 0;
    virtual quint64 generation() const = 0;
    // Rows in all, the two header rows included.
    virtual int count() const = 0;
    virtual qint16 level(int row) const = 0;
    virtual qint32 record(int row) const = 0;
};

// One start/finish/duration triple of a row as a tick writes it: a text for
// each of the three cells, none where the cell keeps the text it has.
struct TickTriple {
    int row = 0;
    int pair = 0;   // 0: the planned triple, 1: the actual one
    std::array<std::optional<QString>, 3> texts;
};

// Whoever writes the triples a tick works out into the rows' cells, as the
// tick meets them: detail rows in the order they are worked out, then the
// group rows whose summary moved.
class TickCellWriter {
public:
    virtual ~TickCellWriter() = default;
    virtual void write(const TickTriple &triple) = 0;
};

struct TickCounts {
    qint32 detailRows = 0;       // rows worked out from a record
    qint32 changedRecords = 0;   // records whose bytes differ from what the last tick saw
};

// Whoever takes the records a tick reads on to a view of its own. The tick
// reads a record it would otherwise skip when the feed wants its row.
class TickFeed {
public:
    virtual ~TickFeed() = default;
    // Each record, in record order, with the fingerprint of its bytes.
    // Without `copy`: true when its row goes out, and the record then comes
    // again with a copy; false when the record is done. With `copy` (its
    // bytes, of that fingerprint): the row is read from it if it goes out.
    virtual bool take(qint32 record, quint64 fingerprint, const RecordCopy *copy) = 0;
    // Whether the view already has this record's row of these bytes and
    // wants nothing for it: the tick then does not call take(). Asked
    // inline, as on a quiet tick it is asked for every record.
    bool has(qint32 record, quint64 fingerprint) const
    {
        return record <= m_hasRecords && m_has[record - 1] == fingerprint;
    }

protected:
    // Records 1 to `records` are done whenever their fingerprint is the
    // one in `fingerprints` (index record - 1).
    void setHas(const quint64 *fingerprints, qint32 records)
    {
        m_has = fingerprints;
        m_hasRecords = records;
    }

private:
    const quint64 *m_has = nullptr;
    qint32 m_hasRecords = 0;
};

// The change detection of the timer tick and what it keeps from tick to
// tick, so that a tick does work only for what changed: a fingerprint of
// each record's bytes, and per row the time values its cells were last
// written from and the group summaries last written. Whatever does not
// match any more (another table layout, rows rebuilt by a fill, a table
// with memo fields, whose contents live outside the record) is simply
// worked out again.
class TickState {
public:
    TickState();
    ~TickState();
    // Forgets everything unless the table has the layout last seen and
    // `keep` (its fields all lie in the record); true when it forgot.
    bool takeLayout(quint64 layout, bool keep);
    // Takes over what a fill puts in the rows, row by row as the fill makes
    // them: per body row its outline level, its record, the six time fields
    // it read and a group's summary texts; then, at the end, the
    // fingerprints the fill took of the copy of each record it read the
    // fields from. The next tick then works only on the records changed
    // since and on the rows whose stored duration differs from finish minus
    // start. Anything that does not fit leaves a full tick. beginFill is
    // true when it forgot everything for a table of another layout.
    bool beginFill(const store::DbfTable &table, size_t rows);
    void addFillRow(const ScheduleRow &row);
    void endFill(const TickRows &rows, std::vector<quint64> fingerprints);

    // One tick over the open `table` (read through `reader`, after
    // takeLayout): which records changed, and to `cells` the triples of
    // their rows and the summaries that moved. With `feed`, each record's
    // fingerprint goes to it, and the rows it wants are read from the same
    // copy as the cells.
    TickCounts run(const store::DbfTable &table, const FieldReader &reader, const TickRows &rows, TickFeed *feed,
                   TickCellWriter &cells);

private:
    struct Data;
    std::unique_ptr<Data> d;
};

} // namespace model
} // namespace vorn
