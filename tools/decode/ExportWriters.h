#pragma once
// The export formats, each written as the rows come so memory does not grow with the survey:
// CSV with a header row (RFC 4180: CRLF line ends, fields quoted when they need it), a GeoJSON
// FeatureCollection of Points (RFC 7946: longitude first), and KML placemarks coloured by level
// on the map range's default scale, -120 to -50 dBm (written with QXmlStreamWriter).

#include <cstdio>
#include <memory>
#include <string>

#include "ExportLevels.h"

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
std::unique_ptr<TExportWriter> MakeExportWriter(TExportFormat format, std::FILE* out);

// A CSV field as RFC 4180 wants it: quoted, inner quotes doubled, when it holds a comma, a quote
// or a line break.
std::string CsvField(const std::string& text);

}  // namespace vireon
