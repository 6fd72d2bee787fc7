#pragma once
// What both map formats gather while a log is read: the coverage cells on the grid of the first
// fix's UTM zone, the fix points, and the drive as segments between consecutive fixes, a segment
// marked as a gap where the fix was lost between its ends or the fixes lie further apart in time
// than a level may be from its fix.

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "Coverage.h"
#include "UtmGrid.h"

namespace vireon {

class TSurveyMap {
 public:
  using TSegmentSink = std::function<void(const TGpsFix& from, const TGpsFix& to, bool gap)>;
  TSurveyMap(double cellM, double maxFixAgeS, TCoverage::TFixPointSink points,
             TSegmentSink segments);

  // False, with error, when the grid's projection cannot be set up at the first fix.
  bool Fix(const TGpsFix& fix, std::string& error);
  void Level(const TLevelRow& row) { Coverage.Level(row); }
  void Finish() { Coverage.Finish(); }

  bool HaveGrid() const { return GridOpen; }
  const TUtmGrid& Grid() const { return UtmGrid; }
  const TCoverage& Cells() const { return Coverage; }
  // The corners of a cell in grid metres, counter-clockwise from the lower left.
  std::array<std::pair<double, double>, 4> Corners(const TCellKey& cell) const;

 private:
  TCoverage Coverage;
  TUtmGrid UtmGrid;
  bool GridOpen = false;
  double MaxFixAge;
  TSegmentSink Segments;
  std::optional<TGpsFix> Last;
};

}  // namespace vireon
