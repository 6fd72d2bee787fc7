#pragma once
// The KMZ of a survey, for Google Earth: a folder per receiver and channel holding its cells as
// squares coloured by their strongest level (the levels in the description), the drive as lines
// broken where the fix was lost, the colour scale's legend on the screen, and time spans for the
// time slider. Its size follows the cells, not the levels.
//
// The document is written once the log has been read, streamed into GDAL's zip writer: GDAL's own
// KML drivers either hold the whole document in memory or write no time spans and shared styles.

#include <memory>
#include <string>

#include "ExportMode.h"

namespace vireon {

std::unique_ptr<TMapExportWriter> MakeKmzWriter(const std::string& path,
                                                const TExportOptions& options, std::string& error);

}  // namespace vireon
