#pragma once

#include "timescale.h"

#include <QColor>
#include <QString>
#include <QVarLengthArray>
#include <QStringView>
#include <QtGlobal>

#include <algorithm>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace vorn::chart {

// An inclusive rectangle of cells. Constructed in any corner order;
// normalised() puts row1 <= row2 and col1 <= col2.
struct CellRange {
    int row1 = 0;
    int col1 = 0;
    int row2 = 0;
    int col2 = 0;

    CellRange normalised() const;
    bool contains(int row, int col) const
    {
        return row >= row1 && row <= row2 && col >= col1 && col <= col2;
    }
    bool contains(const CellRange &other) const
    {
        return other.row1 >= row1 && other.row2 <= row2 && other.col1 >= col1 && other.col2 <= col2;
    }
    friend bool operator==(const CellRange &, const CellRange &) = default;
};

// Lines drawn on a range: the outer sides of the range and the lines between
// its cells. Widths are in pixels, 0 = no line.
struct BorderRegion {
    CellRange range;
    QColor color;
    quint8 left = 0;
    quint8 top = 0;
    quint8 right = 0;
    quint8 bottom = 0;
    quint8 innerVertical = 0;
    quint8 innerHorizontal = 0;

    friend bool operator==(const BorderRegion &, const BorderRegion &) = default;
};

// The lines of one cell as the most recent region covering it set them.
// Each line lies inside the cell on its side.
struct CellEdges {
    QColor color;
    quint8 left = 0;
    quint8 top = 0;
    quint8 right = 0;
    quint8 bottom = 0;
    bool isSet = false; // false: no region covers the cell
};

// Everything the Gantt grid shows, without any widget: texts, per-row outline
// markers and row data, cell properties over ranges, column widths, borders,
// the selection. The widget (GanttGrid) paints from it; the fill and the
// in-place refresh write rows through it.
//
// Out-of-range indexes are not a caller mistake here: the program ignores a
// failing grid setting and goes on, so setters return false and do nothing,
// and getters return the default value.
//
// Storage is sized for 1448 columns by 100,000 rows: a row keeps only the
// texts up to its last non-empty column, and cell properties are kept as
// per-row column spans, so a row-wide background is one entry, not 1448.
class GridData {
public:
    // What a change affects: Content needs a repaint, Layout also new scroll
    // ranges (row/column counts, widths, hidden columns, row height).
    enum class Change { Content, Layout };
    // `row` is the one row whose texts changed, or -1 when the change may
    // touch any cell.
    using ChangeListener = std::function<void(Change, int row)>;

    GridData();
    // A grid is large and tied to its widget by the listener: never copied.
    GridData(const GridData &) = delete;
    GridData &operator=(const GridData &) = delete;

    // Called after every change; the widget coalesces the calls. Setting a
    // text, a selection or a border to what it already is changes nothing
    // and calls nothing.
    void setChangeListener(ChangeListener listener);

    // Changes whenever rows are added or removed or a row's outline level or
    // row data is set: whoever keeps something per row (the refresh does)
    // knows then that it no longer holds.
    quint64 rowsGeneration() const { return m_rowsGeneration; }

    // Row and column counts; a smaller count drops rows or columns at the
    // end (with their texts, properties and borders), a larger adds empty ones.
    int rows() const { return int(m_rows.size()); }
    void setRows(int count);
    int cols() const { return int(m_columns.size()); }
    void setCols(int count);

    // Rows 0..fixedRows-1 stay at the top, columns 0..fixedCols-1 at the left.
    int fixedRows() const { return m_fixedRows; }
    void setFixedRows(int count);
    int fixedCols() const { return m_fixedCols; }
    void setFixedCols(int count);

    // Cell text; reads back exactly as set. Empty for cells never written.
    const QString &text(int row, int col) const;
    bool setText(int row, int col, const QString &text);
    // Appends one row; the tab-separated pieces fill columns 0, 1, ...
    // (pieces beyond the last column are dropped).
    void addItem(QStringView tabSeparated);

    // A row for appendRows: the texts of columns 0, 1, ... (an empty text is
    // an empty cell), the outline markers and the row data.
    struct RowContent {
        std::vector<QString> texts;
        qint32 data = 0;
        qint16 outlineLevel = 0;
        bool node = false;
    };
    // Appends rows and takes their texts over instead of copying them. The
    // grid ends as after setRows and then setText, setIsNode,
    // setRowOutlineLevel and setRowData on each new row: texts beyond the
    // last column are dropped. One layout change is reported per call.
    // The contents are left without texts but with their room, so that a
    // caller appending batch after batch can fill them again.
    void appendRows(std::span<RowContent> rows);
    // Room for this many rows in all, and for the texts of their leading
    // columns, so that appending them moves no row; the memory is made
    // ready on another thread meanwhile.
    void reserveRows(size_t rows);

    // Cell properties over a range (every cell of it). A range that leaves
    // the grid is not applied.
    bool setCellAlignment(const CellRange &range, Qt::Alignment alignment);
    bool setCellBackColor(const CellRange &range, const QColor &color);
    bool setCellForeColor(const CellRange &range, const QColor &color);
    bool setCellFontBold(const CellRange &range, bool bold);
    bool setCellData(const CellRange &range, qint32 value);
    // Reads: the value last set for the cell; an invalid QColor, no alignment
    // flags, false or 0 when never set.
    Qt::Alignment cellAlignment(int row, int col) const;
    QColor cellBackColor(int row, int col) const;
    QColor cellForeColor(int row, int col) const;
    bool cellFontBold(int row, int col) const;
    qint32 cellData(int row, int col) const;
    // The background as a QRgb, or fallback when never set; for painting,
    // which asks for every visible cell.
    QRgb cellBackRgb(int row, int col, QRgb fallback) const;

    // Column width in twips (default 960) and hidden state; a hidden column
    // takes no room and is not painted.
    int colWidth(int col) const;
    bool setColWidth(int col, int twips);
    bool colHidden(int col) const;
    bool setColHidden(int col, bool hidden);
    // One height for every row, in twips.
    int rowHeight() const { return m_rowHeightTwips; }
    void setRowHeight(int twips);

    // Per-row outline markers and row data; read back as set.
    qint16 rowOutlineLevel(int row) const;
    bool setRowOutlineLevel(int row, qint16 level);
    bool isNode(int row) const;
    bool setIsNode(int row, bool node);
    qint32 rowData(int row) const;
    bool setRowData(int row, qint32 value);

    // A hidden row (a collapsed group's detail row) keeps its texts and is
    // refreshed like any other, but takes no room and is not painted. The
    // fixed rows cannot be hidden. A fill starts with every row shown.
    bool rowHidden(int row) const;
    bool setRowHidden(int row, bool hidden);
    int hiddenRowCount() const { return m_hiddenRows; }

    // The selection: a range whose first corner is the current cell.
    // select() does nothing when a corner lies outside the grid.
    bool select(int row1, int col1, int row2, int col2);
    bool select(int row, int col) { return select(row, col, row, col); }
    CellRange selection() const { return m_selection.normalised(); }
    int row() const { return m_selection.row1; }
    int col() const { return m_selection.col1; }

    // Draws lines on the selected cells (widths in pixels, 0 = none).
    bool setCellBorder(const QColor &color, int left, int top, int right, int bottom,
                       int innerVertical, int innerHorizontal);
    // The same on an explicit range.
    bool addBorder(const BorderRegion &region);
    const std::vector<BorderRegion> &borders() const { return m_borders; }
    // The lines of one cell: of the most recent region that covers it.
    CellEdges cellEdges(int row, int col) const;

    // Neighbouring cells of header row 0 with equal text show as one cell.
    bool mergeRow0() const { return m_mergeRow0; }
    void setMergeRow0(bool merge);

    // The time scale the columns behind the leading ones stand for, as the
    // last interval change built it; no scale before the first.
    const TimeScale &timeScale() const { return m_timeScale; }
    void setTimeScale(const TimeScale &scale);

private:
    enum class Prop : quint8 { Alignment, BackColor, ForeColor, Bold, Data };
    struct Span {
        qint16 col1;
        qint16 col2;
        Prop prop;
        quint32 value;
    };
    // The texts of one row, up to the last column written. Rows appended in
    // bulk keep theirs side by side in the grid's text blocks, so a fill of a
    // million rows makes a few dozen allocations instead of a million; a row
    // that needs more columns than it was given, or is written cell by cell,
    // gets an array of its own. Texts from size() to capacity() are empty.
    class RowTexts {
    public:
        RowTexts() = default;
        // Texts already moved into the first `size` of `capacity` slots of a
        // block, the others empty.
        RowTexts(QString *room, size_t size, size_t capacity)
            : m_data(room), m_size(quint32(size)), m_capacity(quint32(capacity))
        {
        }
        RowTexts(RowTexts &&other) noexcept { take(other); }
        RowTexts &operator=(RowTexts &&other) noexcept
        {
            if (this != &other) {
                release();
                take(other);
            }
            return *this;
        }
        ~RowTexts() { release(); }

        size_t size() const { return m_size; }
        bool empty() const { return m_size == 0; }
        size_t capacity() const { return m_capacity; }
        QString &operator[](size_t i) { return m_data[i]; }
        const QString &operator[](size_t i) const { return m_data[i]; }
        void reserve(size_t capacity);
        void resize(size_t size);   // added texts are empty

    private:
        void take(RowTexts &other) noexcept;
        void release() noexcept;

        QString *m_data = nullptr;
        quint32 m_size = 0;
        quint32 m_capacity : 31 = 0;
        quint32 m_owned : 1 = 0;   // an array of its own, else slots of a block
    };
    // Raw room for texts; slots from 0 to `used` were handed to rows, which
    // destroy their texts themselves. Rows from `firstRow` on may use it.
    struct TextBlock {
        struct Free {
            void operator()(QString *room) const { ::operator delete(room); }
        };
        std::unique_ptr<QString, Free> room;
        size_t capacity = 0;
        size_t used = 0;
        int firstRow = 0;
    };
    QString *textSlots(size_t count, int row);
    // The columns a data row ends at, which its texts get room for at once.
    size_t leadingColumns() const { return size_t(std::clamp(std::min(m_fixedCols, cols()), 0, 64)); }

    struct Row {
        RowTexts texts; // up to the last column written
        // Later spans win. Most rows hold one (the bold key column), which
        // then needs no allocation of its own.
        QVarLengthArray<Span, 1> spans;
        qint32 data = 0;
        qint16 outlineLevel = 0;
        bool node = false;
        bool hidden = false;
    };

    bool validCell(int row, int col) const
    {
        return row >= 0 && row < rows() && col >= 0 && col < cols();
    }
    bool validRange(const CellRange &range) const;
    bool setProp(const CellRange &range, Prop prop, quint32 value);
    const Span *findSpan(int row, int col, Prop prop) const;
    void notify(Change change, int row = -1) const;

    // Before the rows: they destroy their texts in the blocks.
    std::vector<TextBlock> m_textBlocks;
    size_t m_textsExpected = 0;   // texts the rows reserved for may still bring
    std::vector<Row> m_rows;
    struct Column {
        qint32 widthTwips = 960;
        bool hidden = false;
    };

    std::vector<Column> m_columns;
    int m_fixedRows = 2;
    int m_fixedCols = 8;
    int m_rowHeightTwips = 300;
    int m_hiddenRows = 0;
    bool m_mergeRow0 = false;
    TimeScale m_timeScale;
    CellRange m_selection;
    std::vector<BorderRegion> m_borders;
    ChangeListener m_listener;
    quint64 m_rowsGeneration = 0;
};

} // namespace vorn::chart
