#include "SurveyMap.h"

namespace vireon {

TSurveyMap::TSurveyMap(double cellM, double maxFixAgeS, TCoverage::TFixPointSink points,
                       TSegmentSink segments)
    : Coverage(cellM, std::move(points)), MaxFixAge(maxFixAgeS), Segments(std::move(segments)) {}

bool TSurveyMap::Fix(const TGpsFix& fix, std::string& error) {
  if (!GridOpen) {
    if (!UtmGrid.Open(UtmZoneEpsg(fix.Latitude, fix.Longitude), error)) return false;
    GridOpen = true;
  }
  Coverage.Fix(fix, UtmGrid.Forward(fix.Longitude, fix.Latitude));
  if (Last) {
    const bool late = Last->GpsTime && fix.GpsTime &&
                      static_cast<double>(*fix.GpsTime - *Last->GpsTime) > MaxFixAge;
    Segments(*Last, fix, fix.Lost || late);
  }
  Last = fix;
  return true;
}

std::array<std::pair<double, double>, 4> TSurveyMap::Corners(const TCellKey& cell) const {
  const double size = Coverage.CellSize();
  const double x0 = cell.Column * size, y0 = cell.Row * size;
  return {{{x0, y0}, {x0 + size, y0}, {x0 + size, y0 + size}, {x0, y0 + size}}};
}

}  // namespace vireon
