// A schedule table (and its memo file) from raw bytes, read the way the fill
// and the tick read the live table: opened through the table library from a
// file, every field of every record through FieldText and the fill's field
// reader, both XML variants, the grouped rows in both orders into a grid,
// and the in-place refresh of that grid. Input: the table's bytes, then
// optionally "|MEMO|" and the memo file's bytes.

#include "fuzzing.h"

#include "fieldreader.h"
#include "griddata.h"
#include "gridfill.h"
#include "refresh.h"
#include "schedulerows.h"
#include "schedulexml.h"
#include "tablelibrary.h"

using namespace vorn;

namespace {

void readEveryField(const store::DbfTable &table)
{
    const model::FieldReader reader(table);
    for (int f = 0; f <= table.fieldCount() + 1; ++f)
        store::FieldNameText(table, f);
    model::RecordCopy copy;
    for (qint32 r = 0; r <= table.recordCount() + 1; ++r) {
        copy.take(table, r);
        for (int f = 0; f <= table.fieldCount() + 1; ++f) {
            const QString text = store::FieldText(table, r, f);
            VORN_FUZZ_CHECK(text.size() <= store::MaxFieldText);
            QByteArrayView bytes;
            if (reader.asciiBytes(copy, f, model::Blanks::Both, &bytes))
                VORN_FUZZ_CHECK(reader.text(copy, f, model::Blanks::Both) == QLatin1StringView(bytes));
            reader.rawBytes(copy, f, &bytes);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::AnswerMessagesAtOnce();
    const QByteArrayView input(data, qsizetype(size));
    const qsizetype marker = input.indexOf(QByteArrayView("|MEMO|"));
    const QByteArrayView tableBytes = marker < 0 ? input : input.first(marker);
    const QString base = fuzz::ScratchFolder() + QStringLiteral("Scheduler");
    VORN_FUZZ_CHECK(testing::writeFile(base + QStringLiteral(".dbf"), tableBytes.toByteArray()));
    for (const char *extension : {".dbt", ".fpt"}) {
        const QString memoPath = base + QLatin1StringView(extension);
        if (marker < 0)
            QFile::remove(memoPath);
        else
            VORN_FUZZ_CHECK(testing::writeFile(memoPath, input.sliced(marker + 6).toByteArray()));
    }

    store::TableContext context;
    store::DbfTable table;
    if (!fuzz::OpenSameAsBytes(context, table, base, tableBytes))
        return 0;
    readEveryField(table);

    chart::GridData grid;
    grid.setCols(8 + 24);
    grid.setFixedRows(2);
    for (const qint16 sortOrder : {model::kSortByMachine, model::kSortByPart}) {
        QString xml;
        model::FillResult fill = model::BuildScheduleRows(table, sortOrder, &xml);
        VORN_FUZZ_CHECK(xml.startsWith(u"<DataView><DataTable>") && xml.endsWith(u"</DataTable></DataView>"));
        VORN_FUZZ_CHECK(fill.recordCount == table.recordCount());
        const qint32 rows = qint32(fill.rows.size());
        ApplyScheduleRows(grid, std::move(fill.rows));
        DrawBodyBorders(grid);
        VORN_FUZZ_CHECK(grid.rows() == 2 + rows);
        const RefreshResult refreshed = RefreshTimesAndFeed(table, grid, false, nullptr);
        VORN_FUZZ_CHECK(table.recordCount() == 0 || refreshed.detailRows == rows - fill.groupCount);
    }
    const QString feed = model::BuildScheduleXml(table, model::XmlVariant::Refresh);
    VORN_FUZZ_CHECK(table.recordCount() == 0 ? feed.isEmpty() : feed.startsWith(u"<DataView>"));
    return 0;
}
