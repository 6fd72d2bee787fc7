#pragma once
// A survey's levels gathered into a coverage map, per receiver channel: square cells of a grid in
// projected metres (where each fix falls is the caller's projection) and one point per fix holding
// the levels from that fix to the next. Memory grows with the cells, never with the levels: a fix's
// points are handed on as soon as the next fix comes.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <utility>
#include <vector>

#include "ExportLevels.h"

namespace vireon {

// Count, extremes and the mean of the power (in mW, given back in dBm) of some levels.
class TLevelStats {
 public:
  void Add(int dbm);
  uint32_t Count() const { return N; }
  int Max() const { return High; }
  int Min() const { return Low; }
  double MeanDbm() const;

 private:
  uint32_t N = 0;
  int16_t High = 0, Low = 0;
  double SumMw = 0;
};

// A cell's levels: their stats, a histogram of whole dBm for the median (only once they differ:
// most cells of a table sweep hold one level), and their time span.
class TCellLevels {
 public:
  void Add(int dbm, const std::optional<int64_t>& time);
  const TLevelStats& Stats() const { return Levels; }
  // The middle level, or the mean of the two middle ones.
  double MedianDbm() const;
  std::optional<int64_t> FirstTime() const;
  std::optional<int64_t> LastTime() const;

 private:
  // Seconds since 1970 in 32 bits, up to 2106: a day's drive holds millions of cells. A time
  // outside that range is taken as unknown.
  static constexpr uint32_t kNoTime = 0;
  // Widens the histogram to hold dbm.
  void Widen(int dbm);

  TLevelStats Levels;
  std::unique_ptr<uint32_t[]> Counts;  // of Levels.Min() + k dBm, k <= Levels.Max() - Min()
  uint32_t First = kNoTime, Last = kNoTime;
};

struct TChannelInfo {
  int Receiver = 1;
  const char* Mode = "single";
  int Channel = 0;
  std::optional<double> FrequencyMHz;
  uint64_t Levels = 0, Cells = 0, FixPoints = 0;
};

struct TFixPoint {
  int ChannelId = 0;
  TLevelStats Levels;
  std::optional<int64_t> FixAgeS;  // the oldest its levels had
};

struct TCellKey {
  uint32_t ChannelId;
  int32_t Column, Row;  // the cell's lower left corner is (Column, Row) x the cell size
  bool operator==(const TCellKey&) const = default;
};

struct TCellHash {
  // Cheap and noexcept, so the map keeps no copy of it per cell.
  size_t operator()(const TCellKey& k) const noexcept {
    uint64_t h = (static_cast<uint64_t>(static_cast<uint32_t>(k.Column)) << 32) |
                 static_cast<uint32_t>(k.Row);
    h ^= static_cast<uint64_t>(k.ChannelId) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 33, h *= 0xFF51AFD7ED558CCDull, h ^= h >> 33;
    return static_cast<size_t>(h);
  }
};

// The cells by key: stored in blocks that never move and found through an open-addressed index
// of their numbers, a third less memory than a hash map's node and bucket per cell.
class TCellTable {
 public:
  using value_type = std::pair<TCellKey, TCellLevels>;
  // The cell of key, and whether it was made, empty, for it.
  std::pair<value_type*, bool> try_emplace(const TCellKey& key);
  size_t size() const { return Count; }
  const value_type& operator[](size_t k) const { return Blocks[k >> kBlockBits][k & kBlockMask]; }

 private:
  static constexpr size_t kBlockBits = 16, kBlockMask = (size_t{1} << kBlockBits) - 1;
  value_type& At(size_t k) { return Blocks[k >> kBlockBits][k & kBlockMask]; }
  // The slot holding key, or the free one where it goes.
  size_t Slot(const TCellKey& key) const;
  void Grow();

  std::vector<std::unique_ptr<value_type[]>> Blocks;
  std::vector<uint32_t> Slots;  // a cell's number + 1, 0 when free; never more than half full
  size_t Count = 0;
};

class TCoverage {
 public:
  using TCells = TCellTable;
  using TFixPointSink = std::function<void(const TGpsFix&, const TFixPoint&)>;

  TCoverage(double cellM, TFixPointSink sink);

  // A fix at x, y metres of the grid's projection; none when it could not be projected, which
  // leaves its levels out of the cells (they still make fix points).
  void Fix(const TGpsFix& fix, std::optional<std::pair<double, double>> at);
  void Level(const TLevelRow& row);
  // Hands on the last fix's points.
  void Finish();

  const std::vector<TChannelInfo>& Channels() const { return ChannelList; }
  // The numbers of the cells row by row; by channel first unless byPlace.
  std::vector<uint32_t> SortedCells(bool byPlace) const;
  const TCells::value_type& Cell(uint32_t number) const { return Cells[number]; }
  size_t CellCount() const { return Cells.size(); }
  uint64_t FixPoints() const { return PointsOut; }
  uint64_t Unplaced() const { return OutsideGrid; }
  double CellSize() const { return CellM; }

 private:
  uint32_t ChannelOf(const TLevelRow& row);
  void HandOnPoints();

  double CellM;
  TFixPointSink Sink;
  std::vector<TChannelInfo> ChannelList;
  std::unordered_map<uint64_t, std::vector<uint32_t>> ChannelIds;  // by receiver, mode, channel
  TCells Cells;
  bool HaveFix = false;
  TGpsFix Current;
  std::optional<std::pair<int32_t, int32_t>> CurrentCell;
  std::vector<int> PointOfChannel;  // index into Points, or -1
  std::vector<TFixPoint> Points;
  uint64_t PointsOut = 0, OutsideGrid = 0;
};

}  // namespace vireon
