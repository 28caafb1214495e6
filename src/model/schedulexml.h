#pragma once

#include "fieldreader.h"

#include <QString>
#include <QtGlobal>

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

} // namespace vorn::model
