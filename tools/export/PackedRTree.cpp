#include "PackedRTree.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace vireon {

namespace {

using TStatement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

// SQLite keeps an R-tree's coordinates as floats, rounded outwards so a box still holds its
// geometry.
float Down(double v) {
  const auto f = static_cast<float>(v);
  return f > v ? std::nextafter(f, -INFINITY) : f;
}

float Up(double v) {
  const auto f = static_cast<float>(v);
  return f < v ? std::nextafter(f, INFINITY) : f;
}

// Sort-tile-recursive order: vertical slices of whole nodes by x, each slice by y.
void SortTiles(std::vector<TIndexBox>& boxes, size_t capacity) {
  const size_t leaves = (boxes.size() + capacity - 1) / capacity;
  const auto slice = capacity * static_cast<size_t>(std::ceil(std::sqrt(leaves)));
  auto byX = [](const TIndexBox& a, const TIndexBox& b) {
    return a.MinX + a.MaxX < b.MinX + b.MaxX;
  };
  auto byY = [](const TIndexBox& a, const TIndexBox& b) {
    return a.MinY + a.MaxY < b.MinY + b.MaxY;
  };
  std::sort(boxes.begin(), boxes.end(), byX);
  for (size_t at = 0; at < boxes.size(); at += slice)
    std::sort(boxes.begin() + static_cast<ptrdiff_t>(at),
              boxes.begin() + static_cast<ptrdiff_t>(std::min(at + slice, boxes.size())), byY);
}

std::vector<TIndexBox> NodeBoxes(const std::vector<TIndexBox>& level, size_t capacity) {
  std::vector<TIndexBox> nodes;
  for (size_t at = 0; at < level.size(); at += capacity) {
    TIndexBox box = level[at];
    box.Id = static_cast<int64_t>(nodes.size());
    for (size_t k = at + 1; k < std::min(at + capacity, level.size()); ++k) {
      box.MinX = std::min(box.MinX, level[k].MinX), box.MaxX = std::max(box.MaxX, level[k].MaxX);
      box.MinY = std::min(box.MinY, level[k].MinY), box.MaxY = std::max(box.MaxY, level[k].MaxY);
    }
    nodes.push_back(box);
  }
  return nodes;
}

template <typename T>
T FromOrder(const uint8_t* at, bool little) {
  uint64_t bits = 0;
  std::memcpy(&bits, at, sizeof(T));
  if (little != (std::endian::native == std::endian::little))
    bits =
        sizeof(T) == 8 ? __builtin_bswap64(bits) : __builtin_bswap32(static_cast<uint32_t>(bits));
  T value;
  std::memcpy(&value, &bits, sizeof(T));
  return value;
}

// The extent of a GeoPackage geometry: from its header's envelope or, for a point written
// without one, its coordinates. False for an empty or unreadable geometry.
bool BoxOf(const uint8_t* g, size_t size, TIndexBox& box) {
  static constexpr size_t kEnvelopeBytes[] = {0, 32, 48, 48, 64};
  if (size < 8 || g[0] != 'G' || g[1] != 'P' || (g[3] & 0x10) != 0) return false;
  const size_t envelope = (g[3] >> 1) & 7;
  if (envelope > 4 || size < 8 + kEnvelopeBytes[envelope]) return false;
  double x0, x1, y0, y1;
  if (envelope > 0) {
    const bool little = (g[3] & 1) != 0;
    x0 = FromOrder<double>(g + 8, little), x1 = FromOrder<double>(g + 16, little);
    y0 = FromOrder<double>(g + 24, little), y1 = FromOrder<double>(g + 32, little);
  } else {
    const uint8_t* wkb = g + 8;
    if (size < 8 + 21) return false;
    const bool little = wkb[0] == 1;
    if (FromOrder<uint32_t>(wkb + 1, little) % 1000 != 1) return false;  // a point, any dims
    x0 = x1 = FromOrder<double>(wkb + 5, little);
    y0 = y1 = FromOrder<double>(wkb + 13, little);
  }
  if (std::isnan(x0) || std::isnan(y0)) return false;
  box.MinX = Down(x0), box.MaxX = Up(x1), box.MinY = Down(y0), box.MaxY = Up(y1);
  return true;
}

std::string Name(const std::string& name) {
  std::string quoted = "\"";
  for (char c : name) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

class TIndexer {
 public:
  TIndexer(sqlite3* db, const std::string& table, const std::string& column, std::string& error)
      : Db(db),
        Table(table),
        Column(column),
        RTree("rtree_" + table + "_" + column),
        Error(error) {}

  bool Run() {
    std::vector<TIndexBox> boxes;
    size_t nodeBytes = 0;
    if (!Exec("CREATE VIRTUAL TABLE " + Name(RTree) + " USING rtree(id, minx, maxx, miny, maxy)") ||
        !ReadBoxes(boxes) || !NodeBytes(nodeBytes))
      return false;
    // A node holds a count and its boxes, an id and four coordinates each.
    const size_t capacity = (nodeBytes - 4) / 24;
    if (!boxes.empty() && !Store(PackRTree(std::move(boxes), capacity), nodeBytes)) return false;
    return Triggers() && Register();
  }

 private:
  bool Fail() {
    Error = std::string("spatial index of ") + Table + ": " + sqlite3_errmsg(Db);
    return false;
  }

  bool Exec(const std::string& sql) {
    return sqlite3_exec(Db, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK || Fail();
  }

  TStatement Prepare(const std::string& sql) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(Db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) Fail();
    return {statement, &sqlite3_finalize};
  }

  bool ReadBoxes(std::vector<TIndexBox>& boxes) {
    // Sized once: growing by doubling would hold two copies of millions of boxes at a time.
    TStatement count = Prepare("SELECT count(*) FROM " + Name(Table));
    if (!count || sqlite3_step(count.get()) != SQLITE_ROW) return Fail();
    boxes.reserve(static_cast<size_t>(sqlite3_column_int64(count.get(), 0)));
    TStatement select = Prepare("SELECT fid, " + Name(Column) + " FROM " + Name(Table) + " WHERE " +
                                Name(Column) + " NOT NULL");
    if (!select) return false;
    int step;
    while ((step = sqlite3_step(select.get())) == SQLITE_ROW) {
      TIndexBox box{sqlite3_column_int64(select.get(), 0), 0, 0, 0, 0};
      const auto* blob = static_cast<const uint8_t*>(sqlite3_column_blob(select.get(), 1));
      if (BoxOf(blob, static_cast<size_t>(sqlite3_column_bytes(select.get(), 1)), box))
        boxes.push_back(box);
    }
    return step == SQLITE_DONE || Fail();
  }

  // SQLite sized the empty root node it made for the R-tree by the page size.
  bool NodeBytes(size_t& bytes) {
    TStatement root =
        Prepare("SELECT length(data) FROM " + Name(RTree + "_node") + " WHERE nodeno = 1");
    if (!root || sqlite3_step(root.get()) != SQLITE_ROW) return Fail();
    bytes = static_cast<size_t>(sqlite3_column_int(root.get(), 0));
    return bytes >= 4 + 24 * 2 || Fail();
  }

  static void PutBigEndian(uint8_t* at, uint64_t value, int bytes) {
    for (int k = bytes - 1; k >= 0; --k, value >>= 8) at[k] = static_cast<uint8_t>(value);
  }

  bool Store(const TPackedRTree& tree, size_t nodeBytes) {
    TStatement node = Prepare("INSERT OR REPLACE INTO " + Name(RTree + "_node") + " VALUES (?, ?)");
    TStatement parent = Prepare("INSERT INTO " + Name(RTree + "_parent") + " VALUES (?, ?)");
    TStatement rowid = Prepare("INSERT INTO " + Name(RTree + "_rowid") + " VALUES (?, ?)");
    if (!node || !parent || !rowid) return false;
    const size_t top = tree.Levels.size() - 1;
    std::vector<uint8_t> data(nodeBytes);
    for (size_t height = top + 1; height-- > 0;) {
      const std::vector<TIndexBox>& level = tree.Levels[height];
      for (size_t index = 0; index < tree.Nodes(height); ++index) {
        const int64_t number = tree.NodeNumber(height, index);
        const size_t first = index * tree.Capacity;
        const size_t count = std::min(tree.Capacity, level.size() - first);
        std::fill(data.begin(), data.end(), 0);
        PutBigEndian(data.data(), height == top ? top : 0, 2);
        PutBigEndian(data.data() + 2, count, 2);
        for (size_t k = 0; k < count; ++k) {
          const TIndexBox& box = level[first + k];
          const int64_t id =
              height == 0 ? box.Id : tree.NodeNumber(height - 1, static_cast<size_t>(box.Id));
          uint8_t* cell = data.data() + 4 + 24 * k;
          PutBigEndian(cell, static_cast<uint64_t>(id), 8);
          const float coordinates[] = {box.MinX, box.MaxX, box.MinY, box.MaxY};
          for (int c = 0; c < 4; ++c)
            PutBigEndian(cell + 8 + 4 * c, std::bit_cast<uint32_t>(coordinates[c]), 4);
          if (!Insert(height == 0 ? rowid.get() : parent.get(), id, number)) return false;
        }
        sqlite3_bind_blob(node.get(), 2, data.data(), static_cast<int>(nodeBytes), SQLITE_STATIC);
        if (!Insert(node.get(), number, std::nullopt)) return false;
      }
    }
    return true;
  }

  bool Insert(sqlite3_stmt* statement, int64_t key, std::optional<int64_t> value) {
    sqlite3_bind_int64(statement, 1, key);
    if (value) sqlite3_bind_int64(statement, 2, *value);
    const bool done = sqlite3_step(statement) == SQLITE_DONE;
    sqlite3_reset(statement);
    return done || Fail();
  }

  // The triggers that keep the index in step with edits of the table, as GDAL makes them.
  bool Triggers() {
    const std::string t = Name(Table), c = Name(Column), r = Name(RTree);
    const std::string present = "(NEW." + c + " NOTNULL AND NOT ST_IsEmpty(NEW." + c + "))";
    const std::string absent = "(NEW." + c + " ISNULL OR ST_IsEmpty(NEW." + c + "))";
    const std::string insert = "INSERT OR REPLACE INTO " + r + " VALUES (NEW.\"fid\",ST_MinX(NEW." +
                               c + "), ST_MaxX(NEW." + c + "),ST_MinY(NEW." + c +
                               "), ST_MaxY(NEW." + c + ")); ";
    auto trigger = [&](const std::string& name, const std::string& when, const std::string& body) {
      return Exec("CREATE TRIGGER " + Name(RTree + "_" + name) + " AFTER " + when + " BEGIN " +
                  body + "END");
    };
    const std::string update =
        "UPDATE OF " + c + " ON " + t + " WHEN OLD.\"fid\" = NEW.\"fid\" AND ";
    const std::string renumber = "UPDATE ON " + t + " WHEN OLD.\"fid\" != NEW.\"fid\" AND ";
    const std::string drop = "DELETE FROM " + r + " WHERE id = OLD.\"fid\"; ";
    return trigger("insert",
                   "INSERT ON " + t + " WHEN (new." + c + " NOT NULL AND NOT ST_IsEmpty(NEW." + c +
                       "))",
                   insert) &&
           trigger("update1", update + present, insert) &&
           trigger("update2", update + absent, drop) &&
           trigger("update3", renumber + present, drop + insert) &&
           trigger("update4", renumber + absent,
                   "DELETE FROM " + r + " WHERE id IN (OLD.\"fid\", NEW.\"fid\"); ") &&
           trigger("delete", "DELETE ON " + t + " WHEN old." + c + " NOT NULL", drop);
  }

  bool Register() {
    return Exec(
               "CREATE TABLE IF NOT EXISTS gpkg_extensions (table_name TEXT,column_name TEXT,"
               "extension_name TEXT NOT NULL,definition TEXT NOT NULL,scope TEXT NOT NULL,"
               "CONSTRAINT ge_tce UNIQUE (table_name, column_name, extension_name))") &&
           Exec("INSERT INTO gpkg_extensions VALUES ('" + Table + "', '" + Column +
                "', 'gpkg_rtree_index', 'http://www.geopackage.org/spec120/#extension_rtree', "
                "'write-only')");
  }

  sqlite3* Db;
  std::string Table, Column, RTree;
  std::string& Error;
};

}  // namespace

int64_t TPackedRTree::NodeNumber(size_t height, size_t index) const {
  int64_t number = 1;
  for (size_t above = height + 1; above < Levels.size(); ++above)
    number += static_cast<int64_t>(Nodes(above));
  return number + static_cast<int64_t>(index);
}

TPackedRTree PackRTree(std::vector<TIndexBox> boxes, size_t capacity) {
  TPackedRTree tree{capacity, {}};
  tree.Levels.push_back(std::move(boxes));
  for (;;) {
    SortTiles(tree.Levels.back(), capacity);
    if (tree.Levels.back().size() <= capacity) return tree;
    std::vector<TIndexBox> nodes = NodeBoxes(tree.Levels.back(), capacity);
    tree.Levels.push_back(std::move(nodes));
  }
}

bool AddPackedSpatialIndex(sqlite3* db, const std::string& table, const std::string& column,
                           std::string& error) {
  return TIndexer(db, table, column, error).Run();
}

}  // namespace vireon
