#pragma once

#include "fieldreader.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

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

// Appends "<DataRow>", the eleven field elements of `record` (from 1) in
// field order, "</DataRow>". Contents are not escaped. The reader is kept by
// the caller for a whole pass.
void AppendScheduleXmlRow(QString &out, const FieldReader &reader, qint32 record,
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

// Appends the row of `record` as AppendScheduleXmlRow does, as the UTF-8 of
// the bus (BusSafeUtf8).
void AppendScheduleXmlRowUtf8(QByteArray &out, const FieldReader &reader, qint32 record,
                              XmlVariant variant);

// Rows of records that changed, to bring a ScheduleXmlRows up to date: the
// record count they lead to and the new UTF-8 row of each record that
// changed, in ascending record order. Records beyond the count are gone;
// every record beyond the previous count must be among the rows.
struct ScheduleXmlChanges {
    qint32 records = 0;
    std::vector<std::pair<qint32, QByteArray>> rows;

    // Folds newer changes in, as if both had been applied one after the other.
    void merge(ScheduleXmlChanges &&newer);
};

// The refresh variant of the schedule XML kept between feeds as one UTF-8
// row per record: a feed changes only the rows of the records that changed,
// and the text is handed to the bus piece by piece, never joined.
class ScheduleXmlRows {
public:
    static constexpr QByteArrayView Head{"<DataView><DataTable>"};
    static constexpr QByteArrayView Tail{"</DataTable></DataView>"};

    qint32 records() const { return qint32(m_rows.size()); }
    // Bytes of the whole text, head and tail included.
    qsizetype size() const { return m_size; }
    // The rows in record order (index record - 1).
    const std::vector<QByteArray> &rows() const { return m_rows; }
    void apply(ScheduleXmlChanges &&changes);
    // The whole text in one piece (for a bus reached without our own writer, and tests).
    QByteArray text() const;

private:
    std::vector<QByteArray> m_rows;
    qsizetype m_size = Head.size() + Tail.size();
};

} // namespace vorn::model
