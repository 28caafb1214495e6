#include "griddata.h"

#include "pagesinbackground.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <utility>

namespace vorn::chart {

namespace {

const QString &emptyText()
{
    static const QString empty;
    return empty;
}

quint8 clampWidth(int width)
{
    return quint8(std::clamp(width, 0, 255));
}

} // namespace

CellRange CellRange::normalised() const
{
    return {std::min(row1, row2), std::min(col1, col2), std::max(row1, row2),
            std::max(col1, col2)};
}

GridData::GridData() = default;

void GridData::setChangeListener(ChangeListener listener)
{
    m_listener = std::move(listener);
}

void GridData::notify(Change change, int row) const
{
    if (m_listener)
        m_listener(change, row);
}

void GridData::setRows(int count)
{
    count = std::max(count, 0);
    if (count == rows())
        return;
    if (count < rows()) {
        if (m_hiddenRows > 0)
            m_hiddenRows -= int(std::count_if(m_rows.begin() + count, m_rows.end(),
                                              [](const Row &r) { return r.hidden; }));
        m_rows.resize(size_t(count));
        // The dropped rows have destroyed their texts; blocks only they used go.
        while (!m_textBlocks.empty() && m_textBlocks.back().firstRow >= count)
            m_textBlocks.pop_back();
        // Borders belong to cells: the dropped rows take theirs along.
        for (auto &region : m_borders)
            region.range.row2 = std::min(region.range.row2, count - 1);
        std::erase_if(m_borders,
                      [](const BorderRegion &r) { return r.range.row2 < r.range.row1; });
    } else {
        m_rows.resize(size_t(count));
    }
    if (m_selection.row1 >= count || m_selection.row2 >= count)
        m_selection = {};
    ++m_rowsGeneration;
    notify(Change::Layout);
}

void GridData::RowTexts::take(RowTexts &other) noexcept
{
    m_data = std::exchange(other.m_data, nullptr);
    m_size = std::exchange(other.m_size, 0);
    m_capacity = other.m_capacity;
    m_owned = other.m_owned;
    other.m_capacity = 0;
    other.m_owned = 0;
}

void GridData::RowTexts::release() noexcept
{
    if (!m_data)
        return;
    if (m_owned)
        delete[] m_data;
    else
        std::destroy_n(m_data, m_capacity);   // the block's room stays with the grid
    m_data = nullptr;
    m_size = 0;
    m_capacity = 0;
    m_owned = 0;
}

void GridData::RowTexts::reserve(size_t capacity)
{
    if (capacity <= m_capacity)
        return;
    QString *fresh = new QString[capacity];
    std::move(m_data, m_data + m_size, fresh);
    const quint32 size = m_size;
    release();
    m_data = fresh;
    m_size = size;
    m_capacity = quint32(capacity);
    m_owned = 1;
}

void GridData::RowTexts::resize(size_t size)
{
    reserve(size);
    for (size_t i = size; i < m_size; ++i)
        m_data[i] = QString();
    m_size = quint32(size);
}

void GridData::reserveRows(size_t rows)
{
    if (rows <= m_rows.capacity())
        return;
    m_rows.reserve(rows);
    PopulatePagesInBackground(m_rows.data() + m_rows.size(), (m_rows.capacity() - m_rows.size()) * sizeof(Row));
    m_textsExpected = (rows - m_rows.size()) * leadingColumns();
}

QString *GridData::textSlots(size_t count, int row)
{
    if (m_textBlocks.empty() || m_textBlocks.back().used + count > m_textBlocks.back().capacity) {
        // Blocks of up to 12 MB: the texts expected, without holding much
        // room nobody fills when fewer come.
        constexpr size_t smallest = 1024;
        constexpr size_t largest = size_t(1) << 19;
        const size_t capacity = std::max(count, std::clamp(m_textsExpected, smallest, largest));
        TextBlock &block = m_textBlocks.emplace_back();
        block.room.reset(static_cast<QString *>(::operator new(capacity * sizeof(QString))));
        block.capacity = capacity;
        block.firstRow = row;
        PopulatePagesInBackground(block.room.get(), capacity * sizeof(QString));
    }
    TextBlock &block = m_textBlocks.back();
    QString *given = block.room.get() + block.used;
    block.used += count;
    m_textsExpected -= std::min(m_textsExpected, count);
    return given;
}

void GridData::appendRows(std::span<RowContent> rows)
{
    if (rows.empty())
        return;
    const size_t needed = m_rows.size() + rows.size();
    if (m_rows.capacity() < needed)
        m_rows.reserve(std::max(needed, 2 * m_rows.capacity()));
    const size_t columns = size_t(cols());
    // Room for the leading columns, as setText gives: a row that gains its
    // actual times during the day then stays where it is.
    const size_t leading = leadingColumns();
    for (RowContent &content : rows) {
        std::vector<QString> &texts = content.texts;
        const size_t count = std::min(texts.size(), columns);
        Row &row = m_rows.emplace_back();
        if (count > 0) {
            const size_t room = std::max(count, leading);
            QString *given = textSlots(room, int(m_rows.size()) - 1);
            std::uninitialized_move_n(texts.begin(), count, given);
            std::uninitialized_value_construct_n(given + count, room - count);
            row.texts = RowTexts(given, count, room);
        }
        texts.clear();
        row.data = content.data;
        row.outlineLevel = content.outlineLevel;
        row.node = content.node;
    }
    ++m_rowsGeneration;
    notify(Change::Layout);
}

void GridData::setCols(int count)
{
    // Span columns are 16-bit; far beyond the 1448 columns the chart needs.
    count = std::clamp(count, 0, int(std::numeric_limits<qint16>::max()));
    if (count == cols())
        return;
    if (count < cols()) {
        for (Row &row : m_rows) {
            if (int(row.texts.size()) > count)
                row.texts.resize(size_t(count));
            if (row.spans.empty())
                continue;
            for (Span &span : row.spans)
                span.col2 = qint16(std::min(int(span.col2), count - 1));
            row.spans.removeIf([](const Span &s) { return s.col2 < s.col1; });
        }
        for (auto &region : m_borders)
            region.range.col2 = std::min(region.range.col2, count - 1);
        std::erase_if(m_borders,
                      [](const BorderRegion &r) { return r.range.col2 < r.range.col1; });
        if (m_selection.col1 >= count || m_selection.col2 >= count)
            m_selection = {};
    }
    m_columns.resize(size_t(count));
    notify(Change::Layout);
}

void GridData::setFixedRows(int count)
{
    m_fixedRows = std::max(count, 0);
    notify(Change::Layout);
}

void GridData::setFixedCols(int count)
{
    m_fixedCols = std::max(count, 0);
    notify(Change::Layout);
}

const QString &GridData::text(int row, int col) const
{
    if (row < 0 || row >= rows() || col < 0)
        return emptyText();
    const auto &texts = m_rows[size_t(row)].texts;
    return size_t(col) < texts.size() ? texts[size_t(col)] : emptyText();
}

bool GridData::setText(int row, int col, const QString &text)
{
    if (!validCell(row, col))
        return false;
    auto &texts = m_rows[size_t(row)].texts;
    if (size_t(col) >= texts.size()) {
        if (text.isEmpty())
            return true;
        // Data rows end at the leading columns; reserving them at once saves
        // a reallocation per column while a row is filled left to right.
        if (texts.capacity() <= size_t(col))
            texts.reserve(std::max(size_t(col) + 1, leadingColumns()));
        texts.resize(size_t(col) + 1);
    }
    if (texts[size_t(col)] == text)
        return true;
    texts[size_t(col)] = text;
    notify(Change::Content, row);
    return true;
}

void GridData::addItem(QStringView tabSeparated)
{
    Row row;
    int col = 0;
    for (QStringView piece : tabSeparated.tokenize(u'\t')) {
        if (col >= cols())
            break;
        if (!piece.isEmpty()) {
            if (row.texts.empty())
                row.texts.reserve(std::max(leadingColumns(), size_t(col) + 1));
            row.texts.resize(size_t(col) + 1);
            row.texts[size_t(col)] = piece.toString();
        }
        ++col;
    }
    m_rows.push_back(std::move(row));
    ++m_rowsGeneration;
    notify(Change::Layout);
}

bool GridData::validRange(const CellRange &range) const
{
    const CellRange r = range.normalised();
    return validCell(r.row1, r.col1) && validCell(r.row2, r.col2);
}

bool GridData::setProp(const CellRange &range, Prop prop, quint32 value)
{
    if (!validRange(range))
        return false;
    const CellRange r = range.normalised();
    const Span span{qint16(r.col1), qint16(r.col2), prop, value};
    for (int i = r.row1; i <= r.row2; ++i) {
        auto &spans = m_rows[size_t(i)].spans;
        // A span hidden completely by the new one can never be read again;
        // dropping it keeps repeated refreshes from growing the row.
        spans.removeIf([&](const Span &s) {
            return s.prop == prop && s.col1 >= span.col1 && s.col2 <= span.col2;
        });
        spans.push_back(span);
    }
    notify(Change::Content);
    return true;
}

const GridData::Span *GridData::findSpan(int row, int col, Prop prop) const
{
    if (!validCell(row, col))
        return nullptr;
    const auto &spans = m_rows[size_t(row)].spans;
    for (auto it = spans.rbegin(); it != spans.rend(); ++it) {
        if (it->prop == prop && col >= it->col1 && col <= it->col2)
            return &*it;
    }
    return nullptr;
}

bool GridData::setCellAlignment(const CellRange &range, Qt::Alignment alignment)
{
    return setProp(range, Prop::Alignment, quint32(alignment.toInt()));
}

bool GridData::setCellBackColor(const CellRange &range, const QColor &color)
{
    return setProp(range, Prop::BackColor, color.rgb());
}

bool GridData::setCellForeColor(const CellRange &range, const QColor &color)
{
    return setProp(range, Prop::ForeColor, color.rgb());
}

bool GridData::setCellFontBold(const CellRange &range, bool bold)
{
    return setProp(range, Prop::Bold, bold ? 1u : 0u);
}

bool GridData::setCellData(const CellRange &range, qint32 value)
{
    return setProp(range, Prop::Data, quint32(value));
}

Qt::Alignment GridData::cellAlignment(int row, int col) const
{
    const Span *s = findSpan(row, col, Prop::Alignment);
    return s ? Qt::Alignment::fromInt(int(s->value)) : Qt::Alignment();
}

QColor GridData::cellBackColor(int row, int col) const
{
    const Span *s = findSpan(row, col, Prop::BackColor);
    return s ? QColor::fromRgb(s->value) : QColor();
}

QRgb GridData::cellBackRgb(int row, int col, QRgb fallback) const
{
    const Span *s = findSpan(row, col, Prop::BackColor);
    return s ? QRgb(s->value) : fallback;
}

QColor GridData::cellForeColor(int row, int col) const
{
    const Span *s = findSpan(row, col, Prop::ForeColor);
    return s ? QColor::fromRgb(s->value) : QColor();
}

bool GridData::cellFontBold(int row, int col) const
{
    const Span *s = findSpan(row, col, Prop::Bold);
    return s && s->value != 0;
}

qint32 GridData::cellData(int row, int col) const
{
    const Span *s = findSpan(row, col, Prop::Data);
    return s ? qint32(s->value) : 0;
}

int GridData::colWidth(int col) const
{
    return col >= 0 && col < cols() ? m_columns[size_t(col)].widthTwips : 0;
}

bool GridData::setColWidth(int col, int twips)
{
    if (col < 0 || col >= cols() || twips < 0)
        return false;
    m_columns[size_t(col)].widthTwips = twips;
    notify(Change::Layout);
    return true;
}

bool GridData::colHidden(int col) const
{
    return col >= 0 && col < cols() && m_columns[size_t(col)].hidden;
}

bool GridData::setColHidden(int col, bool hidden)
{
    if (col < 0 || col >= cols())
        return false;
    m_columns[size_t(col)].hidden = hidden;
    notify(Change::Layout);
    return true;
}

void GridData::setRowHeight(int twips)
{
    m_rowHeightTwips = std::max(twips, 15);
    notify(Change::Layout);
}

qint16 GridData::rowOutlineLevel(int row) const
{
    return row >= 0 && row < rows() ? m_rows[size_t(row)].outlineLevel : qint16(0);
}

bool GridData::setRowOutlineLevel(int row, qint16 level)
{
    if (row < 0 || row >= rows())
        return false;
    m_rows[size_t(row)].outlineLevel = level;
    ++m_rowsGeneration;
    notify(Change::Content);
    return true;
}

bool GridData::isNode(int row) const
{
    return row >= 0 && row < rows() && m_rows[size_t(row)].node;
}

bool GridData::setIsNode(int row, bool node)
{
    if (row < 0 || row >= rows())
        return false;
    m_rows[size_t(row)].node = node;
    notify(Change::Content);
    return true;
}

qint32 GridData::rowData(int row) const
{
    return row >= 0 && row < rows() ? m_rows[size_t(row)].data : 0;
}

bool GridData::setRowData(int row, qint32 value)
{
    if (row < 0 || row >= rows())
        return false;
    m_rows[size_t(row)].data = value;
    ++m_rowsGeneration;
    return true;
}

bool GridData::rowHidden(int row) const
{
    return row >= 0 && row < rows() && m_rows[size_t(row)].hidden;
}

bool GridData::setRowHidden(int row, bool hidden)
{
    if (row < m_fixedRows || row >= rows())
        return false;
    bool &flag = m_rows[size_t(row)].hidden;
    if (flag == hidden)
        return true;
    flag = hidden;
    m_hiddenRows += hidden ? 1 : -1;
    notify(Change::Layout);
    return true;
}

bool GridData::select(int row1, int col1, int row2, int col2)
{
    if (!validCell(row1, col1) || !validCell(row2, col2))
        return false;
    const CellRange selection{row1, col1, row2, col2};
    if (selection == m_selection)
        return true;
    m_selection = selection;
    notify(Change::Content);
    return true;
}

bool GridData::setCellBorder(const QColor &color, int left, int top, int right, int bottom,
                             int innerVertical, int innerHorizontal)
{
    if (!validRange(m_selection))
        return false;
    return addBorder({m_selection.normalised(), color, clampWidth(left), clampWidth(top),
                      clampWidth(right), clampWidth(bottom), clampWidth(innerVertical),
                      clampWidth(innerHorizontal)});
}

bool GridData::addBorder(const BorderRegion &region)
{
    if (!validRange(region.range))
        return false;
    BorderRegion added = region;
    added.range = region.range.normalised();
    // An older region inside the new one is overruled on every cell it has.
    std::erase_if(m_borders,
                  [&](const BorderRegion &old) { return added.range.contains(old.range); });
    m_borders.push_back(added);
    notify(Change::Content);
    return true;
}

CellEdges GridData::cellEdges(int row, int col) const
{
    for (auto it = m_borders.rbegin(); it != m_borders.rend(); ++it) {
        const CellRange &r = it->range;
        if (!r.contains(row, col))
            continue;
        CellEdges e;
        e.color = it->color;
        e.left = col == r.col1 ? it->left : it->innerVertical;
        e.right = col == r.col2 ? it->right : it->innerVertical;
        e.top = row == r.row1 ? it->top : it->innerHorizontal;
        e.bottom = row == r.row2 ? it->bottom : it->innerHorizontal;
        e.isSet = true;
        return e;
    }
    return {};
}

void GridData::setMergeRow0(bool merge)
{
    m_mergeRow0 = merge;
    notify(Change::Content);
}

void GridData::setTimeScale(const TimeScale &scale)
{
    if (scale == m_timeScale)
        return;
    // The overlays place their marks by it.
    m_timeScale = scale;
    notify(Change::Content);
}

} // namespace vorn::chart
