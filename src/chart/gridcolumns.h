#pragma once

namespace vorn::chart {

// The grid's leading columns, in order, then the time scale.
inline constexpr int OutlineCol = 0;        // the group rows' tree
inline constexpr int KeyCol = 1;            // machine or part: names the row
inline constexpr int PlannedStartCol = 2;
inline constexpr int PlannedFinishCol = 3;
inline constexpr int PlannedDurationCol = 4;
inline constexpr int ActualStartCol = 5;
inline constexpr int ActualFinishCol = 6;
inline constexpr int ActualDurationCol = 7;
inline constexpr int FirstScaleCol = 8;     // also the count of leading columns

} // namespace vorn::chart
