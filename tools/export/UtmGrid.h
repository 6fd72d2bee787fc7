#pragma once
// The projection of a coverage grid: the UTM zone (WGS 84) of a survey's first fix, so that cells
// are squares of whole metres on the ground; positions go there and cell corners come back to
// longitude and latitude through PROJ.

#include <ogr_spatialref.h>

#include <memory>
#include <optional>
#include <string>
#include <utility>

namespace vireon {

// The EPSG code of the UTM zone holding latitude, longitude (WGS 84), with the zones widened
// for south-west Norway and Svalbard.
int UtmZoneEpsg(double latitude, double longitude);

// WGS 84 with longitude first, as the map formats write coordinates.
OGRSpatialReference Wgs84();

class TUtmGrid {
 public:
  // False, with error, when PROJ cannot make the projection.
  bool Open(int epsg, std::string& error);
  std::optional<std::pair<double, double>> Forward(double longitude, double latitude) const;
  // Longitude and latitude of the grid point x, y; none when it cannot be projected back.
  std::optional<std::pair<double, double>> Inverse(double x, double y) const;
  const OGRSpatialReference& Srs() const { return Utm; }

 private:
  OGRSpatialReference Utm;
  std::unique_ptr<OGRCoordinateTransformation> ToGrid, FromGrid;
};

}  // namespace vireon
