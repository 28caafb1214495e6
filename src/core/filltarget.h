#pragma once

#include <QtGlobal>

#include <cstddef>

namespace vorn::model {
struct ScheduleRow;
class TickRows;
}

namespace vorn::core {

// Where a fill puts the rows it makes, one by one as they come: the
// window's grid, the renderer's, or a table of rows of a program that has
// no grid at all.
class FillTarget {
public:
    virtual ~FillTarget() = default;
    // The tables are open: the rows the target held go.
    virtual void begin() = 0;
    // How many rows are coming, before the first.
    virtual void reserve(size_t rows) = 0;
    virtual void add(model::ScheduleRow &&row) = 0;
    // The last row was added.
    virtual void finish() = 0;
    // The fill is over, whether rows came or a table could not be opened
    // (the rows are then those the target had).
    virtual void end() = 0;
    // The rows as a tick sees them.
    virtual const model::TickRows &tickRows() const = 0;
};

} // namespace vorn::core
