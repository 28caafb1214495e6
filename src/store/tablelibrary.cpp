#include "tablelibrary.h"

#include "messagebox.h"
#include "texts.h"

namespace vorn::store {

namespace {

constexpr qsizetype maxNameText = 256;

} // namespace

TableContext::TableContext(bool started)
    : m_started(started)
{
    if (!m_started)
        ShowMessage(GetTextOr(59, "code4init() failed"));
}

TableContext::~TableContext()
{
    closeAll();
}

bool TableContext::started() const
{
    return m_started;
}

Result TableContext::OpenTable(DbfTable &table, const QString &pathWithoutExtension)
{
    table.close();
    Result opened = m_started
        ? table.open(pathWithoutExtension + QLatin1String(".dbf"))
        : Result::failure(QStringLiteral("the table library did not start"));
    if (opened.failed()) {
        ShowMessage(GetTextOr(60, "Open Failed"));
        return opened;
    }
    table.setContext(this);
    m_tables.append(&table);
    return opened;
}

void TableContext::closeAll()
{
    // close() calls forget(), which edits the list: work on a copy.
    const QList<DbfTable *> tables = std::exchange(m_tables, {});
    for (DbfTable *table : tables) {
        table->setContext(nullptr);
        table->close();
    }
}

void TableContext::forget(DbfTable *table)
{
    m_tables.removeOne(table);
}

void TableContext::retarget(DbfTable *from, DbfTable *to)
{
    const qsizetype i = m_tables.indexOf(from);
    if (i >= 0)
        m_tables[i] = to;
}

QString FieldNameText(const DbfTable &table, int position)
{
    if (position < 1 || position > table.fieldCount())
        return {};
    return table.decode(table.field(position).name).left(maxNameText);
}

QString FieldText(const DbfTable &table, qint32 record, int position)
{
    if (position < 1 || position > table.fieldCount())
        return {};
    const bool memo = table.field(position).type == 'M';
    const QByteArray memoContent = memo ? table.fieldContent(record, position) : QByteArray();
    const QByteArrayView content = memo ? QByteArrayView(memoContent) : table.rawField(record, position);
    if (content.size() > MaxFieldText) {
        // Line feed before carriage return, as the original library joined them.
        const QString separator = QStringLiteral("\n\r");
        const QStringList lines{
            GetTextOr(54, "Error #: -910"),
            GetTextOr(55, "Unexpected Information"),
            GetTextOr(56, "Memo entry too long to return in String function. Try calling 'f4memoStrB'."),
            GetTextOr(57, "Field Name:"),
            FieldNameText(table, position),
        };
        ShowMessage(MessageRequest{lines.join(separator), GetTextOr(58, "CodeBase Error"),
                                   MessageButtons::Ok, MessageIcon::Critical});
        return {};
    }
    return table.decode(content);
}

} // namespace vorn::store
