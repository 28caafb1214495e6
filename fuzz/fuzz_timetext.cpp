// Time texts: SecondsText and SecondsValue over field bytes and over text,
// and the bar painter's reading of the six time texts of a row, the header
// labels of a column and the interval. Both readings of a field agree, a
// number agrees with the C library's, a written time reads back, and a bar
// never leaves its cell, whatever the texts say.
//
// Input: five bytes of cell geometry, then newline-separated texts: the
// interval, the hour and minute labels, the six times.

#include "fuzzing.h"

#include "appstate.h"
#include "ganttbars.h"
#include "ganttpainter.h"
#include "griddata.h"
#include "secondstext.h"

#include <QImage>
#include <QPainter>

#include <cmath>
#include <cstdlib>
#include <string>

using namespace vorn;

namespace {

void checkSeconds(QByteArrayView bytes)
{
    const QString text = QString::fromLatin1(bytes);
    const std::optional<qint32> value = model::SecondsValue(bytes);
    VORN_FUZZ_CHECK(value == model::SecondsValue(QStringView(text)));
    bool overflow = false;
    bool textOverflow = false;
    const QString written = model::SecondsText(bytes, &overflow);
    VORN_FUZZ_CHECK(written == model::SecondsText(QStringView(text), &textOverflow) && overflow == textOverflow);
    if (!value)
        return;
    // strtod takes more forms than a time field may hold, but agrees on those it holds.
    const std::string copy(bytes.data(), size_t(bytes.size()));
    VORN_FUZZ_CHECK(std::nearbyint(std::strtod(copy.c_str(), nullptr)) == *value);
    VORN_FUZZ_CHECK(overflow == (std::abs(qint64(*value)) >= model::kSecondsTextLimit));
    VORN_FUZZ_CHECK(written.isEmpty() == (overflow || *value == 0));
    if (*value > 0 && !overflow)
        VORN_FUZZ_CHECK(written.size() == 8 && chart::TextSeconds(written) == *value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    fuzz::Bytes bytes(data, size);
    const int left = bytes.u8() % 48;
    const int top = bytes.u8() % 24;
    const int right = left + bytes.u8() % 48;
    const int bottom = top + bytes.u8() % 40;
    const int farLeft = qint16(bytes.u8() << 8);   // the cells of a scrolled grid

    AppState state;
    state.IntervalText = QString::fromLatin1(bytes.upTo('\n'));
    chart::GridData grid;
    grid.setRows(3);
    grid.setCols(9);
    for (int row = 0; row < 2; ++row)
        grid.setText(row, 8, QString::fromLatin1(bytes.upTo('\n')));
    for (int col = 2; col <= 7; ++col) {
        const QByteArrayView time = bytes.upTo('\n');
        checkSeconds(time);
        grid.setText(2, col, QString::fromLatin1(time));
    }
    checkSeconds(bytes.rest());

    if (const std::optional<double> interval = chart::IntervalMinutes(state.IntervalText)) {
        const chart::BarTexts planned{grid.text(2, 2), grid.text(2, 3), grid.text(2, 4)};
        const chart::BarTexts actual{grid.text(2, 5), grid.text(2, 6), grid.text(2, 7)};
        const QRect cell(QPoint(farLeft + left, top), QPoint(farLeft + right - 1, bottom - 1));
        const chart::CellBars bars = chart::ComputeCellBars(planned, actual, grid.text(0, 8), grid.text(1, 8),
                                                            *interval, cell.left(), top, cell.right() + 1, bottom);
        VORN_FUZZ_CHECK(cell.contains(bars.planned) || bars.planned.isEmpty());
        VORN_FUZZ_CHECK(cell.contains(bars.actual) || bars.actual.isEmpty());
    }

    // The painter paints inside the cell and nowhere else: with the cell
    // blanked again the picture is white all over.
    QImage image(96, 64, QImage::Format_RGB32);
    image.fill(Qt::white);
    const QImage white = image.copy();
    QPainter painter(&image);
    chart::fg_DrawCell(painter, grid, state, 2, 8, left, top, right, bottom);
    painter.fillRect(QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), Qt::white);
    painter.end();
    VORN_FUZZ_CHECK(image == white);
    return 0;
}
