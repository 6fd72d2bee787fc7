#pragma once
// The map formats (gpkg, kmz) are written by vireon-export, which links GDAL and comes in a
// package of its own, so that logging needs none of it. vireon-decode runs it in its own place
// with the same arguments: the one beside vireon-decode, else the first on PATH.

namespace vireon {

// True for "gpkg" and "kmz".
bool IsMapFormat(const char* name);

// Replaces this process with vireon-export; returns only when it cannot be run, having said
// why and which package brings it, with kExitUsage.
int HandMapExportOn(int argc, char** argv);

}  // namespace vireon
