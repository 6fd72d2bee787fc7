#include "UtmGrid.h"

#include <cpl_error.h>

#include <cmath>

namespace vireon {

int UtmZoneEpsg(double latitude, double longitude) {
  int zone = static_cast<int>(std::floor((longitude + 180) / 6)) % 60 + 1;
  if (latitude >= 56 && latitude < 64 && longitude >= 3 && longitude < 12) zone = 32;
  if (latitude >= 72 && latitude < 84 && longitude >= 0 && longitude < 42)
    zone = longitude < 9 ? 31 : longitude < 21 ? 33 : longitude < 33 ? 35 : 37;
  return (latitude >= 0 ? 32600 : 32700) + zone;
}

OGRSpatialReference Wgs84() {
  OGRSpatialReference srs;
  srs.importFromEPSG(4326);
  srs.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  return srs;
}

bool TUtmGrid::Open(int epsg, std::string& error) {
  const OGRSpatialReference wgs84 = Wgs84();
  Utm.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  if (Utm.importFromEPSG(epsg) == OGRERR_NONE) {
    ToGrid.reset(OGRCreateCoordinateTransformation(&wgs84, &Utm));
    FromGrid.reset(OGRCreateCoordinateTransformation(&Utm, &wgs84));
  }
  if (ToGrid && FromGrid) return true;
  error = "cannot set up the projection EPSG:" + std::to_string(epsg) + ": " + CPLGetLastErrorMsg();
  return false;
}

std::optional<std::pair<double, double>> TUtmGrid::Forward(double longitude,
                                                           double latitude) const {
  double x = longitude, y = latitude;
  if (!ToGrid->Transform(1, &x, &y)) return std::nullopt;
  return std::pair{x, y};
}

std::optional<std::pair<double, double>> TUtmGrid::Inverse(double x, double y) const {
  if (!FromGrid->Transform(1, &x, &y)) return std::nullopt;
  return std::pair{x, y};
}

}  // namespace vireon
