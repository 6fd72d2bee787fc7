#pragma once
// The export formats, each written as the rows come so memory does not grow with the survey:
// CSV with a header row (RFC 4180: CRLF line ends; no field needs quoting), a GeoJSON
// FeatureCollection of Points (RFC 7946: longitude first, height above the ellipsoid), and KML
// placemarks coloured by level on the map range's default scale, -120 to -50 dBm, stamped with
// the fix's UTC time (written with QXmlStreamWriter). An unknown value is an empty field (null
// in GeoJSON).

#include <memory>
#include <string>

#include "ExportLevels.h"
#include "ExportOutput.h"

namespace vireon {

class TExportWriter {
 public:
  virtual ~TExportWriter() = default;
  virtual void Row(const TLevelRow& row) = 0;
  // Closes the document; false when writing failed.
  virtual bool Finish() = 0;
};

enum class TExportFormat { Csv, GeoJson, Kml };

// "csv", "geojson" or "kml"; false for anything else.
bool ParseExportFormat(const std::string& name, TExportFormat& format);
std::unique_ptr<TExportWriter> MakeExportWriter(TExportFormat format, TOutput& out);

}  // namespace vireon
