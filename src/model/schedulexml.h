#pragma once

#include "fieldreader.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vorn::model {

// The two producers of the schedule XML differ only in how an empty time
// field goes out: empty in the fill variant, "0" in the refresh variant.
enum class XmlVariant { Fill, Refresh };

// Length of "<DataView><DataTable></DataTable></DataView>" and of the tags of
// one "<DataRow>" with its eleven elements; a document is frame + per record
// (row tags + field contents) characters long.
inline constexpr qsizetype kScheduleXmlFrameLength = 44;
inline constexpr qsizetype kScheduleXmlRowTagsLength = 232;

// Clears out and reserves room for a document of `records` records read
// through `reader`, then appends the opening tags "<DataView><DataTable>".
void BeginScheduleXml(QString &out, const FieldReader &reader, qint32 records);

// Appends "<DataRow>", the eleven field elements of the record in `copy` in
// field order, "</DataRow>". Contents are not escaped. The reader is kept by
// the caller for a whole pass.
void AppendScheduleXmlRow(QString &out, const FieldReader &reader, const RecordCopy &copy,
                          XmlVariant variant);

// Appends "</DataTable></DataView>".
void EndScheduleXml(QString &out);

// The whole document over records 1..recordCount() of `table`. An empty table
// gives the bare frame in the fill variant and the empty text in the refresh
// variant (a refresh of an empty table sends nothing).
QString BuildScheduleXml(const store::DbfTable &table, XmlVariant variant);

// The text of the bus. A D-Bus string cannot carry a NUL character, nor a
// UTF-16 surrogate without its partner (no UTF-8 exists for one); each such
// character becomes U+FFFD, the replacement character, so that every tag and
// every other character arrives. A NUL in a field is what a record read
// while the manager rewrites it can hold.
QByteArray BusSafeUtf8(QStringView text);

// Appends what a feed needs of the row of the record in `copy`, kept between feeds: the
// eleven element contents as the UTF-8 of the bus (BusSafeUtf8), each behind
// its length (LEB128), the refresh variant's "0" for empty times included.
// The tags are the same for every row and are written only when the text is.
void AppendScheduleXmlContents(QByteArray &out, const FieldReader &reader, const RecordCopy &copy);

// Contents of records that changed, to bring a ScheduleXmlRows up to date:
// the record count they lead to and the new contents of each record that
// changed, in ascending record order. Records beyond the count are gone;
// every record beyond the previous count must be among the rows.
struct ScheduleXmlChanges {
    qint32 records = 0;
    std::vector<std::pair<qint32, QByteArray>> rows;
    // When set, every record's row is first read afresh from the table file
    // at this path, which must have the LayoutFingerprint `layout`; `rows`
    // then apply over them. A feeder that has no rows kept hands the reading
    // to whoever applies the changes instead of doing it on its own thread.
    QString readAllFrom;
    quint64 layout = 0;
    // The bytes the feeder itself read, where they can be shared (a mapped
    // file): read instead of the file at readAllFrom, which the manager may
    // have replaced since, so that the feed is the text of what was read.
    std::shared_ptr<const store::DbfTable> readAllTable;

    // Folds newer changes in, as if both had been applied one after the other.
    void merge(ScheduleXmlChanges &&newer);
};

// The refresh variant of the schedule XML kept between feeds as the contents
// of each record in one buffer: a feed changes only the rows of the records
// that changed, and the text is written out piece by piece, never held whole.
class ScheduleXmlRows {
public:
    qint32 records() const { return qint32(m_rows.size()); }
    // Bytes of the whole text.
    qint64 size() const { return m_textSize; }
    // Brings the text up to date. Returns false when the text cannot be
    // written out: a table to read every row from could not be read as
    // expected, or a failed read left rows that only such a read makes whole.
    // Where every row was read from a table, `readBack` gets per record
    // (index record - 1) the RecordFingerprint of the bytes its row came
    // from.
    bool apply(ScheduleXmlChanges &&changes, std::vector<quint64> *readBack = nullptr);
    // Hands the text to `write` in pieces of about `chunk` bytes, in order;
    // stops early when `write` returns false.
    bool write(const std::function<bool(QByteArrayView)> &write, qsizetype chunk = 256 * 1024) const;
    // The whole text in one piece (for a bus reached without our own writer, and tests).
    QByteArray text() const;

private:
    struct Row {
        quint32 offset = 0;   // in m_contents
        quint32 size = 0;
    };
    void compact();
    bool readAll(const ScheduleXmlChanges &changes, std::vector<quint64> *readBack);

    std::vector<Row> m_rows;   // index record - 1
    std::vector<char> m_contents;
    qint64 m_garbage = 0;      // bytes of m_contents no row uses
    qint64 m_textSize = 0;
    bool m_whole = true;       // every row holds its record's contents
};

} // namespace vorn::model
