#pragma once
// The GeoPackage of a survey, for QGIS: the layers cells (in the grid's UTM zone), fix_levels,
// track, channels and, when asked for, levels (WGS 84), typed fields with times in UTC, and the
// style QGIS opens cells with, in layer_styles. The fix points, the track and the levels are
// written as the log is read; the cells and the channels once it has been read.
//
// The first failure of GDAL stops the writing and is reported with GDAL's message.

#include <memory>
#include <string>

#include "ExportMode.h"

namespace vireon {

std::unique_ptr<TMapExportWriter> MakeGpkgWriter(const std::string& path,
                                                 const TExportOptions& options, std::string& error);

}  // namespace vireon
