#pragma once
// The style QGIS opens the cells layer with: filled squares coloured by max_dbm on the survey
// maps' scale, one class per colour step, as a QGIS layer definition (QML).

#include <string>

namespace vireon {

std::string CellStyleQml();

// "-111 to -103 dBm": the whole levels of colour step k.
std::string ScaleStepLabel(int k);

}  // namespace vireon
