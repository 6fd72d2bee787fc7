#pragma once
// A GeoPackage layer's spatial index built in one pass once the layer is written: its bounding
// boxes sorted into full nodes (sort-tile-recursive packing) and stored straight into SQLite's
// R-tree tables, with the triggers and the extension entry that keep it up to date afterwards.
// Inserting the features one by one into the R-tree took most of an export's time and left its
// nodes half empty.

#include <sqlite3.h>

#include <cstdint>
#include <string>
#include <vector>

namespace vireon {

struct TIndexBox {
  int64_t Id;
  float MinX, MaxX, MinY, MaxY;
};

// Boxes sorted into SQLite's R-tree layout. Levels[0] holds the boxes, so ordered that each run
// of Capacity of them is a leaf; Levels[h + 1] holds a box per node of height h, its Id the
// node's index at that height. The last level fits the root, node 1; the nodes below are
// numbered on from it, height by height.
struct TPackedRTree {
  size_t Capacity;
  std::vector<std::vector<TIndexBox>> Levels;
  size_t Nodes(size_t height) const { return (Levels[height].size() + Capacity - 1) / Capacity; }
  int64_t NodeNumber(size_t height, size_t index) const;
};
TPackedRTree PackRTree(std::vector<TIndexBox> boxes, size_t capacity);

// Indexes the geometry column of a table of the open GeoPackage db; false with error on
// failure.
bool AddPackedSpatialIndex(sqlite3* db, const std::string& table, const std::string& column,
                           std::string& error);

}  // namespace vireon
